#include "Frame_GPRS.h"

#include "ui_Frame_GPRS.h"

TGPRSFrame* GPRSFrame = nullptr;

TGPRSFrame::TGPRSFrame(QWidget* owner) : QFrame(owner), ui(new Ui::TGPRSFrame)
{
    ui->setupUi(this);
    GPRSFrame = this;
}

TGPRSFrame::~TGPRSFrame()
{
    if (GPRSFrame == this)
        GPRSFrame = nullptr;
    delete ui;
}
