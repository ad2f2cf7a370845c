#include "ui/OneValueDialog.h"

#include "ui/Formtools.h"
#include "ui/Glyphs.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QToolButton>

TOneValueDialog::TOneValueDialog(QWidget* owner) : QDialog(owner) {}

void TOneValueDialog::SetupControls(QLabel* label, QWidget* input, QToolButton* ok, QToolButton* cancel)
{
    FLabel = label;
    FInput = input;
    FOk = ok;
    FCancel = cancel;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    SetupSpeedButton(ok, TGlyph::Ok);
    SetupSpeedButton(cancel, TGlyph::Cancel);
    connect(ok, &QToolButton::clicked, this, [this]() { OkClick(); });
    connect(cancel, &QToolButton::clicked, this, [this]() { done(2); });
    input->installEventFilter(this);
}

void TOneValueDialog::SetCaptions(const QString& caption, const QString& label)
{
    setWindowTitle(caption);
    FLabel->setText(label);
}

void TOneValueDialog::FitToContents()
{
    layout()->activate();
    CenterOverOwner(this);
    FInput->setFocus();
}

void TOneValueDialog::reject()
{
    done(2);
}

void TOneValueDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter on a button presses it; anywhere else it is OK, so the check applies.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QToolButton* focused = FocusedButton(this);
        (focused ? focused : FOk)->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TOneValueDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The input, or the line edit of an editable combo box.
    const bool input = watched == FInput || watched->parent() == FInput;
    if (input && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            FOk->click();
            return true;
        }
        if (key == Qt::Key_Escape) {
            FCancel->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
