#include "pages/Frame_Outputs.h"

#include <QLabel>
#include <QTime>

#include "operation/DeviceOperation.h"
#include "ui/Colors.h"
#include "ui/Dnx_control_utils.h"
#include "ui/Glyphs.h"
#include "ui_Frame_Outputs.h"

namespace {

constexpr int kOutputCount = 6;
constexpr int kModePulseLock = 0;  // "Замок в импульсном режиме": the only mode with an on time
constexpr int kActionOff = 0;
constexpr int kActionOn = 1;
constexpr int kActionPulse = 2;

int Tag(const QObject* control) { return control->property("tag").toInt(); }

QWidget* OutputControl(QWidget* page, const char* prefix, int output, const char* suffix)
{
    return FindControl(page, QStringLiteral("%1%2%3").arg(QLatin1String(prefix)).arg(output).arg(QLatin1String(suffix)));
}

}  // namespace

TOutputsFrame::TOutputsFrame(QWidget* owner, THeldModule& held, TDeviceSession& session)
    : TImageFrame(owner, held, TImagePage::Outputs), ui(new Ui::TOutputsFrame), FSession(session)
{
    ui->setupUi(this);
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    QList<QWidget*> names;
    for (int n = 0; n < kOutputCount; ++n) {
        names << OutputControl(this, "laO", n, "");
        // A row without an on time keeps its place, so that the buttons stay in one column.
        for (const char* prefix : {"laO", "edO"}) {
            QWidget* part = OutputControl(this, prefix, n, "Timeout");
            QSizePolicy policy = part->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            part->setSizePolicy(policy);
        }
        auto* mode = qobject_cast<QComboBox*>(OutputControl(this, "cbO", n, "Mode"));
        connect(mode, qOverload<int>(&QComboBox::activated), this, [this, mode] { cbO0ModeChange(mode); });
        const struct {
            const char* Suffix;
            TGlyph Glyph;
            int Action;
        } buttons[] = {{"Pulse", TGlyph::Pulse, kActionPulse}, {"On", TGlyph::On, kActionOn}, {"Off", TGlyph::Off, kActionOff}};
        for (const auto& b : buttons) {
            auto* button = qobject_cast<QToolButton*>(OutputControl(this, "sbO", n, b.Suffix));
            if (!button || Tag(button) != b.Action)
                qFatal("Output %d has no button %s with action %d", n, b.Suffix, b.Action);
            SetupSpeedButton(button, b.Glyph);
            connect(button, &QToolButton::clicked, this, [this, button] { sbO0PulseClick(button); });
        }
    }
    ShareWidth(names);
}

TOutputsFrame::~TOutputsFrame()
{
}

void TOutputsFrame::cbO0ModeChange(QComboBox* sender)
{
    const int n = Tag(sender);
    const bool pulse = sender->currentIndex() == kModePulseLock;
    for (const char* prefix : {"laO", "edO"}) {
        if (QWidget* part = OutputControl(this, prefix, n, "Timeout"))
            part->setVisible(pulse);
    }
}

void TOutputsFrame::UpdateVisibility()
{
    for (int n = 0; n < kOutputCount; ++n)
        cbO0ModeChange(qobject_cast<QComboBox*>(OutputControl(this, "cbO", n, "Mode")));
}

void TOutputsFrame::sbO0PulseClick(QToolButton* sender)
{
    const auto action = static_cast<uint8_t>(Tag(sender));
    const auto output = static_cast<uint8_t>(Tag(sender->parentWidget()));
    const TOperationResult result = RunDeviceOperation(
        this, FSession, {QStringLiteral("Управление выходом")},
        [output, action](TKOR_ZEM& device, TOperationProgress& progress) {
            return progress.Step(1, 1, QStringLiteral("команда модулю")) && device.SetOutput(output, action);
        },
        {}, {TOutcome::Error, QStringLiteral("Модуль не отвечает! Команда не выполнена!")});
    ShowCommandResult(sender, result);
}

void TOutputsFrame::ShowCommandResult(const QToolButton* button, TOperationResult result)
{
    QString outcome;
    switch (result) {
    case TOperationResult::Succeeded:
        outcome = QStringLiteral("выполнено");
        break;
    case TOperationResult::Failed:
        outcome = QStringLiteral("модуль не отвечает, команда не выполнена");
        break;
    case TOperationResult::Cancelled:
        outcome = QStringLiteral("команда отменена");
        break;
    case TOperationResult::NotRun:
        outcome = LastPortOpenFailed() ? QStringLiteral("порт не открыт, команда не отправлена")
                                       : QStringLiteral("команда не отправлена");
        break;
    }
    const auto* name = qobject_cast<const QLabel*>(OutputControl(this, "laO", Tag(button->parentWidget()), ""));
    ui->laCommandResult->setText(QStringLiteral("%1  %2: «%3» — %4")
                                     .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), name->text(),
                                          button->toolTip(), outcome));
    const bool failed = result != TOperationResult::Succeeded;
    ui->laCommandResult->setStyleSheet(failed ? QStringLiteral("color: %1;").arg(ToQColor(clRed).name()) : QString());
}
