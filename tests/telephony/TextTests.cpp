// Words for telephony result codes, and the ANSI conversion at the telephony boundary.
#include "telephony/AnsiText.h"
#include "tests/support/LineTestSupport.h"
#include "telephony/mTAPIConsts.h"

using namespace std::string_literals;

static std::string ErrorText(std::uint32_t code) {
    return mTAPIConsts::TAPIErrorString(static_cast<std::int32_t>(code));
}

// The table's ends and the entries right after its three unassigned codes.
TEST(ErrorTextTable, EdgesAndUnassignedCodes) {
    const std::pair<std::uint32_t, const char*> known[] = {
        {0x80000001, "Allocated"},
        {0x80000005, "Call UnAvail"},
        {0x80000026, "Invalid Digit List"},
        {0x80000032, "Invalid Param"},
        {0x80000056, "No Multiple Instance"},
    };
    for (const auto& [code, text] : known)
        EXPECT_EQ(ErrorText(code), text) << std::hex << code;
    for (std::uint32_t code = 0x80000001; code <= 0x80000056; ++code) {
        const bool unassigned = code == 0x80000004 || code == 0x80000025 || code == 0x80000031;
        const std::string text = ErrorText(code);
        EXPECT_FALSE(text.empty()) << std::hex << code;
        EXPECT_EQ(text == "Unknown Error", unassigned) << std::hex << code << " " << text;
    }
    for (std::uint32_t code : {0x80000000u, 0x80000057u, 0xFFFFFFFFu, 0u, 1u, 0x7FFFFFFFu})
        EXPECT_EQ(ErrorText(code), "Unknown Error") << std::hex << code;
    auto fake = std::make_shared<testsupport::FakeTapi>();
    EXPECT_EQ(CvbTAPILine::New(fake)->ErrorString(LINEERR_INVALRATE), "Invalid Rate");
}

TEST(AnsiText, Windows1252RoundTrip) {
    const struct {
        const char* name;
        std::string utf8, ansi;
    } cases[] = {
        {"Empty", "", ""},
        {"Ascii", "+1 (555) 0123", "+1 (555) 0123"},
        {"Latin1", "Zürich", "Z\xFCrich"},
        {"Euro", "€", "\x80"},
        {"HighRange", "‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ",
         "\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x91\x92\x93\x94\x95\x96\x97\x98"
         "\x99\x9A\x9B\x9C\x9E\x9F"},
        {"UnassignedBytes", "\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},
        {"NbspAndY", "\u00A0ÿ", "\xA0\xFF"},
        {"EmbeddedNul", "a\0b\0"s, "a\0b\0"s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mTAPIDecs::ToAnsi(c.utf8), c.ansi);
        EXPECT_EQ(mTAPIDecs::FromAnsi(c.ansi), c.utf8);
    }
}

TEST(AnsiText, UnmappableBecomesQuestionMark) {
    const std::pair<std::string, std::string> cases[] = {
        {"Ж1", "?1"}, {"\u0080", "?"}, {"電話", "??"}, {"a\xC3", "a?"}, {"\x80x", "?x"},
    };
    for (const auto& [utf8, ansi] : cases)
        EXPECT_EQ(mTAPIDecs::ToAnsi(utf8), ansi) << utf8;
}

// A malformed sequence must never decode into a character ("\xC0\x80" would smuggle a NUL,
// "\xE0\x80\xAF" a '/'); how many '?' it gives is the platform's business.
TEST(AnsiText, MalformedUtf8GivesOnlyQuestionMarks) {
    for (const char* bad :
         {"\xC0\x80", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
        const std::string ansi = mTAPIDecs::ToAnsi("<"s + bad + ">");
        SCOPED_TRACE(ansi);
        ASSERT_GE(ansi.size(), 3u);
        EXPECT_EQ(ansi.front(), '<');
        EXPECT_EQ(ansi.back(), '>');
        EXPECT_EQ(ansi.find_first_not_of('?', 1), ansi.size() - 1);
    }
}
