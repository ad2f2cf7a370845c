#include <gtest/gtest.h>

#include <string>

#include "Cp1251.h"

TEST(Cp1251, allByteValues_surviveTheRoundTripThroughUtf8)
{
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    const std::string utf8 = Cp1251ToUtf8(bytes);
    std::string back;
    ASSERT_TRUE(Utf8ToCp1251(utf8, back));
    EXPECT_EQ(back, bytes);
}

TEST(Cp1251, russianTextAndSigns_mapToTheirCodePageBytes)
{
    std::string out;
    ASSERT_TRUE(Utf8ToCp1251("Ключи Ёё №€", out));
    EXPECT_EQ(out, "\xCA\xEB\xFE\xF7\xE8 \xA8\xB8 \xB9\x88");
    EXPECT_EQ(Cp1251ToUtf8("\xC0\xFF\xA8\xB9"), "АяЁ№");
}

TEST(Cp1251, textTheCodePageCannotHold_isRefusedAndLeavesTheOutputEmpty)
{
    std::string out = "previous";
    EXPECT_FALSE(Utf8ToCp1251("ä", out));  // Latin letter without a Windows-1251 byte
    EXPECT_EQ(out, "");
    EXPECT_FALSE(Utf8ToCp1251("ok 😀", out));
    EXPECT_FALSE(Utf8ToCp1251("漢", out));
    EXPECT_FALSE(Utf8ToCp1251("\xD0", out));          // cut short
    EXPECT_FALSE(Utf8ToCp1251("\xD0\x41", out));      // bad continuation
    EXPECT_FALSE(Utf8ToCp1251("\xFF", out));          // no such lead byte
    EXPECT_FALSE(Utf8ToCp1251("\xED\xA0\x80", out));  // surrogate half
}

TEST(Cp1251, overlongUtf8_isRefusedRatherThanSmugglingBytesIn)
{
    std::string out;
    EXPECT_FALSE(Utf8ToCp1251(std::string("\xC0\x80", 2), out));  // NUL in two bytes
    EXPECT_FALSE(Utf8ToCp1251("\xC1\xBF", out));                   // DEL in two bytes
    EXPECT_FALSE(Utf8ToCp1251("\xE0\x80\xAF", out));               // '/' in three bytes
    EXPECT_FALSE(Utf8ToCp1251("\xF0\x80\x80\xC1", out));
    EXPECT_FALSE(Utf8ToCp1251("\xF0\x80\x90\x90", out));           // U+0410 in four bytes
    EXPECT_EQ(out, "");
}
