#include "Form_NewName.h"
#include "ui_Form_NewName.h"

#include "Glyphs.h"
#include "Mydialogs.h"
#include "OneValueLayout.h"


TNewNameForm::TNewNameForm(QWidget* owner) : QDialog(owner), ui(new Ui::TNewNameForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    SetupSpeedButton(ui->sbOk, TGlyph::Ok);
    SetupSpeedButton(ui->sbCancel, TGlyph::Cancel);
    connect(ui->sbOk, &QToolButton::clicked, this, &TNewNameForm::OkClick);
    connect(ui->sbCancel, &QToolButton::clicked, this, [this]() { done(2); });
    ui->edName->installEventFilter(this);
}

TNewNameForm::~TNewNameForm() = default;

void TNewNameForm::Prepare(const QString& caption, const QString& label, const QString& text, bool allowEmpty)
{
    setWindowTitle(caption);
    ui->laName->setText(label);
    ui->edName->setText(text);
    FAllowEmpty = allowEmpty;
    LayoutOneValueDialog(this, ui->laName, ui->edName, ui->sbOk, ui->sbCancel);
    ui->edName->setFocus();
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

void TNewNameForm::reject()
{
    done(2);
}

bool TNewNameForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->edName && HandleOneValueKey(event, ui->sbOk, ui->sbCancel))
        return true;
    return QDialog::eventFilter(watched, event);
}

QString InputName(QWidget* owner, const QString& caption, const QString& label)
{
    std::unique_ptr<TNewNameForm> form(new TNewNameForm(owner));
    if (form->Execute(caption, label))
        return form->Text().trimmed();
    return QString();
}

QString InputNameEx(QWidget* owner, const QString& caption, const QString& label,
                    const QString& text, bool allowEmpty)
{
    std::unique_ptr<TNewNameForm> form(new TNewNameForm(owner));
    if (form->Execute(caption, label, text, allowEmpty))
        return form->Text().trimmed();
    return QString();
}
