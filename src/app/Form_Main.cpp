#include "app/Form_Main.h"

#include <QAbstractItemView>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLocale>
#include <QMenu>
#include <QStandardPaths>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QKeySequence>
#include <QShortcut>
#include <QTime>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <vector>
#include <string>

#include "app/Form_Catalogue.h"
#include "app/Form_ExchangeMonitor.h"
#include "app/Form_SerialLine.h"
#include "app/Form_ModuleList.h"
#include "app/PortComboBox.h"
#include "app/SupportReport.h"
#include "catalogue/Catalogue.h"
#include "device/Appconfig.h"
#include "device/DeviceSession.h"
#include "device/ModuleAreas.h"
#include "device/ToolCore.h"
#include "device/VirtualModule.h"
#include "link/ComPort.h"
#include "link/KOR_ZEM.h"
#include "module/Defaults.h"
#include "module/DiskFiles.h"
#include "module/IniFile.h"
#include "module/KeyCsv.h"
#include "module/ModuleCompare.h"
#include "module/ModuleFile.h"
#include "operation/DeviceOperation.h"
#include "operation/ModuleTransfer.h"
#include "pages/Frame_Alarm.h"
#include "pages/Frame_Common.h"
#include "pages/Frame_GPRS.h"
#include "pages/Frame_Inputs.h"
#include "pages/Frame_Keys.h"
#include "pages/Frame_Mobiles.h"
#include "pages/Frame_Outputs.h"
#include "ui/Colors.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"
#include "ui/Glyphs.h"
#include "ui/Mydialogs.h"
#include "ui_Form_Main.h"

namespace {

const QString kSection = QStringLiteral("MainForm");
const QString kPortKey = QStringLiteral("Port");

constexpr int kLeastPortListWidth = 200;
constexpr int kPortListPadding = 32;  // the item's margins and a scroll bar
const QString kFilesFolderKey = QStringLiteral("FilesFolder");
const QString kModuleReadFailure = QStringLiteral("Ошибка при чтении из модуля!");
const QString kUnsavedPages = QStringLiteral("Несохранённые изменения на страницах: %1");
constexpr int kKeysPageIndex = 3;
// How often a catalogue working offline asks the server again.
constexpr int kOutboxRetryMs = 60 * 1000;
const QString kNothingSent = QStringLiteral("В модуль ничего не отправлено: чтобы записать, выберите «Записать всё в модуль».");

}  // namespace

namespace {

// The window's own core when none is handed in.
std::unique_ptr<TToolCore> OwnCore(TToolCore* core)
{
    return core ? nullptr : std::make_unique<TToolCore>();
}

}  // namespace

TMainForm::TMainForm(TToolCore* core, QWidget* parent)
    : QWidget(parent), FOwnCore(OwnCore(core)), FCore(core ? *core : *FOwnCore), ui(new Ui::TMainForm)
{
    ui->setupUi(this);
    FormCreate();
    RestoreFormSize(&FCore.Config(), this);
}

TMainForm::~TMainForm()
{
    FormClose();
    delete ui;
}

void TMainForm::FormCreate()
{
    SetupSpeedButton(ui->sbPing, TGlyph::Ping);
    SetupSpeedButton(ui->sbRead, TGlyph::Read);
    SetupSpeedButton(ui->sbWrite, TGlyph::Write);
    SetupSpeedButton(ui->sbDefaults, TGlyph::Reset);
    ui->shDefaults->setStyleSheet(QStringLiteral("#shDefaults { background: %1; border: 1px solid %2; }")
                                      .arg(ToQColor(clBtnFace).name(), ToQColor(clGray).name()));
    ui->cbPort->view()->setMinimumWidth(kLeastPortListWidth);
    ui->cbPort->SetLeastText(TVirtualModule::Caption());
    connect(ui->cbPort, &TPortComboBox::DropDown, this, &TMainForm::cbPortDropDown);
    connect(ui->cbPort, qOverload<int>(&QComboBox::activated), this, &TMainForm::cbPortSelect);
    connect(ui->cbPort->lineEdit(), &QLineEdit::editingFinished, this, &TMainForm::cbPortChange);
    // The pages' own operations (an output button) use the port as typed, Enter or not.
    connect(ui->cbPort, &QComboBox::editTextChanged, this, &TMainForm::cbPortChange);
    // Only the operator's own choice replaces the port ZEM.cfg keeps.
    connect(ui->cbPort, qOverload<int>(&QComboBox::activated), this, [this] { FKeepSavedPort = false; });
    connect(ui->cbPort->lineEdit(), &QLineEdit::textEdited, this, [this] { FKeepSavedPort = false; });
    connect(ui->sbPing, &QToolButton::clicked, this, &TMainForm::sbPingClick);
    connect(ui->sbRead, &QToolButton::clicked, this, &TMainForm::sbReadClick);
    connect(ui->sbWrite, &QToolButton::clicked, this, &TMainForm::sbWriteClick);
    connect(ui->sbDefaults, &QToolButton::clicked, this, &TMainForm::sbDefaultsClick);
    SetupFileMenu();
    SetupKeys();
    FCore.SetAdapterSerial(PortAdapterSerial);
    ui->laCatalogue->setStyleSheet(QStringLiteral("#laCatalogue { color: %1; }").arg(ToQColor(RGBColor(128, 0, 0)).name()));
    ui->laCatalogue->setIndent(2);
    ui->StatusBar->addWidget(ui->laStatus, 1);
    SetOperationReporter([this](bool succeeded, const QString& line) { Report(succeeded, line); });
    FOutboxTimer = new QTimer(this);
    FOutboxTimer->setInterval(kOutboxRetryMs);
    connect(FOutboxTimer, &QTimer::timeout, this, &TMainForm::RetryCatalogueServer);
    connect(DeviceOperationEvents(), &TDeviceOperationEvents::Ended, this, [this] {
        if (FCloseWhenIdle)
            close();
    });
    // Queued: the operation's caller records its version after the operation has ended.
    connect(DeviceOperationEvents(), &TDeviceOperationEvents::Ended, this, &TMainForm::VersionRecorded,
            Qt::QueuedConnection);

    FPageControl = new TPageControlFrame(this);
    ui->loHolder->addWidget(FPageControl);
    FPageControl->SetActiveFontColor(0xFF0000);
    FPageControl->SetButtonHeight(22);
    FPageControl->SetButtonSpacing(4);
    FPageControl->SetHolderGap(4);
    FPageControl->SetPageIndent(4);

    // The first letter of "Cигнализация" is the Latin C: the caption stays exactly as installers
    // know it.
    const std::pair<QString, TSettingsPage*> pages[] = {
        {QStringLiteral("Общие"), new TCommonFrame(this, FHeld)},
        {QStringLiteral("Входы"), new TInputsFrame(this, FHeld)},
        {QStringLiteral("Выходы"), new TOutputsFrame(this, FHeld, Session())},
        {QStringLiteral("Ключи"), new TKeysFrame(this, FHeld, FCore)},
        {QStringLiteral("Абоненты"), new TMobilesFrame(this, FHeld)},
        {QStringLiteral("Cигнализация"), new TAlarmFrame(this, FHeld)},
        {QStringLiteral("GPRS"), new TGPRSFrame(this, FHeld, FCore)},
    };
    for (const auto& [caption, page] : pages) {
        const int index = int(FPages.size());
        FPageControl->AddPage(caption, page);
        FPages.push_back(page);
        TPageButton* tab = FPageControl->Tab(index);
        connect(page, &TSettingsPage::EditsChanged, this, [tab, page] { tab->SetMarked(page->HasUnsavedEdits()); });
        connect(page, &TSettingsPage::ShowRequested, this, [this, index] { FPageControl->SelectPage(index); });
        page->SetReplaceGuard([this](unsigned parts, const QString& question) { return MayReplace(parts, question); });
        if (QToolButton* save = PageSaveButton(page))
            save->setToolTip(QStringLiteral("%1 (%2)").arg(save->toolTip().isEmpty() ? save->text() : save->toolTip(),
                                                           QKeySequence(Qt::CTRL | Qt::Key_S).toString(QKeySequence::NativeText)));
    }
    FPageControl->SelectPage(0);
    FPageControl->SetCornerWidget(ui->paDefaults);
    // Reading order: the strip, the tabs, "Сброс" on their row, then the page.
    QWidget::setTabOrder(ui->sbFile, FPageControl);
    QWidget::setTabOrder(FPageControl, ui->sbDefaults);
    ShowCatalogueState();
}

void TMainForm::SetupKeys()
{
    const struct {
        QToolButton* Button;
        QKeySequence Keys;
    } keys[] = {
        {ui->sbPing, QKeySequence(Qt::CTRL | Qt::Key_L)},
        {ui->sbRead, QKeySequence(Qt::CTRL | Qt::Key_R)},
        {ui->sbWrite, QKeySequence(Qt::CTRL | Qt::Key_W)},
    };
    for (const auto& key : keys) {
        auto* shortcut = new QShortcut(key.Keys, this);
        connect(shortcut, &QShortcut::activated, key.Button, &QToolButton::click);
        key.Button->setToolTip(QStringLiteral("%1 (%2)").arg(key.Button->text(), key.Keys.toString(QKeySequence::NativeText)));
    }
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(save, &QShortcut::activated, this, &TMainForm::SavePageClick);
}

QToolButton* TMainForm::PageSaveButton(QWidget* page)
{
    return page ? page->findChild<QToolButton*>(QStringLiteral("sbSaveKeys")) : nullptr;
}

void TMainForm::SavePageClick()
{
    TPageButton* tab = FPageControl->Tab(FPageControl->ActiveIndex());
    QToolButton* save = PageSaveButton(tab ? tab->Frame() : nullptr);
    if (save && save->isVisibleTo(this) && save->isEnabled())
        save->click();
}

void TMainForm::Report(bool succeeded, const QString& line)
{
    if (FClosed)
        return;
    QPalette palette = ui->laStatus->palette();
    palette.setColor(QPalette::WindowText, succeeded ? QApplication::palette().color(QPalette::WindowText) : ToQColor(clRed));
    ui->laStatus->setPalette(palette);
    const QString text = QStringLiteral("%1 %2").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), line);
    ui->laStatus->setText(text);
    ui->laStatus->setToolTip(text);
}

void TMainForm::Tell(const QString& done, const QString& more)
{
    Report(true, done);
    InformationDlg(this, more.isEmpty() ? done : done + QLatin1Char('\n') + more);
}

QString TMainForm::CatalogueLine() const
{
    const TCatalogue& catalogue = FCore.Catalogue();
    if (!catalogue.IsOpen())
        return QStringLiteral("Каталог модулей не открыт: %1").arg(FCore.CatalogueProblem());
    if (catalogue.Offline())
        return QStringLiteral("Каталог: сервер недоступен, записи хранятся на этом компьютере");
    return FCore.CatalogueProblem();
}

void TMainForm::RetryCatalogueServer()
{
    QString error;
    if (FCore.Catalogue().Offline() && FCore.Catalogue().SendOutbox(error) >= 0)
        ShowCatalogueState();
}

QString TMainForm::CatalogueDetails() const
{
    const TCatalogue& catalogue = FCore.Catalogue();
    return catalogue.IsOpen() && catalogue.Offline() ? catalogue.Description() : CatalogueLine();
}

void TMainForm::ShowCatalogueState()
{
    const QString line = CatalogueLine();
    // One line however long the cause: the whole of it is in the tool tip.
    ui->laCatalogue->setText(line);
    ui->laCatalogue->setToolTip(CatalogueDetails());
    ui->laCatalogue->setVisible(!line.isEmpty());
    if (FCatalogueForm)
        FCatalogueForm->SetWhere(CatalogueDetails());
    const bool offline = FCore.Catalogue().IsOpen() && FCore.Catalogue().Offline();
    if (offline && !FOutboxTimer->isActive())
        FOutboxTimer->start();
    else if (!offline)
        FOutboxTimer->stop();
}

void TMainForm::VersionRecorded()
{
    if (FClosed)
        return;
    // A server that stopped answering makes the catalogue offline at a record.
    ShowCatalogueState();
    if (FCatalogueForm && FCatalogueForm->isVisible())
        FCatalogueForm->Refresh();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TMainForm::ChoosePortForThisRun(const QString& port)
{
    FStartPort = port;
}

void TMainForm::FormShow()
{
    FKeepSavedPort = !FStartPort.isEmpty();
    const QString port = FKeepSavedPort ? FStartPort : FCore.Config().ReadString(kSection, kPortKey, QString());
    if (port.isEmpty())
        return;
    ui->cbPort->addItem(port, port);
    ui->cbPort->setCurrentIndex(0);
    ShowPortName(port);
    cbPortChange();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (DeviceOperationRunning()) {
        // The exchange under way finishes first; the window closes when the operation has ended.
        event->ignore();
        if (!FCloseWhenIdle &&
            YesNoDlg(this, QStringLiteral("Идёт обмен с модулем. Прервать его и закрыть программу?"),
                     TDefaultAnswer::KeepByDefault)) {
            FCloseWhenIdle = true;
            CancelDeviceOperation(true);
        }
        return;
    }
    if (!FClosed && !FCloseWhenIdle) {
        QStringList lost = WhatWouldBeLost(PartAll);
        // Modules being set up would be left half written.
        if (FSerialLine && FSerialLine->Running())
            lost << QStringLiteral("Серийная настройка будет остановлена.");
        if (FCatalogueForm && FCatalogueForm->HasUnsavedEdits())
            lost << QStringLiteral("Объект и заметки модуля в каталоге не сохранены.");
        if (!lost.isEmpty() &&
            !YesNoDlg(this, lost.join(QLatin1Char(' ')) + QStringLiteral(" Закрыть программу?"),
                      TDefaultAnswer::KeepByDefault)) {
            event->ignore();
            return;
        }
    }
    FormClose();
    QWidget::closeEvent(event);
}

void TMainForm::FormClose()
{
    if (FClosed)
        return;
    FClosed = true;
    // From here on nothing may reach the shared objects: they are about to go.
    ui->cbPort->disconnect(this);
    ui->cbPort->lineEdit()->disconnect(this);
    SaveFormSize(&FCore.Config(), this);
    const QString port = FKeepSavedPort ? QString() : ui->cbPort->currentText().trimmed();
    if (!port.isEmpty() && !TIniFile::CanStore(port)) {
        WarningDlg(this, QStringLiteral("Порт \"%1\" не сохранен в файле настроек: в его имени есть "
                                        "символы, которых нет в кодировке Windows-1251.")
                             .arg(ClippedText(port)));
    } else if (!port.isEmpty()) {
        // Like the window's size, the port is a convenience: a failed write is not worth a
        // message while the window closes.
        FCore.Config().WriteString(kSection, kPortKey, port);
    }
    SetOperationReporter(nullptr);
    FMonitor.reset();  // it reads the recorder, which goes with the shared objects
    FCatalogueForm.reset();
    ui->paDefaults->setParent(this);
    FPages.clear();
    delete FPageControl;
    FPageControl = nullptr;
    // The session may outlive the window: it lets go of the virtual module before that goes.
    Session().ChoosePort(QString());
    FVirtualModule.reset();
}

void TMainForm::cbPortDropDown()
{
    const QString current = ui->cbPort->currentText().trimmed();
    ui->cbPort->clear();
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        QStringList about;
        for (const QString& part : {port.description(), port.manufacturer()}) {
            if (!part.isEmpty() && !about.contains(part))
                about << part;
        }
        if (!port.serialNumber().isEmpty())
            about << QStringLiteral("S/N %1").arg(port.serialNumber());
        const QString path = PortLocation(port);
        ui->cbPort->addItem(about.isEmpty() ? path : path + QStringLiteral(" — ") + about.join(QStringLiteral(", ")), path);
    }
    // A typed device path (a pseudo-terminal, a symlink) is not among the serial devices the
    // system lists, but while it exists it is as present as they are.
    if (!current.isEmpty() && current != TVirtualModule::Caption() && ui->cbPort->findData(current) < 0 &&
        QFileInfo::exists(current))
        ui->cbPort->addItem(current, current);
    ui->cbPort->addItem(TVirtualModule::Caption(), TVirtualModule::Caption());
    // The list is as wide as its longest line, so that no port's description is cut.
    int widest = 0;
    for (int i = 0; i < ui->cbPort->count(); ++i)
        widest = std::max(widest, ui->cbPort->view()->fontMetrics().horizontalAdvance(ui->cbPort->itemText(i)));
    ui->cbPort->view()->setMinimumWidth(std::max(kLeastPortListWidth, widest + kPortListPadding));
    ui->cbPort->setCurrentIndex(current.isEmpty() ? -1 : ui->cbPort->findData(current));
    ShowPortName(current.isEmpty() || ui->cbPort->currentIndex() >= 0 ? current : QString());
}

void TMainForm::cbPortSelect(int index)
{
    // The list says what each port is; the box and "ZEM.cfg" keep the device path.
    ShowPortName(ui->cbPort->itemData(index).toString());
    cbPortChange();
}

void TMainForm::ShowPortName(const QString& port)
{
    QSignalBlocker quiet(ui->cbPort);
    ui->cbPort->setEditText(port);
    // Too long for the box, a device path shows its end, where the device's name is, and the
    // virtual module the start of its caption.
    if (port == TVirtualModule::Caption())
        ui->cbPort->lineEdit()->home(false);
    else
        ui->cbPort->lineEdit()->end(false);
    ui->cbPort->setToolTip(port.isEmpty() ? QStringLiteral("Выберите порт из списка или введите путь к устройству и нажмите Enter")
                                          : port);
}

TDeviceSession& TMainForm::Session()
{
    return FCore.Session();
}

void TMainForm::cbPortChange()
{
    const QString port = ui->cbPort->currentText().trimmed();
    if (port == TVirtualModule::Caption()) {
        if (!FVirtualModule)
            FVirtualModule = std::make_unique<TVirtualModule>();
        FVirtualModule->Start();
        Session().ChooseVirtualPort(port, FVirtualModule->PortPath(), FVirtualModule->InProcessPort(),
                                    FVirtualModule->StartProblem());
    } else {
        Session().ChoosePort(port);
    }
}

void TMainForm::sbPingClick()
{
    cbPortChange();
    RunDeviceOperation(
        this, Session(), {QStringLiteral("Проверка связи")},
        [](TKOR_ZEM& device, TOperationProgress& progress) {
            return progress.Step(1, 1, QStringLiteral("запрос к модулю")) && device.CheckLink();
        },
        {TOutcome::Information, QStringLiteral("Устройство подключено!")},
        {TOutcome::Warning, QStringLiteral("Нет связи с устройством!")});
}

void TMainForm::sbReadClick()
{
    if (!MayReplace(PartSettings))
        return;
    cbPortChange();
    // A failed or short reply must not leave half-read settings in the image.
    TModuleCopy copy;
    if (ReadFromModule(this, Session(), QStringLiteral("Чтение настроек"), PartSettings, copy,
                       QStringLiteral("Ошибка при чтении настроек!")) != TOperationResult::Succeeded)
        return;
    ShowCopy(copy);
    FHeld.MarkInModule(copy.Parts());
}

void TMainForm::sbWriteClick()
{
    // Settings never filled are all zeros: writing them would wipe the module's settings and,
    // with a key count of 0, erase its key table.
    if (!SettingsFilledOrWarn() || !StoreBeforeWrite())
        return;
    QString question = QStringLiteral("Записать все настройки в устройство?");
    if (FHeld.Settings[KeyCountAddress] == 0)
        question += QStringLiteral("\nВсе ключи в модуле будут удалены!");
    if (!ConfirmationDlg(this, question))
        return;
    cbPortChange();
    TModuleCopy copy;
    copy.Settings = FHeld.Settings;
    WriteToModule(this, FCore, QStringLiteral("Запись настроек"), copy, FHeld, QStringLiteral("Настройки успешно записаны!"),
                  QStringLiteral("Ошибка при записи настроек!"));
}

bool TMainForm::SettingsFilledOrWarn()
{
    if (!FHeld.SettingsFilled)
        WarningDlg(this, QStringLiteral("Сначала прочитайте настройки из устройства или сбросьте их по умолчанию!"));
    return FHeld.SettingsFilled;
}

void TMainForm::sbDefaultsClick()
{
    if (!MayReplace(PartSettings, QStringLiteral("Сбросить настройки по умолчанию?")))
        return;
    TModuleCopy defaults;
    defaults.Settings.emplace();
    std::copy(std::begin(DefaultSettings), std::end(DefaultSettings), defaults.Settings->begin());
    ShowCopy(defaults);
    FHeld.MarkUnwritten(PartSettings);
    Report(true, QStringLiteral("Настройки сброшены по умолчанию (в модуль не записаны)"));
}

std::vector<int> TMainForm::UnsavedTabs(unsigned parts) const
{
    std::vector<int> tabs;
    for (int i = 0; i < int(FPages.size()); ++i) {
        if ((parts & FPages[i]->Part()) && FPages[i]->HasUnsavedEdits())
            tabs.push_back(i);
    }
    return tabs;
}

QString TMainForm::TabCaptions(const std::vector<int>& tabs) const
{
    QStringList captions;
    for (int tab : tabs)
        captions << FPageControl->Tab(tab)->Caption();
    return captions.join(QStringLiteral(", "));
}

bool TMainForm::StoreBeforeWrite()
{
    // Only the settings pages keep edits apart: the Keys grid and the GPRS edits are what the
    // tool holds, and a write takes them as they stand.
    const std::vector<int> tabs = UnsavedTabs(PartSettings);
    if (tabs.empty())
        return true;
    const int answer =
        YesNoCancelDlg(this, (kUnsavedPages + QStringLiteral(". Сохранить их перед записью?")).arg(TabCaptions(tabs)));
    if (answer != mrOk)
        return answer == mrNo;
    // Each page is shown while it stores, so that a refusal leaves it in front, its field focused.
    const int shown = FPageControl->ActiveIndex();
    for (int tab : tabs) {
        FPageControl->SelectPage(tab);
        if (!FPages[tab]->StoreToHeld())
            return false;
    }
    FPageControl->SelectPage(shown);
    return true;
}

QStringList TMainForm::WhatWouldBeLost(unsigned parts) const
{
    QStringList lost;
    const std::vector<int> unsaved = UnsavedTabs(parts);
    if (!unsaved.empty())
        lost << (kUnsavedPages + QStringLiteral(" будут потеряны.")).arg(TabCaptions(unsaved));
    const QString unwritten = FHeld.UnwrittenText(parts);
    if (!unwritten.isEmpty())
        lost << unwritten;
    return lost;
}

bool TMainForm::MayReplace(unsigned parts, const QString& question)
{
    // One question either way: over what would be lost it names that, with the keeping answer
    // first.
    const QStringList lost = WhatWouldBeLost(parts);
    if (lost.isEmpty())
        return question.isEmpty() || ConfirmationDlg(this, question);
    return YesNoDlg(this, lost.join(QLatin1Char(' ')) + QLatin1Char(' ') + (question.isEmpty() ? QStringLiteral("Продолжить?") : question),
                    TDefaultAnswer::KeepByDefault);
}

void TMainForm::SetupFileMenu()
{
    auto* menu = new QMenu(ui->sbFile);
    auto add = [this, menu](const QString& text, void (TMainForm::*slot)()) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("&Прочитать всё из модуля"), &TMainForm::ReadAllClick);
    add(QStringLiteral("&Записать всё в модуль"), &TMainForm::WriteAllClick);
    menu->addSeparator();
    add(QStringLiteral("&Сохранить в файл…"), &TMainForm::SaveFileClick);
    add(QStringLiteral("&Открыть файл…"), &TMainForm::OpenFileClick);
    add(QStringLiteral("&Каталог модулей…"), &TMainForm::CatalogueClick);
    add(QStringLiteral("&Резервные копии…"), &TMainForm::BackupsClick);
    add(QStringLiteral("Серийная &настройка…"), &TMainForm::SerialLineClick);
    menu->addSeparator();
    add(QStringLiteral("Сра&внить с модулем…"), &TMainForm::CompareClick);
    menu->addSeparator();
    add(QStringLiteral("&Экспорт ключей в CSV…"), &TMainForm::ExportKeysClick);
    add(QStringLiteral("&Импорт ключей из CSV…"), &TMainForm::ImportKeysClick);
    menu->addSeparator();
    add(QStringLiteral("&Журнал обмена"), &TMainForm::ExchangeMonitorClick);
    add(QStringLiteral("Сохранить о&тчёт для поддержки…"), &TMainForm::SupportReportClick);
    ui->sbFile->setMenu(menu);
    ui->sbFile->setPopupMode(QToolButton::InstantPopup);
    ui->sbFile->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The style's own arrow sits on the text in so small a button: the text carries one instead.
    ui->sbFile->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    // Alt+Ф opens the menu; each item has a letter of its own.
    ui->sbFile->setText(QLatin1Char('&') + ui->sbFile->text() + QStringLiteral(" ▾"));
}

bool TMainForm::HeldCopy(TModuleCopy& copy)
{
    // The settings pages keep their edits apart until "Сохранить"; the Keys grid and the GPRS
    // edits are what the tool holds as they stand.
    for (TSettingsPage* page : FPages) {
        if (page->Part() != PartSettings && !page->StoreToHeld())
            return false;
    }
    copy = FHeld.Copy();
    return true;
}

void TMainForm::ShowCopy(const TModuleCopy& copy)
{
    FHeld.Take(copy);
    for (TSettingsPage* page : FPages) {
        if (copy.Parts() & page->Part())
            page->ShowHeld();
    }
}

bool TMainForm::ReadWholeModule(const QString& title, TModuleCopy& copy, QString& recordProblem)
{
    recordProblem.clear();
    cbPortChange();
    if (ReadFromModule(this, Session(), title, PartAll, copy, kModuleReadFailure) != TOperationResult::Succeeded)
        return false;
    QString error;
    if (!RecordVersion(FCore, TVersionKind::Read, copy, error))
        recordProblem = QStringLiteral("В каталог модулей не записано: %1").arg(error);
    return true;
}

void TMainForm::ReadAllClick()
{
    if (!MayReplace(PartAll))
        return;
    TModuleCopy copy;
    QString problem;
    if (!ReadWholeModule(QStringLiteral("Чтение всего из модуля"), copy, problem))
        return;
    ShowCopy(copy);
    FHeld.MarkInModule(copy.Parts());
    QString text = QStringLiteral("Из модуля прочитаны настройки, ключи (%1) и настройки GPRS.").arg(KeyTableCount(*copy.Keys));
    if (!problem.isEmpty())
        text += QLatin1Char('\n') + problem;
    InformationDlg(this, text);
}

void TMainForm::WriteAllClick()
{
    TModuleCopy copy;
    if (!SettingsFilledOrWarn() || !StoreBeforeWrite() || !HeldCopy(copy))
        return;
    // What goes, what stays in the module as it is, and whether its keys are erased.
    QStringList written{QStringLiteral("настройки")};
    QStringList kept;
    if (copy.Keys)
        written << QStringLiteral("ключи (%1)").arg(KeyTableCount(*copy.Keys));
    else if (!(PartsOverwritten(copy) & PartKeys))
        kept << QStringLiteral("Ключи не прочитаны и не загружены — в модуле останутся прежние.");
    if (copy.Gprs)
        written << QStringLiteral("настройки GPRS");
    else
        kept << QStringLiteral("Настройки GPRS не заданы и записаны не будут.");
    const QString last = written.takeLast();
    QStringList lines{QStringLiteral("Записать в модуль %1 и %2?").arg(written.join(QStringLiteral(", ")), last)};
    if (written.isEmpty())
        lines[0] = QStringLiteral("Записать в модуль %1?").arg(last);
    lines << kept;
    if ((PartsOverwritten(copy) & PartKeys) && (!copy.Keys || KeyTableCount(*copy.Keys) == 0))
        lines << QStringLiteral("Все ключи в модуле будут удалены!");
    if (!ConfirmationDlg(this, lines.join(QLatin1Char('\n'))))
        return;
    cbPortChange();
    if (!WriteToModule(this, FCore, QStringLiteral("Запись всего в модуль"), copy, FHeld,
                       QStringLiteral("Всё успешно записано в модуль!"), QStringLiteral("Ошибка при записи в модуль!")))
        return;
    if (copy.Keys)
        Page<TKeysFrame>()->Written(*copy.Keys);
    if (copy.Gprs)
        Page<TGPRSFrame>()->Written(*copy.Gprs);
}

QString TMainForm::AskFileName(const QString& title, bool saving, const QString& filter, const QString& suggested)
{
    const QString folder = FCore.Config().ReadString(kSection, kFilesFolderKey,
                                               QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString start = QDir(folder).filePath(suggested);
    const QString name = saving ? QFileDialog::getSaveFileName(this, title, start, filter)
                                : QFileDialog::getOpenFileName(this, title, folder, filter);
    if (!name.isEmpty())
        FCore.Config().WriteString(kSection, kFilesFolderKey, QFileInfo(name).absolutePath());
    return name;
}

QString TMainForm::CopyFilter()
{
    return QStringLiteral("Копии модуля (*%1)").arg(ModuleFileSuffix);
}

void TMainForm::SaveFileClick()
{
    const QString suggested = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd")) + ModuleFileSuffix;
    const QString name = AskFileName(QStringLiteral("Сохранить в файл"), true, CopyFilter(), suggested);
    if (!name.isEmpty())
        SaveToFile(name.endsWith(ModuleFileSuffix) ? name : name + ModuleFileSuffix);
}

bool TMainForm::SaveToFile(const QString& fileName)
{
    TModuleCopy copy;
    if (!HeldCopy(copy))
        return false;
    QString error;
    if (!SaveModuleFile(fileName, copy, {QDateTime::currentDateTime(), Session().PortName()}, error)) {
        ErrorDlg(this, error);
        return false;
    }
    const QString text = QStringLiteral("Сохранено в файл «%1»: %2.").arg(ClippedText(QFileInfo(fileName).fileName()), copy.PartsText());
    Tell(text, copy.Settings ? QString() : QStringLiteral("Настройки не прочитаны и не сброшены — в файл не вошли."));
    return true;
}

void TMainForm::OpenFileClick()
{
    const QString name = AskFileName(QStringLiteral("Открыть файл"), false, CopyFilter(), QString());
    if (!name.isEmpty())
        OpenFile(name);
}

bool TMainForm::OpenFile(const QString& fileName)
{
    TModuleCopy copy;
    TModuleFileInfo info;
    QString error;
    if (!LoadModuleFile(fileName, copy, info, error)) {
        const QString text = QStringLiteral("Файл «%1» не открыт.\n%2").arg(ClippedText(QFileInfo(fileName).fileName()), error);
        Report(false, text);
        ErrorDlg(this, text);
        return false;
    }
    const QLocale russian(QLocale::Russian);
    return OpenCopy(copy, QStringLiteral("из файла"),
                    QStringLiteral("сохранено %1, порт %2")
                        .arg(russian.toString(info.Saved, QStringLiteral("dd.MM.yyyy HH:mm")),
                             info.Port.isEmpty() ? QStringLiteral("не указан") : ClippedText(info.Port)));
}

bool TMainForm::OpenCopy(const TModuleCopy& copy, const QString& from, const QString& details)
{
    if (!MayReplace(copy.Parts()))
        return false;
    ShowCopy(copy);
    FHeld.MarkUnwritten(copy.Parts());
    const QString text = QStringLiteral("Загружено %1: %2 (%3).").arg(from, copy.PartsText(), details);
    Tell(text, kNothingSent);
    return true;
}

bool TMainForm::OpenVersion(const TCatalogueVersion& version)
{
    QString error;
    const std::optional<TCatalogueModule> module = FCore.Catalogue().Module(version.Module, error);
    const QString port = version.Info.Port.isEmpty() ? QStringLiteral("не указан") : ClippedText(version.Info.Port);
    return OpenCopy(version.Copy, QStringLiteral("из каталога"),
                    QStringLiteral("модуль %1, %2, порт %3")
                        .arg(ModuleSerialText(module ? module->Serial : QString()), VersionTitle(version), port));
}

void TMainForm::BackupsClick()
{
    const std::optional<TCatalogueVersion> chosen = PickBackup(this, FCore.Catalogue());
    if (chosen)
        OpenVersion(*chosen);
}

void TMainForm::CatalogueClick()
{
    if (!FCatalogueForm) {
        TCatalogueHost host;
        host.Open = [this](const TCatalogueVersion& version) { return OpenVersion(version); };
        host.ReadModule = [this](TModuleCopy& copy) {
            QString problem;
            if (!ReadWholeModule(QStringLiteral("Сравнение с модулем"), copy, problem))
                return false;
            if (!problem.isEmpty())
                WarningDlg(FCatalogueForm.get(), problem);
            return true;
        };
        FCatalogueForm = std::make_unique<TCatalogueForm>(FCore.Catalogue(), std::move(host), this);
        FCatalogueForm->SetWhere(CatalogueDetails());
    } else {
        FCatalogueForm->Refresh();
    }
    FCatalogueForm->show();
    FCatalogueForm->raise();
    FCatalogueForm->activateWindow();
}

void TMainForm::CompareClick()
{
    TModuleCopy held;
    if (!HeldCopy(held))
        return;
    TModuleCopy module;
    QString problem;
    if (!ReadWholeModule(QStringLiteral("Сравнение с модулем"), module, problem))
        return;
    QStringList notes;
    if (!held.Settings)
        notes << QStringLiteral("Настройки в программе не прочитаны и не сброшены — не сравнивались.");
    if (!held.Keys)
        notes << QStringLiteral("Ключи в программе не прочитаны и не загружены — не сравнивались.");
    if (!held.Gprs)
        notes << QStringLiteral("Настройки GPRS в программе не заданы — не сравнивались.");
    if (!problem.isEmpty())
        notes << problem;
    ShowDifferences(this, CompareCopies(module, held), notes.join(QLatin1Char('\n')));
}

void TMainForm::ExportKeysClick()
{
    const QString name = AskFileName(QStringLiteral("Экспорт ключей в CSV"), true, QStringLiteral("Таблицы CSV (*.csv)"), QStringLiteral("ключи.csv"));
    if (!name.isEmpty())
        ExportKeys(name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? name : name + QStringLiteral(".csv"));
}

bool TMainForm::ExportKeys(const QString& fileName)
{
    const TKeysFrame* keys = Page<TKeysFrame>();
    const TKeyTable table = keys->KeyTable();
    const QByteArray csv = KeysToCsv(table, keys->KeyComments(), KeyParamNames());
    QString error;
    if (!SaveFileAtomically(fileName, csv, false, error)) {
        ErrorDlg(this, error);
        return false;
    }
    const QString text =
        QStringLiteral("Ключи (%1) сохранены в файл «%2».").arg(KeyTableCount(table)).arg(ClippedText(QFileInfo(fileName).fileName()));
    Tell(text);
    return true;
}

void TMainForm::ImportKeysClick()
{
    const QString name = AskFileName(QStringLiteral("Импорт ключей из CSV"), false, QStringLiteral("Таблицы CSV (*.csv);;Все файлы (*)"), QString());
    if (!name.isEmpty())
        ImportKeys(name);
}

bool TMainForm::ImportKeys(const QString& fileName)
{
    QByteArray csv;
    QString error;
    if (!ReadFileBounded(fileName, CopyFileLimit, csv, error)) {
        ErrorDlg(this, error);
        return false;
    }
    TKeyTable table;
    QStringList comments;
    QStringList errors;
    if (!KeysFromCsv(csv, KeyParamNames(), table, comments, errors)) {
        constexpr int kShownErrors = 20;
        QStringList shown = errors.mid(0, kShownErrors);
        if (errors.size() > kShownErrors)
            shown << QStringLiteral("… и ещё строк с ошибками: %1.").arg(errors.size() - kShownErrors);
        ErrorDlg(this, QStringLiteral("Ключи из файла «%1» не загружены: в нём есть ошибки.\n%2")
                           .arg(ClippedText(QFileInfo(fileName).fileName()), shown.join(QLatin1Char('\n'))));
        return false;
    }
    if (!MayReplace(PartKeys))
        return false;
    TModuleCopy copy;
    copy.Keys = table;
    copy.KeyComments = comments;
    ShowCopy(copy);
    FHeld.MarkUnwritten(PartKeys);
    FPageControl->SelectPage(kKeysPageIndex);
    const QString text = QStringLiteral("Загружено ключей: %1. В модуль они попадут после записи.").arg(KeyTableCount(table));
    Tell(text);
    return true;
}

void TMainForm::SerialLineClick()
{
    if (!FSerialLine) {
        FSerialLine = std::make_unique<TSerialLineForm>(FCore.Recorder(), this);
        // The window's own catalogue, the command line's if it named one.
        FSerialLine->SetCatalogue(FCore.CatalogueLocation(FCore.CatalogueUrl()));
    }
    FSerialLine->show();
    FSerialLine->raise();
    FSerialLine->activateWindow();
}

void TMainForm::ExchangeMonitorClick()
{
    if (!FMonitor)
        FMonitor = std::make_unique<TExchangeMonitorForm>(FCore.Recorder(), this);
    FMonitor->show();
    FMonitor->raise();
    FMonitor->activateWindow();
}

void TMainForm::SupportReportClick()
{
    const QString suggested =
        QStringLiteral("zem-отчёт-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmm")) + QStringLiteral(".txt");
    const QString name = AskFileName(QStringLiteral("Сохранить отчёт для поддержки"), true, QStringLiteral("Текст (*.txt)"), suggested);
    if (!name.isEmpty() && SaveSupportReport(name)) {
        const QString text = QStringLiteral("Отчёт сохранён в файл «%1».").arg(ClippedText(QFileInfo(name).fileName()));
        Tell(text);
    }
}

bool TMainForm::SaveSupportReport(const QString& fileName)
{
    constexpr size_t kReportedOperations = 20;
    const QString report = SupportReport(ui->cbPort->currentText().trimmed(), FCore.Recorder().Last(kReportedOperations));
    QString error;
    // Its frames are the module's settings, read and written: for the owner's eyes only.
    if (!SaveFileAtomically(fileName, report.toUtf8(), true, error)) {
        ErrorDlg(this, error);
        return false;
    }
    return true;
}
