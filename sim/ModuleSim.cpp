#include "sim/ModuleSim.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "util/Dnxfileutils.h"

// ---- frame receiver ----

std::vector<std::vector<uint8_t>> TSimFrameReceiver::Feed(const uint8_t* bytes, size_t count)
{
    FBuffer.insert(FBuffer.end(), bytes, bytes + count);
    std::vector<std::vector<uint8_t>> frames;
    Scan(frames);
    return frames;
}

std::vector<std::vector<uint8_t>> TSimFrameReceiver::Expire()
{
    std::vector<std::vector<uint8_t>> frames;
    if (!FBuffer.empty()) {
        FBuffer.erase(FBuffer.begin());
        ++FDropped;
        Scan(frames);
    }
    return frames;
}

void TSimFrameReceiver::Scan(std::vector<std::vector<uint8_t>>& frames)
{
    size_t pos = 0;
    for (;;) {
        while (pos < FBuffer.size() && FBuffer[pos] != kKorStartByte) {
            ++pos;
            ++FDropped;
        }
        if (FBuffer.size() - pos < 3)
            break;
        const size_t length = FBuffer[pos + 2] + kKorFrameOverhead;
        if (FBuffer.size() - pos < length)
            break;
        if (KorCrcGood(FBuffer.data() + pos, static_cast<int>(length))) {
            frames.emplace_back(FBuffer.begin() + pos, FBuffer.begin() + pos + length);
            pos += length;
        } else {
            ++pos;
            ++FDropped;
        }
    }
    FBuffer.erase(FBuffer.begin(), FBuffer.begin() + pos);
}

// ---- module ----

TModuleSim::TModuleSim() : FMemory(kMemorySize, 0xFF)
{
    std::copy(std::begin(kFactoryDefaults), std::end(kFactoryDefaults), FMemory.begin());
    std::fill(std::begin(FOutputActions), std::end(FOutputActions), -1);
}

std::vector<uint8_t> TModuleSim::ReadMemory(int address, int count) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (address < 0 || count <= 0 || address >= kMemorySize)
        return {};
    const int end = std::min(kMemorySize, address + count);
    return std::vector<uint8_t>(FMemory.begin() + address, FMemory.begin() + end);
}

void TModuleSim::WriteMemory(int address, const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(FMutex);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const long at = static_cast<long>(address) + static_cast<long>(i);
        if (at >= 0 && at < kMemorySize)
            FMemory[at] = bytes[i];
    }
}

bool TModuleSim::LoadMemoryFile(const std::string& path, int* fileError)
{
    std::string bytes;
    const int error = ReadRegularFile(path, kMemorySize, bytes);
    if (fileError != nullptr)
        *fileError = error;
    // Anything but a whole memory image is someone else's file: leave the memory as it is.
    if (error != 0 || bytes.size() != static_cast<size_t>(kMemorySize))
        return false;
    std::lock_guard<std::mutex> lock(FMutex);
    FMemory.assign(bytes.begin(), bytes.end());
    return true;
}

bool TModuleSim::SaveMemoryFile(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return SaveLocked(path);
}

bool TModuleSim::SaveLocked(const std::string& path) const
{
    // The memory holds the GPRS password.
    return SaveFileDurably(path, FMemory.data(), FMemory.size(), true) == 0;
}

void TModuleSim::SetMemoryFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FMemoryFile = path;
}

std::vector<std::vector<uint8_t>> TModuleSim::ReceivedFrames() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FFrames;
}

std::vector<std::vector<uint8_t>> TModuleSim::ReceivedFrames(uint8_t function) const
{
    std::vector<std::vector<uint8_t>> frames = ReceivedFrames();
    frames.erase(std::remove_if(frames.begin(), frames.end(),
                                [function](const std::vector<uint8_t>& f) { return f.size() < 2 || f[1] != function; }),
                 frames.end());
    return frames;
}

void TModuleSim::ClearReceivedFrames()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FFrames.clear();
}

int TModuleSim::OutputAction(int output) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (output < 0 || output > 255)
        return -1;
    return FOutputActions[output];
}

void TModuleSim::PresentKey(const uint8_t romCode[8], int afterPolls, bool held)
{
    std::lock_guard<std::mutex> lock(FMutex);
    std::copy(romCode, romCode + kKorKeyLength, FKey);
    FKeyAfterPolls = std::max(0, afterPolls);
    FKeyPolls = 0;
    FKeyPresent = true;
    FKeyHeld = held;
}

void TModuleSim::SetArmingReplyOf8(bool on)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FArmingReplyOf8 = on;
}

bool TModuleSim::KeyPending() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FKeyPresent;
}

int TModuleSim::KeyPolls() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FKeyPolls;
}

void TModuleSim::InjectFault(const TSimFault& fault)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (fault.Count != 0)
        FFaults.push_back(fault);
}

void TModuleSim::ClearFaults()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FFaults.clear();
}

std::vector<TSimFault> TModuleSim::Faults() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return std::vector<TSimFault>(FFaults.begin(), FFaults.end());
}

bool TModuleSim::TakeFault(TSimFault& fault)
{
    if (FFaults.empty())
        return false;
    TSimFault& head = FFaults.front();
    fault = head;
    if (head.Count > 0 && --head.Count == 0)
        FFaults.pop_front();
    return true;
}

// The reply's data, or nothing when the module keeps quiet. Requests it does not understand,
// malformed ones and writes reaching past the memory get no reply, so the tool reports a failure
// rather than believing a write it never made. Reads past the end are clamped: the length byte
// tells the tool how much came.
std::vector<uint8_t> TModuleSim::Answer(const std::vector<uint8_t>& frame, bool& answered, bool& wrote)
{
    answered = false;
    wrote = false;
    const uint8_t function = frame[1];
    const size_t length = frame[2];
    const uint8_t* data = frame.data() + 3;

    if (function == kKorFunctionRead && length == 3) {
        const int address = data[0] << 8 | data[1];
        const int end = std::min(kMemorySize, address + data[2]);
        answered = true;
        if (address >= end)
            return {};
        return std::vector<uint8_t>(FMemory.begin() + address, FMemory.begin() + end);
    }
    if (function == kKorFunctionWrite && length >= 2) {
        const int address = data[0] << 8 | data[1];
        const size_t count = length - 2;
        if (address + count > static_cast<size_t>(kMemorySize))
            return {};
        std::copy(data + 2, data + 2 + count, FMemory.begin() + address);
        answered = true;
        wrote = true;
        return {};
    }
    if (function == kKorFunctionCommand && length == 3 && data[0] == kKorCommandOutput) {
        FOutputActions[data[1]] = data[2];
        answered = true;
        return {};
    }
    if (function == kKorFunctionCommand && length == 2 && data[0] == kKorCommandKeyReader) {
        if (data[1] == kKorKeyModeArm) {
            answered = true;
            if (FArmingReplyOf8)
                return std::vector<uint8_t>(FKey, FKey + kKorKeyLength);
            return {};
        }
        if (data[1] == kKorKeyModePoll) {
            answered = true;
            if (!FKeyPresent)
                return {};
            if (FKeyPolls++ < FKeyAfterPolls)
                return {};
            FKeyPresent = FKeyHeld;
            return std::vector<uint8_t>(FKey, FKey + kKorKeyLength);
        }
    }
    return {};
}

TSimReply TModuleSim::HandleFrame(const std::vector<uint8_t>& frame)
{
    TSimReply reply;
    if (frame.size() < kKorFrameOverhead || frame[0] != kKorStartByte
        || frame.size() != static_cast<size_t>(frame[2]) + kKorFrameOverhead
        || !KorCrcGood(frame.data(), static_cast<int>(frame.size())))
        return reply;

    std::unique_lock<std::mutex> lock(FMutex);
    FFrames.push_back(frame);
    bool answered = false;
    bool wrote = false;
    std::vector<uint8_t> data = Answer(frame, answered, wrote);
    TSimFault fault;
    const bool faulty = TakeFault(fault);
    if (wrote && !FMemoryFile.empty())
        SaveLocked(FMemoryFile);

    // Extra data of a read continues from the memory, as a module overrunning its count would.
    int extraFrom = -1;
    if (frame[1] == kKorFunctionRead && answered)
        extraFrom = (frame[3] << 8 | frame[4]) + static_cast<int>(data.size());

    if (!answered) {
        if (faulty && fault.Kind == TSimFault::HangUp)
            reply.HangUp = true;
        return reply;
    }
    if (!faulty) {
        reply.Chunks.push_back({0, KorFrame(frame[1], data)});
        return reply;
    }
    if (fault.Kind == TSimFault::ExtraData) {
        for (int i = 0; i < std::max(0, fault.ExtraBytes); ++i) {
            const int at = extraFrom < 0 ? -1 : extraFrom + i;
            data.push_back(at >= 0 && at < kMemorySize ? FMemory[at] : 0x00);
        }
        if (data.size() > 255)
            data.resize(255);
    }
    if (fault.Kind == TSimFault::FewerData)
        data.resize(data.size() - std::min(data.size(), static_cast<size_t>(std::max(0, fault.DropBytes))));
    lock.unlock();
    return ApplyFault(fault, KorFrame(frame[1], data));
}

TSimReply TModuleSim::ApplyFault(const TSimFault& fault, std::vector<uint8_t> reply)
{
    TSimReply out;
    switch (fault.Kind) {
    case TSimFault::Silence:
        return out;
    case TSimFault::Delay:
        out.Chunks.push_back({std::max(0, fault.DelayMs), reply});
        return out;
    case TSimFault::LateReply:
        out.Chunks.push_back({fault.DelayMs > 0 ? fault.DelayMs : TSimFault::kDefaultLateMs, reply});
        return out;
    case TSimFault::BadCrc:
        reply[reply.size() - 2] ^= 0xFF;
        out.Chunks.push_back({0, reply});
        return out;
    case TSimFault::WrongFunction: {
        const uint8_t wrong = reply[1] == kKorFunctionRead ? kKorFunctionWrite : kKorFunctionRead;
        std::vector<uint8_t> data(reply.begin() + 3, reply.end() - 2);
        out.Chunks.push_back({0, KorFrame(wrong, data)});
        return out;
    }
    case TSimFault::Noise: {
        std::vector<uint8_t> bytes = fault.NoiseBytes;
        if (bytes.empty())
            bytes = {0x00, 0xFF, 0x13};
        bytes.insert(bytes.end(), reply.begin(), reply.end());
        out.Chunks.push_back({0, bytes});
        return out;
    }
    case TSimFault::Split: {
        const int pieces = std::clamp(fault.Pieces, 1, static_cast<int>(reply.size()));
        const int gap = fault.DelayMs > 0 ? fault.DelayMs : TSimFault::kDefaultSplitGapMs;
        size_t from = 0;
        for (int i = 0; i < pieces; ++i) {
            const size_t to = reply.size() * (i + 1) / pieces;
            out.Chunks.push_back({i == 0 ? 0 : gap, std::vector<uint8_t>(reply.begin() + from, reply.begin() + to)});
            from = to;
        }
        return out;
    }
    case TSimFault::ShortReply: {
        const size_t drop = std::min(reply.size() - 1, static_cast<size_t>(std::max(1, fault.DropBytes)));
        reply.resize(reply.size() - drop);
        out.Chunks.push_back({0, reply});
        return out;
    }
    case TSimFault::ExtraData:
    case TSimFault::FewerData:
        out.Chunks.push_back({0, reply});
        return out;
    case TSimFault::HangUp:
        reply.resize(std::max<size_t>(1, reply.size() / 2));
        out.Chunks.push_back({0, reply});
        out.HangUp = true;
        return out;
    }
    return out;
}
