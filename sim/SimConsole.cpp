#include "sim/SimConsole.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kAlways = -1;
constexpr int kMaxCount = 999999999;  // nine digits: never overflows while parsing
constexpr int kDefaultDelayMs = 300;  // past the tool's 100 ms command timeout, well within its 1 s reads
constexpr int kMaxMs = 600000;
constexpr int kMaxBytes = 255;  // a frame's length byte bounds everything counted in bytes
constexpr int kMaxNoiseBytes = 32;
const std::vector<uint8_t> kDefaultNoise = {0x00, 0xFF, 0x13};

// What a kind's VALUE words are.
enum TValues { NoValue, Milliseconds, PiecesAndGap, Bytes, HexBytes };

struct TKindInfo {
    const char* Name;
    TSimFault::TKind Kind;
    // Lasting faults default to always, so they outlive the tool's retries; the one-off events
    // (a reply after the tool gave up, a line that is gone for good) happen once.
    int DefaultCount;
    TValues Values;
    const char* Value;  // its VALUE words, for --help and the errors
    const char* Does;
};

const TKindInfo kKinds[] = {
    {"silent", TSimFault::Silence, kAlways, NoValue, "", "does not answer at all"},
    {"delay", TSimFault::Delay, kAlways, Milliseconds, "MS", "answers after MS milliseconds"},
    {"late", TSimFault::LateReply, 1, Milliseconds, "MS", "answers after MS ms, once the tool has given up"},
    {"bad-crc", TSimFault::BadCrc, kAlways, NoValue, "", "answers with a damaged CRC"},
    {"wrong-function", TSimFault::WrongFunction, kAlways, NoValue, "", "answers with another function code"},
    {"noise", TSimFault::Noise, kAlways, HexBytes, "HEX", "sends the bytes HEX before its answer"},
    {"split", TSimFault::Split, kAlways, PiecesAndGap, "PIECES:MS", "answers in PIECES pieces, MS ms apart"},
    {"short", TSimFault::ShortReply, kAlways, Bytes, "N", "cuts the last N bytes off its answer"},
    {"extra-data", TSimFault::ExtraData, kAlways, Bytes, "N", "answers N data bytes more than asked"},
    {"fewer-data", TSimFault::FewerData, kAlways, Bytes, "N", "answers N data bytes fewer than asked, well formed"},
    {"hang-up", TSimFault::HangUp, 1, NoValue, "", "closes the line halfway through its answer, for good"},
};

const char kCommandList[] =
    "fault KIND [COUNT [VALUE]], add KIND [COUNT [VALUE]], clear, key HEX16 [AFTER] [hold], status, help, quit";

const TKindInfo* FindKind(const std::string& name)
{
    for (const TKindInfo& info : kKinds)
        if (name == info.Name)
            return &info;
    return nullptr;
}

const TKindInfo& InfoOf(TSimFault::TKind kind)
{
    for (const TKindInfo& info : kKinds)
        if (info.Kind == kind)
            return info;
    return kKinds[0];
}

std::string KindList()
{
    std::string list;
    for (const TKindInfo& info : kKinds)
        list += (list.empty() ? "" : ", ") + std::string(info.Name);
    return list;
}

std::string ValueLimits(TValues values)
{
    const std::string ms = "MS from 1 to " + std::to_string(kMaxMs);
    switch (values) {
    case Milliseconds:
        return ms;
    case PiecesAndGap:
        return "PIECES from 2 to " + std::to_string(kMaxBytes) + ", " + ms;
    case Bytes:
        return "N from 1 to " + std::to_string(kMaxBytes);
    case HexBytes:
        return "HEX of 1 to " + std::to_string(kMaxNoiseBytes) + " bytes, two hex digits each";
    case NoValue:
        break;
    }
    return "";
}

bool ParseNumber(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::atoi(text.c_str());
    return value >= low && value <= high;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes)
{
    if (text.empty() || text.size() % 2 != 0 || text.size() > 2 * kMaxNoiseBytes
        || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return true;
}

std::string Hex(const uint8_t* bytes, size_t count)
{
    std::string text;
    char pair[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& text, const char* separators)
{
    std::vector<std::string> words;
    size_t from = 0;
    while ((from = text.find_first_not_of(separators, from)) != std::string::npos) {
        const size_t to = text.find_first_of(separators, from);
        words.push_back(text.substr(from, to - from));
        from = to;
    }
    return words;
}

bool ParseSimFault(const std::vector<std::string>& words, TSimFault& fault, std::string& error)
{
    if (words.empty()) {
        error = "a fault needs a kind: " + KindList();
        return false;
    }
    const TKindInfo* info = FindKind(words[0]);
    if (!info) {
        error = "unknown fault kind '" + words[0] + "' (kinds: " + KindList() + ")";
        return false;
    }
    const std::string name = info->Name;
    TSimFault parsed(info->Kind, info->DefaultCount);
    if (info->Kind == TSimFault::Delay)
        parsed.DelayMs = kDefaultDelayMs;
    else if (info->Kind == TSimFault::LateReply)
        parsed.DelayMs = TSimFault::kDefaultLateMs;
    else if (info->Kind == TSimFault::Split)
        parsed.DelayMs = TSimFault::kDefaultSplitGapMs;
    else if (info->Kind == TSimFault::Noise)
        parsed.NoiseBytes = kDefaultNoise;

    if (words.size() > 1) {
        if (words[1] == "always" || words[1] == "-1") {
            parsed.Count = kAlways;
        } else if (!ParseNumber(words[1], 1, kMaxCount, parsed.Count)) {
            error = "bad COUNT '" + words[1] + "' for " + name + ": a number from 1 up, or always";
            return false;
        }
    }

    const size_t valueWords = info->Values == NoValue ? 0 : info->Values == PiecesAndGap ? 2 : 1;
    if (words.size() > 2 + valueWords) {
        error = valueWords == 0 ? name + " takes no VALUE"
                                : "too many values for " + name + ": it takes " + info->Value;
        return false;
    }
    if (words.size() > 2) {
        const std::string& value = words[2];
        bool good = true;
        switch (info->Values) {
        case NoValue:
            break;
        case Milliseconds:
            good = ParseNumber(value, 1, kMaxMs, parsed.DelayMs);
            break;
        case PiecesAndGap:
            good = ParseNumber(value, 2, kMaxBytes, parsed.Pieces)
                && (words.size() < 4 || ParseNumber(words[3], 1, kMaxMs, parsed.DelayMs));
            break;
        case Bytes:
            good = ParseNumber(value, 1, kMaxBytes, info->Kind == TSimFault::ExtraData ? parsed.ExtraBytes : parsed.DropBytes);
            break;
        case HexBytes:
            good = ParseHex(value, parsed.NoiseBytes);
            break;
        }
        if (!good) {
            std::string given = value;
            for (size_t i = 3; i < words.size(); ++i)
                given += ":" + words[i];
            error = "bad VALUE '" + given + "' for " + name + ": " + ValueLimits(info->Values);
            return false;
        }
    }
    fault = parsed;
    return true;
}

std::string SimFaultText(const TSimFault& fault)
{
    const TKindInfo& info = InfoOf(fault.Kind);
    std::string text = std::string(info.Name) + " " + (fault.Count < 0 ? "always" : std::to_string(fault.Count));
    switch (info.Values) {
    case NoValue:
        break;
    case Milliseconds:
        text += " " + std::to_string(fault.Kind == TSimFault::LateReply && fault.DelayMs <= 0 ? TSimFault::kDefaultLateMs
                                                                                              : fault.DelayMs);
        break;
    case PiecesAndGap:
        text += " " + std::to_string(fault.Pieces) + " "
            + std::to_string(fault.DelayMs > 0 ? fault.DelayMs : TSimFault::kDefaultSplitGapMs);
        break;
    case Bytes:
        text += " " + std::to_string(fault.Kind == TSimFault::ExtraData ? fault.ExtraBytes : fault.DropBytes);
        break;
    case HexBytes: {
        const std::vector<uint8_t>& bytes = fault.NoiseBytes.empty() ? kDefaultNoise : fault.NoiseBytes;
        text += " " + Hex(bytes.data(), bytes.size());
        break;
    }
    }
    return text;
}

bool ParseSimKey(const std::string& text, uint8_t key[8])
{
    std::vector<uint8_t> bytes;
    if (text.size() != 16 || !ParseHex(text, bytes))
        return false;
    std::copy(bytes.begin(), bytes.end(), key);
    return true;
}

std::string SimTraceText(const std::vector<uint8_t>& request, const TSimReply& reply, const TSecretRanges& secrets)
{
    const TFrameText asked = DescribeRequest(request.data(), static_cast<int>(request.size()), secrets);
    std::string text = "→ " + asked.Hex + "  " + asked.Meaning + "\n";
    std::vector<uint8_t> bytes;
    for (const TSimChunk& chunk : reply.Chunks)
        bytes.insert(bytes.end(), chunk.Bytes.begin(), chunk.Bytes.end());
    if (!bytes.empty()) {
        // The frame is found as the tool would find it, past noise the fault put before it.
        const TFrameText answer = DescribeReply(bytes.data(), static_cast<int>(bytes.size()), -1, request.data(),
                                                static_cast<int>(request.size()), secrets, false);
        text += "← " + answer.Hex + "  " + answer.Meaning + "\n";
    }
    if (reply.HangUp)
        text += "× line closed\n";
    return text;
}

std::string SimFaultHelp()
{
    std::string help =
        "Faults: --fault KIND[:COUNT[:VALUE]], repeatable. COUNT is how many replies it spoils: a number,\n"
        "or always (also -1) for every one; left out, it is always, but 1 for late and hang-up.\n"
        "Faults act in the order given, each taking over when the one before is used up.\n"
        "  KIND            VALUE (default)   what the module does\n";
    for (const TKindInfo& info : kKinds) {
        // The defaults as the parser fills them in, so the text cannot drift from them.
        TSimFault fault;
        std::string error;
        ParseSimFault({info.Name}, fault, error);
        const std::vector<std::string> words = SplitWords(SimFaultText(fault), " ");
        std::string defaults;
        for (size_t i = 2; i < words.size(); ++i)
            defaults += (i > 2 ? ":" : "") + words[i];
        const std::string value = *info.Value ? std::string(info.Value) + " (" + defaults + ")" : "";
        char line[160];
        std::snprintf(line, sizeof line, "  %-15s %-17s %s\n", info.Name, value.c_str(), info.Does);
        help += line;
    }
    help += "  e.g. --fault bad-crc:3   --fault delay:always:500   --fault split:1:4:200   --fault noise:1:55AA\n";
    return help;
}

std::string SimCommandHelp()
{
    return "While it runs it reads commands on standard input, one a line, and answers each in one line:\n"
           "  fault KIND [COUNT [VALUE]]  put this fault in place of all others (':' between words works too)\n"
           "  add KIND [COUNT [VALUE]]    queue one more fault behind those in place\n"
           "  clear                       no faults: the module answers normally again\n"
           "  key HEX16 [AFTER] [hold]    lay a key on the reader, as --key, --after and --hold do\n"
           "  status                      the line, the faults still to come, the key, the requests seen\n"
           "  help                        list the commands\n"
           "  quit                        stop, as SIGINT does\n"
           "With standard input at its end, closed or /dev/null, it runs on without commands.\n";
}

std::string TSimConsole::Execute(const std::string& line)
{
    const std::vector<std::string> words = SplitWords(line, " \t\r");
    if (words.empty())
        return "";
    const std::string& command = words[0];
    if (command == "fault" || command == "add") {
        std::vector<std::string> faultWords;
        for (size_t i = 1; i < words.size(); ++i)
            for (const std::string& word : SplitWords(words[i], ":"))
                faultWords.push_back(word);
        TSimFault fault;
        std::string error;
        if (!ParseSimFault(faultWords, fault, error))
            return "error: " + error;
        if (command == "fault")
            FSim.ClearFaults();
        FSim.InjectFault(fault);
        return "ok: faults: " + FaultsText();
    }
    if (command == "key")
        return Key(words);

    const bool known = command == "clear" || command == "status" || command == "help" || command == "quit";
    if (!known)
        return "error: unknown command '" + command + "'; commands: " + kCommandList;
    if (words.size() > 1)
        return "error: " + command + " takes nothing more";
    if (command == "clear") {
        FSim.ClearFaults();
        return "ok: faults: none";
    }
    if (command == "status")
        return "ok: " + Status();
    if (command == "help")
        return std::string("commands: ") + kCommandList + "; fault kinds: " + KindList();
    FQuit = true;
    return "ok: stopping";
}

std::string TSimConsole::Key(const std::vector<std::string>& words)
{
    uint8_t key[8];
    if (words.size() < 2 || !ParseSimKey(words[1], key))
        return "error: key needs 16 hex digits, the 8 code bytes in ROM order";
    int after = 0;
    bool held = false;
    for (size_t i = 2; i < words.size(); ++i) {
        if (words[i] == "hold")
            held = true;
        else if (!ParseNumber(words[i], 0, kMaxCount, after))
            return "error: after the key come the polls to wait (a number) and hold, got '" + words[i] + "'";
    }
    FSim.PresentKey(key, after, held);
    return "ok: key " + Hex(key, 8) + " on the reader after " + std::to_string(after) + " polls"
        + (held ? ", held" : "");
}

std::string TSimConsole::FaultsText() const
{
    std::string text;
    for (const TSimFault& fault : FSim.Faults())
        text += (text.empty() ? "" : ", then ") + SimFaultText(fault);
    return text.empty() ? "none" : text;
}

std::string TSimConsole::Status() const
{
    std::string text;
    if (FPty)
        text = FPty->LineUp() ? "line up at " + FPty->SlavePath() + "; "
                              : "line down after a hang-up (start zem-sim again); ";
    return text + "faults: " + FaultsText() + "; key: " + (FSim.KeyPending() ? "on the reader" : "none")
        + "; requests: " + std::to_string(FSim.ReceivedFrames().size());
}
