#include "pages/Frame_Alarm.h"

#include "ui_Frame_Alarm.h"

TAlarmFrame::TAlarmFrame(QWidget* owner, THeldModule& held)
    : TImageFrame(owner, held, TImagePage::Alarm), ui(new Ui::TAlarmFrame)
{
    ui->setupUi(this);
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
}

TAlarmFrame::~TAlarmFrame()
{
    delete ui;
}
