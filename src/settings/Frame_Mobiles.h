#pragma once
#include "ImageFrame.h"

namespace Ui {
class TMobilesFrame;
}

// The "Абоненты" page.
class TMobilesFrame : public TImageFrame {
    Q_OBJECT
public:
    explicit TMobilesFrame(QWidget* owner);
    ~TMobilesFrame() override;

private:
    Ui::TMobilesFrame* ui;
};

// The page's one instance, while it exists.
extern TMobilesFrame* MobilesFrame;
