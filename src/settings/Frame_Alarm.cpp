#include "Frame_Alarm.h"

#include "ui_Frame_Alarm.h"

TAlarmFrame* AlarmFrame = nullptr;

TAlarmFrame::TAlarmFrame(QWidget* owner) : TImageFrame(owner), ui(new Ui::TAlarmFrame)
{
    ui->setupUi(this);
    ConnectImageButtons();
    AlarmFrame = this;
}

TAlarmFrame::~TAlarmFrame()
{
    if (AlarmFrame == this)
        AlarmFrame = nullptr;
    delete ui;
}

void TAlarmFrame::LoadFromImage() {}

void TAlarmFrame::StoreToImage() {}
