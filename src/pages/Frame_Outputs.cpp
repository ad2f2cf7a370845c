#include "pages/Frame_Outputs.h"

#include <algorithm>

#include "operation/DeviceOperation.h"
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
    ui->setupUi(Body());
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    for (int n = 0; n < kOutputCount; ++n) {
        auto* mode = qobject_cast<QComboBox*>(OutputControl(Body(), "cbO", n, "Mode"));
        connect(mode, qOverload<int>(&QComboBox::activated), this, [this, mode] { cbO0ModeChange(mode); });
        const struct {
            const char* Suffix;
            TGlyph Glyph;
            int Action;
        } buttons[] = {{"Pulse", TGlyph::Pulse, kActionPulse}, {"On", TGlyph::On, kActionOn}, {"Off", TGlyph::Off, kActionOff}};
        for (const auto& b : buttons) {
            auto* button = qobject_cast<QToolButton*>(OutputControl(Body(), "sbO", n, b.Suffix));
            if (!button || Tag(button) != b.Action)
                qFatal("Output %d has no button %s with action %d", n, b.Suffix, b.Action);
            SetupSpeedButton(button, b.Glyph);
            connect(button, &QToolButton::clicked, this, [this, button] { sbO0PulseClick(button); });
        }
    }
}

TOutputsFrame::~TOutputsFrame()
{
}

void TOutputsFrame::ListsFilled()
{
    // The lists were drawn for a narrower font: they widen to their longest item, and what
    // follows them in the row moves along.
    int width = 0;
    for (int n = 0; n < kOutputCount; ++n)
        width = std::max(width, OutputControl(Body(), "cbO", n, "Mode")->sizeHint().width());
    for (int n = 0; n < kOutputCount; ++n) {
        QWidget* mode = OutputControl(Body(), "cbO", n, "Mode");
        const int shift = std::max(0, width - mode->width());
        if (shift == 0)
            continue;
        mode->resize(width, mode->height());
        for (const auto& [prefix, suffix] : {std::pair{"laO", "Timeout"}, {"edO", "Timeout"}, {"paO", "Control"}}) {
            QWidget* part = OutputControl(Body(), prefix, n, suffix);
            part->move(part->x() + shift, part->y());
        }
        QWidget* row = OutputControl(Body(), "paO", n, "");
        const int right = OutputControl(Body(), "paO", n, "Control")->geometry().right() + 1 + mode->x();
        if (right > row->width()) {
            row->resize(right, row->height());
            Body()->resize(std::max(Body()->width(), right), Body()->height());
        }
    }
}

void TOutputsFrame::cbO0ModeChange(QComboBox* sender)
{
    const int n = Tag(sender);
    const bool pulse = sender->currentIndex() == kModePulseLock;
    for (const char* prefix : {"laO", "edO"}) {
        if (QWidget* part = OutputControl(Body(), prefix, n, "Timeout"))
            part->setVisible(pulse);
    }
}

void TOutputsFrame::UpdateVisibility()
{
    for (int n = 0; n < kOutputCount; ++n)
        cbO0ModeChange(qobject_cast<QComboBox*>(OutputControl(Body(), "cbO", n, "Mode")));
}

void TOutputsFrame::sbO0PulseClick(QToolButton* sender)
{
    const auto action = static_cast<uint8_t>(Tag(sender));
    const auto output = static_cast<uint8_t>(Tag(sender->parentWidget()));
    RunDeviceOperation(
        this, FSession, {QStringLiteral("Управление выходом")},
        [output, action](TKOR_ZEM& device, TOperationProgress& progress) {
            return progress.Step(1, 1, QStringLiteral("команда модулю")) && device.SetOutput(output, action);
        },
        {}, {TOutcome::Error, QStringLiteral("Модуль не отвечает! Команда не выполнена!")});
}
