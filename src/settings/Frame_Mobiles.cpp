#include "Frame_Mobiles.h"

#include "ui_Frame_Mobiles.h"

TMobilesFrame* MobilesFrame = nullptr;

TMobilesFrame::TMobilesFrame(QWidget* owner) : TImageFrame(owner, TImagePage::Mobiles), ui(new Ui::TMobilesFrame)
{
    ui->setupUi(Body());
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    MobilesFrame = this;
}

TMobilesFrame::~TMobilesFrame()
{
    if (MobilesFrame == this)
        MobilesFrame = nullptr;
    delete ui;
}
