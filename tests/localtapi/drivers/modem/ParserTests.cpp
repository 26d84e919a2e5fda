// The result-code parser and the dial-string builder: pure functions, table-driven.
#include "localtapi/drivers/modem/DialString.h"
#include "localtapi/drivers/modem/ResultCodes.h"

#include <gtest/gtest.h>

using namespace localtapi::modem;

namespace {

// Verbose codes are also covered by the dialogues with the simulated modem.
TEST(ResultCodes, ClassifyLine) {
    const struct {
        const char* name;
        std::string line;
        LineKind kind;
        Result result;
    } rows[] = {{"VerboseOkTrailingSpace", "OK ", LineKind::Final, Result::Ok},
                {"NoDialToneSpelledApart", "NO DIAL TONE", LineKind::Final, Result::NoDialtone},
                {"ConnectWithRate", "CONNECT 9600/V42", LineKind::Final, Result::Connect},
                {"ConnectGluedIsNot", "CONNECTED", LineKind::Other, Result::None},
                {"NumericOk", "0", LineKind::Final, Result::Ok},
                {"NumericNoCarrier", "3", LineKind::Final, Result::NoCarrier},
                {"NumericError", "4", LineKind::Final, Result::Error},
                {"NumericConnect1200", "5", LineKind::Final, Result::Connect},
                {"NumericNoDialtone", "6", LineKind::Final, Result::NoDialtone},
                {"NumericBusy", "7", LineKind::Final, Result::Busy},
                {"NumericNoAnswer", "8", LineKind::Final, Result::NoAnswer},
                {"NumericRingIsUnsolicited", "2", LineKind::Unsolicited, Result::Ring},
                {"NumericUnknown", "42", LineKind::Other, Result::None},
                {"NumberTooLong", "000", LineKind::Other, Result::None},
                {"Ring", "RING", LineKind::Unsolicited, Result::Ring},
                {"CallerId", "NMBR = 5551212", LineKind::Unsolicited, Result::None},
                {"CallerIdNoValue", "NMBR", LineKind::Other, Result::None},
                {"EchoUpper", "ATDT5551212;", LineKind::Echo, Result::None},
                {"EchoLower", "at&f", LineKind::Echo, Result::None},
                {"EchoOfOkLikeCommand", "ATOK", LineKind::Echo, Result::None},
                {"LowercaseOkIsNotAResult", "ok", LineKind::Other, Result::None},
                {"Noise", std::string("\x01\xff\x00OK", 5), LineKind::Other, Result::None}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ResponseLine line = ClassifyLine(row.line);
        EXPECT_EQ(line.kind, row.kind);
        EXPECT_EQ(line.result, row.result) << ResultName(line.result);
        EXPECT_EQ(line.text, row.line);
    }
}

std::vector<std::string> Texts(const std::vector<ResponseLine>& lines) {
    std::vector<std::string> out;
    for (const ResponseLine& l : lines)
        out.push_back(std::string(ResultName(l.result)) + ":" + l.text);
    return out;
}

TEST(LineAssembler, SameLinesWhateverTheChunking) {
    const std::string stream = "AT\r\r\nOK\r\nATDT555;\r\r\nRING\r\n\r\nBUSY\r\n7\r0\r";
    const auto expected = Texts(LineAssembler().Feed(stream));
    ASSERT_EQ(expected.size(), 7u);
    for (std::size_t chunk = 1; chunk <= 5; ++chunk) {
        LineAssembler pieces;
        std::vector<std::string> got;
        for (std::size_t i = 0; i < stream.size(); i += chunk)
            for (const std::string& text : Texts(pieces.Feed(std::string_view(stream).substr(i, chunk))))
                got.push_back(text);
        EXPECT_EQ(got, expected) << "chunk size " << chunk;
        EXPECT_EQ(pieces.Pending(), "");
    }
}

TEST(LineAssembler, OverlongLineIsNoiseAndDoesNotGrow) {
    LineAssembler a;
    // An overlong run that happens to end like a result must not count as one.
    EXPECT_TRUE(a.Feed(std::string(LineAssembler::kMaxLineBytes * 4, 'x') + "OK").empty());
    EXPECT_LE(a.Pending().size(), LineAssembler::kMaxLineBytes);
    const auto lines = a.Feed("\r\nOK\r\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].kind, LineKind::Other);
    EXPECT_EQ(lines[1].result, Result::Ok);
}

TEST(DialString, Commands) {
    const std::string k35(35, '1');
    const struct {
        const char* name;
        std::string number, prefix;
        std::string commands; // joined; empty: refused
    } rows[] = {
        {"FormattingDropped", "(555) 121-2.34", "", "ATDT555121234;"},
        {"SemicolonDropped", "555;1212", "", "ATDT5551212;"},
        {"ModifiersKeptAndUpperCased", "9w*70,#ab!", "", "ATDT9W*70,#AB!;"},
        {"SubaddressAndNameNotDialled", "555 1212|77^Front desk", "", "ATDT5551212;"},
        {"EmptyTakesTheLine", "", "", "ATDT;"},
        {"PlusRefused", "+1 555 1212", "", ""},
        {"LetterRefused", "555-CALL", "", ""},
        {"BadPrefixRefused", "5551212", "9?", ""},
        {"SecondCommandInNumberRefused", "5551212\rATZ", "", ""},
        {"SecondCommandInPrefixRefused", "5551212", "9\nATH", ""},
        {"ExactlyFullPiece", k35, "", "ATDT" + k35 + ";"},
        {"PrefixCountsInThePiece", k35, "9,", "ATDT9," + k35.substr(2) + ";ATD11;"},
        {"ThreePieces", k35 + k35 + "1234567890", "", "ATDT" + k35 + ";ATD" + k35 + "1;ATD234567890;"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string joined;
        for (const std::string& c :
             BuildDialCommands(row.number, row.prefix, DialMode::Tone).value_or(std::vector<std::string>{}))
            joined += c;
        EXPECT_EQ(joined, row.commands);
    }
}

} // namespace
