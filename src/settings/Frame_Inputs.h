#pragma once
#include "ImageFrame.h"

namespace Ui {
class TInputsFrame;
}

// The "Входы" page.
class TInputsFrame : public TImageFrame {
    Q_OBJECT
public:
    explicit TInputsFrame(QWidget* owner);
    ~TInputsFrame() override;

    void LoadFromImage() override;
    void StoreToImage() override;

private:
    Ui::TInputsFrame* ui;
};

// The page's one instance, while it exists.
extern TInputsFrame* InputsFrame;
