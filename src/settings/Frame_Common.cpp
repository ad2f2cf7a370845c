#include "Frame_Common.h"

#include "ui_Frame_Common.h"

TCommonFrame* CommonFrame = nullptr;

TCommonFrame::TCommonFrame(QWidget* owner) : TImageFrame(owner), ui(new Ui::TCommonFrame)
{
    ui->setupUi(this);
    ConnectImageButtons();
    CommonFrame = this;
}

TCommonFrame::~TCommonFrame()
{
    if (CommonFrame == this)
        CommonFrame = nullptr;
    delete ui;
}

void TCommonFrame::LoadFromImage() {}

void TCommonFrame::StoreToImage() {}
