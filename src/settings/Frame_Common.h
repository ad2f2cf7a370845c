#pragma once
#include "ImageFrame.h"

namespace Ui {
class TCommonFrame;
}

// The "Общие" page.
class TCommonFrame : public TImageFrame {
    Q_OBJECT
public:
    explicit TCommonFrame(QWidget* owner);
    ~TCommonFrame() override;

    void LoadFromImage() override;
    void StoreToImage() override;

private:
    Ui::TCommonFrame* ui;
};

// The page's one instance, while it exists.
extern TCommonFrame* CommonFrame;
