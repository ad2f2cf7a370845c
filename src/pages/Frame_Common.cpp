#include "pages/Frame_Common.h"

#include "device/Appconfig.h"
#include "module/IniFile.h"
#include "ui_Frame_Common.h"

namespace {

const QString kOperatorsFile = QStringLiteral("Operators.cfg");
const QString kAccountBalanceKey = QStringLiteral("AccountBalance");

}  // namespace

TCommonFrame::TCommonFrame(QWidget* owner, THeldModule& held)
    : TImageFrame(owner, held, TImagePage::Common), ui(new Ui::TCommonFrame)
{
    ui->setupUi(this);
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    connect(ui->cbOperator, qOverload<int>(&QComboBox::activated), this, &TCommonFrame::cbOperatorChange);
}

TCommonFrame::~TCommonFrame()
{
    delete ui;
}

void TCommonFrame::FrameEnter(QObject* sender)
{
    if (sender)
        return;
    ui->cbOperator->clear();
    ui->cbOperator->addItems(TIniFile(AppDir() + kOperatorsFile).ReadSections());
    ui->cbOperator->setCurrentIndex(-1);
}

void TCommonFrame::cbOperatorChange()
{
    const QString name = ui->cbOperator->currentText();
    if (name.isEmpty())
        return;
    const QString balance = TIniFile(AppDir() + kOperatorsFile).ReadString(name, kAccountBalanceKey, QString());
    if (!balance.isEmpty())
        ui->edAccountBalance->setText(balance);
}

