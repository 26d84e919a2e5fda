// The configuration file: INI reading with precise problems, which line groups become
// devices, saving edits without losing the rest, and what the service reports.
#include "Configuration.h"
#include "drivers/simulated/SimulatedLine.h"
#include "IniFile.h"
#include "ServiceTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

using namespace localtapi;

namespace {

struct IniRow {
    const char* name;
    const char* text;
    int line;           // of the one problem reported
    const char* reason; // part of its text
    friend void PrintTo(const IniRow& row, std::ostream* os) { *os << row.name; }
};

class IniProblems : public testing::TestWithParam<IniRow> {};

TEST_P(IniProblems, ReportedWithLineAndReason) {
    const IniRow& row = GetParam();
    const IniFile ini = IniFile::Parse(row.text);
    ASSERT_EQ(ini.Problems().size(), 1u);
    EXPECT_EQ(ini.Problems()[0].line, row.line);
    EXPECT_NE(ini.Problems()[0].text.find(row.reason), std::string::npos) << ini.Problems()[0].text;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IniProblems,
    testing::Values(IniRow{"no_equals", "[line0]\ndriver=simulated\njunk\n", 3, "expected 'key=value'"},
                    IniRow{"unclosed_header", "; c\n[line0\nname=x\n", 2, "without closing ']'"},
                    IniRow{"empty_group_name", "[ ]\n", 1, "invalid group name"},
                    IniRow{"bad_key", "[line0]\nna me=x\n", 2, "invalid key 'na me'"},
                    IniRow{"missing_key", "[line0]\n=x\n", 2, "missing key"},
                    IniRow{"key_outside_group", "driver=simulated\n[line0]\n", 1, "outside of any group"},
                    IniRow{"duplicate_key", "[line0]\nname=a\nname=b\n", 3, "given twice"},
                    IniRow{"crlf_still_checked", "[line0]\r\nname=a\r\nbad\r\n", 3, "expected"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, ReadsGroupsEntriesAndComments) {
    const IniFile ini =
        IniFile::Parse("; top\n[line0]\n  driver = simulated \n# note\nname=My line\n\n[location]\n");
    EXPECT_TRUE(ini.Problems().empty());
    ASSERT_EQ(ini.Groups().size(), 2u);
    const IniFile::Group* g = ini.Find("line0");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->entries.size(), 2u);
    EXPECT_EQ(g->entries[0].key, "driver");
    EXPECT_EQ(g->entries[0].value, "simulated");
    EXPECT_EQ(g->entries[1].value, "My line");
    EXPECT_EQ(g->entries[1].line, 5);
}

TEST(IniFile, EditsKeepCommentsAndOrder) {
    IniFile ini =
        IniFile::Parse("; mine\n[line0]\ndriver=simulated\n; keep me\nname=A\n\n[line1]\ndriver=x\n");
    ini.Set("line0", "name", "B");
    ini.Set("line0", "busy", "555");
    ini.Set("location", "area_code", "206");
    ini.Remove("line1", "driver");
    EXPECT_EQ(ini.Text(), "; mine\n[line0]\ndriver=simulated\n; keep me\nname=B\nbusy=555\n\n[line1]\n\n"
                          "[location]\narea_code=206\n");
}

TEST(Configuration, LineGroupsInDeviceOrderAndBadOnesLeftOut) {
    const Configuration c = ParseConfiguration("[line2]\ndriver=simulated\nname=Two\n"
                                               "[line0]\ndriver=simulated\nname=Zero\n"
                                               "[line1]\nname=No driver\n"
                                               "[line3]\ndriver=simulated\nbroken line\n"
                                               "[line0]\ndriver=simulated\nname=Again\n"
                                               "[phone]\nx=1\n"
                                               "[location]\narea_code=206\nplanet=mars\n",
                                               "/etc/t.ini");
    ASSERT_EQ(c.lines.size(), 2u);
    EXPECT_EQ(c.lines[0].name, "Zero");
    EXPECT_EQ(c.lines[1].name, "Two");
    EXPECT_EQ(c.location.areaCode, "206");
    const std::vector<std::string> expected = {
        "/etc/t.ini:11: expected 'key=value', '[group]' or a comment",
        "/etc/t.ini:7: line device [line1] has no driver= (left out)",
        "/etc/t.ini:9: line device [line3] left out because of the errors in it",
        "/etc/t.ini:12: group [line0] given twice; the second is left out",
        "/etc/t.ini:15: unknown group [phone]; expected [line0], [line1], ... or [location] (ignored)",
        "/etc/t.ini:19: unknown key 'planet' in [location] (ignored)",
    };
    EXPECT_EQ(c.messages, expected);
}

TEST(Configuration, NoFileIsOneSimulatedLineAndAnEmptyFileNone) {
    QTemporaryDir dir;
    const std::string missing = dir.filePath("nothing/telephony.ini").toStdString();
    const Configuration none = LoadConfiguration(missing);
    EXPECT_FALSE(none.fileFound);
    ASSERT_EQ(none.lines.size(), 1u);
    EXPECT_EQ(none.lines[0].driver, "simulated");

    const std::string empty = dir.filePath("empty.ini").toStdString();
    std::ofstream(empty) << "; nothing here\n";
    const Configuration c = LoadConfiguration(empty);
    EXPECT_TRUE(c.fileFound);
    EXPECT_TRUE(c.lines.empty());
}

TEST(Configuration, PathFromTheEnvironment) {
    const char* oldConfig = std::getenv("ORVODIAL_TELEPHONY_CONFIG");
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    const std::string savedXdg = oldXdg ? oldXdg : "";
    setenv("ORVODIAL_TELEPHONY_CONFIG", "/tmp/x.ini", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(ConfigurationPath(), "/tmp/x.ini");
    unsetenv("ORVODIAL_TELEPHONY_CONFIG");
    EXPECT_EQ(ConfigurationPath(), "/cfg/orvodial/telephony.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_NE(ConfigurationPath().find("/.config/orvodial/telephony.ini"), std::string::npos);
    if (oldConfig)
        setenv("ORVODIAL_TELEPHONY_CONFIG", savedConfig.c_str(), 1);
    if (oldXdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
}

TEST(Configuration, SavingALineKeepsTheRestOfTheFile) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.ini").toStdString();
    std::ofstream(path)
        << "; my comment\n[line0]\ndriver=simulated\nname=Old\nbusy=1\n\n[line1]\ndriver=simulated\n";
    LineSettings s;
    s.group = "line0";
    s.driver = "simulated";
    s.name = "New";
    s.entries.push_back({"answer_ms", "10", 0});
    std::string error;
    ASSERT_TRUE(SaveLineSettings(path, s, error)) << error;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(
        text.str(),
        "; my comment\n[line0]\ndriver=simulated\nname=New\nanswer_ms=10\n\n[line1]\ndriver=simulated\n");

    // Without a file the default line is written along with the change.
    const std::string fresh = dir.filePath("sub/new.ini").toStdString();
    Location l;
    l.areaCode = "206";
    ASSERT_TRUE(SaveLocation(fresh, l, error)) << error;
    const Configuration c = LoadConfiguration(fresh);
    EXPECT_TRUE(c.messages.empty());
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.location, l);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct SaveRow {
    const char* name;
    const char* before;
    const char* key; // set on device 0
    const char* value;
    const char* after;
    friend void PrintTo(const SaveRow& row, std::ostream* os) { *os << row.name; }
};

class SaveEdits : public testing::TestWithParam<SaveRow> {};

TEST_P(SaveEdits, LandInTheDevicesGroupAndReadBack) {
    const SaveRow& row = GetParam();
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.ini").toStdString();
    std::ofstream(path, std::ios::binary) << row.before;
    const Configuration loaded = LoadConfiguration(path);
    ASSERT_FALSE(loaded.lines.empty());
    LineSettings s = loaded.lines[0];
    s.Set(row.key, row.value);
    std::string error;
    ASSERT_TRUE(SaveLineSettings(path, s, error)) << error;
    EXPECT_EQ(ReadText(path), row.after);
    const Configuration again = LoadConfiguration(path);
    ASSERT_FALSE(again.lines.empty());
    std::string oneLine = row.value;
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    EXPECT_EQ(again.lines[0].Text(row.key), oneLine);
    EXPECT_EQ(again.lines.size(), loaded.lines.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SaveEdits,
    testing::Values(
        SaveRow{"duplicate_group",
                "[line0]\ndriver=simulated\nname=First\n\n[line0]\ndriver=simulated\nbusy=7\n", "busy", "1",
                "[line0]\ndriver=simulated\nname=First\nbusy=1\n\n[line0]\ndriver=simulated\nbusy=7\n"},
        SaveRow{"comment_of_next_group",
                "[line0]\ndriver=simulated\nname=A\n\n; the desk line\n[line1]\ndriver=simulated\n", "busy",
                "1",
                "[line0]\ndriver=simulated\nname=A\nbusy=1\n\n; the desk line\n[line1]\ndriver=simulated\n"},
        SaveRow{"line_break_in_value", "[line0]\ndriver=simulated\n", "busy", "1\r\n2",
                "[line0]\ndriver=simulated\nname=\nbusy=1  2\n"},
        SaveRow{"byte_order_mark", "\xEF\xBB\xBF[line0]\ndriver=simulated\nname=A\n", "busy", "2",
                "\xEF\xBB\xBF[line0]\ndriver=simulated\nname=A\nbusy=2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Configuration, SavingThroughALinkKeepsTheLinkAndThePermissions) {
    QTemporaryDir dir;
    const std::string real = dir.filePath("dotfiles/telephony.ini").toStdString();
    const std::string link = dir.filePath("telephony.ini").toStdString();
    std::filesystem::create_directories(std::filesystem::path(real).parent_path());
    std::ofstream(real) << "[line0]\ndriver=simulated\n";
    std::filesystem::permissions(real,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::create_symlink(real, link);
    Location l;
    l.areaCode = "206";
    std::string error;
    ASSERT_TRUE(SaveLocation(link, l, error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(LoadConfiguration(real).location.areaCode, "206");
    EXPECT_EQ(std::filesystem::status(real).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(Configuration, OnlyTheFirstGroupOfANameCounts) {
    // The broken first [line0] is left out; the second is not taken in its place, since
    // edits of device 0 would go to the first.
    const Configuration c = ParseConfiguration(
        "[line0]\ndriver=simulated\nbroken\n[line0]\ndriver=simulated\n[line1]\ndriver=simulated\n", "t.ini");
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.lines[0].group, "line1");
    EXPECT_EQ(c.messages.back(), "t.ini:4: group [line0] given twice; the second is left out");
}

TEST(Configuration, FileThatIsNoRegularFileIsReportedNotRead) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo.ini").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path().toStdString(), fifo}) {
        const Configuration c = LoadConfiguration(path); // a pipe would block here
        EXPECT_TRUE(c.fileFound);
        EXPECT_TRUE(c.lines.empty());
        ASSERT_EQ(c.messages.size(), 1u);
        EXPECT_EQ(c.messages[0], path + ": cannot be read (not a regular file); no line devices");
        LineSettings s;
        s.group = "line0";
        s.driver = "simulated";
        std::string error;
        EXPECT_FALSE(SaveLineSettings(path, s, error));
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
}

TEST(Configuration, ServiceReportsUnknownDriversAndBadKeys) {
    std::ostringstream errors;
    svctest::ServiceSetup setup;
    setup.path = "t.ini";
    setup.drivers = [](DriverRegistry& r) { RegisterSimulatedDriver(r); };
    setup.ini = "[line0]\ndriver=fax\n"
                "[line1]\ndriver=simulated\nanswer_ms=soon\n"
                "[line2]\ndriver=simulated\ncolour=red\n";
    auto s = svctest::MakeService(setup, &errors);
    EXPECT_EQ(s->census().devices, 1u) << "only [line2] is usable";
    EXPECT_EQ(errors.str(),
              "t.ini:1: line device [line0] has unknown driver 'fax' (left out); known drivers: "
              "simulated\n"
              "t.ini:5: [line1] key 'answer_ms': 'soon' is not a whole number\n"
              "t.ini:3: line device [line1] left out\n"
              "t.ini:8: [line2] unknown key 'colour' for driver 'simulated' (ignored)\n");
}

} // namespace
