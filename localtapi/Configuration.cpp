#include "localtapi/Configuration.h"

#include "localtapi/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace localtapi {

namespace {

constexpr std::string_view kLinePrefix = "line";
constexpr std::string_view kLocationGroup = "location";

// The N of a group named lineN (no sign, no leading zeros except "line0"); -1 otherwise.
long LineGroupIndex(std::string_view name) {
    if (name.substr(0, kLinePrefix.size()) != kLinePrefix)
        return -1;
    const std::string_view digits = name.substr(kLinePrefix.size());
    if (digits.empty() || digits.size() > 6 || (digits.size() > 1 && digits[0] == '0'))
        return -1;
    long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::string Where(const std::string& path, int line) {
    return line > 0 ? path + ":" + std::to_string(line) + ": " : path + ": ";
}

struct LocationKey {
    const char* key;
    std::string Location::*field;
};
const LocationKey kLocationKeys[] = {
    {"outside_prefix", &Location::outsidePrefix},
    {"country_code", &Location::countryCode},
    {"area_code", &Location::areaCode},
    {"long_distance_prefix", &Location::longDistancePrefix},
    {"international_prefix", &Location::internationalPrefix},
};

// Reads the whole file; false with the reason when it exists but cannot be used. Only a
// regular file of reasonable size is read: a directory, a pipe or a device (say /dev/zero)
// would give nothing, block or never end.
bool ReadFile(const std::string& path, std::string& text, bool& exists, std::string& why) {
    constexpr std::uintmax_t kMaxSize = 1 << 20;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    exists = std::filesystem::exists(status);
    if (!exists)
        return true;
    if (!std::filesystem::is_regular_file(status)) {
        why = "not a regular file";
        return false;
    }
    if (std::filesystem::file_size(path, ec) > kMaxSize && !ec) {
        why = "larger than 1 MiB";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

// Written through QSaveFile: a temporary file beside the target, renamed over it only when
// everything was written, so a failed write leaves the old file. QSaveFile follows a
// symbolic link (say into a folder of dotfiles) and replaces the file it names. The file
// is readable by its owner only, whatever it was before: it may hold a line's password,
// which the SIP line refuses to read from a file that others can.
bool WriteFile(const std::string& path, const std::string& text, std::string& error) {
    const QString name = QString::fromStdString(path);
    const QString folder = QFileInfo(name).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = "cannot create " + folder.toStdString();
        return false;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    const auto ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    file.setPermissions((file.permissions() & (ownerOnly | QFileDevice::ExeOwner | QFileDevice::ExeUser)) |
                        ownerOnly);
    file.write(text.data(), static_cast<qint64>(text.size()));
    if (!file.commit()) {
        error = "cannot replace " + path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

// The message just added cost a line group: the first such is what the user is told.
void LineLost(Configuration& c) {
    if (c.firstLineLost.empty())
        c.firstLineLost = c.messages.back();
}

// The file as an IniFile to edit; a missing file starts from the default configuration,
// so that saving one change does not lose the default line.
bool OpenForEdit(const std::string& path, IniFile& ini, std::string& error) {
    std::string text;
    bool exists = false;
    std::string why;
    if (!ReadFile(path, text, exists, why)) {
        error = "cannot read " + path + ": " + why;
        return false;
    }
    if (!exists)
        text = "; OrvoDial telephony configuration\n\n[line0]\ndriver=simulated\nname=Simulated line\n";
    ini = IniFile::Parse(text);
    return true;
}

} // namespace

std::string ConfigurationPath() {
    if (const char* p = std::getenv("ORVODIAL_TELEPHONY_CONFIG"); p != nullptr && *p != '\0')
        return p;
    // $XDG_CONFIG_HOME, else ~/.config.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return (base + QStringLiteral("/orvodial/telephony.ini")).toStdString();
}

Configuration DefaultConfiguration(const std::string& path) {
    Configuration c;
    c.path = path;
    LineSettings line;
    line.group = "line0";
    line.driver = "simulated";
    line.name = "Practice line";
    c.lines.push_back(std::move(line));
    return c;
}

Configuration FromGroups(const IniFile& ini, const std::vector<IniFile::Group>& groups, const std::string& path);

std::vector<std::string> SystemConfigurationPaths() {
    if (const char* p = std::getenv("ORVODIAL_TELEPHONY_CONFIG"); p != nullptr && *p != '\0')
        return {};
    // The user's own folder first, then $XDG_CONFIG_DIRS in order.
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    if (!folders.isEmpty())
        folders.removeFirst();
    std::vector<std::string> paths;
    for (const QString& folder : folders)
        paths.push_back((folder + QStringLiteral("/orvodial/telephony.ini")).toStdString());
    return paths;
}

namespace {

// The system files' line groups, least important file first so that a more important one
// overrides: key -> value per group, and which file each group last came from.
struct SystemLines {
    std::map<std::string, std::map<std::string, std::string, std::less<>>> groups;
    std::map<std::string, std::string> files;
    std::vector<std::string> order; // groups in the order first seen
};

SystemLines ReadSystemFiles(const std::vector<std::string>& systemFiles, std::vector<std::string>& messages) {
    SystemLines lines;
    for (auto file = systemFiles.rbegin(); file != systemFiles.rend(); ++file) {
        std::string text;
        bool exists = false;
        std::string why;
        if (!ReadFile(*file, text, exists, why)) {
            messages.push_back(Where(*file, 0) + "cannot be read (" + why + "); ignored");
            continue;
        }
        if (!exists)
            continue;
        const IniFile ini = IniFile::Parse(text);
        for (const IniFile::Problem& p : ini.Problems())
            messages.push_back(Where(*file, p.line) + p.text);
        for (const IniFile::Group& g : ini.Groups()) {
            if (LineGroupIndex(g.name) < 0 || g.malformed)
                continue;
            if (lines.groups.count(g.name) == 0)
                lines.order.push_back(g.name);
            auto& keys = lines.groups[g.name];
            lines.files[g.name] = *file;
            for (const IniFile::Entry& e : g.entries) {
                if (e.key == "password") {
                    messages.push_back(Where(*file, e.line) + "[" + g.name +
                                       "] a system-wide file may not hold a password (ignored): each user keeps "
                                       "their own in the keyring (orvodial --line-settings)");
                    continue;
                }
                keys[e.key] = e.value;
            }
        }
    }
    return lines;
}

} // namespace

Configuration LoadConfiguration(const std::string& path, const std::vector<std::string>& systemFiles) {
    std::vector<std::string> systemMessages;
    const SystemLines system = ReadSystemFiles(systemFiles, systemMessages);
    std::string text;
    bool exists = false;
    std::string why;
    if (!ReadFile(path, text, exists, why)) {
        Configuration c;
        c.path = path;
        c.fileFound = true;
        c.readError = why;
        c.messages.push_back(Where(path, 0) + "cannot be read (" + why + "); no line devices");
        return c;
    }
    if (!exists && system.groups.empty()) {
        Configuration c = DefaultConfiguration(path);
        c.messages = systemMessages;
        return c;
    }
    // The system's keys join the user's groups (as entries of no line of the user's file:
    // the user's own keep their line numbers), and its groups the user lacks are added.
    const IniFile ini = IniFile::Parse(text);
    std::vector<IniFile::Group> groups = ini.Groups();
    std::map<std::string, std::map<std::string, std::string, std::less<>>> fromSystem;
    for (const std::string& name : system.order) {
        auto g = std::find_if(groups.begin(), groups.end(), [&](const IniFile::Group& u) { return u.name == name; });
        if (g == groups.end()) {
            groups.push_back({name, 0, {}, false});
            g = groups.end() - 1;
        }
        for (const auto& [key, value] : system.groups.at(name)) {
            const std::string& k = key; // (a structured binding cannot be captured before C++20's last rules)
            const bool overridden = std::any_of(g->entries.begin(), g->entries.end(),
                                                [&](const IniFile::Entry& e) { return e.key == k; });
            if (overridden)
                continue;
            g->entries.push_back({key, value, 0});
            fromSystem[name][key] = value;
        }
    }
    Configuration c = FromGroups(ini, groups, path);
    c.fileFound = exists;
    c.messages.insert(c.messages.begin(), systemMessages.begin(), systemMessages.end());
    for (LineSettings& s : c.lines)
        if (const auto found = fromSystem.find(s.group); found != fromSystem.end()) {
            s.system = found->second;
            s.systemFile = system.files.at(s.group);
        }
    return c;
}

Configuration ParseConfiguration(std::string_view text, const std::string& path) {
    const IniFile ini = IniFile::Parse(text);
    return FromGroups(ini, ini.Groups(), path);
}

// The configuration from the file's groups (with a system file's added, when merged).
Configuration FromGroups(const IniFile& ini, const std::vector<IniFile::Group>& groups, const std::string& path) {
    Configuration c;
    c.path = path;
    c.fileFound = true;
    // A malformed line leaves its group out.
    for (const IniFile::Problem& p : ini.Problems()) {
        c.messages.push_back(Where(path, p.line) + p.text);
        LineLost(c);
    }

    std::vector<std::pair<long, LineSettings>> found;
    std::vector<long> seen; // every line group's number, usable or not
    bool locationSeen = false;
    for (const IniFile::Group& g : groups) {
        const long index = LineGroupIndex(g.name);
        if (g.name == kLocationGroup) {
            if (locationSeen) {
                c.messages.push_back(Where(path, g.line) +
                                     "group [location] given twice; the second is left out");
                continue;
            }
            locationSeen = true;
            for (const IniFile::Entry& e : g.entries) {
                const auto* k = std::find_if(std::begin(kLocationKeys), std::end(kLocationKeys),
                                             [&](const LocationKey& lk) { return e.key == lk.key; });
                if (k == std::end(kLocationKeys))
                    c.messages.push_back(Where(path, e.line) + "unknown key '" + e.key +
                                         "' in [location] (ignored)");
                else
                    c.location.*(k->field) = e.value;
            }
            continue;
        }
        if (index < 0) {
            c.messages.push_back(Where(path, g.line) + "unknown group [" + g.name +
                                 "]; expected [line0], [line1], ... or [location] (ignored)");
            continue;
        }
        // Only the first group of a name counts (edits of the file go there too), also when
        // it is itself left out.
        const bool duplicate = std::find(seen.begin(), seen.end(), index) != seen.end();
        seen.push_back(index);
        ++c.lineGroups;
        if (g.malformed) {
            c.messages.push_back(Where(path, g.line) + "line device [" + g.name +
                                 "] left out because of the errors in it");
            LineLost(c);
            continue;
        }
        if (duplicate) {
            c.messages.push_back(Where(path, g.line) + "group [" + g.name +
                                 "] given twice; the second is left out");
            LineLost(c);
            continue;
        }
        LineSettings s;
        s.file = path;
        s.group = g.name;
        s.groupLine = g.line;
        bool hasDriver = false;
        for (const IniFile::Entry& e : g.entries) {
            if (e.key == "driver") {
                s.driver = e.value;
                hasDriver = true;
            } else if (e.key == "name") {
                s.name = e.value;
            } else {
                s.entries.push_back({e.key, e.value, e.line});
            }
        }
        if (!hasDriver || s.driver.empty()) {
            c.messages.push_back(Where(path, g.line) + "line device [" + g.name +
                                 "] has no driver= (left out)");
            LineLost(c);
            continue;
        }
        found.emplace_back(index, std::move(s));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& f : found)
        c.lines.push_back(std::move(f.second));
    return c;
}

bool SaveLineSettings(const std::string& path, const LineSettings& settings, std::string& error) {
    IniFile ini;
    if (!OpenForEdit(path, ini, error))
        return false;
    // A value the system-wide file gives already is left to it (and out of this file).
    auto theSystems = [&](std::string_view key, const std::string& value) {
        const auto s = settings.system.find(key);
        return s != settings.system.end() && s->second == value;
    };
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"driver", settings.driver},
                                     std::pair<std::string, std::string>{"name", settings.name}}) {
        if (theSystems(key, value))
            ini.Remove(settings.group, key);
        else
            ini.Set(settings.group, key, value);
    }
    if (const IniFile::Group* g = ini.Find(settings.group)) {
        std::vector<std::string> stale;
        for (const IniFile::Entry& e : g->entries)
            if (e.key != "driver" && e.key != "name" &&
                (settings.Find(e.key) == nullptr || theSystems(e.key, settings.Find(e.key)->value)))
                stale.push_back(e.key);
        for (const std::string& key : stale)
            ini.Remove(settings.group, key);
    }
    for (const LineSettings::Entry& e : settings.entries)
        if (!theSystems(e.key, e.value))
            ini.Set(settings.group, e.key, e.value);
    return WriteFile(path, ini.Text(), error);
}

bool SaveLocation(const std::string& path, const Location& location, std::string& error) {
    IniFile ini;
    if (!OpenForEdit(path, ini, error))
        return false;
    for (const LocationKey& k : kLocationKeys)
        ini.Set(kLocationGroup, k.key, location.*(k.field));
    return WriteFile(path, ini.Text(), error);
}

} // namespace localtapi
