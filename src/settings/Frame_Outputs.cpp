#include "Frame_Outputs.h"

#include "ui_Frame_Outputs.h"

TOutputsFrame* OutputsFrame = nullptr;

TOutputsFrame::TOutputsFrame(QWidget* owner) : TImageFrame(owner, TImagePage::Outputs), ui(new Ui::TOutputsFrame)
{
    ui->setupUi(Body());
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    OutputsFrame = this;
}

TOutputsFrame::~TOutputsFrame()
{
    if (OutputsFrame == this)
        OutputsFrame = nullptr;
    delete ui;
}
