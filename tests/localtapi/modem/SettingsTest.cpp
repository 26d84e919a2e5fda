// The modem keys of a line group: what is accepted, and problems that name key and line.
#include "ModemLine.h"

#include <gtest/gtest.h>

namespace {

struct SettingsRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> keys;
    std::string problem; // start of the one expected problem; empty: accepted
};

void PrintTo(const SettingsRow& row, std::ostream* os) {
    *os << row.name;
}

class ModemSettingsKeys : public testing::TestWithParam<SettingsRow> {};

TEST_P(ModemSettingsKeys, ReadOrRefused) {
    localtapi::LineSettings settings;
    settings.group = "line0";
    settings.groupLine = 3;
    int line = 4;
    for (const auto& [key, value] : GetParam().keys)
        settings.entries.push_back({key, value, line++});
    std::vector<localtapi::ConfigProblem> problems;
    const auto read = modem::ReadModemSettings(settings, problems);
    if (GetParam().problem.empty()) {
        EXPECT_TRUE(read.has_value());
        EXPECT_TRUE(problems.empty());
        return;
    }
    EXPECT_FALSE(read.has_value());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].text.rfind(GetParam().problem, 0), 0u) << problems[0].text;
    EXPECT_EQ(problems[0].line, GetParam().keys.size() == 1 ? 3 : 5) << "the key's own line";
}

INSTANTIATE_TEST_SUITE_P(
    Modem, ModemSettingsKeys,
    testing::Values(
        SettingsRow{"PortOnly", {{"port", "/dev/ttyACM0"}}, ""},
        SettingsRow{"Everything",
                    {{"port", "/dev/ttyS0"},
                     {"speed", "9600"},
                     {"init", "ATZ"},
                     {"dialmode", "Pulse"},
                     {"prefix", "9,"},
                     {"blind", "yes"}},
                    ""},
        SettingsRow{"PortMissing", {{"speed", "9600"}}, "key 'port'"},
        SettingsRow{"SpeedNotASerialSpeed", {{"port", "/dev/ttyS0"}, {"speed", "12345"}}, "key 'speed'"},
        SettingsRow{"SpeedNotANumber", {{"port", "/dev/ttyS0"}, {"speed", "fast"}}, "key 'speed'"},
        SettingsRow{"InitNotACommand", {{"port", "/dev/ttyS0"}, {"init", "&F"}}, "key 'init'"},
        SettingsRow{"DialmodeUnknown", {{"port", "/dev/ttyS0"}, {"dialmode", "rotary"}}, "key 'dialmode'"},
        SettingsRow{"PrefixNotDialable", {{"port", "/dev/ttyS0"}, {"prefix", "+9"}}, "key 'prefix'"},
        SettingsRow{"BlindNotYesOrNo", {{"port", "/dev/ttyS0"}, {"blind", "maybe"}}, "key 'blind'"}),
    [](const testing::TestParamInfo<SettingsRow>& info) { return info.param.name; });

TEST(ModemSettingsKeys, RegisteredWithItsKeysAndAVoiceLine) {
    localtapi::DriverRegistry registry;
    localtapi::RegisterBuiltinDrivers(registry);
    const localtapi::DriverInfo* info = registry.Find("modem");
    ASSERT_NE(info, nullptr);
    std::vector<std::string> keys;
    for (const auto& k : info->keys)
        keys.push_back(k.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"port", "speed", "init", "dialmode", "prefix", "blind"}));

    localtapi::LineSettings settings;
    settings.name = "Desk modem";
    settings.entries.push_back({"port", "/dev/ttyACM0", 2});
    std::vector<localtapi::ConfigProblem> problems;
    const auto driver = info->create(settings, problems);
    ASSERT_NE(driver, nullptr);
    const localtapi::DeviceCaps caps = driver->Caps();
    EXPECT_EQ(caps.lineName, "Desk modem");
    EXPECT_EQ(caps.bearerModes, LINEBEARERMODE_VOICE);
    EXPECT_EQ(caps.mediaModes, LINEMEDIAMODE_INTERACTIVEVOICE);
}

} // namespace
