#pragma once

#include "ui/DialogTypes.h"

#include <QDialog>

#include <memory>

class QToolButton;

namespace Ui {
class TMyDialogForm;
}

// The one message dialog: a face for the kind of message beside the text, sized to the text.
class TMyDialogForm : public QDialog {
    Q_OBJECT
public:
    explicit TMyDialogForm(QWidget* owner);
    ~TMyDialogForm() override;

    // Lays the dialog out for the message, shows it modally and returns mrOk or mrCancel.
    int Execute(const QString& message, int kind, const QString& caption, TDialogButtons buttons);
    void SetTypeImage(int index);

    // Index of the face shown now (0 before the first).
    int TypeImage() const;

    // Lays the dialog out as Execute would, without showing it.
    void Prepare(const QString& message, int kind, const QString& caption, TDialogButtons buttons);

    void reject() override;

    // Before Execute: the two answers of a question say "Да" and "Нет" rather than "ОК" and
    // "Отмена" (a question answered yes or no, not an action to confirm).
    void WordAnswersYesNo() { FYesNo = true; }
    // Before Execute: the answer (mrOk, mrNo or mrCancel) whose button has the focus and is
    // given by Enter; without one, the first button shown has the focus and Enter gives OK.
    void SetDefaultAnswer(int result) { FDefault = result; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OkClick();
    void CancelClick();
    QToolButton* ButtonFor(int result) const;
    QList<QToolButton*> ShownButtons() const;

    std::unique_ptr<Ui::TMyDialogForm> ui;
    int FKind = 0;
    bool FYesNo = false;
    int FDefault = 0;
};
