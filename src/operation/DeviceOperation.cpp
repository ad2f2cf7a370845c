#include "operation/DeviceOperation.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>

#include "device/ModuleAreas.h"
#include "tasks/ThreadTaskManager.h"
#include "ui/Form_Progress.h"
#include "ui/Mydialogs.h"

const char* const OnlookerWindowProperty = "onlookerWindow";

namespace {

constexpr int kDeviceTask = 2;          // the task thread's id for device operations
constexpr int kPollMs = 5;              // how often the waiting window looks at the operation
constexpr int kProgressDelayMs = 300;   // a quicker operation shows no progress dialog

// One operation on its way through the task thread. The worker and the window meet only in
// FState, under FLock.
class TJob final : public TOperationProgress {
public:
    struct TState {
        bool Done = false;
        bool Succeeded = false;
        bool CancelRequested = false;
        bool StepRefused = false;  // the operation stopped before a step because of the cancel
        int Step = 0;              // the step begun last, 1-based
        int Total = 0;
        QString StepText;
        TLinkError Error;
    };

    explicit TJob(TDeviceOperation operation) : FOperation(std::move(operation)) {}

    // On the session's task thread.
    void Run(TKOR_ZEM& device)
    {
        bool succeeded = false;
        TLinkError error;
        try {
            succeeded = FOperation(device, *this);
            error = device.LastError();
        } catch (const std::exception& e) {
            error = {-1, e.what()};
        }
        std::lock_guard<std::mutex> lock(FLock);
        FState.Succeeded = succeeded;
        FState.Error = error;
        FState.Done = true;
        // The waiting window hears of the end at once rather than at its next look.
        if (FWaiter)
            QMetaObject::invokeMethod(FWaiter, &QEventLoop::quit, Qt::QueuedConnection);
    }

    // The loop to wake when the job is done; null before that loop goes away.
    void SetWaiter(QEventLoop* loop)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FWaiter = loop;
    }

    bool Step(int step, int total, const QString& text) override
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FState.CancelRequested) {
            FState.StepRefused = true;
            return false;
        }
        FState.Step = step;
        FState.Total = total;
        FState.StepText = text;
        return true;
    }

    void Cancel()
    {
        std::lock_guard<std::mutex> lock(FLock);
        FState.CancelRequested = true;
    }

    TState State() const
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FState;
    }

private:
    const TDeviceOperation FOperation;
    mutable std::mutex FLock;
    TState FState;
    QEventLoop* FWaiter = nullptr;
};

// GUI thread only.
std::shared_ptr<TJob> g_running;
bool g_quiet = false;
bool g_portOpenFailed = false;
TLinkError g_lastError;
TOperationReporter g_reporter;

void Report(bool succeeded, const QString& text)
{
    if (g_reporter)
        g_reporter(succeeded, QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

// The line for an operation that went: its outcome's words, else what it did, else its name.
QString DoneLine(const TOperationInfo& info, const TOutcome& onSuccess)
{
    if (!onSuccess.Text.isEmpty())
        return onSuccess.Text;
    if (!info.Done.isEmpty())
        return info.Done;
    return QStringLiteral("%1: выполнено").arg(info.Title);
}

// While an operation runs, the operator's input reaches only the progress dialog and the modal
// dialog of the moment (a question): no second operation can be started meanwhile. The progress
// dialog is not modal, so that the window system's close button still reaches the main window.
class TInputBlocker : public QObject {
public:
    TInputBlocker() { qApp->installEventFilter(this); }
    ~TInputBlocker() override { qApp->removeEventFilter(this); }

    void Allow(QWidget* window) { FAllowed = window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu: {
            auto* widget = qobject_cast<QWidget*>(watched);
            QWidget* modal = QApplication::activeModalWidget();
            if (!widget)
                return false;
            // A window that only looks on (the exchange monitor) stays usable meanwhile.
            if (!modal && widget->window()->property(OnlookerWindowProperty).toBool())
                return false;
            return modal ? widget->window() != modal : widget->window() != FAllowed;
        }
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> FAllowed;
};

// Runs the application's events until the job is done, with the progress dialog once it has
// taken longer than a moment.
TJob::TState WaitFor(QWidget* owner, const TOperationInfo& info, TJob& job, TInputBlocker& blocker)
{
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    std::unique_ptr<TProgressForm> progress;
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const TJob::TState state = job.State();
        if (state.Done) {
            loop.quit();
            return;
        }
        if (!progress && elapsed.elapsed() >= kProgressDelayMs) {
            progress = std::make_unique<TProgressForm>(owner ? owner->window() : nullptr, info.Title);
            progress->OnCancel = [&job] { job.Cancel(); };
            blocker.Allow(progress.get());
            progress->show();
            // The dialog shows that the program is busy; its button should look pressable.
            QGuiApplication::changeOverrideCursor(QCursor(Qt::ArrowCursor));
        }
        if (progress && !state.CancelRequested && !state.StepText.isEmpty())
            progress->ShowStep(state.StepText, state.Step, state.Total);
    });
    poll.start();
    job.SetWaiter(&loop);
    if (!job.State().Done)
        loop.exec();
    job.SetWaiter(nullptr);
    return job.State();
}

// How far a write got before it stopped, as a sentence of its own.
QString PartLine(const TOperationInfo& info, const TJob::TState& state)
{
    if (!info.ChangesModule)
        return QString();
    const QString part = WrittenPartText(state.Step, state.Total, state.StepRefused);
    return part.isEmpty() ? part : part.front().toUpper() + part.mid(1) + QLatin1Char('.');
}

QString CancelledMessage(const TOperationInfo& info, const TJob::TState& state)
{
    const QString text = QStringLiteral("Операция «%1» отменена.").arg(info.Title);
    const QString part = PartLine(info, state);
    if (!part.isEmpty())
        return text + QLatin1Char('\n') + part;
    return info.ChangesModule ? text + QStringLiteral("\nМодуль не изменён.") : text;
}

// The outcome's own message, then why the link failed and how far a write got.
TOutcome FailureOutcome(const TOutcome& onFailure, const TOperationInfo& info, const TJob::TState& state)
{
    TOutcome outcome = onFailure;
    if (outcome.Kind == TOutcome::Silent)
        return outcome;
    // A step of many names what failed: "ключи: блок 3 из 8".
    const QString step = state.Total > 1 && !state.StepText.isEmpty()
                             ? QStringLiteral("Сбой на шаге «%1».").arg(state.StepText)
                             : QString();
    for (const QString& line : {step, QString::fromStdString(LinkErrorCause(state.Error)), PartLine(info, state)}) {
        if (!line.isEmpty())
            outcome.Text += QLatin1Char('\n') + line;
    }
    return outcome;
}

// The failure in the exchange log's words: the link's cause, and the step it failed on.
std::string ExchangeFailure(const TJob::TState& state)
{
    std::string text = LinkFailureText(state.Error);
    if (state.Total > 1 && !state.StepText.isEmpty())
        text += (text.empty() ? "" : " ") + ("Шаг «" + state.StepText + "».").toStdString();
    return text;
}

void Tell(QWidget* owner, const TOutcome& outcome)
{
    switch (outcome.Kind) {
    case TOutcome::Silent:
        break;
    case TOutcome::Information:
        InformationDlg(owner, outcome.Text);
        break;
    case TOutcome::Warning:
        WarningDlg(owner, outcome.Text);
        break;
    case TOutcome::Error:
        ErrorDlg(owner, outcome.Text);
        break;
    }
}

// The busy cursor for one operation.
class TBusyCursor {
public:
    TBusyCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

}  // namespace

QString PortOpenWarning(const TDeviceSession& session)
{
    return QStringLiteral("Ошибка при открытии порта!\n") + session.OpenProblem();
}

void SetOperationReporter(TOperationReporter reporter)
{
    g_reporter = std::move(reporter);
}

TOperationResult RunDeviceOperation(QWidget* owner, TDeviceSession& session, const TOperationInfo& info,
                                    const TDeviceOperation& operation, const TOutcome& onSuccess,
                                    const TOutcome& onFailure)
{
    if (g_running)
        return TOperationResult::NotRun;
    g_lastError = TLinkError();
    g_portOpenFailed = false;
    auto job = std::make_shared<TJob>(operation);
    g_running = job;
    g_quiet = false;
    // The port's warning, if any, stands before the busy cursor; the record begins after it.
    if (!session.Begin(info.Title)) {
        g_portOpenFailed = true;
        g_running.reset();
        WarningDlg(owner, PortOpenWarning(session));
        Report(false, QStringLiteral("%1: %2").arg(info.Title, PortOpenWarning(session)));
        return TOperationResult::NotRun;
    }
    TJob::TState state;
    {
        TBusyCursor busy;
        TInputBlocker blocker;
        TKOR_ZEM& device = session.Device();
        if (session.Tasks().PostTask(kDeviceTask, [job, &device](const std::atomic<bool>&) { job->Run(device); })) {
            state = WaitFor(owner, info, *job, blocker);
        } else {
            state.Error = {-1, "the task thread refused the operation"};
        }
    }
    const bool cancelled = !state.Succeeded && state.CancelRequested;
    if (cancelled)
        session.End(false, "отменена", true);
    else
        session.End(state.Succeeded, state.Succeeded ? std::string() : ExchangeFailure(state));
    g_running.reset();
    g_lastError = state.Error;

    TOperationResult result = state.Succeeded ? TOperationResult::Succeeded : TOperationResult::Failed;
    if (cancelled)
        result = TOperationResult::Cancelled;
    if (!g_quiet) {
        if (result == TOperationResult::Cancelled)
            WarningDlg(owner, CancelledMessage(info, state));
        else
            Tell(owner, state.Succeeded ? onSuccess : FailureOutcome(onFailure, info, state));
    }
    if (result == TOperationResult::Succeeded) {
        Report(true, DoneLine(info, onSuccess));
    } else if (result == TOperationResult::Cancelled) {
        Report(false, CancelledMessage(info, state));
    } else {
        // A silent failure (the backup's read) still names the operation and its cause.
        TOutcome told = FailureOutcome({TOutcome::Warning, onFailure.Text}, info, state);
        if (onFailure.Text.isEmpty())
            told.Text = QStringLiteral("%1: не выполнено").arg(info.Title) + told.Text;
        Report(false, told.Text);
    }
    QMetaObject::invokeMethod(DeviceOperationEvents(), &TDeviceOperationEvents::Ended, Qt::QueuedConnection);
    return result;
}

bool DeviceOperationRunning()
{
    return g_running != nullptr;
}

bool LastPortOpenFailed()
{
    return g_portOpenFailed;
}

void CancelDeviceOperation(bool quietly)
{
    if (!g_running)
        return;
    g_quiet = g_quiet || quietly;
    g_running->Cancel();
}

TDeviceOperationEvents* DeviceOperationEvents()
{
    static TDeviceOperationEvents* events = new TDeviceOperationEvents;
    return events;
}

const TLinkError& LastDeviceError()
{
    return g_lastError;
}
