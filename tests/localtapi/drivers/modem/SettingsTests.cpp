// The modem keys of a line group: what is read, and problems that name key and line.
#include "localtapi/drivers/modem/ModemLine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A line group from "key=value" lines, the group's header on line 3.
localtapi::LineSettings Group(const std::string& text) {
    localtapi::LineSettings settings;
    settings.name = "Desk modem";
    settings.groupLine = 3;
    std::istringstream in(text);
    int line = 4;
    for (std::string entry; std::getline(in, entry); ++line)
        settings.entries.push_back(
            {entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1), line});
    return settings;
}

TEST(ModemSettingsKeys, EveryKeyIsRead) {
    std::vector<localtapi::ConfigProblem> problems;
    const auto s = localtapi::modem::ReadModemSettings(
        Group("port=/dev/ttyS0\nspeed=9600\ninit=ATZ\ndialmode=Pulse\nprefix=9,\nblind=yes"), problems);
    ASSERT_TRUE(s.has_value());
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(s->port, "/dev/ttyS0");
    EXPECT_EQ(s->speed, 9600u);
    EXPECT_EQ(s->init, "ATZ");
    EXPECT_EQ(s->dialMode, localtapi::modem::DialMode::Pulse);
    EXPECT_EQ(s->prefix, "9,");
    EXPECT_TRUE(s->blind);
}

TEST(ModemSettingsKeys, BadValuesNameKeyAndLine) {
    const struct {
        const char* group;
        std::string key;
        int line; // the key's own, or the group's for a missing key
    } rows[] = {
        {"speed=9600", "port", 3},
        {"port=/dev/ttyS0\nspeed=12345", "speed", 5},
        {"port=/dev/ttyS0\ninit=&F", "init", 5},
        {"port=/dev/ttyS0\ninit=ATZ\rATH", "init", 5},
        {"port=/dev/ttyS0\ndialmode=rotary", "dialmode", 5},
        {"port=/dev/ttyS0\nprefix=+9", "prefix", 5},
        {"port=/dev/ttyS0\nblind=maybe", "blind", 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.group);
        std::vector<localtapi::ConfigProblem> problems;
        EXPECT_FALSE(localtapi::modem::ReadModemSettings(Group(row.group), problems));
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_TRUE(problems[0].text.starts_with("key '" + row.key + "'")) << problems[0].text;
        EXPECT_EQ(problems[0].line, row.line);
    }
}

TEST(ModemSettingsKeys, RegisteredAsAVoiceLine) {
    localtapi::DriverRegistry registry;
    localtapi::RegisterBuiltinDrivers(registry);
    const localtapi::DriverInfo* info = registry.Find("modem");
    ASSERT_NE(info, nullptr);
    std::vector<localtapi::ConfigProblem> problems;
    const auto driver = info->create(Group("port=/dev/ttyACM0"), problems);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->Caps().lineName, "Desk modem");
    EXPECT_EQ(driver->Caps().bearerModes, LINEBEARERMODE_VOICE);
    EXPECT_EQ(driver->Caps().mediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
}

} // namespace
