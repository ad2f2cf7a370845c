// What the exchange monitor, the log and the simulator's console say of each frame, and what the
// recorder notes of every fault the simulated module can put on the line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/ExchangeRecorder.h"
#include "link/FrameText.h"
#include "LinkTestKit.h"
#include "SimLink.h"

namespace {

using Bytes = std::vector<uint8_t>;

const TSecretRanges kPassword = {{786, 8}};

Bytes Filled(int count, uint8_t first)
{
    Bytes bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
    return bytes;
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> Tokens(const std::string& hex)
{
    std::vector<std::string> tokens;
    for (size_t at = 0; at < hex.size(); at += 3)
        tokens.push_back(hex.substr(at, 2));
    return tokens;
}

}  // namespace

// Every command the tool sends and the module's answer to it, with the password's bytes (and the
// CRC that would betray them) hidden wherever they cross the wire.
TEST(ExchangeText, everyCommandAndReply_inWords_passwordHidden)
{
    const Bytes gprsRead = KorFrame(kKorFunctionRead, {0x02, 0xE0, 128});
    const Bytes settingsRead = KorFrame(kKorFunctionRead, {0x00, 0x00, 125});
    const Bytes gprsWrite = KorFrame(kKorFunctionWrite, Cat({0x02, 0xE0}, Filled(128, 0x40)));
    const Bytes passwordOnly = KorFrame(kKorFunctionWrite, Cat({0x03, 0x14}, Filled(4, 0x61)));  // 788..791
    const Bytes settingsWrite = KorFrame(kKorFunctionWrite, Cat({0, 40}, Filled(40, 1)));
    const Bytes keyPoll = KorFrame(kKorFunctionCommand, {kKorCommandKeyReader, kKorKeyModePoll});
    struct TCase {
        const char* Name;
        Bytes Frame;
        const Bytes* Request;  // set for a reply; null for a request
        std::string Meaning;
        int HiddenFrom, HiddenCount;  // byte indexes; the last two (the CRC) go with any
    } cases[] = {
        {"settings read", settingsRead, nullptr, "Чтение параметров: адрес 0, 125 байт", 0, 0},
        {"its reply", KorFrame(kKorFunctionRead, Filled(125, 0)), &settingsRead, "Ответ: 125 байт", 0, 0},
        {"settings write", settingsWrite, nullptr, "Запись параметров: адрес 40, 40 байт", 0, 0},
        {"write of 44", KorFrame(kKorFunctionWrite, Cat({0, 80}, Filled(44, 1))), nullptr,
         "Запись параметров: адрес 80, 44 байта", 0, 0},
        {"write's reply", KorFrame(kKorFunctionWrite, {}), &settingsWrite, "Ответ: записано", 0, 0},
        {"output on", KorFrame(kKorFunctionCommand, {kKorCommandOutput, 1, 1}), nullptr, "Выход 2: включить", 0, 0},
        {"output off", KorFrame(kKorFunctionCommand, {kKorCommandOutput, 5, 0}), nullptr, "Выход 6: выключить", 0, 0},
        {"output pulse", KorFrame(kKorFunctionCommand, {kKorCommandOutput, 0, 2}), nullptr,
         "Выход 1: включить импульсом", 0, 0},
        {"reader armed", KorFrame(kKorFunctionCommand, {kKorCommandKeyReader, kKorKeyModeArm}), nullptr,
         "Считыватель: ожидать ключ", 0, 0},
        {"reader polled", keyPoll, nullptr, "Считыватель: запрос ключа", 0, 0},
        {"no key yet", KorFrame(kKorFunctionCommand, {}), &keyPoll, "Ответ: ключа нет", 0, 0},
        {"a key", KorFrame(kKorFunctionCommand, Filled(8, 0xA1)), &keyPoll,
         "Ответ: ключ A1 A2 A3 A4 A5 A6 A7 A8", 0, 0},
        {"unknown function", KorFrame(77, {1, 2}), nullptr, "Функция 77, данные: 2 байта", 0, 0},
        {"cut request", Bytes{0x55, 0x6E, 0x03, 0x00}, nullptr, "Кадр не по формату, 4 байта", 0, 0},
        {"cut reply", Bytes{0x55, 0x6E, 0x7D, 0x01}, &settingsRead, "Неполный ответ: 4 из 130 байт", 0, 0},
        {"another function's reply", KorFrame(kKorFunctionWrite, {}), &settingsRead, "Ответ: записано (функция 210)",
         0, 0},
        // The GPRS block both ways: the password sits at 50..57 of its 128 bytes.
        {"GPRS write", gprsWrite, nullptr, "Запись параметров: адрес 736, 128 байт", 5 + 50, 8},
        {"GPRS read reply", KorFrame(kKorFunctionRead, Filled(128, 0x40)), &gprsRead, "Ответ: 128 байт", 3 + 50, 8},
        {"password alone", passwordOnly, nullptr, "Запись параметров: адрес 788, 4 байта", 5, 4},
        // A reply whose request is unknown (a late one): where its data lie is unknown too.
        {"late read reply", KorFrame(kKorFunctionRead, Filled(3, 1)), nullptr, "Ответ: 3 байта", 3, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const int length = static_cast<int>(c.Frame.size());
        const TFrameText text =
            c.Request == nullptr && std::string(c.Name) != "late read reply"
                ? DescribeRequest(c.Frame.data(), length, kPassword)
                : DescribeReply(c.Frame.data(), length, 0, c.Request ? c.Request->data() : nullptr,
                                c.Request ? static_cast<int>(c.Request->size()) : 0, kPassword, false);
        EXPECT_EQ(text.Meaning, c.Meaning);
        const std::vector<std::string> tokens = Tokens(text.Hex);
        ASSERT_EQ(tokens.size(), c.Frame.size());
        for (int i = 0; i < length; ++i) {
            const bool hidden = (i >= c.HiddenFrom && i < c.HiddenFrom + c.HiddenCount) ||
                                (c.HiddenCount > 0 && i >= length - 2);
            char shown[3];
            std::snprintf(shown, sizeof shown, "%02X", c.Frame[static_cast<size_t>(i)]);
            EXPECT_EQ(tokens[static_cast<size_t>(i)], hidden ? "**" : shown) << "byte " << i;
        }
    }
}

// In an exchange that reads or writes a secret, and in what may hold its bytes (late bytes, the
// next exchange's noise), only a checked frame shows anything: its header, address and plain data.
TEST(ExchangeText, secretExchange_showsOnlyACheckedFramesPlainFields)
{
    const TSecretRanges secrets = {{0x0102, 2}};
    const Bytes secretRead = KorFrame(kKorFunctionRead, {0x01, 0x00, 4});  // 0x100..0x103
    const Bytes plainRead = KorFrame(kKorFunctionRead, {0x00, 0x10, 4});
    const Bytes secretWrite = KorFrame(kKorFunctionWrite, {0x01, 0x00, 0x0A, 0x0B, 0x0C, 0x0D});
    const Bytes reply = KorFrame(kKorFunctionRead, {0x0A, 0x0B, 0x0C, 0x0D});
    const Bytes plainReply = KorFrame(kKorFunctionRead, {1, 2, 3, 4});
    Bytes badCrc = reply;
    badCrc.back() ^= 0x01;
    Bytes plainBadCrc = plainReply;
    plainBadCrc.back() ^= 0x01;
    const TWireOutcome late = TWireOutcome::Late;
    const TWireOutcome crc = TWireOutcome::Crc;
    const TWireOutcome none = TWireOutcome::None;
    struct TCase {
        const char* Name;
        bool ToModule;
        Bytes Wire;
        const Bytes* Request;
        const Bytes* Previous;
        TWireOutcome Ended;
        int NoiseBytes;
        const char* Shown;  // a character a byte: '.' shown, '*' hidden
        std::string Meaning;
        std::string OutcomeText;
    } cases[] = {
        {"read of the secret", true, secretRead, nullptr, nullptr, none, 0, "......**",
         "Чтение параметров: адрес 256, 4 байта", ""},
        {"write of it", true, secretWrite, nullptr, nullptr, none, 0, ".......****", "Запись параметров: адрес 256, 4 байта", ""},
        {"the write's reply", false, KorFrame(kKorFunctionWrite, {}), &secretWrite, nullptr, none, 0, "...**",
         "Ответ: записано", ""},
        {"checked reply", false, reply, &secretRead, nullptr, none, 0, ".....****", "Ответ: 4 байта", ""},
        {"checked reply after noise", false, Cat({0x13, 0x0C}, reply), &secretRead, nullptr, none, 2, "**.....****",
         "Ответ: 4 байта", "пропущен шум: 2 байта"},
        {"bad CRC", false, badCrc, &secretRead, nullptr, crc, 0, "*********", "Ответ не проверен, скрыт: 9 байт",
         "ошибка CRC, попытка 1 из 3"},
        {"framed at a stray start byte", false, Cat({0x55}, reply), &secretRead, nullptr, crc, 0, "**********",
         "Ответ не проверен, скрыт: 10 байт", "ошибка CRC, попытка 1 из 3"},
        {"other function", false, KorFrame(kKorFunctionWrite, {0x0A, 0x0B, 0x0C, 0x0D}), &secretRead, nullptr,
         TWireOutcome::OtherFunction, 0, "*********", "Ответ не проверен, скрыт: 9 байт",
         "ответ на другую функцию, попытка 1 из 3"},
        // Where the hunt found a start byte is not told either.
        {"cut short after noise", false, Cat({0x13}, Bytes(reply.begin(), reply.begin() + 6)), &secretRead, nullptr,
         TWireOutcome::Incomplete, 1, "*******", "Ответ не проверен, скрыт: 7 байт",
         "ответ не пришёл целиком за 100 мс, попытка 1 из 3"},
        {"the next exchange's noise", false, Cat({0x0C, 0x0D}, plainReply), &plainRead, &secretRead, none, 2,
         "**.........", "Ответ: 4 байта", "пропущен шум: 2 байта"},
        {"the next exchange's failed reply", false, plainBadCrc, &plainRead, &secretRead, crc, 0, "*********",
         "Ответ не проверен, скрыт: 9 байт", "ошибка CRC, попытка 1 из 3"},
        {"a plain exchange's failed reply", false, plainBadCrc, &plainRead, &plainRead, crc, 0, ".........",
         "Ответ: 4 байта", "ошибка CRC, попытка 1 из 3"},
        {"late after a secret exchange", false, Bytes(reply.begin() + 5, reply.end()), &plainRead, &secretRead, late, 0,
         "****", "Ответ не проверен, скрыт: 4 байта", "опоздавший ответ отброшен"},
        {"late before a secret exchange", false, Bytes(reply.begin() + 5, reply.end()), &secretRead, &plainRead, late,
         0, "****", "Ответ не проверен, скрыт: 4 байта", "опоздавший ответ отброшен"},
        // Whose they are is unknown, so a read's data stay hidden; the frame starts at its start byte.
        {"late in plain exchanges", false, Cat({0x13}, plainReply), &plainRead, &plainRead, late, 0, "....******",
         "Ответ: 4 байта", "опоздавший ответ отброшен"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TWireEvent event;
        event.ToModule = c.ToModule;
        event.Bytes = c.Wire.data();
        event.Length = static_cast<int>(c.Wire.size());
        if (c.Request) {
            event.Request = c.Request->data();
            event.RequestLength = static_cast<int>(c.Request->size());
        }
        if (c.Previous) {
            event.Previous = c.Previous->data();
            event.PreviousLength = static_cast<int>(c.Previous->size());
        }
        event.Outcome = c.Ended;
        event.NoiseBytes = c.NoiseBytes;
        event.TimeoutMs = 100;
        event.Attempts = 3;
        const TFrameText text = DescribeWire(event, secrets);
        const std::vector<std::string> tokens = Tokens(text.Hex);
        ASSERT_EQ(tokens.size(), c.Wire.size());
        ASSERT_EQ(std::string(c.Shown).size(), c.Wire.size());
        for (size_t i = 0; i < c.Wire.size(); ++i) {
            char shown[3];
            std::snprintf(shown, sizeof shown, "%02X", c.Wire[i]);
            EXPECT_EQ(tokens[i], c.Shown[i] == '*' ? "**" : shown) << "byte " << i;
        }
        EXPECT_EQ(text.Meaning, c.Meaning);
        EXPECT_EQ(WireOutcomeText(event, secrets), c.OutcomeText);
    }
}

// Each fault the simulated module can put on the line, as the recorder notes it for one read
// (and, for a reply that comes too late, the read after it): the outcome of every frame in turn.
TEST(ExchangeText, everySimulatedFault_isNotedFrameByFrame)
{
    // Long enough that a loaded machine still gets each reply in time; the late one comes midway
    // through the second try.
    constexpr int kTimeoutMs = 300;
    const std::string noAnswer = "нет ответа за 300 мс, попытка 1 из 3";
    const std::string crc = "ошибка CRC, попытка ";
    struct TCase {
        const char* Name;
        TSimFault Fault;
        std::vector<std::string> Outcomes;
        std::string ReplyMeaning;  // of the last frame
    };
    TSimFault noise(TSimFault::Noise);
    noise.NoiseBytes = {0x00, 0xFF, 0x13};
    TSimFault shortReply(TSimFault::ShortReply);
    shortReply.DropBytes = 2;
    const std::vector<TCase> cases = {
        {"none", TSimFault(TSimFault::Delay, 0), {"", ""}, "Ответ: 10 байт"},
        {"silent", TSimFault(TSimFault::Silence), {"", noAnswer, "попытка 2 из 3", ""},
         "Ответ: 10 байт"},
        {"delay within the timeout", TSimFault(TSimFault::Delay, 1, 20), {"", ""}, "Ответ: 10 байт"},
        {"bad CRC once", TSimFault(TSimFault::BadCrc), {"", crc + "1 из 3", "попытка 2 из 3", ""}, "Ответ: 10 байт"},
        {"bad CRC always", TSimFault(TSimFault::BadCrc, -1),
         {"", crc + "1 из 3", "попытка 2 из 3", crc + "2 из 3", "попытка 3 из 3", crc + "3 из 3"}, "Ответ: 10 байт"},
        {"wrong function", TSimFault(TSimFault::WrongFunction),
         {"", "ответ на другую функцию, попытка 1 из 3", "попытка 2 из 3", ""}, "Ответ: 10 байт"},
        {"noise", noise, {"", "пропущен шум: 3 байта"}, "Ответ: 10 байт"},
        {"split", TSimFault(TSimFault::Split), {"", ""}, "Ответ: 10 байт"},
        {"short", shortReply, {"", "ответ не пришёл целиком за 300 мс, попытка 1 из 3", "попытка 2 из 3", ""},
         "Ответ: 10 байт"},
        {"extra data", TSimFault(TSimFault::ExtraData), {"", ""}, "Ответ: 11 байт"},
        {"fewer data", TSimFault(TSimFault::FewerData), {"", ""}, "Ответ: 9 байт"},
        // The reply to the first try comes during the second, which takes it; the reply to the
        // second is thrown away before the next read.
        {"late", TSimFault(TSimFault::LateReply, 1, 450),
         {"", noAnswer, "попытка 2 из 3", "", "опоздавший ответ отброшен", "", ""},
         "Ответ: 10 байт"},
        {"hang-up", TSimFault(TSimFault::HangUp), {"", "связь с портом потеряна"},
         "Неполный ответ: 7 из 15 байт"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSimLink link;
        ASSERT_TRUE(link.Open());
        TExchangeRecorder recorder;
        TRecorderChannel channel(&recorder);
        link.Protocol().SetObserver(&channel);
        if (c.Fault.Count != 0)
            link.Sim.InjectFault(c.Fault);
        channel.Begin("Чтение");
        link.Device.ReadParams(0, 10, nullptr, kTimeoutMs);
        if (c.Fault.Kind == TSimFault::LateReply) {
            ASSERT_TRUE(WaitFor([&] { return link.Pty.RepliesSent() == 2 && link.Com.Unread() > 0; }));
            link.Device.ReadParams(0, 10, nullptr, kTimeoutMs);
        }
        channel.End(true, "");
        const std::vector<TOperationRecord> recorded = recorder.Last(1);
        ASSERT_EQ(recorded.size(), 1u);
        std::vector<std::string> outcomes;
        for (const TFrameRecord& frame : recorded[0].Frames)
            outcomes.push_back(frame.Outcome);
        EXPECT_EQ(outcomes, c.Outcomes);
        EXPECT_EQ(recorded[0].Frames.back().Text.Meaning, c.ReplyMeaning);
    }
}
