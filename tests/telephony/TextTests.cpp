// Words for telephony result codes, and the ANSI conversion at the telephony boundary.
#include "AnsiText.h"
#include "CvbTAPILine.h"
#include "FakeTapi.h"
#include "mTAPIConsts.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

struct ErrorTextCase {
    const char* name;
    std::uint32_t code;
    const char* text;
};

class ErrorText : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(ErrorText, LooksUpTheCode) {
    const auto& c = GetParam();
    EXPECT_EQ(mTAPIConsts::TAPIErrorString(static_cast<std::int32_t>(c.code)), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, ErrorText,
                         ::testing::Values(ErrorTextCase{"Lowest", 0x80000001, "Allocated"},
                                           ErrorTextCase{"Unassigned04", 0x80000004, "Unknown Error"},
                                           ErrorTextCase{"CallUnavail", 0x80000005, "Call UnAvail"},
                                           ErrorTextCase{"InvalDialParams", 0x80000025, "Unknown Error"},
                                           ErrorTextCase{"InvalDigitList", 0x80000026, "Invalid Digit List"},
                                           ErrorTextCase{"Unassigned31", 0x80000031, "Unknown Error"},
                                           ErrorTextCase{"InvalParam", 0x80000032, "Invalid Param"},
                                           ErrorTextCase{"InvalRate", 0x80000037, "Invalid Rate"},
                                           ErrorTextCase{"NoMem", 0x80000044, "No Memory"},
                                           ErrorTextCase{"Highest", 0x80000056, "No Multiple Instance"},
                                           ErrorTextCase{"JustAbove", 0x80000057, "Unknown Error"},
                                           ErrorTextCase{"JustBelow", 0x80000000, "Unknown Error"},
                                           ErrorTextCase{"AllBits", 0xFFFFFFFF, "Unknown Error"},
                                           ErrorTextCase{"Success", 0, "Unknown Error"},
                                           ErrorTextCase{"RequestId", 1, "Unknown Error"},
                                           ErrorTextCase{"LargestPositive", 0x7FFFFFFF, "Unknown Error"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorTextTable, HasATextForEveryCodeInRange) {
    for (std::uint32_t code = 0x80000001; code <= 0x80000056; ++code) {
        const std::string text = mTAPIConsts::TAPIErrorString(static_cast<std::int32_t>(code));
        EXPECT_FALSE(text.empty()) << std::hex << code;
        const bool unassigned = code == 0x80000004 || code == 0x80000025 || code == 0x80000031;
        EXPECT_EQ(text == "Unknown Error", unassigned) << std::hex << code << " " << text;
    }
}

TEST(ErrorTextTable, LineObjectPassesCodesStraightThrough) {
    auto fake = std::make_shared<testsupport::FakeTapi>();
    auto line = CvbTAPILine::New(fake);
    EXPECT_EQ(line->ErrorString(LINEERR_INVALRATE), "Invalid Rate");
    EXPECT_EQ(line->ErrorString(0), "Unknown Error");
    EXPECT_TRUE(fake->log.empty());
}

struct AnsiCase {
    const char* name;
    std::string utf8;
    std::string ansi;
};

class AnsiRoundTrip : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(AnsiRoundTrip, ConvertsBothWays) {
    const auto& c = GetParam();
    EXPECT_EQ(mTAPIDecs::ToAnsi(c.utf8), c.ansi);
    EXPECT_EQ(mTAPIDecs::FromAnsi(c.ansi), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Windows1252, AnsiRoundTrip,
    ::testing::Values(AnsiCase{"Empty", "", ""}, AnsiCase{"Ascii", "+1 (555) 0123", "+1 (555) 0123"},
                      AnsiCase{"Latin1", "Zürich", "Z\xFCrich"}, AnsiCase{"Euro", "€", "\x80"},
                      AnsiCase{
                          "HighRange", "‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ",
                          "\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98"
                          "\x99\x9A\x9B\x9C\x9E\x9F"},
                      AnsiCase{"UnassignedBytes", "\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},
                      AnsiCase{"NbspAndY", "\u00A0ÿ", "\xA0\xFF"},
                      AnsiCase{"EmbeddedNul", "a\0b\0"s, "a\0b\0"s}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnmappableCase {
    const char* name;
    std::string utf8;
    std::string ansi;
};

class AnsiUnmappable : public ::testing::TestWithParam<UnmappableCase> {};

TEST_P(AnsiUnmappable, BecomesQuestionMark) {
    EXPECT_EQ(mTAPIDecs::ToAnsi(GetParam().utf8), GetParam().ansi);
}

INSTANTIATE_TEST_SUITE_P(Windows1252, AnsiUnmappable,
                         ::testing::Values(UnmappableCase{"Cyrillic", "Ж1", "?1"},
                                           UnmappableCase{"C1WithoutByte", "\u0080", "?"},
                                           UnmappableCase{"Cjk", "電話", "??"},
                                           UnmappableCase{"TruncatedSequence", "a\xC3", "a?"},
                                           UnmappableCase{"StrayContinuation", "\x80x", "?x"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A malformed sequence must never decode into a character: "\xC0\x80" would smuggle a
// NUL and "\xE0\x80\xAF" a '/'. How many '?' it gives is the platform's business.
class AnsiMalformed : public ::testing::TestWithParam<UnmappableCase> {};

TEST_P(AnsiMalformed, GivesOnlyQuestionMarks) {
    const std::string ansi = mTAPIDecs::ToAnsi("<" + GetParam().utf8 + ">");
    ASSERT_GE(ansi.size(), 3u) << ansi;
    EXPECT_EQ(ansi.front(), '<');
    EXPECT_EQ(ansi.back(), '>');
    EXPECT_EQ(ansi.find_first_not_of('?', 1), ansi.size() - 1) << ansi;
}

INSTANTIATE_TEST_SUITE_P(Utf8, AnsiMalformed,
                         ::testing::Values(UnmappableCase{"OverlongNul", "\xC0\x80", ""},
                                           UnmappableCase{"OverlongSlash", "\xE0\x80\xAF", ""},
                                           UnmappableCase{"OverlongFourByte", "\xF0\x80\x80\xAF", ""},
                                           UnmappableCase{"Surrogate", "\xED\xA0\x80", ""},
                                           UnmappableCase{"BeyondUnicode", "\xF4\x90\x80\x80", ""},
                                           UnmappableCase{"InvalidLead", "\xFF", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
