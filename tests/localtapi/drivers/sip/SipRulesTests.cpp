// The SIP driver's own rules, table-driven: numbers, REFER targets and status lines, the
// settings it refuses, the SDP that may reach the stack's parser, and the steps of its leg.
#include "localtapi/drivers/sip/MediaSession.h"
#include "localtapi/drivers/sip/SipFrag.h"
#include "localtapi/drivers/sip/SipLine.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace {

using namespace localtapi::sip;

TEST(SipRules, NumbersReferTargetsAndStatusLines) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> numbers = {
        {"555-1212", "5551212"},
        {"+1 (206) 555.1212", "+12065551212"},
        {"*31#", "*31#"},
        {"", std::nullopt},
        {" - ", std::nullopt},
        {"555a", std::nullopt},
        {"1+2", std::nullopt},
        {"555>@evil", std::nullopt},
        {"555;user=x", std::nullopt},
    };
    for (const auto& [in, out] : numbers)
        EXPECT_EQ(DialableNumber(in), out) << in;
    EXPECT_EQ(ReferTarget("*31#5551212", "pbx.example.com"),
              "<sip:*31%235551212@pbx.example.com;user=phone>");

    const std::vector<std::pair<std::string, std::optional<int>>> frags = {
        {"SIP/2.0 180 Ringing\r\n", 180},
        {"SIP/2.0 200 OK", 200},
        {"SIP/2.0 486", 486},
        {"SIP/2.0 99 Low", std::nullopt},
        {"SIP/2.0 700 X", std::nullopt},
        {"SIP/2.0 2000 X", std::nullopt},
        {"HTTP/1.1 200 OK", std::nullopt},
        {"", std::nullopt},
        {"SIP/2.0 1a0 X", std::nullopt},
    };
    for (const auto& [in, out] : frags)
        EXPECT_EQ(SipfragStatus(in), out) << in;

    const std::pair<int, DWORD> modes[] = {
        {486, LINEDISCONNECTMODE_BUSY},       {600, LINEDISCONNECTMODE_BUSY},
        {603, LINEDISCONNECTMODE_REJECT},     {480, LINEDISCONNECTMODE_NOANSWER},
        {487, LINEDISCONNECTMODE_NOANSWER},   {404, LINEDISCONNECTMODE_BADADDRESS},
        {484, LINEDISCONNECTMODE_BADADDRESS}, {500, LINEDISCONNECTMODE_UNAVAIL},
        {405, LINEDISCONNECTMODE_UNAVAIL},
    };
    for (const auto& [status, mode] : modes)
        EXPECT_EQ(FailureMode(status), mode) << status;
}

// A password in a file that others can read makes the line unusable; the message names the
// file and the chmod, never the password.
TEST(SipRules, PasswordOnlyInAFileOfTheOwnersAlone) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("telephony.ini").toStdString();
    std::ofstream(file) << "[line0]\n";
    for (const auto& [mode, ok] :
         std::vector<std::pair<mode_t, bool>>{{0600, true}, {0640, false}, {0604, false}}) {
        ::chmod(file.c_str(), mode);
        localtapi::LineSettings group;
        group.file = file;
        group.entries = {{"phone", "sip:201@pbx.example.com", 2}, {"password", "hunter2", 3}};
        std::vector<localtapi::ConfigProblem> problems;
        const auto s = ReadSipSettings(group, problems);
        EXPECT_EQ(s.has_value(), ok) << std::oct << mode;
        std::string all;
        for (const auto& p : problems)
            all += p.text + "\n";
        EXPECT_EQ(all.find("hunter2"), std::string::npos) << all;
        if (!ok) {
            EXPECT_NE(all.find("chmod 600 " + file), std::string::npos) << all;
        }
    }
}

// Which lines are refused, and what the message says.
TEST(SipRules, SettingsThatCannotWork) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> entries;
        std::string problem; // empty: accepted
    };
    const Case cases[] = {
        {{{"phone", "201"}}, "not a sip: address"},
        {{{"phone", "sips:201@pbx.example.com"}}, "needs transport=tls"},
        {{{"phone", "sips:201@pbx.example.com"}, {"transport", "tls"}}, ""},
        {{{"phone", "sip:201@pbx.example.com"}, {"transport", "tls"}}, ""},
        {{{"phone", "sip:201@pbx.example.com"}, {"transport", "sctp"}}, "transport"},
        {{{"phone", "sip:201@pbx.example.com"}, {"user", "a@b"}}, "not a SIP user name"},
        {{{"phone", "sip:201@pbx.example.com"}, {"proxy", "pbx"}}, "not a sip: address"},
    };
    for (const Case& c : cases) {
        localtapi::LineSettings group;
        int line = 1;
        for (const auto& [key, value] : c.entries)
            group.entries.push_back({key, value, line++});
        std::vector<localtapi::ConfigProblem> problems;
        const auto s = ReadSipSettings(group, problems);
        std::string all;
        for (const auto& p : problems)
            all += p.text + "\n";
        SCOPED_TRACE(c.entries.front().second + " " + all);
        EXPECT_EQ(s.has_value(), c.problem.empty());
        if (!c.problem.empty()) {
            EXPECT_NE(all.find(c.problem), std::string::npos);
        }
    }
}

// What reaches the SIP stack's SDP parser: plain SDP only. The refused media lines are
// those the parser Debian ships loops on without end.
TEST(SipRules, OnlyPlainSdpReachesTheParser) {
    const std::string phone = "v=0\r\no=- 1 1 IN IP4 10.0.0.2\r\ns=-\r\nc=IN IP4 10.0.0.2\r\nt=0 0\r\n";
    const std::pair<std::string, bool> cases[] = {
        {MediaOffer("10.77.0.1", 40000), true},
        {MediaOffer("fd00::1", 40000), true},
        {phone + "m=audio 6000 RTP/AVP 0 8 101\r\na=rtpmap:101 telephone-event/8000\r\na=sendonly\r\n", true},
        {phone + "m=audio 6000/2 RTP/SAVP 0\nm=image 0 udptl t38\n", true},
        {phone + "m=audio 6000 RTP/AVP 0 8 \r\na=tool:T\xc3\xa9l\xc3\xa9phone\r\n", true},
        {phone + "m=image 0 udptl t38 ;\r\n", false},
        {phone + "m=image 0 udptl t38 \xc3\xa9\r\n", false},
        {phone + "m=u 0 x (\r\n", false},
        {phone + "m=audio 6000 RTP/AVP 0 \xc4\r\n", false},
        {phone + "m=audio 6x00 RTP/AVP 0\r\n", false},
        {phone + "m=audio  6000 RTP/AVP 0\r\n", false},
        {phone + "m=audio 6000 RTP//AVP 0\r\n", false},
        {phone + "m=audio 6000 RTP/AVP\r\n", false},
        {phone + "x\r\n", false},
        {phone + "a=tool:\x01\r\n", false},
        {phone + "A=x\r\n", false},
        {phone + "a=" + std::string(20000, 'x') + "\r\n", false},
        {"", false},
    };
    for (const auto& [sdp, plain] : cases)
        EXPECT_EQ(PlainSdp(sdp), plain) << sdp.substr(0, 200);
}

TEST(SipRules, TheLegGoesOneWayOnly) {
    const Leg legs[] = {Leg::Inviting, Leg::Heard, Leg::Answered, Leg::Referred, Leg::Ending, Leg::Ended};
    const LegEvent events[] = {LegEvent::Heard, LegEvent::Accepted, LegEvent::ReferAccepted,
                               LegEvent::EndSent, LegEvent::Over};
    // What each event makes of each step: Inviting, Heard, Answered, Referred, Ending, Ended.
    const Leg expected[5][6] = {
        {Leg::Heard, Leg::Heard, Leg::Answered, Leg::Referred, Leg::Ending, Leg::Ended},        // any answer
        {Leg::Answered, Leg::Answered, Leg::Answered, Leg::Referred, Leg::Ending, Leg::Ended},   // 2xx
        {Leg::Inviting, Leg::Heard, Leg::Referred, Leg::Referred, Leg::Ending, Leg::Ended},     // REFER 2xx
        {Leg::Ending, Leg::Ending, Leg::Ending, Leg::Ending, Leg::Ending, Leg::Ended},           // CANCEL/BYE
        {Leg::Ended, Leg::Ended, Leg::Ended, Leg::Ended, Leg::Ended, Leg::Ended},               // over
    };
    for (int e = 0; e < 5; ++e)
        for (int l = 0; l < 6; ++l) {
            const Leg after = LegAfter(legs[l], events[e]);
            EXPECT_EQ(after, expected[e][l]) << "event " << e << " at step " << l;
            EXPECT_GE(static_cast<int>(after), static_cast<int>(legs[l])) << "event " << e << " at step " << l;
        }
}

} // namespace
