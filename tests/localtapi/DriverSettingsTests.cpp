// Reading a line group through a driver's table of settings, and the README's tables of
// driver keys against the drivers' own tables.
#include "localtapi/DriverSettings.h"
#include "localtapi/LineDriver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace localtapi;

namespace {

constexpr SettingSpec kTable[] = {
    NumberSetting("delay", "50", 0, 1000, "A delay (ms)"),
    TextSetting("label", "none", "A label"),
    RequiredTextSetting("port", "The port"),
    CodeSetting("code", "0", "A LINEERR code"),
    YesNoSetting("fast", "no", "Go fast"),
    ChoiceSetting("mode", "tone", "tone|pulse", "Dialling"),
};

LineSettings Group(const std::vector<std::pair<std::string, std::string>>& entries) {
    LineSettings s;
    s.group = "line0";
    s.groupLine = 3;
    int line = 4;
    for (const auto& [k, v] : entries)
        s.entries.push_back({k, v, line++});
    return s;
}

} // namespace

TEST(DriverSettings, DefaultsAndTypedValues) {
    std::vector<ConfigProblem> problems;
    const auto defaults = ReadSettings(kTable, Group({{"port", "/dev/x"}}), problems);
    ASSERT_TRUE(defaults.has_value());
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(defaults->Number("delay"), 50u);
    EXPECT_EQ(defaults->Text("label"), "none");
    EXPECT_EQ(defaults->Code("code"), 0);
    EXPECT_FALSE(defaults->YesNo("fast"));
    EXPECT_EQ(defaults->Text("mode"), "tone");
    EXPECT_EQ(defaults->Line("delay"), 3) << "an absent key belongs to the group header";

    const auto given = ReadSettings(
        kTable,
        Group({{"port", "/dev/x"}, {"delay", "0x10"}, {"code", "0x80000005"}, {"fast", "On"}, {"mode", "PULSE"}}),
        problems);
    ASSERT_TRUE(given.has_value());
    EXPECT_EQ(given->Number("delay"), 16u);
    EXPECT_EQ(given->Code("code"), static_cast<LONG>(0x80000005));
    EXPECT_TRUE(given->YesNo("fast"));
    EXPECT_EQ(given->Text("mode"), "pulse");
    EXPECT_EQ(given->Line("delay"), 5);
}

TEST(DriverSettings, EachBrokenRowNamesKeyAndLine) {
    const struct {
        std::pair<std::string, std::string> entry;
        std::string problem; // the whole text; the entry is on line 5
    } rows[] = {
        {{"delay", "soon"}, "key 'delay': 'soon' is not a whole number"},
        {{"delay", "1001"}, "key 'delay': 1001 is out of range (0 to 1000)"},
        {{"code", "5"}, "key 'code': must be 0 or a negative LINEERR code"},
        {{"code", "0x1FFFFFFFF"}, "key 'code': '0x1FFFFFFFF' is not a 32-bit number"},
        {{"fast", "maybe"}, "key 'fast': 'maybe' is not yes or no"},
        {{"mode", "rotary"}, "key 'mode': 'rotary' is neither 'tone' nor 'pulse'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.problem);
        std::vector<ConfigProblem> problems;
        EXPECT_FALSE(ReadSettings(kTable, Group({{"port", "p"}, row.entry}), problems));
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].text, row.problem);
        EXPECT_EQ(problems[0].line, 5);
    }
    std::vector<ConfigProblem> problems;
    EXPECT_FALSE(ReadSettings(kTable, Group({}), problems));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].text, "key 'port': missing (The port)");
    EXPECT_EQ(problems[0].line, 3);
}

// Every driver's README table lists the driver's keys, in the table's order, with the
// table's defaults: a default changed in one place fails here until the other follows.
TEST(DriverSettings, ReadmeDocumentsEveryKeyWithItsDefault) {
    std::ifstream in(ORVODIAL_README);
    ASSERT_TRUE(in) << ORVODIAL_README;
    std::vector<std::string> readme;
    for (std::string l; std::getline(in, l);)
        readme.push_back(l);

    DriverRegistry registry;
    RegisterBuiltinDrivers(registry);
    for (const std::string& name : registry.Names()) {
        SCOPED_TRACE(name);
        const DriverInfo* info = registry.Find(name);
        std::vector<std::string> documented, declared;
        for (const SettingSpec& spec : info->settings)
            declared.push_back(std::string(spec.key) + " = " +
                               (spec.required ? "(required)" : spec.defaultValue.empty() ? "(none)" : std::string(spec.defaultValue)));
        const std::string marker = "<!-- settings: " + name + " ";
        std::size_t i = 0;
        while (i < readme.size() && readme[i].rfind(marker, 0) != 0)
            ++i;
        ASSERT_LT(i, readme.size()) << "no " << marker << "-->";
        for (++i; i < readme.size() && readme[i].rfind("|", 0) == 0; ++i) {
            const std::string& row = readme[i];
            if (row.rfind("| `", 0) != 0)
                continue; // the header and its rule
            const std::size_t keyEnd = row.find('`', 3);
            const std::string key = row.substr(3, keyEnd - 3);
            const std::size_t cell = row.find("| ", keyEnd) + 2;
            std::string value = row.substr(cell, row.find(" |", cell) - cell);
            if (value.size() >= 2 && value.front() == '`' && value.back() == '`')
                value = value.substr(1, value.size() - 2);
            documented.push_back(key + " = " + value);
        }
        EXPECT_EQ(documented, declared);
    }
}
