// The frame receiver under random input, built with AddressSanitizer: any read or write past a
// buffer aborts the run. Seeded, so a failure repeats.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "link/Kor_protocol1.h"
#include "link/Params_kor_protocol.h"
#include "ScriptPort.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Random bytes, often with a real frame somewhere inside, since pure noise rarely gets past the
// first three states.
Bytes RandomStream(std::mt19937& rng, uint8_t function)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> small(0, 12);
    Bytes out;
    auto noise = [&](int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(static_cast<uint8_t>(rng() % 4 == 0 ? 0x55 : byte(rng)));
    };
    noise(small(rng));
    const int kind = static_cast<int>(rng() % 4);
    if (kind != 0) {
        Bytes data(rng() % 251);
        for (auto& b : data)
            b = static_cast<uint8_t>(byte(rng));
        Bytes frame = KorFrame(kind == 3 ? static_cast<uint8_t>(byte(rng)) : function, data);
        if (kind == 2 && !frame.empty())
            frame[rng() % frame.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    noise(small(rng) * static_cast<int>(rng() % 30));
    return out;
}

// Hands out the stream in random-sized pieces, never more than asked, sometimes nothing.
class TRandomPort : public TScriptPort {
public:
    explicit TRandomPort(std::mt19937& rng) : FRng(rng) {}
    Bytes Stream;
    size_t At = 0;
    bool Gaps = true;  // now and then a read that brings nothing
    int Read(void* buffer, int count) override
    {
        EXPECT_GT(count, 0);
        if (At >= Stream.size() || (Gaps && FRng() % 16 == 0))
            return 0;
        const int n = std::min<int>({count, static_cast<int>(Stream.size() - At), 1 + static_cast<int>(FRng() % 40)});
        std::memcpy(buffer, Stream.data() + At, static_cast<size_t>(n));
        At += static_cast<size_t>(n);
        return n;
    }

private:
    std::mt19937& FRng;
};

void ExpectAcceptedFrameSound(const TKORProtocol1& p)
{
    const int length = p.DataLength();
    const uint8_t* data = p.Data();
    ASSERT_GE(length, 5);
    ASSERT_LE(length, 255);
    EXPECT_EQ(data[0], 0x55);
    EXPECT_EQ(data[1], p.Packet()[1]);
    EXPECT_EQ(length, data[2] + 5);
    const uint16_t crc = KorCrc(data, length - 2);
    EXPECT_EQ(data[length - 2], crc & 0xFF);
    EXPECT_EQ(data[length - 1], crc >> 8);
}

}  // namespace

TEST(FrameFuzz, randomPiecesFedToReceiver_neverOverrunAndAcceptOnlySoundFrames)
{
    std::mt19937 rng(20240305);
    TRandomPort port(rng);
    port.Gaps = false;
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        auto p = std::make_unique<TKORProtocol1>(0x55, &port);
        const uint8_t function = static_cast<uint8_t>(rng());
        p->BuildPacket(function, nullptr, 0);
        port.Stream = RandomStream(rng, function);
        port.At = 0;
        try {
            p->Exchange(50, kKorShortestReply);
            ExpectAcceptedFrameSound(*p);
            ++accepted;
        } catch (const EProtocol& e) {
            EXPECT_TRUE(e.Code == 111 || e.Code == 22 || e.Code == 23 || e.Code == 1460) << e.Code;
        }
        if (HasFailure())
            FAIL() << "round " << round;
    }
    EXPECT_GT(accepted, 1000);  // the generator does reach the end of the machine
}

TEST(FrameFuzz, randomRepliesThroughExchange_neverOverrunCallerOrBuffers)
{
    std::mt19937 rng(7);
    TRandomPort port(rng);
    TKORProtocol1 protocol(0x55, &port);
    protocol.SetAttempts(2);
    protocol.SetRetryPause(0);
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        port.Stream = RandomStream(rng, 110);
        port.Stream.insert(port.Stream.end(), port.Stream.begin(), port.Stream.end());
        port.At = 0;
        const uint8_t count = static_cast<uint8_t>(rng());
        // Exactly count bytes, on the heap, so one byte too many is caught.
        std::unique_ptr<uint8_t[]> dest(new uint8_t[count == 0 ? 1 : count]);
        try {
            const int got = ReadParams(protocol, static_cast<uint16_t>(rng()), count, dest.get(), 50);
            EXPECT_EQ(got, protocol.Data()[2]);
            ExpectAcceptedFrameSound(protocol);
            ++accepted;
        } catch (const EProtocol& e) {
            EXPECT_TRUE(e.Code == 111 || e.Code == 22 || e.Code == 23 || e.Code == 1460) << e.Code;
        }
        if (HasFailure())
            FAIL() << "round " << round;
    }
    // Each retry reads its frame in steps from the shortest reply on, so the port's gaps spoil
    // more of them than one long read would.
    EXPECT_GT(accepted, 200);
}
