#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "keys/CRC.h"
#include "keys/Ow_keyutils.h"

namespace {

// The bitwise form of the 1-Wire CRC, as a second opinion on the table.
uint8_t BitwiseCrc8(const uint8_t* data, int length)
{
    uint8_t crc = 0;
    for (int i = 0; i < length; ++i) {
        uint8_t byte = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = ((crc ^ byte) & 1) != 0;
            crc >>= 1;
            if (feedback)
                crc ^= 0x8C;
            byte >>= 1;
        }
    }
    return crc;
}

std::string Hex(const uint8_t* code)
{
    std::string text;
    char piece[4];
    for (int i = 0; i < KeyCodeSize; ++i) {
        std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", code[i]);
        text += piece;
    }
    return text;
}

}  // namespace

TEST(Crc8, catalogueCheckValueAndEmptyInput)
{
    const char* digits = "123456789";
    EXPECT_EQ(Crc8(reinterpret_cast<const uint8_t*>(digits), 9), 0xA1);
    EXPECT_EQ(Crc8(nullptr, 0), 0);
    // A well-known 1-Wire ROM: family 0x02, serial 1C B8 01 00 00 00, CRC 0xA2.
    const uint8_t rom[] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2};
    EXPECT_EQ(Crc8(rom, 7), 0xA2);
    EXPECT_EQ(Crc8(rom, 8), 0);
}

TEST(Crc8, randomBuffers_matchTheBitwiseDefinition)
{
    std::mt19937 random(12345);
    uint8_t buffer[64];
    for (int round = 0; round < 2000; ++round) {
        const int length = static_cast<int>(random() % sizeof buffer);
        for (int i = 0; i < length; ++i)
            buffer[i] = static_cast<uint8_t>(random());
        ASSERT_EQ(Crc8(buffer, length), BitwiseCrc8(buffer, length)) << "length " << length;
    }
}

TEST(KeyCode, randomSerials_buildValidCodesAndSurviveTheTextRoundTrip)
{
    std::mt19937_64 random(20240305);
    for (int round = 0; round < 20000; ++round) {
        // Mix whole-range serials with short ones, whose upper bytes are zero.
        const int64_t serial = static_cast<int64_t>(random() >> (16 + (round % 6) * 8));
        uint8_t rom[KeyCodeSize];
        MakeKeyCode(serial, rom, false);
        ASSERT_EQ(rom[0], KeyFamilyCode);
        ASSERT_EQ(Crc8(rom, 8), 0) << Hex(rom);
        for (int i = 0; i < 6; ++i)
            ASSERT_EQ(rom[1 + i], static_cast<uint8_t>(serial >> (8 * i)));

        const std::string shown = KeyCodeText(serial, true);
        ASSERT_EQ(shown.size(), 23u);
        ASSERT_EQ(KeyTextToSerial(shown, true), serial) << shown;
        ASSERT_EQ(KeyTextToSerial(KeyCodeText(serial, false), false), serial);

        uint8_t display[KeyCodeSize];
        MakeKeyCode(serial, display, true);
        ASSERT_EQ(Hex(display), shown);
    }
}

TEST(KeyCode, textForms_putTheCrcFirstWhenReversedAndTheFamilyFirstOtherwise)
{
    EXPECT_EQ(KeyCodeText(0x0000000001B81C, true), "E5 00 00 00 01 B8 1C 01");
    EXPECT_EQ(KeyCodeText(0x0000000001B81C, false), "01 1C B8 01 00 00 00 E5");
    const std::string shown = KeyCodeText(0xABCDEF123456, true);
    EXPECT_EQ(shown.substr(3), "AB CD EF 12 34 56 01");
    EXPECT_EQ(KeyCodeText(0xABCDEF123456, false).substr(0, 21), "01 56 34 12 EF CD AB ");
}

TEST(KeyCode, outOfRangeSerials_keepTheirLow48BitsAndZeroGivesZeroBytes)
{
    uint8_t code[KeyCodeSize];
    uint8_t expected[KeyCodeSize];

    MakeKeyCode(0, code, false);
    EXPECT_TRUE(KeySerialIsAll(code, 0));
    EXPECT_EQ(code[0], 0x01);
    EXPECT_EQ(code[7], Crc8(code, 7));

    MakeKeyCode(int64_t(1) << 48, code, false);
    MakeKeyCode(0, expected, false);
    EXPECT_EQ(Hex(code), Hex(expected));

    MakeKeyCode((int64_t(0x7F12) << 48) | 0x0000A1B2C3D4E5F6LL, code, false);
    MakeKeyCode(0xA1B2C3D4E5F6LL, expected, false);
    EXPECT_EQ(Hex(code), Hex(expected));

    MakeKeyCode(-1, code, false);
    EXPECT_TRUE(KeySerialIsAll(code, 0xFF));
    EXPECT_EQ(Crc8(code, 8), 0);
    EXPECT_EQ(KeyTextToSerial(KeyCodeText(-1, true), true), 0xFFFFFFFFFFFFLL);

    MakeKeyCode(INT64_MIN, code, false);
    EXPECT_TRUE(KeySerialIsAll(code, 0));
}

TEST(KeyTextToSerial, onlyEightValuesGiveASerial_andANonHexDigitZerosWhatFollows)
{
    const struct {
        const char* Text;
        bool Reversed;
        int64_t Serial;
    } cases[] = {
        {"00 00 00 00 00 00 01", true, 0}, {"", true, 0},
        {"5B 00 00 00 01 B8 1C 01 77", true, 0x01B81C},
        {"  5B   00 00 00  01 B8 1C    01  ", true, 0x01B81C},
        {"5b 00 00 00 01 b8 1c 01", true, 0x01B81C},
        // Only the low byte of a long group counts; the CRC and family bytes are not checked.
        {"00 00 00 00 101 B8 1C 99", true, 0x01B81C},
        {"E5,00 00 00 01 B8 1C 01", true, 0},  // a comma ends the first value and zeros follow
        {"01 1C B8 01 00 00 00 E5", false, 0x01B81C},
        {"1G 22", true, 0}, {"01 AB Z 44 55", false, 0xAB},  // 1 0 0 0 0 0 0 0; ROM order 01 AB 0 0 ...
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeyTextToSerial(c.Text, c.Reversed), c.Serial) << "'" << c.Text << "'";
}

TEST(KeyCode, reverseTwiceAndSerialChecks_lookOnlyAtTheSerialBytes)
{
    uint8_t code[KeyCodeSize] = {0x11, 0, 0, 0, 0, 0, 0, 0x99};
    EXPECT_TRUE(KeySerialIsAll(code, 0));
    EXPECT_FALSE(KeySerialIsAll(code, 0x11));
    code[6] = 1;
    EXPECT_FALSE(KeySerialIsAll(code, 0));

    uint8_t original[KeyCodeSize] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t copy[KeyCodeSize];
    std::memcpy(copy, original, sizeof copy);
    ReverseKeyCode(copy);
    EXPECT_EQ(Hex(copy), "08 07 06 05 04 03 02 01");
    ReverseKeyCode(copy);
    EXPECT_EQ(std::memcmp(copy, original, sizeof copy), 0);
}
