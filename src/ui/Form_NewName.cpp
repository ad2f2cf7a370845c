#include "ui/Form_NewName.h"
#include "ui_Form_NewName.h"

#include "ui/Mydialogs.h"

TNewNameForm::TNewNameForm(QWidget* owner) : TOneValueDialog(owner), ui(new Ui::TNewNameForm)
{
    ui->setupUi(this);
    SetupControls(ui->laName, ui->edName, ui->sbOk, ui->sbCancel);
}

TNewNameForm::~TNewNameForm() = default;

void TNewNameForm::Prepare(const QString& caption, const QString& label, const QString& text, bool allowEmpty)
{
    SetCaptions(caption, label);
    ui->edName->setText(text);
    FAllowEmpty = allowEmpty;
    FitToContents();
}

bool TNewNameForm::Execute(const QString& caption, const QString& label)
{
    return Execute(caption, label, QString(), false);
}

bool TNewNameForm::Execute(const QString& caption, const QString& label, const QString& text, bool allowEmpty)
{
    Prepare(caption, label, text, allowEmpty);
    return exec() == 1;
}

QString TNewNameForm::Text() const
{
    return ui->edName->text();
}

void TNewNameForm::OkClick()
{
    if (ui->edName->text().trimmed().isEmpty() && !FAllowEmpty) {
        WarningDlg(this, QStringLiteral("Имя не может быть пустым"));
        return;
    }
    done(1);
}

QString InputName(QWidget* owner, const QString& caption, const QString& label)
{
    return InputNameEx(owner, caption, label, QString(), false);
}

QString InputNameEx(QWidget* owner, const QString& caption, const QString& label,
                    const QString& text, bool allowEmpty)
{
    std::unique_ptr<TNewNameForm> form(new TNewNameForm(owner));
    if (form->Execute(caption, label, text, allowEmpty))
        return form->Text().trimmed();
    return QString();
}
