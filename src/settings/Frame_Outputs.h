#pragma once
#include "ImageFrame.h"

namespace Ui {
class TOutputsFrame;
}

// The "Выходы" page.
class TOutputsFrame : public TImageFrame {
    Q_OBJECT
public:
    explicit TOutputsFrame(QWidget* owner);
    ~TOutputsFrame() override;

private:
    Ui::TOutputsFrame* ui;
};

// The page's one instance, while it exists.
extern TOutputsFrame* OutputsFrame;
