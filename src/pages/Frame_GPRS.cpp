#include "pages/Frame_GPRS.h"

#include <QLabel>
#include <QRegularExpressionValidator>

#include <array>
#include <memory>

#include "device/Appconfig.h"
#include "device/ModuleAreas.h"
#include "device/ToolCore.h"
#include "operation/DeviceOperation.h"
#include "operation/ModuleTransfer.h"
#include "module/HeldModule.h"
#include "module/IniFile.h"
#include "ui/Form_NewName.h"
#include "ui/Formtools.h"
#include "ui/Glyphs.h"
#include "ui/Mydialogs.h"
#include "ui_Frame_GPRS.h"

namespace {

const QString kOperatorsFile = QStringLiteral("Operators.cfg");
const QString kOperatorsNotSaved = QStringLiteral("Не удалось сохранить файл операторов!");
// A reserved example domain: nobody receives requests until the installer types a real server.
const QString kDefaultRequest = QStringLiteral("monitoring.example.com/zem_02_import.php?import");

const char* const kPresetKeys[] = {"APN", "IP", "Port", "User", "Password"};

// The edit takes no more than `length` characters as typed; a longer text put there by the
// program stays whole, so that "Записать" can refuse it instead of the edit cutting it.
void LimitTyping(QLineEdit* edit, int length)
{
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("(?s).{0,%1}").arg(length)), edit));
}

bool UsablePresetName(const QString& name)
{
    if (name.startsWith(QLatin1Char(';')) || !TIniFile::CanStore(name))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('=') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

}  // namespace

TGPRSFrame::TGPRSFrame(QWidget* owner, THeldModule& held, TToolCore& core)
    : TSettingsPage(owner, held, PartGprs), ui(new Ui::TGPRSFrame), FCore(core), FSession(core.Session())
{
    ui->setupUi(this);
    StyleTitleBand(ui->Label1);
    StyleTitleBand(ui->laKeys);
    SetupSpeedButton(ui->sbReadKeys, TGlyph::Read);
    SetupSpeedButton(ui->sbWriteKeys, TGlyph::Write);
    SetupSpeedButton(ui->sbAdd, TGlyph::Add);
    SetupSpeedButton(ui->sbDelete, TGlyph::Delete);
    SetupSpeedButton(ui->sbSave, TGlyph::Save);
    LimitTyping(ui->edSN, 8);
    LimitTyping(ui->edAPN, 32);
    LimitTyping(ui->edIP, 15);
    LimitTyping(ui->edPort, 5);
    LimitTyping(ui->edUser, 8);
    LimitTyping(ui->edPassword, 8);
    ui->edServer->setText(kDefaultRequest);

    QList<QWidget*> captions;
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->buddy())
            captions << label;
    }
    ShareWidth(captions);

    connect(ui->sbReadKeys, &QToolButton::clicked, this, &TGPRSFrame::sbReadKeysClick);
    connect(ui->sbWriteKeys, &QToolButton::clicked, this, &TGPRSFrame::sbWriteKeysClick);
    connect(ui->sbAdd, &QToolButton::clicked, this, &TGPRSFrame::sbAddClick);
    connect(ui->sbDelete, &QToolButton::clicked, this, &TGPRSFrame::sbDeleteClick);
    connect(ui->sbSave, &QToolButton::clicked, this, &TGPRSFrame::sbSaveClick);
    // Only the operator's choice loads a preset: refilling the list never touches the edits.
    connect(ui->cbOperator, qOverload<int>(&QComboBox::activated), this, &TGPRSFrame::cbOperatorChange);
    for (TGprsField field : GprsFields)
        connect(FieldEdit(field), &QLineEdit::textChanged, this, &TGPRSFrame::EditsChanged);
}

TGPRSFrame::~TGPRSFrame()
{
    delete ui;
}

QString TGPRSFrame::OperatorsFileName() const
{
    return AppDir() + kOperatorsFile;
}

TGprsTexts TGPRSFrame::Texts() const
{
    return {ui->edSN->text(),   ui->edAPN->text(),      ui->edIP->text(),    ui->edPort->text(),
            ui->edUser->text(), ui->edPassword->text(), ui->edServer->text()};
}

void TGPRSFrame::SetTexts(const TGprsTexts& texts)
{
    ui->edSN->setText(texts.SN);
    ui->edAPN->setText(texts.APN);
    ui->edIP->setText(texts.IP);
    ui->edPort->setText(texts.Port);
    ui->edUser->setText(texts.User);
    ui->edPassword->setText(texts.Password);
    ui->edServer->setText(texts.Server);
}

void TGPRSFrame::ShowHeld()
{
    if (!Held().Gprs)
        return;
    SetTexts(DecodeGprsBlock(Held().Gprs->data()));
    Written(*Held().Gprs);
}

void TGPRSFrame::Written(const TGprsBytes& block)
{
    FShownBlock = block;
    emit EditsChanged();
}

bool TGPRSFrame::HasUnsavedEdits() const
{
    const TGprsTexts texts = Texts();
    auto same = [&texts](const TGprsTexts& other) {
        for (TGprsField field : GprsFields) {
            if (GprsFieldText(texts, field) != GprsFieldText(other, field))
                return false;
        }
        return true;
    };
    if (FShownBlock)
        return !same(DecodeGprsBlock(FShownBlock->data()));
    TGprsTexts untouched;
    untouched.Server = kDefaultRequest;
    return !same(untouched);
}

bool TGPRSFrame::StoreToHeld()
{
    // What was read or loaded and is shown unchanged keeps its bytes, even those the edits
    // cannot give back (an erased block's serial number).
    if (!HasUnsavedEdits()) {
        Held().Gprs = FShownBlock;
        return true;
    }
    TGprsBytes block;
    if (!EncodeTexts(block))
        return false;
    Held().Gprs = block;
    return true;
}

QLineEdit* TGPRSFrame::FieldEdit(TGprsField field) const
{
    switch (field) {
    case TGprsField::SN:
        return ui->edSN;
    case TGprsField::APN:
        return ui->edAPN;
    case TGprsField::IP:
        return ui->edIP;
    case TGprsField::Port:
        return ui->edPort;
    case TGprsField::User:
        return ui->edUser;
    case TGprsField::Password:
        return ui->edPassword;
    case TGprsField::Server:
        break;
    }
    return ui->edServer;
}

void TGPRSFrame::sbReadKeysClick()
{
    if (!MayReplace(QStringLiteral("Прочитать настройки из устройства?")))
        return;
    TModuleCopy copy;
    if (ReadFromModule(this, FSession, QStringLiteral("Чтение настроек GPRS"), PartGprs, copy,
                       QStringLiteral("Ошибка при чтении настроек!")) == TOperationResult::Succeeded) {
        Held().TakeRead(copy);
        ShowHeld();
    }
}

bool TGPRSFrame::EncodeTexts(TGprsBytes& block)
{
    TGprsField field;
    QString error;
    if (EncodeGprsBlock(Texts(), block.data(), field, error))
        return true;
    Refuse(FieldEdit(field), error);
    return false;
}

void TGPRSFrame::sbWriteKeysClick()
{
    TModuleCopy copy;
    copy.Gprs.emplace();
    if (!EncodeTexts(*copy.Gprs) || !ConfirmationDlg(this, QStringLiteral("Записать настройки в устройство?")))
        return;
    if (WriteToModule(this, FCore, QStringLiteral("Запись настроек GPRS"), copy, Held(),
                      QStringLiteral("Настройки GPRS успешно записаны!"), QStringLiteral("Ошибка при записи настроек!")))
        Written(*copy.Gprs);
}

void TGPRSFrame::FrameEnter(QObject* sender)
{
    if (!sender)
        LoadOperatorList();
}

void TGPRSFrame::LoadOperatorList()
{
    ui->cbOperator->clear();
    ui->cbOperator->addItems(TIniFile(OperatorsFileName()).ReadSections());
    ui->cbOperator->setCurrentIndex(-1);
}

void TGPRSFrame::LoadOperator(const QString& name)
{
    const TIniFile file(OperatorsFileName());
    QLineEdit* edits[] = {ui->edAPN, ui->edIP, ui->edPort, ui->edUser, ui->edPassword};
    for (int i = 0; i < 5; ++i)
        edits[i]->setText(file.ReadString(name, QString::fromLatin1(kPresetKeys[i]), QString()));
}

bool TGPRSFrame::SaveOperator(const QString& name, QString& error)
{
    TIniFile file(OperatorsFileName());
    file.SetOwnerOnly(true);
    const QLineEdit* edits[] = {ui->edAPN, ui->edIP, ui->edPort, ui->edUser, ui->edPassword};
    error = kOperatorsNotSaved;
    // Checked first, so that a text the file cannot hold leaves the preset as it was.
    for (const QLineEdit* edit : edits) {
        if (!TIniFile::CanStore(edit->text()))
            return false;
    }
    for (int i = 0; i < 5; ++i) {
        if (!file.WriteString(name, QString::fromLatin1(kPresetKeys[i]), edits[i]->text())) {
            if (!file.LastError().isEmpty())
                error = file.LastError();
            return false;
        }
    }
    return true;
}

bool TGPRSFrame::DeleteOperator(const QString& name, QString& error)
{
    TIniFile file(OperatorsFileName());
    file.SetOwnerOnly(true);
    if (file.EraseSection(name))
        return true;
    error = file.LastError().isEmpty() ? kOperatorsNotSaved : file.LastError();
    return false;
}

void TGPRSFrame::cbOperatorChange()
{
    const QString name = ui->cbOperator->currentText();
    if (!name.isEmpty())
        LoadOperator(name);
}

void TGPRSFrame::sbAddClick()
{
    const QString name = InputName(this, QStringLiteral("Добавление оператора"), QStringLiteral("Название")).trimmed();
    if (name.isEmpty())
        return;
    if (!UsablePresetName(name)) {
        ErrorDlg(this, QStringLiteral("Недопустимое название оператора!"));
        return;
    }
    if (ui->cbOperator->findText(name, Qt::MatchFixedString) >= 0) {
        ErrorDlg(this, QStringLiteral("Оператор с таким именем уже существует!"));
        return;
    }
    // The new preset is what the edits hold now; "Сохранить" puts it in the file.
    ui->cbOperator->addItem(name);
    ui->cbOperator->setCurrentIndex(ui->cbOperator->count() - 1);
}

void TGPRSFrame::sbDeleteClick()
{
    const QString name = ui->cbOperator->currentText();
    if (name.isEmpty() || !ConfirmationDlg(this, QStringLiteral("Удалить настройки оператора?")))
        return;
    QString error;
    if (!DeleteOperator(name, error)) {
        WarningDlg(this, error);
        return;
    }
    ui->cbOperator->removeItem(ui->cbOperator->currentIndex());
    ui->cbOperator->setCurrentIndex(-1);
}

void TGPRSFrame::sbSaveClick()
{
    const QString name = ui->cbOperator->currentText();
    if (name.isEmpty() || !ConfirmationDlg(this, QStringLiteral("Сохранить настройки оператора?")))
        return;
    QString error;
    if (!SaveOperator(name, error))
        WarningDlg(this, error);
}
