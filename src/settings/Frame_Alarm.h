#pragma once
#include "ImageFrame.h"

namespace Ui {
class TAlarmFrame;
}

// The "Cигнализация" page.
class TAlarmFrame : public TImageFrame {
    Q_OBJECT
public:
    explicit TAlarmFrame(QWidget* owner);
    ~TAlarmFrame() override;

    void LoadFromImage() override;
    void StoreToImage() override;

private:
    Ui::TAlarmFrame* ui;
};

// The page's one instance, while it exists.
extern TAlarmFrame* AlarmFrame;
