#include "Frame_Outputs.h"

#include "ui_Frame_Outputs.h"

TOutputsFrame* OutputsFrame = nullptr;

TOutputsFrame::TOutputsFrame(QWidget* owner) : TImageFrame(owner), ui(new Ui::TOutputsFrame)
{
    ui->setupUi(this);
    ConnectImageButtons();
    OutputsFrame = this;
}

TOutputsFrame::~TOutputsFrame()
{
    if (OutputsFrame == this)
        OutputsFrame = nullptr;
    delete ui;
}

void TOutputsFrame::LoadFromImage() {}

void TOutputsFrame::StoreToImage() {}
