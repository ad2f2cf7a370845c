#include "DialogAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int kPollMs = 10;

} // namespace

std::shared_ptr<SeenDialog> AnswerDialog(DialogAction action, int deadlineMs)
{
    auto seen = std::make_shared<SeenDialog>();
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto* timer = new QTimer(qApp);
    timer->setInterval(kPollMs);
    const QDeadlineTimer deadline(deadlineMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=]() {
        if (seen->disarmed) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        QWidget* dialog = QApplication::activeModalWidget();
        // A progress dialog is no message: it waits for the answer's real dialog.
        if (dialog && dialog != before && dialog->isVisible() && !dialog->property("progress").toBool()) {
            timer->stop();
            timer->deleteLater();
            seen->caption = dialog->windowTitle();
            seen->message = DialogMessage(dialog);
            seen->className = QString::fromLatin1(dialog->metaObject()->className());
            seen->shown = true;
            if (action)
                action(dialog);
            return;
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            seen->timedOut = true;
        }
    });
    timer->start();
    return seen;
}

std::shared_ptr<SeenDialog> PressDialogButton(const QString& button, int deadlineMs)
{
    return AnswerDialog([button](QWidget* dialog) { ClickDialogButton(dialog, button); }, deadlineMs);
}

std::shared_ptr<SeenDialog> PressDialogKey(int key, int deadlineMs)
{
    return AnswerDialog([key](QWidget* dialog) { SendKey(dialog, key); }, deadlineMs);
}

std::shared_ptr<SeenDialog> CloseDialog(int deadlineMs)
{
    return AnswerDialog([](QWidget* dialog) { dialog->close(); }, deadlineMs);
}

QString DialogMessage(QWidget* dialog)
{
    if (!dialog)
        return {};
    if (auto* message = dialog->findChild<QLabel*>(QStringLiteral("laMessage"))) {
        // The message dialog wraps the text itself and keeps the unwrapped text in "message".
        const QVariant original = message->property("message");
        return original.isValid() ? original.toString() : message->text();
    }
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->isVisible() && !label->text().isEmpty())
            texts << label->text();
    return texts.join(QLatin1Char('\n'));
}

bool ClickDialogButton(QWidget* dialog, const QString& button)
{
    if (!dialog)
        return false;
    for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
        if (b->objectName() == button || b->text() == button) {
            QTest::mouseClick(b, Qt::LeftButton);
            return true;
        }
    }
    return false;
}

void SendKey(QWidget* dialog, int key)
{
    if (!dialog)
        return;
    QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, static_cast<Qt::Key>(key));
}

TConfirmed ConfirmAndAnswer(QAbstractButton* button, const QString& answer)
{
    auto report = std::make_shared<std::shared_ptr<SeenDialog>>(std::make_shared<SeenDialog>());
    auto question = AnswerDialog([report, answer](QWidget* dialog) {
        *report = PressDialogButton(QStringLiteral("sbOk"));
        ClickDialogButton(dialog, answer);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    WaitForAnswer(question);
    if (!question->shown)
        Disarm(question);
    if (!(*report)->shown)
        Disarm(*report);
    return {question, *report};
}

void Disarm(const std::shared_ptr<SeenDialog>& seen)
{
    seen->disarmed = true;
}

bool NoDialogCame(const std::shared_ptr<SeenDialog>& seen)
{
    Disarm(seen);
    return !seen->shown;
}

bool WaitForAnswer(const std::shared_ptr<SeenDialog>& seen, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!seen->shown && !seen->timedOut && !deadline.hasExpired())
        QTest::qWait(kPollMs);
    return seen->shown;
}

bool SaveScreenshot(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("ZEM_SCREENSHOT_DIR");
    if (dir.isEmpty() || !widget)
        return false;
    if (!QDir().mkpath(dir))
        return false;
    return widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")), "PNG");
}

namespace {

// Dialogs answered one after another: each answer, once its dialog shows, arms the next.
struct TScript {
    std::vector<DialogAction> Actions;
    QStringList Said;
    std::shared_ptr<SeenDialog> Pending;
};

void AnswerNext(const std::shared_ptr<TScript>& script)
{
    const auto i = size_t(script->Said.size());
    // Past the script, a dialog is closed and reported rather than left to hang the test.
    const DialogAction action = i < script->Actions.size() ? script->Actions[i] : [](QWidget* d) { d->close(); };
    script->Pending = AnswerDialog(
        [script, action](QWidget* dialog) {
            script->Said << (dialog->findChild<QLabel*>(QStringLiteral("laMessage")) ? DialogMessage(dialog)
                                                                                      : dialog->objectName());
            AnswerNext(script);
            const QPointer<QWidget> answered = dialog;
            action(dialog);
            // An answer that left its dialog open would leave the test waiting on it for good.
            if (answered && answered->isVisible()) {
                script->Said << answered->objectName() + QStringLiteral(" left open");
                answered->close();
            }
        },
        kAnswerMs);
}

}  // namespace

std::shared_ptr<SeenDialog> PressIfShown(const QString& button, const std::function<void()>& act)
{
    auto seen = PressDialogButton(button);
    act();
    if (!seen->shown)
        Disarm(seen);
    return seen;
}

QStringList Answering(std::vector<DialogAction> actions, const std::function<void()>& act)
{
    auto script = std::make_shared<TScript>();
    script->Actions = std::move(actions);
    AnswerNext(script);
    act();
    Disarm(script->Pending);
    return script->Said;
}

DialogAction Press(const QString& button)
{
    return [button](QWidget* dialog) { ClickDialogButton(dialog, button); };
}

void WhenProgressShows(std::function<void(QWidget* progress)> action, int deadlineMs)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(kPollMs);
    const QDeadlineTimer deadline(deadlineMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action, deadline] {
        QWidget* progress = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->property("progress").toBool())
                progress = window;
        }
        if (progress || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
        }
        if (progress)
            action(progress);
    });
    timer->start();
}
