#include "ui/Form_NewValueFromList.h"
#include "ui_Form_NewValueFromList.h"

#include "ui/Mydialogs.h"

#include <QLineEdit>

TNewValueFromListForm::TNewValueFromListForm(QWidget* owner)
    : TOneValueDialog(owner), ui(new Ui::TNewValueFromListForm)
{
    ui->setupUi(this);
    SetupControls(ui->laName, ui->cbValue, ui->sbOk, ui->sbCancel);
}

TNewValueFromListForm::~TNewValueFromListForm() = default;

void TNewValueFromListForm::Prepare(const QString& caption, const QString& label,
                                    const QStringList& values, int index, bool editable)
{
    SetCaptions(caption, label);
    ui->cbValue->clear();
    ui->cbValue->addItems(values);
    ui->cbValue->setEditable(editable);
    if (editable) {
        ui->cbValue->lineEdit()->installEventFilter(this);
        ui->cbValue->setInsertPolicy(QComboBox::NoInsert);
    }
    ui->cbValue->setCurrentIndex(index >= 0 && index < values.size() ? index : -1);
    if (editable && index < 0)
        ui->cbValue->setEditText(QString());

    FitToContents();
}

bool TNewValueFromListForm::Execute(const QString& caption, const QString& label,
                                    const QStringList& values, int index, bool editable)
{
    Prepare(caption, label, values, index, editable);
    return exec() == 1;
}

QString TNewValueFromListForm::Text() const
{
    return ui->cbValue->currentText();
}

void TNewValueFromListForm::OkClick()
{
    if (!ui->cbValue->isEditable() && ui->cbValue->currentIndex() < 0) {
        WarningDlg(this, QStringLiteral("Выбирите значение из списка"));
        return;
    }
    done(1);
}

QString PickFromList(QWidget* owner, const QString& caption, const QString& label,
                     const QStringList& values, int index, bool editable)
{
    std::unique_ptr<TNewValueFromListForm> form(new TNewValueFromListForm(owner));
    if (form->Execute(caption, label, values, index, editable))
        return form->Text();
    return QString();
}
