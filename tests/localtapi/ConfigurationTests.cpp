// The configuration file (problems, devices, saving edits) and the typed readers of a device's settings.
#include "localtapi/Configuration.h"
#include "localtapi/drivers/simulated/SimulatedLine.h"
#include "localtapi/IniFile.h"
#include "tests/support/ServiceTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iterator>

#include <sys/stat.h>

using namespace localtapi;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Settings of [line0] with one key k, from line 7.
LineSettings WithKey(const std::string& value) {
    LineSettings s;
    s.group = "line0";
    s.entries.push_back({"k", value, 7});
    return s;
}

TEST(IniFile, ProblemsReportedWithLineAndReason) {
    const struct {
        const char *name, *text;
        int line;           // of the one problem reported
        const char* reason; // part of its text
    } rows[] = {
        {"no_equals", "[line0]\n# note\njunk\n", 3, "expected 'key=value'"},
        {"unclosed_header", "; c\n[line0\nname=x\n", 2, "without closing ']'"},
        {"empty_group_name", "[ ]\n", 1, "invalid group name"},
        {"bad_key", "[line0]\nna me=x\n", 2, "invalid key 'na me'"},
        {"missing_key", "[line0]\n=x\n", 2, "missing key"},
        {"key_outside_group", "driver=simulated\n[line0]\n", 1, "outside of any group"},
        {"duplicate_key", "[line0]\nname=a\nname=b\n", 3, "given twice"},
        {"crlf_still_checked", "[line0]\r\nname=a\r\nbad\r\n", 3, "expected"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const IniFile ini = IniFile::Parse(row.text);
        ASSERT_EQ(ini.Problems().size(), 1u);
        EXPECT_EQ(ini.Problems()[0].line, row.line);
        EXPECT_NE(ini.Problems()[0].text.find(row.reason), std::string::npos) << ini.Problems()[0].text;
    }
    // A broken header spoils its own group, not the one before it.
    for (const char* text : {"[line0]\nname=a\n[line1\n", "[line0]\nname=a\n[ ]\n"}) {
        SCOPED_TRACE(text);
        const IniFile ini = IniFile::Parse(text);
        ASSERT_EQ(ini.Groups().size(), 1u);
        EXPECT_FALSE(ini.Groups()[0].malformed);
    }
}

TEST(Configuration, LineGroupsInDeviceOrderAndBadOnesLeftOut) {
    const Configuration c = ParseConfiguration("[line2]\ndriver=simulated\nname=Two\n"
                                               "[line0]\n  driver = simulated \nname=Zero line\n"
                                               "[line1]\nname=No driver\n"
                                               "[line3]\ndriver=simulated\nbroken line\n"
                                               "[line0]\ndriver=simulated\nname=Again\n"
                                               "[phone]\nx=1\n"
                                               "[location]\narea_code=206\nplanet=mars\n",
                                               "/etc/t.ini");
    ASSERT_EQ(c.lines.size(), 2u);
    EXPECT_EQ(c.lines[0].driver, "simulated");
    EXPECT_EQ(c.lines[0].name, "Zero line");
    EXPECT_EQ(c.lines[1].name, "Two");
    EXPECT_EQ(c.location.areaCode, "206");
    EXPECT_EQ(c.messages, (std::vector<std::string>{
                              "/etc/t.ini:11: expected 'key=value', '[group]' or a comment",
                              "/etc/t.ini:7: line device [line1] has no driver= (left out)",
                              "/etc/t.ini:9: line device [line3] left out because of the errors in it",
                              "/etc/t.ini:12: group [line0] given twice; the second is left out",
                              "/etc/t.ini:15: unknown group [phone]; expected [line0], [line1], ... or "
                              "[location] (ignored)",
                              "/etc/t.ini:19: unknown key 'planet' in [location] (ignored)",
                          }));
}

// The broken first [line0] is left out; the second is not taken in its place, since edits
// of device 0 would go to the first.
TEST(Configuration, OnlyTheFirstGroupOfANameCounts) {
    const Configuration c = ParseConfiguration(
        "[line0]\ndriver=simulated\nbroken\n[line0]\ndriver=simulated\n[line1]\ndriver=simulated\n", "t.ini");
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.lines[0].group, "line1");
    EXPECT_EQ(c.messages.back(), "t.ini:4: group [line0] given twice; the second is left out");
}

// No file: one simulated line, which a save writes too; an empty file: no line.
TEST(Configuration, NoFileIsOneSimulatedLineAndAnEmptyFileNone) {
    QTemporaryDir dir;
    const std::string fresh = dir.filePath("sub/new.ini").toStdString();
    const Configuration none = LoadConfiguration(fresh);
    EXPECT_FALSE(none.fileFound);
    ASSERT_EQ(none.lines.size(), 1u);
    EXPECT_EQ(none.lines[0].driver, "simulated");
    Location l;
    l.areaCode = "206";
    std::string error;
    ASSERT_TRUE(SaveLocation(fresh, l, error)) << error;
    const Configuration saved = LoadConfiguration(fresh);
    EXPECT_TRUE(saved.messages.empty());
    ASSERT_EQ(saved.lines.size(), 1u);
    EXPECT_EQ(saved.location, l);

    const std::string empty = dir.filePath("empty.ini").toStdString();
    std::ofstream(empty) << "; nothing here\n";
    const Configuration c = LoadConfiguration(empty);
    EXPECT_TRUE(c.fileFound);
    EXPECT_TRUE(c.lines.empty());
}

TEST(Configuration, FileThatIsNoRegularFileIsReportedNotRead) {
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo.ini").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path().toStdString(), fifo}) {
        const Configuration c = LoadConfiguration(path); // a pipe would block here
        EXPECT_TRUE(c.fileFound);
        EXPECT_TRUE(c.lines.empty());
        EXPECT_EQ(c.messages,
                  std::vector<std::string>{path + ": cannot be read (not a regular file); no line devices"});
        std::string error;
        EXPECT_FALSE(SaveLineSettings(path, WithKey("1"), error));
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
}

TEST(Configuration, PathFromTheEnvironment) { // changes the environment: no other test reads it
    setenv("ORVODIAL_TELEPHONY_CONFIG", "/tmp/x.ini", 1);
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(ConfigurationPath(), "/tmp/x.ini");
    unsetenv("ORVODIAL_TELEPHONY_CONFIG");
    EXPECT_EQ(ConfigurationPath(), "/cfg/orvodial/telephony.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_NE(ConfigurationPath().find("/.config/orvodial/telephony.ini"), std::string::npos);
}

// One key of device 0 set and saved lands in its group, and reads back.
TEST(Configuration, SaveEdits) {
    const struct {
        const char *name, *before, *key, *value, *after;
    } rows[] = {
        {"duplicate_group", "[line0]\ndriver=simulated\nname=First\n\n[line0]\ndriver=simulated\nbusy=7\n",
         "busy", "1", "[line0]\ndriver=simulated\nname=First\nbusy=1\n\n[line0]\ndriver=simulated\nbusy=7\n"},
        {"comment_of_next_group",
         "[line0]\ndriver=simulated\nname=A\n\n; the desk line\n[line1]\ndriver=simulated\n", "busy", "1",
         "[line0]\ndriver=simulated\nname=A\nbusy=1\n\n; the desk line\n[line1]\ndriver=simulated\n"},
        {"line_break_in_value", "[line0]\ndriver=simulated\n", "busy", "1\r\n2",
         "[line0]\ndriver=simulated\nname=\nbusy=1  2\n"},
        {"byte_order_mark", "\xEF\xBB\xBF[line0]\ndriver=simulated\nname=A\n", "busy", "2",
         "\xEF\xBB\xBF[line0]\ndriver=simulated\nname=A\nbusy=2\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
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
        ASSERT_EQ(again.lines.size(), loaded.lines.size());
        std::string oneLine = row.value;
        std::replace_if(
            oneLine.begin(), oneLine.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
        EXPECT_EQ(again.lines[0].Text(row.key), oneLine);
    }
}

// A save goes through a link to the file it names, and leaves that file readable by its
// owner only, whatever it was (it may hold a password).
TEST(Configuration, SavingThroughALinkKeepsTheLinkAndLeavesTheFileTheOwnersAlone) {
    using fs::perms;
    const struct {
        const char* name;
        std::optional<perms> before; // none: no file yet
    } rows[] = {
        {"new", std::nullopt},
        {"everyone_reads", perms::owner_read | perms::owner_write | perms::group_read | perms::others_read},
        {"group_writes", perms::owner_read | perms::owner_write | perms::group_read | perms::group_write},
        {"already_private", perms::owner_read | perms::owner_write},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const std::string real = dir.filePath("dotfiles/telephony.ini").toStdString();
        const std::string link = dir.filePath("telephony.ini").toStdString();
        fs::create_directories(fs::path(real).parent_path());
        if (row.before) {
            std::ofstream(real) << "[line0]\ndriver=simulated\n";
            fs::permissions(real, *row.before);
            fs::create_symlink(real, link);
        }
        Location l;
        l.areaCode = "206";
        std::string error;
        ASSERT_TRUE(SaveLocation(row.before ? link : real, l, error)) << error;
        EXPECT_EQ(fs::is_symlink(link), row.before.has_value());
        EXPECT_EQ(LoadConfiguration(real).location.areaCode, "206");
        EXPECT_EQ(fs::status(real).permissions(), perms::owner_read | perms::owner_write);
    }
}

// Lines an administrator sets up for everyone: the system files' groups, the first of
// $XDG_CONFIG_DIRS winning, then the user's file, whose keys override and whose groups add;
// a system file's password refused, naming it. Saving writes only what the user changed.
TEST(Configuration, SystemWideLinesUnderTheUsersOwn) {
    const std::string pbx = "[line0]\ndriver=sip\nname=Office phone\ndomain=pbx.example.com\ntransport=tls\n";
    const struct {
        const char* name;
        std::string first, second, user; // the two system files, the user's ("" : none)
        std::vector<std::string> lines;  // group: name, driver, keys (sorted); * from the system
        const char* message;             // among the messages, when not empty
    } rows[] = {
        {"system only", pbx, "", "", {"line0: Office phone* sip* domain=pbx.example.com* transport=tls*"}, ""},
        {"the user's keys override and add", pbx, "", "[line0]\nphone=sip:201@pbx\ntransport=udp\n",
         {"line0: Office phone* sip* domain=pbx.example.com* phone=sip:201@pbx transport=udp"}, ""},
        {"the user's groups add", pbx, "", "[line1]\ndriver=simulated\nname=Practice line\n",
         {"line0: Office phone* sip* domain=pbx.example.com* transport=tls*", "line1: Practice line simulated"}, ""},
        {"the first system folder wins", "[line0]\nname=Front desk\n", pbx, "",
         {"line0: Front desk* sip* domain=pbx.example.com* transport=tls*"}, ""},
        {"no password in a system file", pbx + "password=hunter2\n", "", "",
         {"line0: Office phone* sip* domain=pbx.example.com* transport=tls*"},
         "first.ini:6: [line0] a system-wide file may not hold a password"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const std::string first = dir.filePath("first.ini").toStdString();
        const std::string second = dir.filePath("second.ini").toStdString();
        const std::string user = dir.filePath("user.ini").toStdString();
        if (!row.first.empty())
            std::ofstream(first) << row.first;
        if (!row.second.empty())
            std::ofstream(second) << row.second;
        if (!row.user.empty())
            std::ofstream(user) << row.user;
        const Configuration c = LoadConfiguration(user, {first, second});
        std::vector<std::string> lines;
        for (const LineSettings& s : c.lines) {
            auto mark = [&](const std::string& key) { return s.system.count(key) ? "*" : ""; };
            std::vector<std::string> keys;
            for (const LineSettings::Entry& e : s.entries)
                keys.push_back(e.key + "=" + e.value + mark(e.key));
            std::sort(keys.begin(), keys.end());
            std::string text = s.group + ": " + s.name + mark("name") + " " + s.driver + mark("driver");
            for (const std::string& k : keys)
                text += " " + k;
            lines.push_back(text);
        }
        EXPECT_EQ(lines, row.lines);
        std::string all;
        for (const std::string& m : c.messages)
            all += m + "\n";
        if (*row.message) {
            EXPECT_NE(all.find(std::string(dir.path().toStdString()) + "/" + row.message), std::string::npos) << all;
        }
        EXPECT_EQ(all.find("hunter2"), std::string::npos) << all;
        EXPECT_EQ(c.fileFound, !row.user.empty());
    }

    // The dialog's edit of a merged line: the user's file gets the changed key only.
    QTemporaryDir dir;
    const std::string system = dir.filePath("system.ini").toStdString();
    const std::string user = dir.filePath("user.ini").toStdString();
    std::ofstream(system) << pbx;
    LineSettings edited = LoadConfiguration(user, {system}).lines.at(0);
    edited.Set("phone", "sip:202@pbx");
    std::string error;
    ASSERT_TRUE(SaveLineSettings(user, edited, error)) << error;
    EXPECT_EQ(ReadText(user), "; OrvoDial telephony configuration\n\n[line0]\nphone=sip:202@pbx\n");
    EXPECT_EQ(ReadText(system), pbx) << "a system file was written";
}

TEST(Configuration, ServiceReportsUnknownDriversAndBadKeys) {
    std::ostringstream errors;
    auto s = svctest::MakeService(
        {"[line0]\ndriver=fax\n"
         "[line1]\ndriver=simulated\nanswer_ms=soon\n"
         "[line2]\ndriver=simulated\ncolour=red\n",
         "t.ini", [](DriverRegistry& r) { r.Register(simulated::SimulatedDriverInfo()); }, &errors});
    EXPECT_EQ(s->census().devices, 1u) << "only [line2] is usable";
    EXPECT_EQ(errors.str(),
              "t.ini:1: line device [line0] has unknown driver 'fax' (left out); known drivers: "
              "simulated\n"
              "t.ini:5: [line1] key 'answer_ms': 'soon' is not a whole number\n"
              "t.ini:3: line device [line1] left out\n"
              "t.ini:8: [line2] unknown key 'colour' for driver 'simulated' (ignored)\n");
}

TEST(DriverSettings, UnsignedParsesOrReportsWithLine) {
    const struct {
        const char *name, *value;
        DWORD expected; // 0: refused, the fallback 5 is read
    } rows[] = {
        {"decimal", "250", 250},  {"hex", "0x10", 16},
        {"empty", "", 0},         {"sign", "-3", 0},
        {"trailing", "12ms", 0},  {"below_min", "0", 0},
        {"above_max", "1001", 0}, {"beyond_32_bits", "99999999999", 0},
        {"bare_0x", "0x", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ConfigProblem> problems;
        DWORD out = 0;
        EXPECT_EQ(WithKey(row.value).Unsigned("k", 5, 1, 1000, out, problems), row.expected != 0);
        EXPECT_EQ(out, row.expected != 0 ? row.expected : 5);
        ASSERT_EQ(problems.size(), row.expected != 0 ? 0u : 1u);
        if (!problems.empty()) {
            EXPECT_EQ(problems[0].line, 7);
            EXPECT_NE(problems[0].text.find("'k'"), std::string::npos) << problems[0].text;
        }
    }
}

TEST(DriverSettings, SignedAcceptsLineErrorCodesInBothSpellings) {
    std::vector<ConfigProblem> problems;
    LONG out = 0;
    for (const char* value : {"0x80000048", "-2147483576"}) {
        EXPECT_TRUE(WithKey(value).Signed("k", 0, out, problems));
        EXPECT_EQ(out, LINEERR_OPERATIONFAILED);
    }
    EXPECT_TRUE(WithKey("-2147483648").Signed("k", 0, out, problems));
    EXPECT_EQ(out, static_cast<LONG>(0x80000000));
    EXPECT_TRUE(problems.empty());
    EXPECT_FALSE(WithKey("-2147483649").Signed("k", 9, out, problems));
    EXPECT_FALSE(WithKey("-0x5").Signed("k", 9, out, problems));
    EXPECT_EQ(out, 9);
    EXPECT_EQ(problems.size(), 2u);
}

} // namespace

// With no line device the service says why, for each way a file can fail to give one.
TEST(Configuration, NoLineExplanationSaysWhatTheFileLacked) {
    struct Row {
        const char* name;
        std::string ini;
        const char* says; // "" = no explanation: there is a line
    };
    const Row rows[] = {
        {"no line group", "; only the dialing properties\n[location]\narea_code=206\n",
         "The telephony configuration t.ini has no line group ([line0], [line1], ...)."},
        {"every line left out, first problem named",
         "[line0]\ndriver=simulated\ncolour=red\nanswer_ms=soon\n[line1]\ndriver=fax\n",
         "Every line group in the telephony configuration t.ini was left out. The first problem:\n"
         "t.ini:4: [line0] key 'answer_ms': 'soon' is not a whole number"},
        {"a group without driver", "[line0]\nname=Desk\n",
         "The first problem:\nt.ini:1: line device [line0] has no driver= (left out)"},
        {"one usable line", "[line0]\ndriver=fax\n[line1]\ndriver=simulated\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        svctest::ServiceSetup setup;
        setup.ini = row.ini;
        setup.path = "t.ini";
        auto s = svctest::MakeService(setup);
        const std::string text = s->NoLineExplanation();
        if (*row.says == '\0') {
            EXPECT_EQ(text, "");
            continue;
        }
        EXPECT_EQ(text.rfind("No telephone line is available.\n", 0), 0u) << text;
        EXPECT_NE(text.find(row.says), std::string::npos) << text;
        EXPECT_NE(text.find("[line0]\ndriver=simulated\n"), std::string::npos)
            << "how to add a line: " << text;
    }

    QTemporaryDir dir; // a directory where the file should be
    localtapi::LocalTapi::Options o;
    std::ostringstream sink;
    o.configuration = LoadConfiguration(dir.path().toStdString());
    o.errors = &sink;
    EXPECT_NE(localtapi::qt::NewLocalTapi(std::move(o))
                  ->NoLineExplanation()
                  .find("cannot be read (not a regular file)."),
              std::string::npos);
}
