#include "link/ExchangeRecorder.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Frames(size_t count)
{
    return CountText(static_cast<int>(count), "кадр", "кадра", "кадров");
}

}  // namespace

std::string OperationHeader(const TOperationRecord& operation)
{
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", operation.Started.Hour, operation.Started.Minute,
                  operation.Started.Second);
    std::string text = operation.Title;
    if (!operation.Port.empty())
        text += " (" + operation.Port + ")";
    text += std::string(" ") + time + " — ";
    if (!operation.Finished)
        text += "идёт";
    else if (operation.Stopped)
        text += operation.Result;
    else if (operation.Succeeded)
        text += "успешно";
    else if (operation.Result.empty())
        text += "ошибка";
    else  // the cause is a sentence of its own; the figures follow it
        text += "ошибка: " + (operation.Result.back() == '.' ? operation.Result.substr(0, operation.Result.size() - 1)
                                                            : operation.Result);
    if (operation.Finished)
        text += ", " + std::to_string(operation.DurationMs) + " мс";
    text += ", " + Frames(operation.Frames.size() + static_cast<size_t>(operation.FramesDropped));
    return text;
}

std::string FrameLine(const TFrameRecord& frame)
{
    char time[32];
    std::snprintf(time, sizeof time, "%7d мс  %s  ", frame.TimeMs, frame.ToModule ? "→" : "←");
    std::string line = time + frame.Text.Hex;
    if (!frame.Text.Meaning.empty())
        line += "  " + frame.Text.Meaning;
    if (!frame.Outcome.empty())
        line += "  [" + frame.Outcome + "]";
    return line;
}

std::string OperationText(const TOperationRecord& operation)
{
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d ", operation.Started.Year, operation.Started.Month,
                  operation.Started.Day);
    std::string text = date + OperationHeader(operation) + "\n";
    for (const TFrameRecord& frame : operation.Frames)
        text += FrameLine(frame) + "\n";
    if (operation.FramesDropped > 0)
        text += "  … ещё " + Frames(static_cast<size_t>(operation.FramesDropped)) + " не сохранено\n";
    return text;
}

void TExchangeRecorder::SetSecrets(const TSecretRanges& secrets)
{
    std::lock_guard<std::mutex> guard(FLock);
    FSecrets = secrets;
}

void TExchangeRecorder::SetLog(TDailyLog* log)
{
    std::lock_guard<std::mutex> guard(FLock);
    FLog = log;
}

std::string TExchangeRecorder::LogNotice() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FLogNotice;
}

void TExchangeRecorder::WriteLog(TDailyLog* log, const std::string& text)
{
    if (log == nullptr || text.empty() || log->Write(text))
        return;
    const std::string reason = log->OffReason();
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FLogNotice == reason)
            return;
        FLogNotice = reason;
    }
    FVersion.fetch_add(1, std::memory_order_release);
}

uint64_t TExchangeRecorder::Begin(const std::string& title, const std::string& port)
{
    TOperationRecord operation;
    operation.Title = title;
    operation.Port = port;
    operation.Started = LocalTimeNow();
    uint64_t number = 0;
    {
        std::lock_guard<std::mutex> guard(FLock);
        number = operation.Number = FNext++;
        FOperations.push_back(std::move(operation));
        if (FOperations.size() > kOperationsKept)
            FOperations.pop_front();
        FOpen.push_back({number, TClock::now()});
    }
    FVersion.fetch_add(1, std::memory_order_release);
    return number;
}

TOperationRecord* TExchangeRecorder::OpenRecord(uint64_t number, TClock::time_point* start)
{
    const auto open = std::find_if(FOpen.begin(), FOpen.end(), [number](const TOpen& o) { return o.Number == number; });
    if (open == FOpen.end())
        return nullptr;
    if (start)
        *start = open->Start;
    // Open operations are the newest: the search from the end is short.
    for (auto it = FOperations.rbegin(); it != FOperations.rend(); ++it)
        if (it->Number == number)
            return &*it;
    FOpen.erase(open);  // pushed out of the list by a thousand newer ones
    return nullptr;
}

void TExchangeRecorder::End(uint64_t number, bool succeeded, const std::string& result, bool stopped)
{
    std::string logText;
    TDailyLog* log = nullptr;
    {
        std::lock_guard<std::mutex> guard(FLock);
        TClock::time_point start;
        TOperationRecord* operation = OpenRecord(number, &start);
        if (!operation)
            return;
        operation->Finished = true;
        operation->Succeeded = succeeded;
        operation->Stopped = stopped;
        operation->Result = result;
        operation->DurationMs =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
        FOpen.erase(std::remove_if(FOpen.begin(), FOpen.end(), [number](const TOpen& o) { return o.Number == number; }),
                    FOpen.end());
        log = FLog;
        if (log)
            logText = OperationText(*operation);
    }
    FVersion.fetch_add(1, std::memory_order_release);
    // The file is written outside the lock: the exchange thread never waits for the disk.
    WriteLog(log, logText);
}

void TExchangeRecorder::Note(uint64_t number, const TWireEvent& event)
{
    const TClock::time_point now = TClock::now();
    TFrameRecord frame;
    frame.ToModule = event.ToModule;
    frame.Error = event.Outcome != TWireOutcome::None || (!event.ToModule && event.NoiseBytes > 0);
    {
        std::lock_guard<std::mutex> guard(FLock);
        TClock::time_point start;
        TOperationRecord* operation = OpenRecord(number, &start);
        if (!operation)
            return;
        if (operation->Frames.size() >= kFramesKept) {
            ++operation->FramesDropped;
        } else {
            frame.TimeMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count());
            frame.Text = DescribeWire(event, FSecrets);
            frame.Outcome = WireOutcomeText(event, FSecrets);
            operation->Frames.push_back(std::move(frame));
        }
    }
    FVersion.fetch_add(1, std::memory_order_release);
}

std::vector<TOperationRecord> TExchangeRecorder::Since(uint64_t number) const
{
    std::lock_guard<std::mutex> guard(FLock);
    std::vector<TOperationRecord> copies;
    for (const TOperationRecord& operation : FOperations)
        if (operation.Number >= number)
            copies.push_back(operation);
    return copies;
}

std::vector<TOperationRecord> TExchangeRecorder::Last(size_t count) const
{
    std::lock_guard<std::mutex> guard(FLock);
    const size_t from = FOperations.size() > count ? FOperations.size() - count : 0;
    return std::vector<TOperationRecord>(FOperations.begin() + static_cast<long>(from), FOperations.end());
}

void TRecorderChannel::Begin(const std::string& title, const std::string& port)
{
    End(false, "не завершена");
    FOperation = FRecorder ? FRecorder->Begin(title, port) : 0;
    FOpen = true;
}

void TRecorderChannel::End(bool succeeded, const std::string& result, bool stopped)
{
    if (FRecorder && FOpen)
        FRecorder->End(FOperation, succeeded, result, stopped);
    FOpen = false;
}

void TRecorderChannel::OnWire(const TWireEvent& event)
{
    if (FRecorder && FOpen)
        FRecorder->Note(FOperation, event);
}
