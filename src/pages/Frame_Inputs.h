#pragma once
#include <memory>

#include "pages/ImageFrame.h"

class QComboBox;

namespace Ui {
class TInputsFrame;
}

// The "Входы" page: the mode, alarm state and trip action of zones Z1 to Z7, and two delays.
// A zone's mode hides the lists that do not apply to it.
class TInputsFrame : public TImageFrame {
    Q_OBJECT
public:
    TInputsFrame(QWidget* owner, THeldModule& held);
    ~TInputsFrame() override;

    // The mode list of Z1 to Z5 (its zone in its tag) changed.
    void cbZ1ModeChange(QComboBox* sender);
    // The mode list of Z6 or Z7 changed.
    void cbZ6ModeChange(QComboBox* sender);

protected:
    void UpdateVisibility() override;

private:
    QComboBox* ZoneList(int zone, const char* role) const;

    std::unique_ptr<Ui::TInputsFrame> ui;
};
