#include "pages/Frame_Alarm.h"

#include "ui_Frame_Alarm.h"

TAlarmFrame* AlarmFrame = nullptr;

TAlarmFrame::TAlarmFrame(QWidget* owner) : TImageFrame(owner, TImagePage::Alarm), ui(new Ui::TAlarmFrame)
{
    ui->setupUi(Body());
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    AlarmFrame = this;
}

TAlarmFrame::~TAlarmFrame()
{
    if (AlarmFrame == this)
        AlarmFrame = nullptr;
    delete ui;
}
