#include "ui/Form_Progress.h"

#include "ui/Glyphs.h"
#include "ui_Form_Progress.h"

TProgressForm::TProgressForm(QWidget* owner, const QString& title) : QDialog(owner), ui(new Ui::TProgressForm)
{
    ui->setupUi(this);
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    // Test helpers that answer message dialogs leave this one alone: it is not a question.
    setProperty("progress", true);
    ui->laTitle->setText(title);
    SetupSpeedButton(ui->sbCancel, TGlyph::Cancel);
    connect(ui->sbCancel, &QToolButton::clicked, this, &TProgressForm::Cancel);
}

TProgressForm::~TProgressForm() = default;

void TProgressForm::ShowStep(const QString& text, int step, int total)
{
    ui->laStep->setText(text);
    ui->pbProgress->setMaximum(total);
    ui->pbProgress->setValue(total > 0 ? step - 1 : 0);
}

void TProgressForm::reject()
{
    Cancel();
}

void TProgressForm::Cancel()
{
    if (FCancelled)
        return;
    FCancelled = true;
    ui->sbCancel->setEnabled(false);
    ui->laStep->setText(QStringLiteral("Отмена после текущего обмена…"));
    if (OnCancel)
        OnCancel();
}
