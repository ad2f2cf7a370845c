// The packet engine, the module's framing and the command set, over a scripted port.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "link/Kor_protocol1.h"
#include "link/KOR_ZEM.h"
#include "link/Params_kor_protocol.h"
#include "ScriptPort.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Range(int count, int first = 0)
{
    Bytes b(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        b[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
    return b;
}

Bytes Received(const TKORProtocol1& p)
{
    return Bytes(p.Data(), p.Data() + p.DataLength());
}

struct ProtocolFixture : ::testing::Test {
    TScriptPort Port;
    TKORProtocol1 Protocol{0x55, &Port};
    ProtocolFixture() { Protocol.SetAttempts(3); }
};

}  // namespace

TEST(KorCrc, checkValueAndLinkCheckFrame_matchCatalogue)
{
    const char* digits = "123456789";
    EXPECT_EQ(KorCrc(reinterpret_cast<const uint8_t*>(digits), 9), 0x4B37);

    TScriptPort port;
    TKORProtocol1 p(0x55, &port);
    port.Queue(KorFrame(110, {7}));
    EXPECT_EQ(ReadParams(p, 0, 1, nullptr, 100), 1);
    ASSERT_EQ(port.Written.size(), 1u);
    EXPECT_EQ(port.Written[0], (Bytes{0x55, 0x6E, 0x03, 0x00, 0x00, 0x01, 0x24, 0x53}));
    EXPECT_EQ(port.Timeout, 100);

    const Bytes frame = KorFrame(110, {1, 2, 3});
    EXPECT_TRUE(KorCrcGood(frame.data(), 8));
    Bytes bad = frame;
    bad[7] ^= 0x01;
    EXPECT_FALSE(KorCrcGood(bad.data(), 8));
    EXPECT_FALSE(KorCrcGood(frame.data(), 1));
}

TEST(KorFrameHunt, noiseBeforeStartByte_isDroppedAndStrayStartInsideFrameIsData)
{
    TScriptPort port;
    TKORProtocol1 p(0x55, &port);
    // 00 FF 55 6E 01, then 07 cL cH: the noise is neither kept nor counted, so the second read
    // asks for the three bytes the six-byte frame still lacks.
    const Bytes reply = KorFrame(110, {7});
    Bytes stream{0x00, 0xFF};
    stream.insert(stream.end(), reply.begin(), reply.begin() + 3);
    port.Queue(stream);
    port.Queue(Bytes(reply.begin() + 3, reply.end()));
    EXPECT_EQ(ReadParams(p, 0, 1, nullptr, 100), 1);
    EXPECT_EQ(Received(p), reply);
    EXPECT_EQ(port.ReadRequests, (std::vector<int>{5, 3}));

    // A 0x55 in the data or the CRC does not restart the frame; bytes come one at a time.
    const Bytes withStarts = KorFrame(110, {0x55, 0x55, 0x01});
    for (uint8_t b : withStarts)
        port.Queue({b});
    EXPECT_EQ(ReadParams(p, 0, 3, nullptr, 100), 3);
    EXPECT_EQ(Received(p), withStarts);
}

TEST(KorFrameHunt, lengthByteBeyond250_raisesOverflowBeforeBufferIsOverrun)
{
    TScriptPort port;
    TKORProtocol1 p(0x55, &port);
    for (int announced : {251, 255}) {
        port.Queue({0x55, 110, static_cast<uint8_t>(announced)});
        try {
            ReadParams(p, 0, 250, nullptr, 100);
            FAIL() << "accepted a length of " << announced;
        } catch (const EProtocol& e) {
            EXPECT_EQ(e.Code, 111);
            EXPECT_EQ(e.Message, "MaxDataLength=256");
        }
    }
    // The longest frame that fits the check is still accepted.
    const Bytes longest = KorFrame(110, Range(250));
    port.Queue(Bytes(longest.begin(), longest.begin() + 5));
    port.Queue(Bytes(longest.begin() + 5, longest.end()));
    EXPECT_EQ(ReadParams(p, 0, 250, nullptr, 100), 250);
    EXPECT_EQ(port.ReadRequests.back(), 250);
}

TEST_F(ProtocolFixture, silentModule_raisesTimeoutAfterThreeSendsTenMsApart)
{
    try {
        ReadParams(Protocol, 0, 125, nullptr, 1000);
        FAIL() << "no exception";
    } catch (const EProtocol& e) {
        EXPECT_EQ(e.Code, 1460);
        const uint16_t crc = KorCrc(Bytes{0x55, 110, 3, 0, 0, 125}.data(), 6);
        EXPECT_EQ(e.Message, "Не обнаружен стартовый байт пакета\nPacket[8] = '85 110 3 0 0 125 " +
                                 std::to_string(crc & 0xFF) + " " + std::to_string(crc >> 8) +
                                 "'\nData[0] = ''");
    }
    ASSERT_EQ(Port.Written.size(), 3u);
    EXPECT_EQ(Port.Purges, 3);
    EXPECT_EQ(Port.Written[0], Port.Written[2]);
    for (size_t i = 1; i < 3; ++i)
        EXPECT_GE(Port.WriteTimes[i] - Port.WriteTimes[i - 1], std::chrono::milliseconds(10));
    // The first read of every attempt asks for no more than the shortest frame.
    EXPECT_EQ(Port.ReadRequests, (std::vector<int>{5, 5, 5}));
}

TEST_F(ProtocolFixture, badCrcOnce_isRetriedAndSecondAttemptSucceeds)
{
    Bytes bad = KorFrame(110, Range(125, 1));
    bad[100] ^= 0xFF;
    Port.Queue(bad);
    Port.Queue(KorFrame(110, Range(125, 1)));
    uint8_t image[125] = {};
    EXPECT_EQ(ReadParams(Protocol, 0, 125, image, 1000), 125);
    EXPECT_EQ(Bytes(image, image + 125), Range(125, 1));
    EXPECT_EQ(Port.Written.size(), 2u);
}

TEST_F(ProtocolFixture, failingReplies_raiseTheirCodeWithDumpsAfterThreeSends)
{
    Bytes badCrc = KorFrame(110, {1});
    badCrc[5] ^= 0x80;
    const Bytes reply = KorFrame(110, Range(125));
    const Bytes cut(reply.begin(), reply.begin() + 40);
    const struct {
        std::vector<Bytes> Attempt;  // the pieces each attempt gets; an empty one times out
        uint8_t Count;
        int Code;
        std::string Starts;
        std::string Holds;
    } cases[] = {
        {{badCrc}, 1, 23, "CRC check failed\nPacket[8] = '85 110 3 0 0 1 36 83'\nData[6] = '", ""},
        {{KorFrame(210, {1})}, 1, 22,
         "Wrong function byte in reply\nPacket[8] = '85 110 3 0 0 1 36 83'\nData[6] = '85 210 1 1 ", ""},
        {{cut, {}}, 125, 1460, "Полученная длина (40) не равна требуемой (130)\nPacket[8] = '",
         "\nData[40] = '85 110 125 0 1 2 "},
    };
    for (const auto& c : cases) {
        Port.Written.clear();
        for (int i = 0; i < 3; ++i)
            for (const Bytes& piece : c.Attempt)
                Port.Queue(piece);
        try {
            ReadParams(Protocol, 0, c.Count, nullptr, 50);
            ADD_FAILURE() << "no exception for code " << c.Code;
        } catch (const EProtocol& e) {
            EXPECT_EQ(e.Code, c.Code);
            EXPECT_EQ(e.Message.rfind(c.Starts, 0), 0u) << e.Message;
            EXPECT_NE(e.Message.find(c.Holds), std::string::npos) << e.Message;
        }
        EXPECT_EQ(Port.Written.size(), 3u) << c.Code;
        EXPECT_TRUE(Port.Pieces.empty()) << c.Code;
    }
}

TEST_F(ProtocolFixture, replyInPiecesWithNoise_isAcceptedAndNeverReadPastItsEnd)
{
    const Bytes reply = KorFrame(110, Range(64, 0x50));  // holds 0x55 in its data
    Port.Queue({0x55, 0x00, 0x10});                     // a stray start byte that stalls...
    Port.QueueSilence();                                // ...and a timeout ends that attempt
    Bytes noisy{0x00, 0x13};
    noisy.insert(noisy.end(), reply.begin(), reply.end());
    noisy.push_back(0xEE);  // a byte after the frame stays on the line
    for (size_t at = 0; at < noisy.size(); at += 7)
        Port.Queue(Bytes(noisy.begin() + at, noisy.begin() + std::min(noisy.size(), at + 7)));
    uint8_t dest[64];
    EXPECT_EQ(ReadParams(Protocol, 480, 64, dest, 1000), 64);
    EXPECT_EQ(Bytes(dest, dest + 64), Range(64, 0x50));
    EXPECT_EQ(Received(Protocol), reply);
    ASSERT_EQ(Port.Pieces.size(), 1u);
    EXPECT_EQ(Port.Pieces.front(), Bytes{0xEE});
    EXPECT_EQ(Port.Written.size(), 2u);
}

// Two zeros after a good frame pass as its CRC, so a frame is only what its own length byte says.
TEST_F(ProtocolFixture, eachAttemptExpectsItsOwnReplysLength_andBytesBeyondTheLengthByteAreRefused)
{
    // The first attempt's reply announces 128 bytes and stops; the retry's is one byte long.
    const Bytes announced = KorFrame(110, Range(128));
    Bytes shortThenZeros = KorFrame(110, {7});
    shortThenZeros.insert(shortThenZeros.end(), {0x00, 0x00});
    Port.Queue(Bytes(announced.begin(), announced.begin() + 60));
    Port.QueueSilence();
    Port.Queue(shortThenZeros);
    EXPECT_EQ(ReadParams(Protocol, 736, 128, nullptr, 100), 1);
    EXPECT_EQ(Received(Protocol), KorFrame(110, {7}));
    ASSERT_EQ(Port.Pieces.size(), 1u);
    EXPECT_EQ(Port.Pieces.front(), (Bytes{0x00, 0x00}));

    // Asked for more than the frame at once, the read takes the zeros into it.
    TScriptPort port;
    TKORProtocol1 once(0x55, &port);
    Bytes tooLong = KorFrame(110, {7});
    tooLong.insert(tooLong.end(), {0x00, 0x00, 0x00, 0x00});
    port.Queue(tooLong);
    once.BuildPacket(110, Bytes{0, 0, 1}.data(), 3);
    try {
        once.Exchange(100, static_cast<int>(tooLong.size()));
        FAIL() << "accepted " << once.DataLength() << " bytes as a frame of " << int(once.Data()[2]);
    } catch (const EProtocol& e) {
        EXPECT_EQ(e.Code, kErrorCrc);
        EXPECT_EQ(e.Message.rfind("Frame length does not match its length byte\n", 0), 0u) << e.Message;
    }
}

TEST_F(ProtocolFixture, portFailure_passesAtOnceWithoutRetry)
{
    Port.FailReads = true;
    EXPECT_THROW(ReadParams(Protocol, 0, 1, nullptr, 100), TComPortException);
    EXPECT_EQ(Port.Written.size(), 1u);

    TKORProtocol1 unbound(0x55, nullptr);
    EXPECT_THROW(ReadParams(unbound, 0, 1, nullptr, 100), TComPortException);
}

TEST_F(ProtocolFixture, sendOnly_writesAndReadsNothing)
{
    Protocol.BuildPacket(101, Bytes{2, 1, 1}.data(), 3);
    Protocol.Exchange(100, -1);
    EXPECT_EQ(Port.Written.size(), 1u);
    EXPECT_TRUE(Port.ReadRequests.empty());
}

TEST_F(ProtocolFixture, receivedBytes_areReachableOnlyWithinTheReply)
{
    Port.Queue(KorFrame(110, {1, 2, 3, 4, 5}));  // 10 bytes
    ASSERT_EQ(ReadParams(Protocol, 0, 5, nullptr, 100), 5);
    EXPECT_EQ(Protocol.GetByte(9), KorFrame(110, {1, 2, 3, 4, 5})[9]);
    try {
        Protocol.GetByte(10);
        FAIL();
    } catch (const EProtocol& e) {
        EXPECT_EQ(e.Code, 0);
        EXPECT_EQ(e.Message, "GetByte: Index out of range, Index = 10, FDataLength = 10");
    }
    EXPECT_THROW(Protocol.GetByte(-1), EProtocol);
    uint8_t dest[16];
    try {
        Protocol.GetData(3, dest, 8);
        FAIL();
    } catch (const EProtocol& e) {
        EXPECT_EQ(e.Code, 111);
        EXPECT_EQ(e.Message, "MaxDataLength=256");
    }
    EXPECT_THROW(Protocol.GetData(-1, dest, 2), EProtocol);
    EXPECT_THROW(Protocol.GetData(3, dest, -1), EProtocol);
    EXPECT_NO_THROW(Protocol.GetData(3, dest, 7));
}

TEST_F(ProtocolFixture, requestData_refusedPastThePacketBuffer)
{
    Protocol.ClearParams();
    const Bytes big = Range(251);
    Protocol.AddParams(big.data(), 251);  // exactly fills the data field
    const uint8_t guard = Protocol.Packet()[255];
    try {
        Protocol.AddParam(0xAA);
        FAIL() << "wrote past the packet";
    } catch (const EProtocol& e) {
        EXPECT_EQ(e.Code, 0);
        EXPECT_EQ(e.Message, "");
    }
    EXPECT_EQ(Protocol.Packet()[255], guard);
    EXPECT_EQ(Protocol.Packet()[2], 251);

    Protocol.ClearParams();
    Protocol.AddParam(1);
    EXPECT_THROW(Protocol.AddParams(big.data(), 251), EProtocol);
    EXPECT_EQ(Protocol.Packet()[2], 1);

    EXPECT_THROW(Protocol.BuildPacket(210, nullptr, 252), EProtocol);
    EXPECT_NO_THROW(Protocol.BuildPacket(210, big.data(), 251));
    EXPECT_EQ(Protocol.PacketLength(), 256);
}

TEST(KorCommands, results_replaceEveryFailure)
{
    TScriptPort port;
    TKOR_ZEM device;
    device.SetPort(&port);
    EXPECT_EQ(device.Protocol()->Attempts(), 3);

    // A short read reply is reported as such, and only the bytes that came are copied.
    port.Queue(KorFrame(110, Range(100, 1)));
    uint8_t image[125];
    std::fill(image, image + 125, 0xEE);
    EXPECT_EQ(device.ReadParams(0, 125, image, 1000), 100);
    EXPECT_EQ(image[99], 100);
    EXPECT_EQ(image[100], 0xEE);

    port.Queue(KorFrame(110, {1, 2}));
    EXPECT_FALSE(device.CheckLink());  // two bytes for a one-byte read
    port.Queue(KorFrame(110, {1}));
    EXPECT_TRUE(device.CheckLink());
    EXPECT_EQ(port.Timeout, 100);

    port.Queue(KorFrame(210, {9, 9, 9}));
    EXPECT_TRUE(device.WriteParams(5, image, 1, 1000));

    port.Queue(KorFrame(101, {}));
    EXPECT_TRUE(device.SetOutput(3, 1));
    EXPECT_EQ(port.Written.back(), KorFrame(101, {2, 3, 1}));

    uint8_t key[8] = {};
    port.Queue(KorFrame(101, {}));
    EXPECT_EQ(device.ReadKey(0, nullptr), 0);
    EXPECT_EQ(port.Written.back(), KorFrame(101, {3, 0}));
    port.Queue(KorFrame(101, {0x01, 2, 3, 4, 5, 6, 7, 0xA8}));
    EXPECT_EQ(device.ReadKey(1, key), 1);
    EXPECT_EQ(Bytes(key, key + 8), (Bytes{0x01, 2, 3, 4, 5, 6, 7, 0xA8}));

    // Nothing on the line: every command gives its failure value.
    EXPECT_EQ(device.ReadKey(1, key), -1);
    EXPECT_EQ(device.ReadParams(0, 1, nullptr, 10), -1);
    EXPECT_FALSE(device.WriteParams(0, image, 1, 10));
    EXPECT_FALSE(device.SetOutput(0, 0));
    EXPECT_FALSE(device.CheckLink());
    // A request too long for the packet, and a device lost mid-exchange.
    EXPECT_FALSE(device.WriteParams(0, Range(255).data(), 250, 10));
    port.FailReads = true;
    EXPECT_EQ(device.ReadParams(0, 1, nullptr, 10), -1);

    TKOR_ZEM unbound;
    EXPECT_FALSE(unbound.CheckLink());
}

TEST(KorCommands, linkErrorCause_namesEachCodeAndPassesUnknownOnesThrough)
{
    const std::string damaged = "Ответ модуля повреждён (ошибка контрольной суммы или длины).";
    const struct {
        TLinkError Error;
        std::string Cause;
    } cases[] = {
        {{}, ""},
        {{kErrorTimeout, "", false}, ""},  // a code without text is no failure
        {{kErrorTimeout, "t", false}, "Модуль не ответил: проверьте, что он включён и подключён к этому порту."},
        {{kErrorCrc, "c", false}, damaged},
        {{kErrorBufferOverflow, "o", false}, damaged},
        {{kErrorIndexRange, "i", false}, damaged},
        {{kErrorBadCommand, "b", false}, "Модуль ответил на другой запрос."},
        {{5, "Ошибка ввода-вывода", false}, "Причина: Ошибка ввода-вывода"},
        {{kErrorTimeout, "t", true}, "Связь с портом потеряна: проверьте кабель и адаптер."},
        {{5, "", true}, "Связь с портом потеряна: проверьте кабель и адаптер."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Error.Code) + " " + c.Error.Text);
        EXPECT_EQ(LinkErrorCause(c.Error), c.Cause);
    }
}
