// The program's arguments and the numbers in real-world links, hostile ones included.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using app::Action;

TEST(Links, NumbersFromRealWorldLinks) {
    const struct {
        const char *link, *number; // number null: refused
    } rows[] = {
        {"tel:+1-206-555-1212", "+1-206-555-1212"},
        {"TEL:+12065551212", "+12065551212"},
        {"tel:555-1212;phone-context=+1206", "+1206 555-1212"},
        {"tel:555-1212;isub=7;PHONE-CONTEXT=%2B1-206", "+1-206 555-1212"},
        {"tel:555-1212;phone-context=example.com", "555-1212"},
        {"tel:+1-206-555-1212;phone-context=+44", "+1-206-555-1212"},
        {"tel:555-1212;phone-context=+12a", nullptr},
        {"tel:555-1212;phone-context=+1%2", nullptr},
        {"tel:+1-206-555-1212;ext=123", "+1-206-555-1212"},
        {"tel:%2B1%20(206)%20555-1212", "+1 (206) 555-1212"},
        {"tel:*67;isub=1", "*67"},
        {"tel:+44.20.7946.0000", "+44.20.7946.0000"},
        {"callto:+15551212", "+15551212"},
        {"callto://+1-555-1212", "+1-555-1212"},
        {"callto://5551212/", "5551212"},
        {"sip:+15551234567@pbx.example.com;user=phone", "+15551234567"},
        {"sips:201@pbx.example.com", "201"},
        {"sip:+1555%2D0100@host?subject=hi", "+1555-0100"},
        // Refused: other schemes, no number, names, hostile text.
        {"http://example.com/tel:5551212", nullptr},
        {"mailto:someone@example.com", nullptr},
        {"tel:", nullptr},
        {"tel:;phone-context=+1", nullptr},
        {"callto:skype.user", nullptr},
        {"sip:alice@example.com", nullptr},
        {"sip:5551212", nullptr},
        {"tel:555+1212", nullptr},
        {"tel:1-800-FLOWERS", nullptr},
        {"tel:555%001212", nullptr},
        {"tel:555%0A1212", nullptr},
        {"tel:555%", nullptr},
        {"tel:555%zz", nullptr},
        {"tel:%FF%FE", nullptr},
        {"tel:555\x01"
         "1212",
         nullptr},
        {"tel:5\xC3\x28", nullptr},
        {"5551212", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.link);
        const app::LinkNumber n = app::NumberFromLink(row.link);
        if (row.number) {
            EXPECT_EQ(n.error, "");
            EXPECT_EQ(n.number, row.number);
        } else {
            EXPECT_NE(n.error, "");
            EXPECT_EQ(n.number, "");
        }
    }
    EXPECT_NE(app::NumberFromLink(std::string_view("tel:555\0"
                                                   "1212",
                                                   12))
                  .error,
              "")
        << "a NUL";
    EXPECT_EQ(app::NumberFromLink("tel:" + std::string(124, '5')).number, std::string(124, '5'));
    EXPECT_NE(app::NumberFromLink("tel:" + std::string(125, '5')).error, "") << "over 128 characters";
}

TEST(CommandLine, OptionsAndLinks) {
    const struct {
        std::vector<std::string> args;
        Action action;
        const char* number; // with a link
        bool refused;
    } rows[] = {
        {{}, Action::Dial, nullptr, false},
        {{"tel:555-1212"}, Action::Dial, "555-1212", false},
        {{"--line-settings"}, Action::LineSettings, nullptr, false},
        {{"--dialing-properties"}, Action::DialingProperties, nullptr, false},
        {{"--help"}, Action::Help, nullptr, false},
        {{"-h"}, Action::Help, nullptr, false},
        {{"--version"}, Action::Version, nullptr, false},
        {{"--bogus", "--help"}, Action::Dial, nullptr, true},
        {{"--version", "--bogus"}, Action::Version, nullptr, false},
        {{"-platform", "offscreen"}, Action::Dial, nullptr, true},
        {{"tel:1", "tel:2"}, Action::Dial, nullptr, true},
        {{"mailto:x@y"}, Action::Dial, nullptr, true},
        {{"--line-settings", "--dialing-properties"}, Action::Dial, nullptr, true},
        {{"--line-settings", "tel:5551212"}, Action::Dial, nullptr, true},
    };
    // A refused link is shown safely: no control bytes reach the terminal, and not all of it.
    const app::CommandLine hostile = app::ParseCommandLine({"tel:\x1B]0;owned\x07" + std::string(100, '5')});
    EXPECT_EQ(hostile.error.find('\x1B'), std::string::npos) << hostile.error;
    EXPECT_NE(hostile.error.find("\\x1B]0;owned\\x07"), std::string::npos) << hostile.error;
    EXPECT_LT(hostile.error.size(), 140u) << hostile.error;

    for (const auto& row : rows) {
        std::string joined;
        for (const auto& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const app::CommandLine c = app::ParseCommandLine(row.args);
        EXPECT_EQ(!c.error.empty(), row.refused) << c.error;
        if (row.refused)
            continue;
        EXPECT_EQ(c.action, row.action);
        EXPECT_EQ(c.link.has_value(), row.number != nullptr);
        if (row.number) {
            EXPECT_EQ(c.number, row.number);
        }
    }
}

} // namespace
