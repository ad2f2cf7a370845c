#include "Frame_Inputs.h"

#include "ui_Frame_Inputs.h"

TInputsFrame* InputsFrame = nullptr;

TInputsFrame::TInputsFrame(QWidget* owner) : TImageFrame(owner), ui(new Ui::TInputsFrame)
{
    ui->setupUi(this);
    ConnectImageButtons();
    InputsFrame = this;
}

TInputsFrame::~TInputsFrame()
{
    if (InputsFrame == this)
        InputsFrame = nullptr;
    delete ui;
}

void TInputsFrame::LoadFromImage() {}

void TInputsFrame::StoreToImage() {}
