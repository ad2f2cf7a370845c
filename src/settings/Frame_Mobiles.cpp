#include "Frame_Mobiles.h"

#include "ui_Frame_Mobiles.h"

TMobilesFrame* MobilesFrame = nullptr;

TMobilesFrame::TMobilesFrame(QWidget* owner) : TImageFrame(owner), ui(new Ui::TMobilesFrame)
{
    ui->setupUi(this);
    ConnectImageButtons();
    MobilesFrame = this;
}

TMobilesFrame::~TMobilesFrame()
{
    if (MobilesFrame == this)
        MobilesFrame = nullptr;
    delete ui;
}

void TMobilesFrame::LoadFromImage() {}

void TMobilesFrame::StoreToImage() {}
