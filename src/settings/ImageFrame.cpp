#include "ImageFrame.h"

#include <QToolButton>

#include "Glyphs.h"
#include "Mydialogs.h"

TImageFrame::TImageFrame(QWidget* owner) : QFrame(owner) {}

void TImageFrame::ConnectImageButtons()
{
    if (auto* reset = findChild<QToolButton*>(QStringLiteral("sbResetKeys"))) {
        SetupSpeedButton(reset, TGlyph::Clear);
        connect(reset, &QToolButton::clicked, this, &TImageFrame::sbResetKeysClick);
    }
    if (auto* save = findChild<QToolButton*>(QStringLiteral("sbSaveKeys"))) {
        SetupSpeedButton(save, TGlyph::Save);
        connect(save, &QToolButton::clicked, this, &TImageFrame::sbSaveKeysClick);
    }
}

void TImageFrame::sbResetKeysClick()
{
    if (ConfirmationDlg(this, QStringLiteral("Отменить изменения?")))
        LoadFromImage();
}

void TImageFrame::sbSaveKeysClick()
{
    if (ConfirmationDlg(this, QStringLiteral("Сохранить изменения?")))
        StoreToImage();
}
