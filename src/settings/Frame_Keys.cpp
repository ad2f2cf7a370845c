#include "Frame_Keys.h"

#include "ui_Frame_Keys.h"

TKeysFrame* KeysFrame = nullptr;

TKeysFrame::TKeysFrame(QWidget* owner) : QFrame(owner), ui(new Ui::TKeysFrame)
{
    ui->setupUi(this);
    KeysFrame = this;
}

TKeysFrame::~TKeysFrame()
{
    if (KeysFrame == this)
        KeysFrame = nullptr;
    delete ui;
}
