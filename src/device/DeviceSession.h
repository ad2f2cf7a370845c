#pragma once
#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "link/ExchangeRecorder.h"
#include "link/KOR_ZEM.h"

class TComPort;
class TThreadTaskManager;
class TUniversalCom;
class TUniversalPort;

// An operation's report of its steps, made on the thread that runs it before each step.
class TOperationProgress {
public:
    virtual ~TOperationProgress() = default;
    // Before step `step` of `total`, described as `text` ("блок 2 из 3"). False when the
    // operation is to stop: it then returns false at once, the step not begun.
    virtual bool Step(int step, int total, const QString& text) = 0;
};

// The exchanges of one operation. It touches neither a widget nor what the window holds: what it
// reads it leaves in its own buffers for the caller.
using TDeviceOperation = std::function<bool(TKOR_ZEM& device, TOperationProgress& progress)>;

enum class TOperationResult { Succeeded, Failed, Cancelled, NotRun };

// The link's failure in the record's words: its cause, or the link's own text.
std::string LinkFailureText(const TLinkError& error);

// One road to one module: the port, the channel over it, the module's commands, the thread that
// runs them for a window, and the record of every exchange. Whoever talks to a module owns one
// (the window; each port of a production line) and hands it down. It shows nothing: it returns
// outcomes with their causes in words.
class TDeviceSession {
public:
    static constexpr int kLineSpeed = 115200;

    // Every operation is recorded there (not owned; null: nowhere).
    explicit TDeviceSession(TExchangeRecorder* recorder);
    ~TDeviceSession();  // stops the task thread and waits for it
    TDeviceSession(const TDeviceSession&) = delete;
    TDeviceSession& operator=(const TDeviceSession&) = delete;

    // The serial device the next operation opens ("/dev/ttyUSB0", "COM3"); its name names the
    // port in records and files.
    void ChoosePort(const QString& name);
    // A port the tool itself stands behind (the virtual module), named `name`: the serial device
    // `device` (its terminal), or, when not null, the in-process port `inProcess`. `problem` says
    // why there is nothing behind it (the virtual module could not start), for the port's warning.
    void ChooseVirtualPort(const QString& name, const std::string& device, TUniversalPort* inProcess,
                           const QString& problem);
    // The port as the operator chose it: a device path, or the virtual module's caption.
    const QString& PortName() const { return FPortName; }
    // Production-line use: the port stays open between operations (until a port failure), so
    // that polling for modules does not open it anew each time.
    void SetKeepOpen(bool keep) { FKeepOpen = keep; }

    // Production-line use, with SetKeepOpen: opens the port unless it is open, recording nothing;
    // false, with OpenProblem saying why, when it does not open.
    bool OpenPort();
    bool PortOpen() const;

    // Opens the port and begins the operation's record; false, with OpenProblem saying why, when
    // the port does not open (the record says so and is ended).
    bool Begin(const QString& title);
    // Ends the record and closes the port.
    void End(bool succeeded, const std::string& result, bool stopped = false);
    bool InOperation() const { return FChannel.InOperation(); }

    // Why the port did not open at the last Begin, in words (empty when it did).
    const QString& OpenProblem() const { return FOpenProblem; }
    // The system's error number for it (0 when there was none, or the port is in-process).
    int LastOpenError() const;

    TKOR_ZEM& Device() { return *FDevice; }
    // The thread that runs a window's operations and the key reader, made at first use.
    TThreadTaskManager& Tasks();

private:
    QString PortOpenCause() const;

    TRecorderChannel FChannel;
    std::unique_ptr<TUniversalCom> FCom;  // owns FComPort
    TComPort* FComPort;
    std::unique_ptr<TKOR_ZEM> FDevice;
    std::unique_ptr<TThreadTaskManager> FTasks;
    TUniversalPort* FInProcessPort = nullptr;
    QString FPortName;
    QString FPortProblem;
    QString FOpenProblem;
    bool FKeepOpen = false;
};
