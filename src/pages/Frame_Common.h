#pragma once
#include "pages/ImageFrame.h"

namespace Ui {
class TCommonFrame;
}

// The "Общие" page: balance request, temperature ranges, supply thresholds and the rest. Its
// operator list offers the presets of "Operators.cfg" for the balance number.
class TCommonFrame : public TImageFrame {
    Q_OBJECT
public:
    TCommonFrame(QWidget* owner, THeldModule& held);
    ~TCommonFrame() override;

    // Run by the tab bar with no sender each time the page is shown: refills the operator list.
    Q_INVOKABLE void FrameEnter(QObject* sender);

public slots:
    // The operator picked a preset: its balance number goes into the edit, unless it has none.
    void cbOperatorChange();

private:
    Ui::TCommonFrame* ui;
};
