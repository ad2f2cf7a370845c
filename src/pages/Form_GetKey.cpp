#include "pages/Form_GetKey.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstring>

#include "device/DeviceSession.h"
#include "keys/Task_getkey.h"
#include "link/ExchangeRecorder.h"
#include "module/IniFile.h"
#include "operation/DeviceOperation.h"
#include "tasks/ThreadTaskManager.h"
#include "ui/Colors.h"
#include "ui/Editutils.h"
#include "ui/Formtools.h"
#include "ui/Glyphs.h"
#include "ui/Mydialogs.h"
#include "ui/Shape.h"
#include "util/Dnxstrutils.h"
#include "ui_Form_GetKey.h"

namespace {

const QString kSection = QStringLiteral("GetKeyForm");
constexpr int kTimerMs = 180;
constexpr int kSquares = 5;
constexpr TColor kSquareOff = RGBColor(0, 128, 0);
constexpr TColor kSquareOn = RGBColor(0, 255, 0);

QColor StatusColor(TKeyStatusColor color)
{
    switch (color) {
    case TKeyStatusColor::Maroon:
        return QColor(128, 0, 0);
    case TKeyStatusColor::Green:
        return QColor(0, 128, 0);
    case TKeyStatusColor::Red:
        return QColor(255, 0, 0);
    case TKeyStatusColor::Black:
        break;
    }
    return QColor(0, 0, 0);
}

}  // namespace

TGetKeyForm::TGetKeyForm(QWidget* owner, TDeviceSession& session, TIniFile& config)
    : QDialog(owner), ui(new Ui::TGetKeyForm), FSession(session), FConfig(config), FTimer(new QTimer(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    StyleTitleBand(ui->laDeviceKey);
    StyleTitleBand(ui->Label1);

    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(15);
    ui->edKey->setFont(mono);
    // Room for the longest code, a full key in display order, whatever the font.
    ui->edKey->setMinimumWidth(QFontMetrics(mono).horizontalAdvance(QStringLiteral("FF FF FF FF FF FF FF FF")) +
                               ui->edKey->fontMetrics().averageCharWidth() * 2);
    connect(ui->edKey, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int cursor = ui->edKey->cursorPosition();
        ui->edKey->setText(text.toUpper());
        ui->edKey->setCursorPosition(cursor);
    });

    SetupSpeedButton(ui->sbStart, TGlyph::Key, this, &TGetKeyForm::sbStartClick);
    SetupSpeedButton(ui->sbStop, TGlyph::Off, this, &TGetKeyForm::sbStopClick);
    SetupSpeedButton(ui->sbOk, TGlyph::Ok, this, &TGetKeyForm::sbOkClick);
    SetupSpeedButton(ui->sbCancel, TGlyph::Cancel, this, &TGetKeyForm::sbCancelClick);
    connect(ui->rbKey, &QRadioButton::clicked, this, &TGetKeyForm::rbKeyClick);
    connect(ui->rbSN, &QRadioButton::clicked, this, &TGetKeyForm::rbKeyClick);
    FTimer->setInterval(kTimerMs);
    connect(FTimer, &QTimer::timeout, this, &TGetKeyForm::TimerTimer);

    ui->paWaitKey->hide();
    ui->sbStop->hide();
    ShowStatus(QString(), Qt::black);
    for (int i = 1; i <= kSquares; ++i)
        LightSquare(i, i == 1);
}

TGetKeyForm::~TGetKeyForm()
{
    FormClose();
}

bool TGetKeyForm::OneMoreKey() const
{
    return ui->cbOneMoreKey->isChecked();
}

void TGetKeyForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TGetKeyForm::FormShow()
{
    LoadOptions();
    FPortOpen = FSession.Begin(QStringLiteral("Чтение ключа"));
    if (!FPortOpen) {
        WarningDlg(parentWidget(), PortOpenWarning(FSession));
        // Only typing is left: the dialog closes up under the reader's panel.
        ui->paReader->hide();
        adjustSize();
        CenterOverOwner(this);
        return;
    }
    sbStartClick();
}

void TGetKeyForm::LoadOptions()
{
    ui->cbAutoOk->setChecked(FConfig.ReadBool(kSection, QStringLiteral("AutoOk"), false));
    ui->cbOneMoreKey->setChecked(FConfig.ReadBool(kSection, QStringLiteral("OneMoreKey"), false));
    const bool keyFormat = FConfig.ReadBool(kSection, QStringLiteral("Key"), true);
    (keyFormat ? ui->rbKey : ui->rbSN)->setChecked(true);
    FShowingKeyFormat = keyFormat;
}

void TGetKeyForm::SaveOptions()
{
    FConfig.WriteBool(kSection, QStringLiteral("AutoOk"), ui->cbAutoOk->isChecked());
    FConfig.WriteBool(kSection, QStringLiteral("OneMoreKey"), ui->cbOneMoreKey->isChecked());
    FConfig.WriteBool(kSection, QStringLiteral("Key"), ui->rbKey->isChecked());
}

bool TGetKeyForm::ReadingRuns() const
{
    return FRun && !FRun->State().Ended;
}

void TGetKeyForm::sbStartClick()
{
    // One run at a time: a run still ending keeps "Старт" from starting another.
    if (!FPortOpen || ReadingRuns())
        return;
    FRun = std::make_shared<TKeyReadRun>();
    if (FPassOver)
        FRun->PassOver(*FPassOver);
    FPassOver.reset();
    if (!StartKeyRead(FSession.Tasks(), FSession.Device(), FRun))
        return;
    // The light starts from the first square, whatever a run before left lit.
    FLightTag = 0;
    for (int i = 1; i <= kSquares; ++i)
        LightSquare(i, i == 1);
    FTimer->start();
    ui->paWaitKey->show();
    ui->sbStop->show();
    ui->sbStart->hide();
}

void TGetKeyForm::sbStopClick()
{
    FTimer->stop();
    if (FRun)
        FRun->Stop();
    ui->sbStop->hide();
    ui->sbStart->show();
    ui->paWaitKey->hide();
    ui->laAction->setText(QStringLiteral("Остановлено"));
}

void TGetKeyForm::ShowStatus(const QString& text, const QColor& color)
{
    ui->laAction->setText(text);
    QPalette palette = ui->laAction->palette();
    palette.setColor(QPalette::WindowText, color);
    ui->laAction->setPalette(palette);
}

void TGetKeyForm::LightSquare(int index, bool lit)
{
    if (auto* shape = findChild<TShape*>(QStringLiteral("Shape%1").arg(index)))
        shape->SetBrushColor(lit ? kSquareOn : kSquareOff);
}

void TGetKeyForm::TimerTimer()
{
    // Under one of this dialog's messages nothing happens, least of all an automatic "ОК".
    if (QApplication::activeModalWidget() != this || !FRun)
        return;
    const TKeyReadRun::TState state = FRun->State();
    if (!state.Status.empty())
        ShowStatus(QString::fromStdString(state.Status), StatusColor(state.StatusColor));
    if (state.Ended) {
        FTimer->stop();
        ui->paWaitKey->hide();
        ui->sbStop->hide();
        ui->sbStart->show();
        if (state.KeyRead) {
            std::memcpy(FKey, state.Key, KeyCodeSize);
            ShowKey();
            if (ui->cbAutoOk->isChecked())
                sbOkClick();
        }
        return;
    }
    const int lit = FLightTag == 0 ? kSquares : FLightTag;
    const int next = FLightTag + 1;
    LightSquare(lit, false);
    LightSquare(next, true);
    FLightTag = next > kSquares - 1 ? 0 : next;
}

void TGetKeyForm::ShowKey()
{
    if (ui->rbKey->isChecked()) {
        ui->edKey->setText(QString::fromStdString(BytesToTextFmt(FKey, KeyCodeSize, "%0.2X ")).trimmed());
    } else {
        const int64_t serial = KeyTextToSerial(BytesToText(FKey, KeyCodeSize, 16), true);
        ui->edKey->setText(QString::number(serial));
    }
    FShowingKeyFormat = ui->rbKey->isChecked();
}

bool TGetKeyForm::TypedKey(uint8_t key[KeyCodeSize])
{
    QString error;
    if (CheckTypedKey(ui->edKey->text(), FShowingKeyFormat, key, error))
        return true;
    ui->edKey->setFocus();
    ErrorDlg(this, error);
    return false;
}

void TGetKeyForm::rbKeyClick()
{
    if (ui->rbKey->isChecked() == FShowingKeyFormat)
        return;
    if (ui->edKey->text().trimmed().isEmpty()) {
        FShowingKeyFormat = ui->rbKey->isChecked();
        return;
    }
    // The text is checked in the format it was typed in; a text that is no key stays as it is,
    // in its format, so that switching never makes a key out of a wrong code.
    uint8_t key[KeyCodeSize];
    if (!TypedKey(key)) {
        (FShowingKeyFormat ? ui->rbKey : ui->rbSN)->setChecked(true);
        return;
    }
    std::memcpy(FKey, key, KeyCodeSize);
    ShowKey();
}

void TGetKeyForm::sbOkClick()
{
    // Nothing typed or read yet: nothing to take, and the reader goes on.
    if (ui->edKey->text().trimmed().isEmpty())
        return;
    // The key returned is the one checked here, not one the reader brings meanwhile.
    if (ReadingRuns())
        sbStopClick();
    uint8_t key[KeyCodeSize];
    if (!TypedKey(key))
        return;
    std::memcpy(FKey, key, KeyCodeSize);
    accept();
}

void TGetKeyForm::sbCancelClick()
{
    ui->cbOneMoreKey->setChecked(false);
    reject();
}

void TGetKeyForm::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        sbCancelClick();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The button in focus, else OK.
        if (QToolButton* button = FocusedButton(this))
            button->click();
        else
            sbOkClick();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void TGetKeyForm::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TGetKeyForm::FormClose()
{
    if (FClosed)
        return;
    FClosed = true;
    SaveOptions();
    const bool stopped = ReadingRuns();
    sbStopClick();
    if (FPortOpen) {
        // The reading has ended by now (StartKeyRead's run is stopped and waited for).
        const bool keyRead = FRun && FRun->State().KeyRead;
        if (stopped)
            FSession.End(false, "остановлено", true);
        else
            FSession.End(keyRead, keyRead ? std::string() : "ключ не прочитан");
    }
    FPortOpen = false;
}

int GetKey(QWidget* owner, TDeviceSession& session, TIniFile& config, TKeyRecord* record, const TKeyRecord* passOver)
{
    TGetKeyForm form(owner, session, config);
    if (passOver)
        form.PassOver(*passOver);
    int result = 0;
    if (form.exec() == QDialog::Accepted)
        result = form.OneMoreKey() ? 2 : 1;
    if (result != 0 && record) {
        uint8_t rom[KeyCodeSize];
        std::memcpy(rom, form.Key(), KeyCodeSize);
        ReverseKeyCode(rom);
        std::memcpy(record, rom + 1, KeyCodeSize - 1);
        record->Param = 0;
    }
    return result;
}
