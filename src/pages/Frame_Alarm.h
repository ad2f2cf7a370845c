#pragma once
#include "pages/ImageFrame.h"

namespace Ui {
class TAlarmFrame;
}

// The "Cигнализация" page: guard mode (delays, what ends an alarm, automatic arming) and siren.
class TAlarmFrame : public TImageFrame {
    Q_OBJECT
public:
    TAlarmFrame(QWidget* owner, THeldModule& held);
    ~TAlarmFrame() override;

private:
    Ui::TAlarmFrame* ui;
};
