#pragma once
#include <QObject>
#include <QString>

#include <functional>

#include "device/DeviceSession.h"

class QWidget;

// What the operator is told when an operation ends one way or the other.
struct TOutcome {
    enum TKind { Silent, Information, Warning, Error };
    TKind Kind = Silent;
    QString Text;
};

// How an operation is named while it runs and when it is cancelled.
struct TOperationInfo {
    QString Title;               // "Чтение настроек"
    bool ChangesModule = false;  // a cancelled one then says how far it got
    QString Done = QString();    // the report's words on success, when its outcome says nothing
};

// A window with this property set to true takes input while an operation runs: it only looks on
// and starts nothing.
extern const char* const OnlookerWindowProperty;

// The window's every exchange with the module goes through here, one operation at a time,
// through the session. The port is opened for the operation (or the operator warned and NotRun
// returned) and closed after it on every path; the exchanges run on the session's task thread
// while this thread goes on handling events,
// with input to the windows held back and, past a moment, a progress dialog with "Отмена".
// Then one message for the outcome, owned by `owner`: a cancelled operation says so (and how
// far it got, when it changes the module). An exception the operation lets out counts as a
// failure. NotRun at once while another operation runs.
TOperationResult RunDeviceOperation(QWidget* owner, TDeviceSession& session, const TOperationInfo& info, const TDeviceOperation& operation,
                                    const TOutcome& onSuccess, const TOutcome& onFailure);

// The port's warning: its first line, then the one cause the port's open reported.
QString PortOpenWarning(const TDeviceSession& session);

// Told of every operation's end, after its message, in one line: what was done, or what went
// wrong and why. The window's status line.
using TOperationReporter = std::function<void(bool succeeded, const QString& line)>;
void SetOperationReporter(TOperationReporter reporter);

bool DeviceOperationRunning();
// Whether the last operation was not run because its port could not be opened (the operator has
// seen the port's warning then).
bool LastPortOpenFailed();
// Asks the running operation to stop after the exchange under way; with `quietly` it ends
// without its outcome message (the program is closing).
void CancelDeviceOperation(bool quietly);

// Tells when an operation has ended, after its outcome message, on the GUI thread.
class TDeviceOperationEvents : public QObject {
    Q_OBJECT
signals:
    void Ended();
};
TDeviceOperationEvents* DeviceOperationEvents();

// Why the last operation failed, as the link reported it (code 0 when it reported nothing).
const TLinkError& LastDeviceError();
