#include "Form_Main.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QLineEdit>
#include <QResizeEvent>
#include <QSerialPortInfo>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <cstring>
#include <vector>
#include <string>

#include "Colors.h"
#include "ComPort.h"
#include "Defaults.h"
#include "DeviceOperation.h"
#include "Frame_Alarm.h"
#include "Frame_Common.h"
#include "Frame_GPRS.h"
#include "Frame_Inputs.h"
#include "Frame_Keys.h"
#include "Frame_Mobiles.h"
#include "Frame_Outputs.h"
#include "Frame_PageControl.h"
#include "Glyphs.h"
#include "Globals.h"
#include "IniFile.h"
#include "KOR_ZEM.h"
#include "Mydialogs.h"
#include "Appconfig.h"
#include "VirtualModule.h"
#include "ui_Form_Main.h"

TMainForm* MainForm = nullptr;

namespace {

const QString kSection = QStringLiteral("MainForm");
const QString kPortKey = QStringLiteral("Port");

constexpr int kReadTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;
constexpr int kKeyEraseTimeoutMs = 100;
constexpr int kKeySlotsAddress = 480;
constexpr int kKeySlotSize = 8;
constexpr int kKeySlotCount = 32;
constexpr int kKeyCountAddress = 5;
constexpr uint8_t kEmptyKeySlot = 0xFF;
constexpr int kLeastPortListWidth = 200;
constexpr int kPortListPadding = 32;  // the item's margins and a scroll bar
// A plain margin between the window's frame and its designed client area.
constexpr int kBorderWidth = 4;

// The image goes out in three blocks; addresses 0 and 124 are never written.
struct TWriteBlock {
    int Address;
    int Count;
};
constexpr TWriteBlock kWriteBlocks[] = {{1, 40}, {40, 40}, {80, 44}};

// The image goes out as the module expects it: three blocks, then, when no keys are stored, every
// slot of the key table marked empty.
bool WriteImage(TKOR_ZEM& device, TOperationProgress& progress, const uint8_t* image)
{
    const int blocks = int(std::size(kWriteBlocks));
    const int total = blocks + (image[kKeyCountAddress] == 0 ? kKeySlotCount : 0);
    int step = 0;
    for (const TWriteBlock& block : kWriteBlocks) {
        ++step;
        if (!progress.Step(step, total, QStringLiteral("блок %1 из %2").arg(step).arg(blocks)) ||
            !device.WriteParams(block.Address, image + block.Address, block.Count, kWriteTimeoutMs))
            return false;
    }
    for (int slot = 0; step < total; ++slot) {
        ++step;
        if (!progress.Step(step, total, QStringLiteral("очистка ключей: ячейка %1 из %2").arg(slot + 1).arg(kKeySlotCount)) ||
            !device.WriteParams(kKeySlotsAddress + kKeySlotSize * slot, &kEmptyKeySlot, 1, kKeyEraseTimeoutMs))
            return false;
    }
    return true;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), ui(new Ui::TMainForm)
{
    ui->setupUi(this);
    MainForm = this;
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(width() + 2 * kBorderWidth, height() + 2 * kBorderWidth);
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormClose();
    if (MainForm == this)
        MainForm = nullptr;
    delete ui;
}

void TMainForm::FormCreate()
{
    CreateGlobals();
    PortWarningOwner = this;

    SetupSpeedButton(ui->sbPing, TGlyph::Ping);
    SetupSpeedButton(ui->sbRead, TGlyph::Read);
    SetupSpeedButton(ui->sbWrite, TGlyph::Write);
    SetupSpeedButton(ui->sbDefaults, TGlyph::Reset);
    ui->shDefaults->setStyleSheet(QStringLiteral("#shDefaults { background: %1; border: 1px solid %2; }")
                                      .arg(ToQColor(clBtnFace).name(), ToQColor(clGray).name()));
    ui->cbPort->view()->setMinimumWidth(kLeastPortListWidth);
    // The designed widths were measured in another font: a button is never narrower than its
    // text, and the row closes up behind a wider one.
    int left = ui->sbPing->x();
    for (QToolButton* button : {ui->sbPing, ui->sbRead, ui->sbWrite}) {
        button->setGeometry(left, button->y(), std::max(button->width(), button->sizeHint().width()),
                            button->height());
        left = button->geometry().right() + 1;
    }

    connect(ui->cbPort, &TPortComboBox::DropDown, this, &TMainForm::cbPortDropDown);
    connect(ui->cbPort, qOverload<int>(&QComboBox::activated), this, &TMainForm::cbPortSelect);
    connect(ui->cbPort->lineEdit(), &QLineEdit::editingFinished, this, &TMainForm::cbPortChange);
    // The pages' own operations (an output button) use the port as typed, Enter or not.
    connect(ui->cbPort, &QComboBox::editTextChanged, this, &TMainForm::cbPortChange);
    connect(ui->sbPing, &QToolButton::clicked, this, &TMainForm::sbPingClick);
    connect(ui->sbRead, &QToolButton::clicked, this, &TMainForm::sbReadClick);
    connect(ui->sbWrite, &QToolButton::clicked, this, &TMainForm::sbWriteClick);
    connect(ui->sbDefaults, &QToolButton::clicked, this, &TMainForm::sbDefaultsClick);
    connect(DeviceOperationEvents(), &TDeviceOperationEvents::Ended, this, [this] {
        if (FCloseWhenIdle)
            close();
    });

    FPageControl = new TPageControlFrame(this);
    auto* holderLayout = new QHBoxLayout(ui->paHolder);
    holderLayout->setContentsMargins(0, 0, 0, 0);
    holderLayout->addWidget(FPageControl);
    FPageControl->SetActiveFontColor(0xFF0000);
    FPageControl->SetButtonHeight(22);
    FPageControl->SetButtonSpacing(4);
    FPageControl->SetHolderGap(4);
    FPageControl->PageIndent = 4;

    FPageControl->AddPage(QStringLiteral("Общие"), new TCommonFrame(this));
    FPageControl->AddPage(QStringLiteral("Входы"), new TInputsFrame(this));
    FPageControl->AddPage(QStringLiteral("Выходы"), new TOutputsFrame(this));
    FPageControl->AddPage(QStringLiteral("Ключи"), new TKeysFrame(this));
    FPageControl->AddPage(QStringLiteral("Абоненты"), new TMobilesFrame(this));
    // The first letter is the Latin C: the caption stays exactly as installers know it.
    FPageControl->AddPage(QStringLiteral("Cигнализация"), new TAlarmFrame(this));
    FPageControl->AddPage(QStringLiteral("GPRS"), new TGPRSFrame(this));
    FPageControl->SelectPage(0);

    ui->paDefaults->setParent(FPageControl);
    ui->paDefaults->move(ui->paDefaults->x(), 0);
    ui->paDefaults->show();
    ui->paDefaults->raise();
    FPageControl->installEventFilter(this);
    paHolderResize();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    const QString port = IniFile->ReadString(kSection, kPortKey, QString());
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
            ConfirmationDlg(this, QStringLiteral("Идёт обмен с модулем. Прервать его и закрыть программу?"))) {
            FCloseWhenIdle = true;
            CancelDeviceOperation(true);
        }
        return;
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
    SaveFormSize(IniFile, this);
    const QString port = ui->cbPort->currentText().trimmed();
    if (!port.isEmpty() && !TIniFile::CanStore(port)) {
        WarningDlg(this, QStringLiteral("Порт \"%1\" не сохранен в файле настроек: в его имени есть "
                                        "символы, которых нет в кодировке Windows-1251.")
                             .arg(port));
    } else if (!port.isEmpty()) {
        IniFile->WriteString(kSection, kPortKey, port);
    }
    ui->paDefaults->setParent(this);
    delete FPageControl;
    FPageControl = nullptr;
    if (PortWarningOwner == this)
        PortWarningOwner = nullptr;
    DestroyGlobals();
    FVirtualModule.reset();
}

void TMainForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRect client = rect().adjusted(kBorderWidth, kBorderWidth, -kBorderWidth, -kBorderWidth);
    ui->paTop->setGeometry(client.left(), client.top(), client.width(), ui->paTop->height());
    ui->Shape1->resize(ui->paTop->width(), ui->Shape1->height());
    ui->paHolder->setGeometry(client.left(), client.top() + ui->paTop->height(), client.width(),
                              client.height() - ui->paTop->height());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FPageControl && event->type() == QEvent::Resize)
        paHolderResize();
    return QWidget::eventFilter(watched, event);
}

void TMainForm::paHolderResize()
{
    if (FPageControl != nullptr)
        ui->paDefaults->move(FPageControl->width() - ui->paDefaults->width(), 0);
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
        const QString path = port.systemLocation();
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
    // A long path shows its end, where the device's name is.
    ui->cbPort->lineEdit()->end(false);
    ui->cbPort->setToolTip(port.isEmpty() ? QStringLiteral("Выберите порт из списка или введите путь к устройству и нажмите Enter")
                                          : port);
}

void TMainForm::cbPortChange()
{
    const QString port = ui->cbPort->currentText().trimmed();
    if (port == TVirtualModule::Caption()) {
        if (!FVirtualModule)
            FVirtualModule = std::make_unique<TVirtualModule>();
        ComPort->SetPortName(FVirtualModule->Start());
    } else {
        ComPort->SetPortName(port.toStdString());
    }
}

void TMainForm::sbPingClick()
{
    cbPortChange();
    RunDeviceOperation(
        this, {QStringLiteral("Проверка связи")},
        [](TKOR_ZEM& device, TOperationProgress& progress) {
            return progress.Step(1, 1, QStringLiteral("запрос к модулю")) && device.CheckLink();
        },
        {TOutcome::Information, QStringLiteral("Устройство подключено!")},
        {TOutcome::Warning, QStringLiteral("Нет связи с устройством!")});
}

void TMainForm::sbReadClick()
{
    cbPortChange();
    // A failed or short reply must not leave half-read settings in the image.
    auto received = std::make_shared<std::array<uint8_t, SettingsSize>>();
    const TOperationResult result = RunDeviceOperation(
        this, {QStringLiteral("Чтение настроек")},
        [received](TKOR_ZEM& device, TOperationProgress& progress) {
            return progress.Step(1, 1, QStringLiteral("блок 1 из 1")) &&
                   device.ReadParams(0, SettingsSize, received->data(), kReadTimeoutMs) == SettingsSize;
        },
        {}, {TOutcome::Warning, QStringLiteral("Ошибка при чтении настроек!")});
    if (result != TOperationResult::Succeeded)
        return;
    std::memcpy(SettingsImage, received->data(), SettingsSize);
    FImageFilled = true;
    ReloadImagePages();
}

void TMainForm::sbWriteClick()
{
    // An image never filled is all zeros: writing it would wipe the module's settings and, with
    // a key count of 0, erase its key table.
    if (!FImageFilled) {
        WarningDlg(this,
                   QStringLiteral("Сначала прочитайте настройки из устройства или сбросьте их по умолчанию!"));
        return;
    }
    QString question = QStringLiteral("Записать все настройки в устройство?");
    if (SettingsImage[kKeyCountAddress] == 0)
        question += QStringLiteral("\nВсе ключи в модуле будут удалены!");
    if (!ConfirmationDlg(this, question))
        return;
    cbPortChange();
    auto image = std::make_shared<std::array<uint8_t, SettingsSize>>();
    std::memcpy(image->data(), SettingsImage, SettingsSize);
    RunDeviceOperation(
        this, {QStringLiteral("Запись настроек"), true},
        [image](TKOR_ZEM& device, TOperationProgress& progress) { return WriteImage(device, progress, image->data()); },
        {TOutcome::Information, QStringLiteral("Настройки успешно записаны!")},
        {TOutcome::Warning, QStringLiteral("Ошибка при записи настроек!")});
}

void TMainForm::sbDefaultsClick()
{
    if (!ConfirmationDlg(this, QStringLiteral("Сбросить настройки по умолчанию?")))
        return;
    std::memcpy(SettingsImage, DefaultSettings, SettingsSize);
    FImageFilled = true;
    ReloadImagePages();
}

void TMainForm::ReloadImagePages()
{
    CommonFrame->LoadFromImage();
    InputsFrame->LoadFromImage();
    OutputsFrame->LoadFromImage();
    MobilesFrame->LoadFromImage();
    AlarmFrame->LoadFromImage();
}
