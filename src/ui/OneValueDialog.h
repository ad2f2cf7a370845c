#pragma once

#include <QDialog>

class QLabel;
class QToolButton;

// A dialog that asks for one value: a label, the input after it, and OK and Cancel speed buttons.
// OK ends it with 1 once the form's own check passes; Cancel, Esc and closing end it with 2.
// In the input, Enter clicks OK (so the check applies) and Esc clicks Cancel; Tab reaches the
// buttons, and Enter presses the one in focus.
class TOneValueDialog : public QDialog {
    Q_OBJECT
public:
    void reject() override;

protected:
    // The controls come from the form's ui, so they are handed over once it is set up.
    explicit TOneValueDialog(QWidget* owner);
    void SetupControls(QLabel* label, QWidget* input, QToolButton* ok, QToolButton* cancel);

    void SetCaptions(const QString& caption, const QString& label);
    // Sizes the dialog to its label and input and centres it over its owner; the input gets the
    // focus.
    void FitToContents();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    // Ends the dialog with 1, or tells the operator why the value will not do.
    virtual void OkClick() = 0;

private:
    QLabel* FLabel = nullptr;
    QWidget* FInput = nullptr;
    QToolButton* FOk = nullptr;
    QToolButton* FCancel = nullptr;
};
