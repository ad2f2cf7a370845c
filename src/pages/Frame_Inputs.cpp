#include "pages/Frame_Inputs.h"

#include "ui/Dnx_control_utils.h"
#include "ui_Frame_Inputs.h"

namespace {

constexpr int kZoneCount = 7;
constexpr int kLastGuardZone = 5;  // Z1 to Z5 share one list of modes; Z6 and Z7 have their own
// Positions in the mode list of Z1 to Z5.
constexpr int kFirstNonGuardMode = 4;  // "Отключена": the modes before it guard a zone
constexpr int kModeOff = 4;
// Positions in the mode list of Z6 and Z7.
constexpr int kModeGuardControl = 1;  // "Управление охраной"
constexpr int kModeArm = 2;           // "Постановка на охрану"

int Tag(const QObject* control) { return control->property("tag").toInt(); }

}  // namespace

TInputsFrame::TInputsFrame(QWidget* owner, THeldModule& held)
    : TImageFrame(owner, held, TImagePage::Inputs), ui(new Ui::TInputsFrame)
{
    ui->setupUi(this);
    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        QComboBox* mode = ZoneList(zone, "Mode");
        connect(mode, qOverload<int>(&QComboBox::activated), this, [this, mode, zone] {
            if (zone <= kLastGuardZone)
                cbZ1ModeChange(mode);
            else
                cbZ6ModeChange(mode);
        });
    }
}

TInputsFrame::~TInputsFrame()
{
}

QComboBox* TInputsFrame::ZoneList(int zone, const char* role) const
{
    return qobject_cast<QComboBox*>(FindControl(ui->paBody, QStringLiteral("cbZ%1%2").arg(zone).arg(QLatin1String(role))));
}

void TInputsFrame::cbZ1ModeChange(QComboBox* sender)
{
    const int zone = Tag(sender);
    if (zone > kLastGuardZone)
        return;
    const int position = sender->currentIndex();
    if (QComboBox* action = ZoneList(zone, "Action"))
        action->setVisible(position < kFirstNonGuardMode);
    if (QComboBox* state = ZoneList(zone, "AlarmState"))
        state->setVisible(position != kModeOff);
}

void TInputsFrame::cbZ6ModeChange(QComboBox* sender)
{
    const int position = sender->currentIndex();
    if (QComboBox* state = ZoneList(Tag(sender), "AlarmState"))
        state->setVisible(position == kModeGuardControl || position == kModeArm);
}

void TInputsFrame::UpdateVisibility()
{
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        QComboBox* mode = ZoneList(zone, "Mode");
        if (zone <= kLastGuardZone)
            cbZ1ModeChange(mode);
        else
            cbZ6ModeChange(mode);
    }
}
