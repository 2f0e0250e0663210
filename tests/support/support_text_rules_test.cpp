#include "support/AdaptiveSpin.h"
#include "support/TextRules.h"

#include <gtest/gtest.h>

#include <limits>
#include <sched.h>

using support::IntTextOr;
using support::ParseIntText;

TEST(IntTextRule, DecimalWithBlanksAndSign) {
    EXPECT_EQ(ParseIntText("30"), 30);
    EXPECT_EQ(ParseIntText("   45"), 45);
    EXPECT_EQ(ParseIntText("-7"), -7);
    EXPECT_EQ(ParseIntText("+7"), 7);
    EXPECT_EQ(ParseIntText("0"), 0);
    EXPECT_EQ(ParseIntText("007"), 7);
}

TEST(IntTextRule, NothingMayFollowOrBeMissing) {
    EXPECT_EQ(ParseIntText(""), std::nullopt);
    EXPECT_EQ(ParseIntText(" 45 "), std::nullopt);
    EXPECT_EQ(ParseIntText("abc"), std::nullopt);
    EXPECT_EQ(ParseIntText("12a"), std::nullopt);
    EXPECT_EQ(ParseIntText("-"), std::nullopt);
    EXPECT_EQ(ParseIntText("+-1"), std::nullopt);
    EXPECT_EQ(ParseIntText("\t5"), std::nullopt); // only spaces lead
    EXPECT_EQ(ParseIntText("1.5"), std::nullopt);
}

TEST(IntTextRule, DecimalRange) {
    EXPECT_EQ(ParseIntText("2147483647"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParseIntText("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseIntText("2147483648"), std::nullopt);
    EXPECT_EQ(ParseIntText("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseIntText("99999999999999999999999"), std::nullopt);
}

TEST(IntTextRule, HexadecimalPrefixes) {
    EXPECT_EQ(ParseIntText("$100"), 256);
    EXPECT_EQ(ParseIntText("x1f"), 31);
    EXPECT_EQ(ParseIntText("X1F"), 31);
    EXPECT_EQ(ParseIntText("0x10"), 16);
    EXPECT_EQ(ParseIntText("0X10"), 16);
    EXPECT_EQ(ParseIntText("-$10"), -16);
    EXPECT_EQ(ParseIntText("  +$a"), 10);
    EXPECT_EQ(ParseIntText("$"), std::nullopt);
    EXPECT_EQ(ParseIntText("0x"), std::nullopt);
    EXPECT_EQ(ParseIntText("$g"), std::nullopt);
    EXPECT_EQ(ParseIntText("$ 1"), std::nullopt);
}

TEST(IntTextRule, HexadecimalIsThirtyTwoBitTwosComplement) {
    EXPECT_EQ(ParseIntText("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseIntText("$80000000"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseIntText("$7FFFFFFF"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParseIntText("-$FFFFFFFF"), 1);
    EXPECT_EQ(ParseIntText("$000000010"), 16); // leading zeros do not count as bits
    EXPECT_EQ(ParseIntText("$100000000"), std::nullopt);
}

TEST(IntTextRule, DefaultForNonNumbers) {
    EXPECT_EQ(IntTextOr("abc", 1800), 1800);
    EXPECT_EQ(IntTextOr("", 30), 30);
    EXPECT_EQ(IntTextOr("$100", 1800), 256);
}

TEST(RoundHalfEven, TiesGoToEven) {
    EXPECT_EQ(support::RoundHalfEven(0.5), 0);
    EXPECT_EQ(support::RoundHalfEven(1.5), 2);
    EXPECT_EQ(support::RoundHalfEven(2.5), 2);
    EXPECT_EQ(support::RoundHalfEven(-0.5), 0);
    EXPECT_EQ(support::RoundHalfEven(-1.5), -2);
    EXPECT_EQ(support::RoundHalfEven(29.83), 30);
    EXPECT_EQ(support::RoundHalfEven(2.4999), 2);
}

TEST(RoundHalfEven, SaturatesOutOfRange) {
    EXPECT_EQ(support::RoundHalfEven(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(support::RoundHalfEven(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(support::RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(TextHelpers, TrimBlanksAndControls) {
    EXPECT_EQ(support::TrimBlanksAndControls("  W1ABC-9 \t\r\n"), "W1ABC-9");
    EXPECT_EQ(support::TrimBlanksAndControls(std::string("\0W1\0", 4)), "W1");
    EXPECT_EQ(support::TrimBlanksAndControls("W1 ABC"), "W1 ABC");
    EXPECT_EQ(support::TrimBlanksAndControls("   "), "");
    EXPECT_EQ(support::TrimBlanksAndControls("\xC3\xA9"), "\xC3\xA9"); // UTF-8 bytes kept
}

TEST(TextHelpers, CharacterSpanCountsCharactersNotBytes) {
    using support::TTextUnit;
    // u8"..." literals are char8_t: the cases hold plain UTF-8 bytes instead.
    const std::string accented = " OK1\xC5\x98\xC4\x8C\xC5\xA0-17 more";    // OK1ŘČŠ-17
    const std::string cjk = " JA1\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-100"; // JA1日本語-100
    const std::string astral = "\xF0\x9D\x90\x80"
                               "1AB"; // 𝐀1AB
    struct Case {
        std::string text;
        std::size_t first, count;
        TTextUnit unit;
        std::string expected;
    } const cases[] = {
        {accented, 1, 9, TTextUnit::CodePoint, "OK1\xC5\x98\xC4\x8C\xC5\xA0-17"},
        {accented, 1, 9, TTextUnit::Utf16, "OK1\xC5\x98\xC4\x8C\xC5\xA0-17"},
        {cjk, 1, 9, TTextUnit::CodePoint, "JA1\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-10"},
        {" W1", 1, 9, TTextUnit::CodePoint, "W1"}, // shorter than the span
        {"W", 1, 9, TTextUnit::CodePoint, ""},     // nothing from the second on
        {"", 0, 3, TTextUnit::Utf16, ""},
        // Beyond U+FFFF one character is two UTF-16 units: both count it whole,
        // or leave it out when the span would cut it in half.
        {astral, 0, 3, TTextUnit::CodePoint, astral.substr(0, 6)},
        {astral, 0, 3, TTextUnit::Utf16, astral.substr(0, 5)},
        {astral, 0, 1, TTextUnit::Utf16, ""},
        {astral, 1, 2, TTextUnit::Utf16, "1"},
        // A byte that begins no UTF-8 sequence is a character of its own.
        {"A\xC5Z\x80", 1, 2, TTextUnit::CodePoint, "\xC5Z"},
        {"\xE6\x97", 0, 1, TTextUnit::CodePoint, "\xE6"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(support::CharacterSpan(c.text, c.first, c.count, c.unit), c.expected)
            << c.text << " from " << c.first << " for " << c.count;
    EXPECT_EQ(support::CharacterCount(astral, TTextUnit::CodePoint), 4u);
    EXPECT_EQ(support::CharacterCount(astral, TTextUnit::Utf16), 5u);
    EXPECT_EQ(support::CharacterCount(accented, TTextUnit::Utf16), 15u);
}

TEST(TextHelpers, UpperAsciiOnlyTouchesAsciiLetters) {
    EXPECT_EQ(support::UpperAscii("kb1xyz-10*"), "KB1XYZ-10*");
    EXPECT_EQ(support::UpperAscii("\xC3\xA9t\xC3\xA9"), "\xC3\xA9T\xC3\xA9");
}

TEST(TextHelpers, FullStopRule) {
    EXPECT_EQ(support::WithFullStop("Host went away"), "Host went away.");
    EXPECT_EQ(support::WithFullStop("code 42"), "code 42.");
    EXPECT_EQ(support::WithFullStop("Done."), "Done.");
    EXPECT_EQ(support::WithFullStop("Really?"), "Really?."); // '?' sorts after '.'
    EXPECT_EQ(support::WithFullStop("Stop!"), "Stop!");      // '!' sorts before '.'
    EXPECT_EQ(support::WithFullStop("(see log)"), "(see log)");
    EXPECT_EQ(support::WithFullStop(""), "");
}

TEST(TextHelpers, NumberFormats) {
    EXPECT_EQ(support::FormatSingle(6.2831855f), "6.28318548");
    EXPECT_EQ(support::FormatDouble(6.283185307179586), "6.2831853071795862");
    EXPECT_EQ(support::FormatSingle(1.0f), "1");
    EXPECT_EQ(support::FormatSingle(-4360.404f), "-4360.40381");
}

TEST(AdaptiveSpin, SpinsWhileItPaysAndBacksOffWhenItDoesNot) {
    using std::chrono::microseconds;
    support::TAdaptiveSpin spin(microseconds(300));
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0 || CPU_COUNT(&set) < 2) {
        EXPECT_EQ(spin.Budget(), microseconds(0)); // one processor: never
        return;
    }
    EXPECT_EQ(spin.Budget(), microseconds(300));
    spin.Spun(true);
    EXPECT_EQ(spin.Budget(), microseconds(300));
    // Each miss in a row doubles the waits that then sleep at once.
    const auto sleepsBeforeNextSpin = [&] {
        int sleeps = 0;
        while (spin.Budget() == microseconds(0))
            ++sleeps;
        return sleeps;
    };
    spin.Spun(false);
    EXPECT_EQ(sleepsBeforeNextSpin(), 2);
    spin.Spun(false);
    EXPECT_EQ(sleepsBeforeNextSpin(), 4);
    for (int i = 0; i < 20; ++i) {
        spin.Spun(false);
        EXPECT_LE(sleepsBeforeNextSpin(), 1024); // bounded: it is tried again
    }
    // One catch and it spins on every wait again.
    spin.Spun(true);
    EXPECT_EQ(spin.Budget(), microseconds(300));
    EXPECT_EQ(spin.Budget(), microseconds(300));
}

TEST(EscapeControls, TerminalControlsAreWrittenOut) {
    using support::EscapeControls;
    // An item name heard on the air that would clear the operator's terminal.
    EXPECT_EQ(EscapeControls("heard \x1b[2J\x1b[H!ITEM"), "heard \\x1B[2J\\x1B[H!ITEM");
    EXPECT_EQ(EscapeControls(std::string("a\0b\r\n\x7f", 6)), "a\\x00b\\x0D\\x0A\\x7F");
    EXPECT_EQ(EscapeControls("\xc2\x9b"
                             "2J"),
              "\\u009B2J");                                            // CSI as a C1 control
    EXPECT_EQ(EscapeControls("back\\x1B"), "back\\\\x1B");             // cannot pass for an escape
    EXPECT_EQ(EscapeControls("K1ABC-9 Zürich °"), "K1ABC-9 Zürich °"); // text as it is
}
