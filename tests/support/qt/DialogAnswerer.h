#pragma once

// Answering modal dialogs from a test: arm an answer before the call that opens the dialog.
// The answer polls for a newly shown modal widget until its deadline, records what the dialog
// said, then runs its action (press a button, type a key, look around). When no dialog shows
// before the deadline the answer gives up, so a test never hangs on a missing dialog. The
// progress dialog of a long operation is not answered: it is no message.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QAbstractButton;
class QWidget;

struct SeenDialog {
    bool shown = false;       // a dialog appeared and the action ran
    bool timedOut = false;    // the deadline passed with no dialog
    bool disarmed = false;    // withdrawn by the test before any dialog showed
    QString caption;          // window title
    QString message;          // DialogMessage() of the dialog
    QString className;        // metaObject()->className()
};

using DialogAction = std::function<void(QWidget* dialog)>;

constexpr int kDialogDeadlineMs = 5000;

std::shared_ptr<SeenDialog> AnswerDialog(DialogAction action, int deadlineMs = kDialogDeadlineMs);
// Presses the button named by objectName ("sbOk") or by its visible text ("Отмена").
std::shared_ptr<SeenDialog> PressDialogButton(const QString& button, int deadlineMs = kDialogDeadlineMs);
// Sends a key press (Qt::Key_Return, Qt::Key_Escape, ...) to the dialog's focus widget.
std::shared_ptr<SeenDialog> PressDialogKey(int key, int deadlineMs = kDialogDeadlineMs);
// Closes the dialog as the title bar's close box would.
std::shared_ptr<SeenDialog> CloseDialog(int deadlineMs = kDialogDeadlineMs);

// The dialog's message: the text of its label "laMessage" as given, before line wrapping, if it
// has one; else the texts of all its visible labels joined by newlines.
QString DialogMessage(QWidget* dialog);
// Clicks a button by objectName or text; false when there is none.
bool ClickDialogButton(QWidget* dialog, const QString& button);
void SendKey(QWidget* dialog, int key);

// A click that asks first: its question, and the message that followed (Report->shown is false
// when none came).
struct TConfirmed {
    std::shared_ptr<SeenDialog> Question;
    std::shared_ptr<SeenDialog> Report;
};
// Clicks the button, answers its question by pressing `answer` ("sbOk" or "sbCancel"), and the
// message that follows with OK. The dialogs are modal: all have come and gone when it returns.
TConfirmed ConfirmAndAnswer(QAbstractButton* button, const QString& answer = QStringLiteral("sbOk"));

// Withdraws an answer that has not run, so it cannot take a later test's dialog.
void Disarm(const std::shared_ptr<SeenDialog>& seen);

// Does `act`, pressing `button` in the dialog it opens, if it opens one; the answer's record
// (shown is false when no dialog came, and the answer is withdrawn then).
std::shared_ptr<SeenDialog> PressIfShown(const QString& button, const std::function<void()>& act);
// Withdraws the answer and tells whether no dialog came. The handlers run their dialogs
// synchronously, so once the call that could open one has returned, one would have been seen.
bool NoDialogCame(const std::shared_ptr<SeenDialog>& seen);

// Spins the event loop until the answer ran or timed out (or the extra time runs out).
bool WaitForAnswer(const std::shared_ptr<SeenDialog>& seen, int timeoutMs = kDialogDeadlineMs + 1000);

// Writes $ZEM_SCREENSHOT_DIR/<name>.png from QWidget::grab(); false when the variable is unset
// or the file cannot be written.
bool SaveScreenshot(QWidget* widget, const QString& name);

// An answer that outlasts a block's three timed-out tries.
constexpr int kAnswerMs = 15000;

// Does what opens the dialogs, answering them in turn: what each said (a message dialog its
// message, any other its object name). The dialogs are modal, so all have come and gone by then.
// A dialog past the script is closed and its words kept.
QStringList Answering(std::vector<DialogAction> actions, const std::function<void()>& act);
// Presses the button named by objectName or text.
DialogAction Press(const QString& button);

// Runs the action once the progress dialog of a running operation shows (it is not modal).
void WhenProgressShows(std::function<void(QWidget* progress)> action, int deadlineMs = kAnswerMs);
