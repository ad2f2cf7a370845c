#pragma once

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TProgressForm;
}

// What a long exchange with the module is doing, how far it is, and "Отмена". Shown modal by
// the caller, never run with exec(): the caller's own loop waits for the work.
class TProgressForm : public QDialog {
    Q_OBJECT
public:
    TProgressForm(QWidget* owner, const QString& title);
    ~TProgressForm() override;

    // The step under way ("блок 2 из 3"), step of total; a total of 0 shows a busy bar.
    void ShowStep(const QString& text, int step, int total);

    // Called once when the operator asks to stop (the button, Esc or the close box).
    std::function<void()> OnCancel;

    void reject() override;

private:
    void Cancel();

    std::unique_ptr<Ui::TProgressForm> ui;
    bool FCancelled = false;
};
