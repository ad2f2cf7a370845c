#include <gtest/gtest.h>

#include <string>

#include "util/Cp1251.h"

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

TEST(Cp1251, textTheCodePageCannotHoldOrBrokenUtf8_isRefusedAndLeavesTheOutputEmpty)
{
    const std::string refused[] = {
        "ä",  // Latin letter without a Windows-1251 byte
        "ok 😀",
        "漢",
        "\xD0",          // cut short
        "\xD0\x41",      // bad continuation
        "\xFF",          // no such lead byte
        "\xED\xA0\x80",  // surrogate half
        // Overlong forms would smuggle bytes in.
        std::string("\xC0\x80", 2),  // NUL in two bytes
        "\xC1\xBF",                  // DEL in two bytes
        "\xE0\x80\xAF",              // '/' in three bytes
        "\xF0\x80\x80\xC1",
        "\xF0\x80\x90\x90",  // U+0410 in four bytes
    };
    for (const std::string& text : refused) {
        std::string out = "previous";
        EXPECT_FALSE(Utf8ToCp1251(text, out)) << testing::PrintToString(text);
        EXPECT_EQ(out, "") << testing::PrintToString(text);
    }
}
