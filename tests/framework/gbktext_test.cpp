#include "framework/gbktext.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <string>

#include "tests/support/Cat.h"
#include "tests/support/Encoding.h"
#include "tests/support/TempDir.h"

namespace gbk = fw::gbk;
using ts::Gbk;

namespace {

bool IsValidUtf8(const std::string& text) {
    try {
        ts::Convert(text, "UTF-8", "UTF-16LE");
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

}  // namespace

TEST(GbkFind, SeparatorAfterLeadByteIsPartOfTheCharacter) {
    // 0x81 followed by "," or "?" is one (malformed) double-byte character.
    EXPECT_EQ(gbk::Find("\x81,a,b", ','), 3);
    EXPECT_EQ(gbk::Find("\x81?x?", '?'), 3);
    EXPECT_EQ(gbk::Find("\x81,\x81?", ','), -1);
    // A real character whose trail byte is "@" (0x81 0x40).
    std::string text = Gbk("丂") + "@";
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(gbk::Find(text, '@'), 2);
    EXPECT_EQ(gbk::Find(Gbk("标准间") + "?1!" + Gbk("张三"), '!'), 8);
}

TEST(GbkFind, PlainTextAndEdges) {
    EXPECT_EQ(gbk::Find("a,b", ','), 1);
    EXPECT_EQ(gbk::Find(",", ','), 0);
    EXPECT_EQ(gbk::Find("", ','), -1);
    EXPECT_EQ(gbk::Find("abc", ','), -1);
    // A lead byte as the last byte does not read past the end.
    EXPECT_EQ(gbk::Find(std::string_view("ab\x81", 3), ','), -1);
    EXPECT_EQ(gbk::Find(std::string("a\0,", 3), ','), 2);
}

TEST(GbkLeftRight, CountsAreClampedToTheText) {
    EXPECT_EQ(gbk::Left("abcdef", 2), "ab");
    EXPECT_EQ(gbk::Left("abcdef", 0), "");
    EXPECT_EQ(gbk::Left("abcdef", -1), "");
    EXPECT_EQ(gbk::Left("abcdef", 6), "abcdef");
    EXPECT_EQ(gbk::Left("abcdef", 100), "abcdef");
    EXPECT_EQ(gbk::Left("abcdef", LONG_MIN), "");
    EXPECT_EQ(gbk::Right("abcdef", 2), "ef");
    EXPECT_EQ(gbk::Right("abcdef", -5), "");
    EXPECT_EQ(gbk::Right("abcdef", 7), "abcdef");
    EXPECT_EQ(gbk::Right("abcdef", LONG_MAX), "abcdef");
    EXPECT_EQ(gbk::Right("", 3), "");
}

TEST(GbkTrim, RemovesSpaceAndControlWhiteSpaceOnly) {
    EXPECT_EQ(gbk::Trim(" \t\n\v\f\rabc \t\n\v\f\r"), "abc");
    EXPECT_EQ(gbk::TrimLeft(" \tab c "), "ab c ");
    EXPECT_EQ(gbk::TrimRight(" ab c\r\n"), " ab c");
    EXPECT_EQ(gbk::Trim("\x08x\x0E"), "\x08x\x0E");
    EXPECT_EQ(gbk::Trim(" \r\n "), "");
    EXPECT_EQ(gbk::Trim(""), "");
    std::string name = Gbk("张三");
    EXPECT_EQ(gbk::Trim(" " + name + "\r\n"), name);
    // 0xA0 is a lead byte in GBK, never a blank.
    EXPECT_EQ(gbk::Trim("\xA0\xA1 "), "\xA0\xA1");
}

TEST(GbkCut, NeverSplitsADoubleByteCharacter) {
    std::string text = "ab" + Gbk("标准");  // a b [2] [2]
    ASSERT_EQ(text.size(), 6u);
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 0), "");
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 2), "ab");
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 3), "ab");
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 4), "ab" + Gbk("标"));
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 5), "ab" + Gbk("标"));
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 6), text);
    EXPECT_EQ(gbk::CutAtCharBoundary(text, 1000), text);
    // A lone lead byte at the end is a character of its own.
    EXPECT_EQ(gbk::CutAtCharBoundary("a\x81", 2), "a\x81");
}

TEST(GbkFormat, FormatsLongTextWithoutTruncation) {
    EXPECT_EQ(gbk::Format("can't open file %s,error=%u\n", "/d/x", 10u),
              "can't open file /d/x,error=10\n");
    std::string longText(5000, 'x');
    EXPECT_EQ(gbk::Format("[%s]", longText.c_str()), "[" + longText + "]");
    EXPECT_EQ(gbk::Format("%s", ""), "");
}

TEST(GbkToUtf8, ConvertsValidGbk) {
    const std::string unicode = "标准间 豪华间 套间 商务间, room 101";
    EXPECT_EQ(gbk::ToUtf8(Gbk(unicode)), unicode);
    EXPECT_EQ(gbk::ToUtf8(""), "");
}

TEST(GbkToUtf8, InvalidBytesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(gbk::ToUtf8("a\xFF"
                          "b"),
              "a" + fffd + "b");
    // A lead byte cut off at the end of the text.
    EXPECT_EQ(gbk::ToUtf8("a\x81"), "a" + fffd);
    // A bad pair: the lead byte is replaced and the next byte read anew.
    EXPECT_EQ(gbk::ToUtf8("\x81 x"), fffd + " x");
    EXPECT_EQ(gbk::ToUtf8(Gbk("张") + "\xFF" + Gbk("三")), "张" + fffd + "三");
}

TEST(Utf8ToGbk, WhatGbkCannotHoldBecomesOneQuestionMarkEach) {
    const struct {
        std::string utf8, gbk;
        bool whole;
    } cases[] = {
        {"", "", true},
        {"张三 room 101", Gbk("张三 room 101"), true},
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b", false},                                           // U+1F600: no GBK form
        {ts::Cat("\xFF", "张"), ts::Cat("?", Gbk("张")), false},  // not UTF-8
        {"x\x80\x80y", "x??y", false},                            // stray continuation bytes
        {"z\xE5\xBC", "z?", false},                               // cut off at the end
    };
    for (const auto& c : cases) {
        bool whole = !c.whole;
        EXPECT_EQ(gbk::FromUtf8(c.utf8, &whole), c.gbk) << c.utf8;
        EXPECT_EQ(whole, c.whole) << c.utf8;
    }
}

TEST(GbkToUtf8, EveryByteAfterEveryLeadByteGivesValidUtf8) {
    for (int lead = 0x81; lead <= 0xFF; ++lead) {
        for (int trail = 0; trail <= 0xFF; ++trail) {
            const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail), 'A'};
            std::string out = gbk::ToUtf8(std::string_view(bytes, 3));
            ASSERT_FALSE(out.empty());
            ASSERT_TRUE(IsValidUtf8(out)) << std::hex << lead << " " << trail;
        }
    }
}

TEST(GbkParseLeadingInt, ReadsLikeTheCLibrary) {
    EXPECT_EQ(gbk::ParseLeadingInt("1"), 1);
    EXPECT_EQ(gbk::ParseLeadingInt("01"), 1);
    EXPECT_EQ(gbk::ParseLeadingInt("+1"), 1);
    EXPECT_EQ(gbk::ParseLeadingInt("  1"), 1);
    EXPECT_EQ(gbk::ParseLeadingInt("\t\n\v\f\r 7"), 7);
    EXPECT_EQ(gbk::ParseLeadingInt("1!Zedi"), 1);
    EXPECT_EQ(gbk::ParseLeadingInt("3abc"), 3);
    EXPECT_EQ(gbk::ParseLeadingInt("-12"), -12);
    EXPECT_EQ(gbk::ParseLeadingInt(""), 0);
    EXPECT_EQ(gbk::ParseLeadingInt("x1"), 0);
    EXPECT_EQ(gbk::ParseLeadingInt("+-1"), 0);
    EXPECT_EQ(gbk::ParseLeadingInt("- 1"), 0);
    EXPECT_EQ(gbk::ParseLeadingInt("1 2"), 1);
}

TEST(GbkParseLeadingInt, ClampsToThirtyTwoBits) {
    EXPECT_EQ(gbk::ParseLeadingInt("2147483647"), INT_MAX);
    EXPECT_EQ(gbk::ParseLeadingInt("2147483648"), INT_MAX);
    EXPECT_EQ(gbk::ParseLeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(gbk::ParseLeadingInt("-2147483649"), INT_MIN);
    EXPECT_EQ(gbk::ParseLeadingInt("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(gbk::ParseLeadingInt("-99999999999999999999999999"), INT_MIN);
    EXPECT_EQ(gbk::ParseLeadingInt("000000000000000000000000042"), 42);
}

TEST(GbkParseLeadingDouble, ReadsTheLeadingDecimalNumber) {
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("123.45"), 123.45);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("  -3.75yuan"), -3.75);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("7."), 7.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("1e2x"), 100.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("1e"), 1.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("1e+"), 1.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("600" + Gbk("元")), 600.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble(""), 0.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("."), 0.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("abc"), 0.0);
}

TEST(GbkParseLeadingDouble, NonDecimalFormsReadAsNoNumber) {
    // Such forms would hand a NaN or a hexadecimal value to a price.
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("nan"), 0.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("inf"), 0.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("-infinity"), 0.0);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("0x10"), 0.0);
    // Text is not NUL-terminated in a string_view: nothing past it is read.
    std::string_view cut("12.5", 2);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble(cut), 12.0);
}

TEST(GbkParseLeadingDouble, IgnoresADecimalCommaLocale) {
    ts::TempDir locales;
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        // Not installed: compile it into a private directory.
        std::string command =
            "localedef -i de_DE -f UTF-8 '" + (locales.File("de_DE.UTF-8")) + "' >/dev/null 2>&1";
        int rc = std::system(command.c_str());
        if (rc != 0 || !WIFEXITED(rc) || WEXITSTATUS(rc) != 0)
            GTEST_SKIP() << "no locale with a decimal comma available";
        setenv("LOCPATH", locales.Path().c_str(), 1);
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
            GTEST_SKIP() << "no locale with a decimal comma available";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("1234.5"), 1234.5);
    EXPECT_DOUBLE_EQ(gbk::ParseLeadingDouble("1234,5"), 1234.0);
    std::setlocale(LC_NUMERIC, "C");
}
