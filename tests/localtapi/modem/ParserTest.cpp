// The result-code parser and the dial-string builder: pure functions, table-driven.
#include "DialString.h"
#include "ResultCodes.h"

#include <gtest/gtest.h>

using namespace modem;

namespace {

struct ClassifyRow {
    const char* name;
    std::string line;
    LineKind kind;
    Result result;
};

void PrintTo(const ClassifyRow& row, std::ostream* os) {
    *os << row.name;
}

class Classify : public testing::TestWithParam<ClassifyRow> {};

TEST_P(Classify, Line) {
    const ClassifyRow& row = GetParam();
    const ResponseLine line = ClassifyLine(row.line);
    EXPECT_EQ(line.kind, row.kind);
    EXPECT_EQ(line.result, row.result) << ResultName(line.result);
    EXPECT_EQ(line.text, row.line);
}

INSTANTIATE_TEST_SUITE_P(
    ResultCodes, Classify,
    testing::Values(ClassifyRow{"VerboseOk", "OK", LineKind::Final, Result::Ok},
                    ClassifyRow{"VerboseOkTrailingSpace", "OK ", LineKind::Final, Result::Ok},
                    ClassifyRow{"NoDialtone", "NO DIALTONE", LineKind::Final, Result::NoDialtone},
                    ClassifyRow{"NoDialToneSpelledApart", "NO DIAL TONE", LineKind::Final,
                                Result::NoDialtone},
                    ClassifyRow{"Busy", "BUSY", LineKind::Final, Result::Busy},
                    ClassifyRow{"NoAnswer", "NO ANSWER", LineKind::Final, Result::NoAnswer},
                    ClassifyRow{"NoCarrier", "NO CARRIER", LineKind::Final, Result::NoCarrier},
                    ClassifyRow{"Error", "ERROR", LineKind::Final, Result::Error},
                    ClassifyRow{"ConnectWithRate", "CONNECT 9600/V42", LineKind::Final, Result::Connect},
                    ClassifyRow{"ConnectGluedIsNot", "CONNECTED", LineKind::Other, Result::None},
                    ClassifyRow{"NumericOk", "0", LineKind::Final, Result::Ok},
                    ClassifyRow{"NumericBusy", "7", LineKind::Final, Result::Busy},
                    ClassifyRow{"NumericNoDialtone", "6", LineKind::Final, Result::NoDialtone},
                    ClassifyRow{"NumericNoAnswer", "8", LineKind::Final, Result::NoAnswer},
                    ClassifyRow{"NumericConnect1200", "5", LineKind::Final, Result::Connect},
                    ClassifyRow{"NumericRingIsUnsolicited", "2", LineKind::Unsolicited, Result::Ring},
                    ClassifyRow{"NumericUnknown", "42", LineKind::Other, Result::None},
                    ClassifyRow{"NumberTooLong", "000", LineKind::Other, Result::None},
                    ClassifyRow{"Ring", "RING", LineKind::Unsolicited, Result::Ring},
                    ClassifyRow{"CallerId", "NMBR = 5551212", LineKind::Unsolicited, Result::None},
                    ClassifyRow{"CallerIdNoValue", "NMBR", LineKind::Other, Result::None},
                    ClassifyRow{"EchoUpper", "ATDT5551212;", LineKind::Echo, Result::None},
                    ClassifyRow{"EchoLower", "at&f", LineKind::Echo, Result::None},
                    ClassifyRow{"EchoRepeat", "A/", LineKind::Echo, Result::None},
                    ClassifyRow{"EchoOfOkLikeCommand", "ATOK", LineKind::Echo, Result::None},
                    ClassifyRow{"LowercaseOkIsNotAResult", "ok", LineKind::Other, Result::None},
                    ClassifyRow{"Information", "U.S. Robotics 56K", LineKind::Other, Result::None},
                    ClassifyRow{"Noise", std::string("\x01\xff\x00OK", 5), LineKind::Other, Result::None}),
    [](const testing::TestParamInfo<ClassifyRow>& info) { return info.param.name; });

std::vector<std::pair<Result, LineKind>> Summary(const std::vector<ResponseLine>& lines) {
    std::vector<std::pair<Result, LineKind>> out;
    for (const ResponseLine& l : lines)
        out.emplace_back(l.result, l.kind);
    return out;
}

TEST(LineAssembler, SameLinesWhateverTheChunking) {
    const std::string stream = "AT\r\r\nOK\r\nATDT555;\r\r\nRING\r\n\r\nBUSY\r\n7\r0\r";
    LineAssembler whole;
    const auto expected = Summary(whole.Feed(stream));
    ASSERT_EQ(expected.size(), 7u);
    for (std::size_t chunk = 1; chunk <= 5; ++chunk) {
        LineAssembler pieces;
        std::vector<ResponseLine> got;
        for (std::size_t i = 0; i < stream.size(); i += chunk) {
            auto part = pieces.Feed(std::string_view(stream).substr(i, chunk));
            got.insert(got.end(), part.begin(), part.end());
        }
        EXPECT_EQ(Summary(got), expected) << "chunk size " << chunk;
        EXPECT_TRUE(pieces.Pending().empty());
    }
}

TEST(LineAssembler, PartialLineWaitsForItsEnd) {
    LineAssembler a;
    EXPECT_TRUE(a.Feed("\r\nO").empty());
    EXPECT_EQ(a.Pending(), "O");
    const auto lines = a.Feed("K\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].result, Result::Ok);
}

TEST(LineAssembler, OverlongLineIsNoiseAndDoesNotGrow) {
    LineAssembler a;
    // An overlong run that happens to end like a result must not count as one.
    const std::string junk(LineAssembler::kMaxLineBytes * 4, 'x');
    EXPECT_TRUE(a.Feed(junk + "OK").empty());
    EXPECT_LE(a.Pending().size(), LineAssembler::kMaxLineBytes);
    const auto lines = a.Feed("\r\nOK\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].kind, LineKind::Other);
    EXPECT_EQ(lines[1].result, Result::Ok);
}

struct DialRow {
    const char* name;
    std::string number;
    std::string prefix;
    DialMode mode;
    std::vector<std::string> commands; // empty: refused
};

void PrintTo(const DialRow& row, std::ostream* os) {
    *os << row.name;
}

class Dial : public testing::TestWithParam<DialRow> {};

TEST_P(Dial, Commands) {
    const DialRow& row = GetParam();
    const auto commands = BuildDialCommands(row.number, row.prefix, row.mode);
    if (row.commands.empty()) {
        EXPECT_FALSE(commands.has_value());
        return;
    }
    ASSERT_TRUE(commands.has_value());
    EXPECT_EQ(*commands, row.commands);
    for (const std::string& c : *commands) {
        EXPECT_LE(c.size(), kMaxCommandChars) << c;
        EXPECT_EQ(c.back(), ';') << c;
    }
}

INSTANTIATE_TEST_SUITE_P(
    DialString, Dial,
    testing::Values(
        DialRow{"FormattingDropped", "(555) 121-2.34", "", DialMode::Tone, {"ATDT555121234;"}},
        DialRow{"SemicolonDropped", "555;1212", "", DialMode::Tone, {"ATDT5551212;"}},
        DialRow{"Pulse", "5551212", "", DialMode::Pulse, {"ATDP5551212;"}},
        DialRow{"ModifiersKeptAndUpperCased", "9w*70,#ab!", "", DialMode::Tone, {"ATDT9W*70,#AB!;"}},
        DialRow{"PrefixFirst", "555-1212", "9,", DialMode::Tone, {"ATDT9,5551212;"}},
        DialRow{
            "SubaddressAndNameNotDialled", "555 1212|77^Front desk", "", DialMode::Tone, {"ATDT5551212;"}},
        DialRow{"EmptyTakesTheLine", "", "", DialMode::Tone, {"ATDT;"}},
        DialRow{"PlusRefused", "+1 555 1212", "", DialMode::Tone, {}},
        DialRow{"LetterRefused", "555-CALL", "", DialMode::Tone, {}},
        DialRow{"BadPrefixRefused", "5551212", "9?", DialMode::Tone, {}},
        DialRow{"SecondCommandInNumberRefused", "5551212\rATZ", "", DialMode::Tone, {}},
        DialRow{"SecondCommandInPrefixRefused", "5551212", "9\nATH", DialMode::Tone, {}},
        DialRow{"ExactlyFullPiece",
                std::string(35, '1'),
                "",
                DialMode::Tone,
                {"ATDT" + std::string(35, '1') + ";"}},
        DialRow{"SplitAfter35",
                std::string(36, '1') + "2",
                "",
                DialMode::Tone,
                {"ATDT" + std::string(35, '1') + ";", "ATD12;"}},
        DialRow{"ThreePieces",
                std::string(80, '3'),
                "",
                DialMode::Pulse,
                {"ATDP" + std::string(35, '3') + ";", "ATD" + std::string(36, '3') + ";",
                 "ATD" + std::string(9, '3') + ";"}}),
    [](const testing::TestParamInfo<DialRow>& info) { return info.param.name; });

} // namespace
