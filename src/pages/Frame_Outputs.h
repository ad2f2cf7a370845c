#pragma once
#include <memory>

#include "device/DeviceSession.h"
#include "pages/ImageFrame.h"

class QComboBox;
class QToolButton;

namespace Ui {
class TOutputsFrame;
}

// The "Выходы" page: what each of the outputs O0 (the relay) to O5 drives and, for a lock in
// pulse mode, how long it stays on; and three buttons a row that switch the output at once.
class TOutputsFrame : public TImageFrame {
    Q_OBJECT
public:
    TOutputsFrame(QWidget* owner, THeldModule& held, TDeviceSession& session);
    ~TOutputsFrame() override;

    // The mode list of an output (its number in its tag) changed.
    void cbO0ModeChange(QComboBox* sender);
    // A command button (its action in its tag, the output in its panel's tag) was pressed.
    void sbO0PulseClick(QToolButton* sender);

protected:
    void UpdateVisibility() override;

private:
    // The last command's outcome stays on the page, beside its strip: sent, or why not.
    void ShowCommandResult(const QToolButton* button, TOperationResult result);

    std::unique_ptr<Ui::TOutputsFrame> ui;
    TDeviceSession& FSession;
};
