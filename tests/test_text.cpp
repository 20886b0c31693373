#include <gtest/gtest.h>

#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {
namespace {

TEST(Casing, FollowsTheWindows1252Pairs) {
    // ASCII, Latin-1 letters, and the pairs that live in 0x80..0x9F.
    EXPECT_EQ(to_upper("abc xyz"), "ABC XYZ");
    EXPECT_EQ(to_upper("\xE9\xF8\x9A\xFF\x9C\x9E"), "\xC9\xD8\x8A\x9F\x8C\x8E");  // é ø š ÿ œ ž
    EXPECT_EQ(to_lower("\xC9\xD8\x8A\x9F\x8C\x8E"), "\xE9\xF8\x9A\xFF\x9C\x9E");
    EXPECT_EQ(to_lower("ABC"), "abc");
}

TEST(Casing, LeavesSymbolsAndCaselessLettersAlone) {
    // × and ÷ sit among the letters but have no case; ß and µ have no single-byte partner.
    for (const char* same : {"\xD7", "\xF7", "\xDF", "\xB5", "0-9_@[`{~", "\x80\x81"}) {
        EXPECT_EQ(to_upper(same), same);
        EXPECT_EQ(to_lower(same), same);
    }
}

TEST(Casing, EveryByteRoundTripsThroughItsPartner) {
    for (int b = 0; b < 256; ++b) {
        const auto c = static_cast<unsigned char>(b);
        const unsigned char up = upper_byte(c);
        const unsigned char low = lower_byte(c);
        if (up != c) {
            EXPECT_EQ(lower_byte(up), c) << b;
        }
        if (low != c) {
            EXPECT_EQ(upper_byte(low), c) << b;
        }
    }
}

TEST(Compare, IgnoresCaseAndComparesUnsignedBytes) {
    EXPECT_EQ(compare_upper("m\xFCller", "M\xDCLLER"), 0);
    EXPECT_TRUE(equal_nocase("\xE9t\xE9", "\xC9T\xC9"));
    EXPECT_FALSE(equal_nocase("abc", "abcd"));
    // Bytes above 127 sort after ASCII letters, never before them.
    EXPECT_GT(compare_upper("\xC9", "Z"), 0);
    EXPECT_GT(compare_bytes("\x80", "a"), 0);
    // A shorter prefix comes first.
    EXPECT_LT(compare_upper("Smith", "smithson"), 0);
    EXPECT_GT(compare_lower("smithson", "SMITH"), 0);
    EXPECT_EQ(compare_bytes("", ""), 0);
}

TEST(Compare, UpperAndLowerFoldingDifferAroundTheUnderscore) {
    // '_' (95) lies between 'Z' (90) and 'a' (97): the fold decides the order.
    EXPECT_LT(compare_upper("A", "_"), 0);
    EXPECT_GT(compare_lower("A", "_"), 0);
}

TEST(Trim, RemovesBlanksOnly) {
    EXPECT_EQ(trim("  a b  "), "a b");
    EXPECT_EQ(trim("\ta\t"), "\ta\t");
    EXPECT_EQ(trim("   "), "");
}

TEST(Replace, LeftToRightWithoutRescanningWhatWasPut) {
    EXPECT_EQ(replace_all("a\r\nb\nc\r", "\r\n", ", "), "a, b\nc\r");
    EXPECT_EQ(replace_all("say \"hi\"", "\"", "\"\""), "say \"\"hi\"\"") << "what was put is not looked at again";
    EXPECT_EQ(replace_all("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replace_all("abc", "", "x"), "abc") << "nothing to look for ends at once";
    EXPECT_EQ(replace_all(std::string(100000, '\n'), "\n", ", ").size(), 200000u);
}

TEST(Numbers, ThousandsGroupsDigitsByThreeForEveryValue) {
    EXPECT_EQ(with_thousands(0), "0");
    EXPECT_EQ(with_thousands(999), "999");
    EXPECT_EQ(with_thousands(1000), "1,000");
    EXPECT_EQ(with_thousands(1234567), "1,234,567");
    EXPECT_EQ(with_thousands(-1234), "-1,234");
    EXPECT_EQ(with_thousands(-999), "-999");
    // The most negative value has no positive counterpart of its own type.
    EXPECT_EQ(with_thousands(INT64_MIN), "-9,223,372,036,854,775,808");
    EXPECT_EQ(with_thousands(INT64_MAX), "9,223,372,036,854,775,807");
}

TEST(Numbers, LogFormAndLeadingNumericPart) {
    EXPECT_EQ(log_number(42), " 42");
    EXPECT_EQ(log_number(0), " 0");
    EXPECT_EQ(log_number(-7), "-7");
    EXPECT_EQ(leading_number("12abc"), 12);
    EXPECT_EQ(leading_number("abc"), 0);
    EXPECT_EQ(leading_number(""), 0);
    EXPECT_EQ(leading_number("-5000"), -5000);
    EXPECT_EQ(leading_number("  +8"), 8);
    EXPECT_EQ(leading_number("99999999999999"), 2147483647);
    EXPECT_EQ(leading_number("-99999999999999"), -2147483647 - 1);
}

TEST(Cp1252, EveryByteSurvivesARoundTripThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(all)), all);
}

TEST(Cp1252, MapsTheSpecialRangeAndReplacesTheRest) {
    EXPECT_EQ(cp1252_to_utf8("\x80"), "\xE2\x82\xAC");  // €
    EXPECT_EQ(cp1252_to_utf8("\xE9"), "\xC3\xA9");      // é
    EXPECT_EQ(utf8_to_cp1252("\xE2\x80\x9C" "a" "\xE2\x80\x9D"), "\x93" "a" "\x94");
    EXPECT_EQ(utf8_to_cp1252("\xE4\xB8\xAD"), "?");        // a CJK character
    EXPECT_EQ(utf8_to_cp1252("\xF0\x9F\x98\x80!"), "?!");  // outside the BMP
}

TEST(Cp1252, MalformedUtf8BecomesQuestionMarksWithoutSwallowingGoodText) {
    EXPECT_EQ(utf8_to_cp1252("a\x80" "b"), "a?b");            // stray continuation
    EXPECT_EQ(utf8_to_cp1252("a\xC3"), "a?");                // cut short at the end
    EXPECT_EQ(utf8_to_cp1252("\xC3" "A"), "?A");             // lead without continuation
    EXPECT_EQ(utf8_to_cp1252("\xC0\xAF"), "?");              // overlong
    EXPECT_EQ(utf8_to_cp1252("\xED\xA0\x80x"), "?x");        // surrogate
    EXPECT_EQ(utf8_to_cp1252("\xFF\xFE"), "??");
}

}  // namespace
}  // namespace domora
