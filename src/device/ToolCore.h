#pragma once
#include <QString>

#include <memory>

class TDailyLog;
class TDeviceSession;
class TExchangeRecorder;
class TIniFile;

// What the program makes once and hands down: the configuration file "ZEM.cfg", the record of
// every exchange with its daily log, and the window's session with the module. The production
// line's sessions record into the same recorder.
class TToolCore {
public:
    // ZEM.cfg's switch for the daily log: [Log] Enabled=0 turns it off.
    static constexpr const char* kLogSection = "Log";
    static constexpr const char* kLogKey = "Enabled";

    // The daily log goes into logFolder ("logs" in the user's data folder when empty).
    explicit TToolCore(const QString& logFolder = QString());
    ~TToolCore();
    TToolCore(const TToolCore&) = delete;
    TToolCore& operator=(const TToolCore&) = delete;

    TIniFile& Config() { return *FConfig; }
    TExchangeRecorder& Recorder() { return *FRecorder; }
    TDeviceSession& Session() { return *FSession; }
    // Null when turned off.
    TDailyLog* Log() const { return FLog.get(); }

private:
    std::unique_ptr<TIniFile> FConfig;
    std::unique_ptr<TDailyLog> FLog;
    std::unique_ptr<TExchangeRecorder> FRecorder;
    std::unique_ptr<TDeviceSession> FSession;  // last: it records into FRecorder until it goes
};
