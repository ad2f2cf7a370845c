#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "util/Dnxfileutils.h"
#include "util/Dnxstrutils.h"

namespace {

// Runs TextToBytes on a buffer pre-filled with a marker, so untouched bytes show.
std::vector<int> Parse(const std::string& text, int capacity, int radix = 16, char separator = ' ')
{
    std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + 2, 0xEE);
    const int n = TextToBytes(text, buffer.data(), capacity, radix, separator);
    std::vector<int> stored(buffer.begin(), buffer.begin() + n);
    for (size_t i = static_cast<size_t>(n); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xEE) << "byte " << i << " written beyond the count for '" << text << "'";
    return stored;
}

}  // namespace

TEST(BytesToText, everyRadix_writesLowercaseDigitsWithoutLeadingZeros)
{
    const uint8_t bytes[] = {1, 162, 10, 0, 255};
    EXPECT_EQ(BytesToText(bytes, 3, 10), "1 162 10");
    EXPECT_EQ(BytesToText(bytes, 3, 16), "1 a2 a");
    EXPECT_EQ(BytesToText(bytes, 5, 2), "1 10100010 1010 0 11111111");
    EXPECT_EQ(BytesToText(bytes, 5, 36), "1 4i a 0 73");
    EXPECT_EQ(BytesToText(bytes, 0, 10), "");
    EXPECT_EQ(BytesToText(bytes + 4, 1, 8), "377");
}

TEST(BytesToTextFmt, keyCodeFormat_givesUppercasePairsEachFollowedByASpace)
{
    const uint8_t bytes[] = {1, 162, 0};
    EXPECT_EQ(BytesToTextFmt(bytes, 3, "%0.2X "), "01 A2 00 ");
    EXPECT_EQ(BytesToTextFmt(bytes, 2, "%u"), "1162");
    EXPECT_EQ(BytesToTextFmt(bytes, 0, "%0.2X "), "");
}

TEST(TextToBytes, separatedNumbers_storeOneByteEachUpToTheCapacity)
{
    const struct {
        const char* Text;
        int Capacity, Radix;
        char Separator;
        std::vector<int> Stored;
    } cases[] = {
        {"01 A2  ff", 8, 16, ' ', {1, 162, 255}},
        {"01 A2  ff", 2, 16, ' ', {1, 162}},
        {"  7 8  ", 8, 16, ' ', {7, 8}},
        {"1FF 100 -1", 8, 16, ' ', {0xFF, 0x00, 0xFF}},
        {"10,20,,30", 8, 10, ',', {10, 20, 30}},
        {"1\t2", 8, 10, ' ', {1}},  // only the separator separates: a tab ends the number
        // Overflow clamps to the largest 32-bit value before the low byte is taken.
        {"FFFFFFFF00 -FFFFFFFF01 7FFFFF80", 8, 16, ' ', {0xFF, 0x00, 0x80}},
        {"1 2 3", 0, 16, ' ', {}},
        {"", 8, 16, ' ', {}},
        {"     ", 8, 16, ' ', {}},
        {",,,", 8, 10, ',', {}},
        // A non-digit fills the rest with zeros, unless its token is the last.
        {"1G 22", 8, 16, ' ', {1, 0, 0, 0, 0, 0, 0, 0}},
        {"11 2G", 8, 16, ' ', {17, 2}},
        {"x", 8, 16, ' ', {0}},
        {"5 z 6", 4, 16, ' ', {5, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parse(c.Text, c.Capacity, c.Radix, c.Separator), c.Stored) << "'" << c.Text << "'";

    uint8_t guard[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(TextToBytes("1 2 3", guard + 2, -1, 16, ' '), 0);
    EXPECT_EQ(guard[2], 0xEE);
    EXPECT_EQ(guard[3], 0xEE);
}

TEST(AddTrailingBackslash, path_getsOneSeparatorOnlyWhenItLacksOne)
{
    std::string empty;
    AddTrailingBackslash(empty);
    EXPECT_EQ(empty, "");
    std::string plain = "/var/log";
    AddTrailingBackslash(plain);
    EXPECT_EQ(plain, std::string("/var/log") + PathDelimiter);
    AddTrailingBackslash(plain);
    EXPECT_EQ(plain, std::string("/var/log") + PathDelimiter);
}
