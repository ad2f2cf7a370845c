#include "link/FrameText.h"

#include <cstdio>

#include "link/KorFrame.h"

namespace {

constexpr int kDataAt = 3;  // start, function, length, then the data

bool Secret(const TSecretRanges& secrets, int address)
{
    for (const TSecretRange& range : secrets)
        if (address >= range.Address && address < range.Address + range.Count)
            return true;
    return false;
}

// Hex of the bytes; hidden[i] shows as "**".
std::string Hex(const uint8_t* bytes, int length, const std::vector<bool>& hidden)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(static_cast<size_t>(length) * 3);
    for (int i = 0; i < length; ++i) {
        if (i != 0)
            text += ' ';
        if (hidden[static_cast<size_t>(i)]) {
            text += "**";
        } else {
            text += kDigits[bytes[i] >> 4];
            text += kDigits[bytes[i] & 0x0F];
        }
    }
    return text;
}

// Hides the dataCount bytes from dataAt that lie at secret addresses, counted from `address`
// (every one when address is negative), and then the CRC at crcAt with them.
void HideData(std::vector<bool>& hidden, int dataAt, int dataCount, int crcAt, int address,
              const TSecretRanges& secrets)
{
    const int size = static_cast<int>(hidden.size());
    bool any = false;
    for (int i = 0; i < dataCount && dataAt + i < size; ++i) {
        if (address < 0 || Secret(secrets, address + i)) {
            hidden[static_cast<size_t>(dataAt + i)] = true;
            any = true;
        }
    }
    for (int at = crcAt; any && at < crcAt + 2 && at < size; ++at)
        hidden[static_cast<size_t>(at)] = true;
}

std::string Format(const char* format, int a, int b = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Bytes(int count)
{
    return CountText(count, "байт", "байта", "байт");
}

std::string OutputAction(int action)
{
    switch (action) {
    case 0:
        return "выключить";
    case 1:
        return "включить";
    case 2:
        return "включить импульсом";
    default:
        return Format("действие %d", action);
    }
}

int Address(const uint8_t* data)
{
    return data[0] << 8 | data[1];
}

bool AnySecret(const TSecretRanges& secrets, int address, int count)
{
    for (int i = 0; i < count; ++i)
        if (Secret(secrets, address + i))
            return true;
    return false;
}

// The frame from `at` to the end of the bytes answers the request and checks.
bool CheckedFrame(const uint8_t* bytes, int length, int at, const uint8_t* request, int requestLength)
{
    if (request == nullptr || requestLength < kKorFrameOverhead || at < 0 || length - at < kKorFrameOverhead)
        return false;
    const uint8_t* frame = bytes + at;
    const int size = frame[2] + kKorFrameOverhead;
    return frame[0] == kKorStartByte && frame[1] == request[1] && size == length - at && KorCrcGood(frame, size);
}

int FindFrame(const uint8_t* bytes, int length, const uint8_t* request, int requestLength)
{
    int first = length;
    for (int at = 0; at < length; ++at) {
        if (bytes[at] != kKorStartByte)
            continue;
        if (CheckedFrame(bytes, length, at, request, requestLength))
            return at;
        if (first == length)
            first = at;
    }
    return first;
}

// The reply is hidden whole: a secret exchange's, or one that may hold a secret one's bytes.
bool GuardedReply(const TWireEvent& event, const TSecretRanges& secrets)
{
    return TouchesSecret(event.Previous, event.PreviousLength, secrets) ||
           TouchesSecret(event.Request, event.RequestLength, secrets);
}

}  // namespace

bool TouchesSecret(const uint8_t* request, int length, const TSecretRanges& secrets)
{
    if (request == nullptr || length < kKorFrameOverhead || request[2] + kKorFrameOverhead != length)
        return false;
    const int count = request[2];
    const uint8_t* data = request + kDataAt;
    if (request[1] == kKorFunctionRead && count == 3)
        return AnySecret(secrets, Address(data), data[2]);
    if (request[1] == kKorFunctionWrite && count >= 2)
        return AnySecret(secrets, Address(data), count - 2);
    return false;
}

std::string CountText(int count, const char* one, const char* few, const char* many)
{
    const int tens = count % 100;
    const int units = count % 10;
    const char* word = many;
    if (tens < 11 || tens > 14) {
        if (units == 1)
            word = one;
        else if (units >= 2 && units <= 4)
            word = few;
    }
    return std::to_string(count) + " " + word;
}

TFrameText DescribeRequest(const uint8_t* frame, int length, const TSecretRanges& secrets)
{
    std::vector<bool> hidden(static_cast<size_t>(length), false);
    TFrameText text;
    if (length < kKorFrameOverhead || frame[0] != kKorStartByte || frame[2] + kKorFrameOverhead != length) {
        text.Hex = Hex(frame, length, hidden);
        text.Meaning = "Кадр не по формату, " + Bytes(length);
        return text;
    }
    const int function = frame[1];
    const int count = frame[2];
    const uint8_t* data = frame + kDataAt;
    if (function == kKorFunctionRead && count == 3) {
        text.Meaning = Format("Чтение параметров: адрес %d, ", Address(data)) + Bytes(data[2]);
    } else if (function == kKorFunctionWrite && count >= 2) {
        text.Meaning = Format("Запись параметров: адрес %d, ", Address(data)) + Bytes(count - 2);
        HideData(hidden, kDataAt + 2, count - 2, length - 2, Address(data), secrets);
    } else if (function == kKorFunctionCommand && count == 3 && data[0] == kKorCommandOutput) {
        text.Meaning = Format("Выход %d: ", data[1] + 1) + OutputAction(data[2]);
    } else if (function == kKorFunctionCommand && count == 2 && data[0] == kKorCommandKeyReader) {
        text.Meaning = data[1] == kKorKeyModeArm    ? "Считыватель: ожидать ключ"
                       : data[1] == kKorKeyModePoll ? "Считыватель: запрос ключа"
                                                    : Format("Считыватель: режим %d", data[1]);
    } else {
        text.Meaning = Format("Функция %d, данные: ", function) + Bytes(count);
    }
    // A read's CRC gives nothing away, but a secret exchange shows no CRC at all.
    if (TouchesSecret(frame, length, secrets))
        hidden[static_cast<size_t>(length - 2)] = hidden[static_cast<size_t>(length - 1)] = true;
    text.Hex = Hex(frame, length, hidden);
    return text;
}

TFrameText DescribeReply(const uint8_t* bytes, int length, int frameAt, const uint8_t* request, int requestLength,
                         const TSecretRanges& secrets, bool guarded)
{
    if (frameAt < 0)
        frameAt = FindFrame(bytes, length, request, requestLength);
    const bool checked = CheckedFrame(bytes, length, frameAt, request, requestLength);
    const bool ownSecret = TouchesSecret(request, requestLength, secrets);
    const bool secret = guarded || ownSecret;
    TFrameText text;
    if (secret && !checked) {
        // Where a frame seems to start, and what its length byte says, may be a secret's bytes.
        text.Hex = Hex(bytes, length, std::vector<bool>(static_cast<size_t>(length), true));
        text.Meaning = length == 0 ? "" : "Ответ не проверен, скрыт: " + Bytes(length);
        return text;
    }
    std::vector<bool> hidden(static_cast<size_t>(length), false);
    const int got = length - frameAt;
    if (got <= 0) {
        text.Hex = Hex(bytes, length, hidden);
        text.Meaning = length == 0 ? "" : "Только шум";
        return text;
    }
    const uint8_t* frame = bytes + frameAt;
    const int function = got > 1 ? frame[1] : -1;
    const int count = got > 2 ? frame[2] : -1;
    const bool known = request && requestLength >= kKorFrameOverhead && request[1] == function;
    if (function == kKorFunctionRead) {
        // A read's data lie from the address asked for; without the request, where is unknown.
        const int address = known && request[2] == 3 ? Address(request + kDataAt) : -1;
        HideData(hidden, frameAt + kDataAt, count, frameAt + kDataAt + count, address, secrets);
    }
    // Only the checked frame's own fields show: what came before it may be an earlier reply's
    // tail.
    for (int i = 0; secret && i < frameAt; ++i)
        hidden[static_cast<size_t>(i)] = true;
    if (ownSecret)
        hidden[static_cast<size_t>(length - 2)] = hidden[static_cast<size_t>(length - 1)] = true;
    if (count < 0 || got < count + kKorFrameOverhead) {
        text.Meaning = count < 0 ? "Неполный ответ: " + Bytes(got)
                                 : Format("Неполный ответ: %d из ", got) + Bytes(count + kKorFrameOverhead);
    } else if (function == kKorFunctionCommand && known && request[3] == kKorCommandKeyReader) {
        if (count == kKorKeyLength) {
            const std::vector<bool> shown(kKorKeyLength, false);
            text.Meaning = "Ответ: ключ " + Hex(frame + kDataAt, kKorKeyLength, shown);
        } else {
            text.Meaning = count == 0 ? "Ответ: ключа нет" : "Ответ: " + Bytes(count);
        }
    } else if (count == 0 && function != kKorFunctionRead) {
        text.Meaning = function == kKorFunctionWrite ? "Ответ: записано" : "Ответ: выполнено";
    } else {
        text.Meaning = "Ответ: " + Bytes(count);
    }
    if (got > 1 && !known && request)
        text.Meaning += Format(" (функция %d)", function);
    text.Hex = Hex(bytes, length, hidden);
    return text;
}

TFrameText DescribeWire(const TWireEvent& event, const TSecretRanges& secrets)
{
    if (event.ToModule)
        return DescribeRequest(event.Bytes, event.Length, secrets);
    if (event.Outcome == TWireOutcome::Late) {
        // Bytes left from an earlier reply, of this exchange or the one before: which request
        // they answer, and where a frame among them starts, is unknown.
        return DescribeReply(event.Bytes, event.Length, -1, nullptr, 0, secrets, GuardedReply(event, secrets));
    }
    return DescribeReply(event.Bytes, event.Length, event.NoiseBytes, event.Request, event.RequestLength, secrets,
                         TouchesSecret(event.Previous, event.PreviousLength, secrets));
}

std::string WireOutcomeText(const TWireEvent& event, const TSecretRanges& secrets)
{
    std::string text;
    switch (event.Outcome) {
    case TWireOutcome::None:
        break;
    case TWireOutcome::Crc:
        text = "ошибка CRC";
        break;
    case TWireOutcome::Timeout:
        text = Format("нет ответа за %d мс", event.TimeoutMs);
        break;
    case TWireOutcome::Incomplete:
        text = Format("ответ не пришёл целиком за %d мс", event.TimeoutMs);
        break;
    case TWireOutcome::OtherFunction:
        text = "ответ на другую функцию";
        break;
    case TWireOutcome::TooLong:
        text = "ответ длиннее буфера";
        break;
    case TWireOutcome::Late:
        return "опоздавший ответ отброшен";
    case TWireOutcome::PortFailure:
        return "связь с портом потеряна";
    }
    const bool hiddenWhole = event.Outcome != TWireOutcome::None && GuardedReply(event, secrets);
    if (!event.ToModule && event.NoiseBytes > 0 && !hiddenWhole)
        text += std::string(text.empty() ? "" : ", ") + "пропущен шум: " + Bytes(event.NoiseBytes);
    // Which attempt, where it matters: a retry, and every failed reply.
    const bool failed = !event.ToModule && event.Outcome != TWireOutcome::None;
    if (event.Attempts > 1 && (failed || (event.ToModule && event.Attempt > 1)))
        text += (text.empty() ? "" : ", ") + Format("попытка %d из %d", event.Attempt, event.Attempts);
    return text;
}
