#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Dnxfileutils.h"
#include "Dnxstrutils.h"

namespace {

// Runs TextToBytes on a buffer pre-filled with a marker, so untouched bytes show.
std::vector<int> Parse(const std::string& text, int capacity, int radix = 16, char separator = ' ',
                       int* count = nullptr)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + 2, 0xEE);
    const int n = TextToBytes(text, buffer.data(), capacity, radix, separator);
    if (count)
        *count = n;
    std::vector<int> stored;
    for (int i = 0; i < n; ++i)
        stored.push_back(buffer[static_cast<size_t>(i)]);
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
    int n = 0;
    EXPECT_EQ(Parse("01 A2  ff", 8, 16, ' ', &n), (std::vector<int>{1, 162, 255}));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Parse("01 A2  ff", 2, 16, ' ', &n), (std::vector<int>{1, 162}));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Parse("  7 8  ", 8), (std::vector<int>{7, 8}));
    EXPECT_EQ(Parse("1FF 100 -1", 8), (std::vector<int>{0xFF, 0x00, 0xFF}));
    EXPECT_EQ(Parse("10,20,,30", 8, 10, ','), (std::vector<int>{10, 20, 30}));
    // Only the separator separates: a tab inside a token ends its number.
    EXPECT_EQ(Parse("1\t2", 8, 10), (std::vector<int>{1}));
    // Overflow clamps to the largest 32-bit value before the low byte is taken.
    EXPECT_EQ(Parse("FFFFFFFF00 -FFFFFFFF01 7FFFFF80", 8), (std::vector<int>{0xFF, 0x00, 0x80}));
    EXPECT_EQ(Parse("1 2 3", 0), (std::vector<int>{}));
}

TEST(TextToBytes, emptyOrSeparatorOnlyText_storesNothing)
{
    EXPECT_EQ(Parse("", 8), (std::vector<int>{}));
    EXPECT_EQ(Parse("     ", 8), (std::vector<int>{}));
    EXPECT_EQ(Parse(",,,", 8, 10, ','), (std::vector<int>{}));
}

TEST(TextToBytes, nonDigitInsideAToken_fillsTheRestWithZerosButOnlyEndsTheLastToken)
{
    int n = 0;
    EXPECT_EQ(Parse("1G 22", 8, 16, ' ', &n), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(n, 8);
    EXPECT_EQ(Parse("11 2G", 8, 16, ' ', &n), (std::vector<int>{17, 2}));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Parse("x", 8), (std::vector<int>{0}));
    EXPECT_EQ(Parse("5 z 6", 4), (std::vector<int>{5, 0, 0, 0}));
}

TEST(TextToBytes, capacityOfZeroOrLess_writesNothing)
{
    uint8_t guard[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(TextToBytes("1 2 3", guard + 2, -1, 16, ' '), 0);
    EXPECT_EQ(TextToBytes("1", guard + 2, 0, 16, ' '), 0);
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
