#include "Form_Main.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QResizeEvent>

#include <algorithm>
#include <cstring>
#include <vector>
#include <string>

#include "Colors.h"
#include "ComPort.h"
#include "Defaults.h"
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
// A plain margin between the window's frame and its designed client area.
constexpr int kBorderWidth = 4;

// The image goes out in three blocks; addresses 0 and 124 are never written.
struct TWriteBlock {
    int Address;
    int Count;
};
constexpr TWriteBlock kWriteBlocks[] = {{1, 40}, {40, 40}, {80, 44}};

// The wait cursor for as long as a device operation blocks the window.
class TBusyCursor {
public:
    TBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

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
    ui->cbPort->view()->setMinimumWidth(200);
    // The designed widths were measured in another font: a button is never narrower than its
    // text, and the row closes up behind a wider one.
    int left = ui->sbPing->x();
    for (QToolButton* button : {ui->sbPing, ui->sbRead, ui->sbWrite}) {
        button->setGeometry(left, button->y(), std::max(button->width(), button->sizeHint().width()),
                            button->height());
        left = button->geometry().right() + 1;
    }

    connect(ui->cbPort, &TPortComboBox::DropDown, this, &TMainForm::cbPortDropDown);
    connect(ui->cbPort, &QComboBox::textActivated, this, &TMainForm::cbPortChange);
    connect(ui->cbPort->lineEdit(), &QLineEdit::editingFinished, this, &TMainForm::cbPortChange);
    connect(ui->sbPing, &QToolButton::clicked, this, &TMainForm::sbPingClick);
    connect(ui->sbRead, &QToolButton::clicked, this, &TMainForm::sbReadClick);
    connect(ui->sbWrite, &QToolButton::clicked, this, &TMainForm::sbWriteClick);
    connect(ui->sbDefaults, &QToolButton::clicked, this, &TMainForm::sbDefaultsClick);

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
    ui->cbPort->addItem(port);
    ui->cbPort->setCurrentIndex(0);
    cbPortChange();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
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
    std::vector<std::string> ports;
    TComPort::EnumPorts(ports);
    QStringList names;
    for (const std::string& port : ports)
        names << QString::fromStdString(port);
    // A typed device path (a pseudo-terminal, a symlink) is not among the serial devices the
    // system lists, but while it exists it is as present as they are.
    if (!current.isEmpty() && !names.contains(current) && QFileInfo::exists(current))
        names << current;
    ui->cbPort->clear();
    ui->cbPort->addItems(names);
    ui->cbPort->setCurrentIndex(current.isEmpty() ? -1 : names.indexOf(current));
}

void TMainForm::cbPortChange()
{
    const QString port = ui->cbPort->currentText().trimmed();
    if (!port.isEmpty())
        ComPort->SetPortName(port.toStdString());
}

void TMainForm::sbPingClick()
{
    cbPortChange();
    if (!OpenPort())
        return;
    bool linked;
    {
        TBusyCursor busy;
        linked = Device->CheckLink();
        ClosePort();
    }
    if (linked)
        InformationDlg(this, QStringLiteral("Устройство подключено!"));
    else
        WarningDlg(this, QStringLiteral("Нет связи с устройством!"));
}

void TMainForm::sbReadClick()
{
    cbPortChange();
    if (!OpenPort())
        return;
    // A failed or short reply must not leave half-read settings in the image.
    uint8_t received[SettingsSize];
    int count;
    {
        TBusyCursor busy;
        count = Device->ReadParams(0, SettingsSize, received, kReadTimeoutMs);
        ClosePort();
    }
    if (count != SettingsSize) {
        WarningDlg(this, QStringLiteral("Ошибка при чтении настроек!"));
        return;
    }
    std::memcpy(SettingsImage, received, SettingsSize);
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
    if (!ConfirmationDlg(this, QStringLiteral("Записать все настройки в устройство?")))
        return;
    cbPortChange();
    if (!OpenPort())
        return;
    bool written;
    {
        TBusyCursor busy;
        written = WriteImage();
        ClosePort();
    }
    if (written)
        InformationDlg(this, QStringLiteral("Настройки успешно записаны!"));
    else
        WarningDlg(this, QStringLiteral("Ошибка при записи настроек!"));
}

bool TMainForm::WriteImage()
{
    for (const TWriteBlock& block : kWriteBlocks) {
        if (!Device->WriteParams(block.Address, SettingsImage + block.Address, block.Count, kWriteTimeoutMs))
            return false;
    }
    if (SettingsImage[kKeyCountAddress] == 0) {
        // No keys stored: mark every slot of the module's key table empty.
        for (int slot = 0; slot < kKeySlotCount; ++slot) {
            if (!Device->WriteParams(kKeySlotsAddress + kKeySlotSize * slot, &kEmptyKeySlot, 1,
                                     kKeyEraseTimeoutMs))
                return false;
        }
    }
    return true;
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
