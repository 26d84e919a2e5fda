#include "localtapi/IniFile.h"

#include <algorithm>

namespace localtapi {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    const auto ws = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && ws(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && ws(s.back()))
        s.remove_suffix(1);
    return s;
}

bool ValidName(std::string_view name) {
    if (name.empty())
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '.';
    });
}

} // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        RawLine line;
        line.text = std::string(text.substr(0, nl));
        if (!line.text.empty() && line.text.back() == '\r')
            line.text.pop_back();
        ini.lines.push_back(std::move(line));
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
    ini.Reparse();
    return ini;
}

// Classifies every raw line and rebuilds the group view and the problem list.
void IniFile::Reparse() {
    groups.clear();
    problems.clear();
    std::string current;
    int currentIndex = -1;
    bool inGroup = false;
    bool inBrokenGroup = false; // after a header that could not be read: its lines are skipped
    for (size_t i = 0; i < lines.size(); ++i) {
        RawLine& raw = lines[i];
        const int number = static_cast<int>(i) + 1;
        raw.kind = Kind::Other;
        raw.key.clear();
        std::string_view t = Trim(raw.text);
        if (i == 0 && t.substr(0, kBom.size()) == kBom)
            t = Trim(t.substr(kBom.size())); // a UTF-8 byte order mark, as some editors write
        raw.groupIndex = currentIndex;
        auto fail = [&](std::string what) {
            problems.push_back({number, std::move(what)});
            if (inGroup)
                groups.back().malformed = true;
        };
        if (t.empty() || t.front() == ';' || t.front() == '#') {
            raw.group = current;
            continue;
        }
        if (t.front() == '[') {
            const std::string_view name =
                t.back() == ']' ? Trim(t.substr(1, t.size() - 2)) : std::string_view{};
            if (t.back() != ']' || !ValidName(name)) {
                // The header's own group is left out, not the one before it.
                problems.push_back(
                    {number, t.back() != ']'
                                 ? std::string("group header without closing ']' (the group is left out)")
                                 : "invalid group name '" + std::string(name) + "' (the group is left out)"});
                inGroup = false;
                inBrokenGroup = true;
                current.clear();
                currentIndex = -1;
                raw.group.clear();
                raw.groupIndex = -1;
                continue;
            }
            raw.kind = Kind::Header;
            raw.group = current = std::string(name);
            raw.groupIndex = currentIndex = static_cast<int>(groups.size());
            inGroup = true;
            inBrokenGroup = false;
            groups.push_back({current, number, {}, false});
            continue;
        }
        raw.group = current;
        if (inBrokenGroup)
            continue;
        const size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            fail("expected 'key=value', '[group]' or a comment");
            continue;
        }
        const std::string_view key = Trim(t.substr(0, eq));
        if (!ValidName(key)) {
            fail(key.empty() ? std::string("missing key before '='")
                             : "invalid key '" + std::string(key) + "'");
            continue;
        }
        if (!inGroup) {
            problems.push_back({number, "key '" + std::string(key) + "' outside of any group"});
            continue;
        }
        Group& g = groups.back();
        if (std::any_of(g.entries.begin(), g.entries.end(), [&](const Entry& e) { return e.key == key; })) {
            fail("key '" + std::string(key) + "' given twice in group [" + g.name + "]");
            continue;
        }
        raw.kind = Kind::Entry;
        raw.key = std::string(key);
        g.entries.push_back({raw.key, std::string(Trim(t.substr(eq + 1))), number});
    }
}

const IniFile::Group* IniFile::Find(std::string_view group) const {
    for (const Group& g : groups)
        if (g.name == group)
            return &g;
    return nullptr;
}

int IniFile::GroupIndex(std::string_view group) const {
    for (size_t i = 0; i < groups.size(); ++i)
        if (groups[i].name == group)
            return static_cast<int>(i);
    return -1;
}

void IniFile::Set(std::string_view group, std::string_view key, std::string_view value) {
    // A line break in the value would end the entry and start a line that cannot be read.
    std::string oneLine(value);
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    const std::string text = std::string(key) + "=" + oneLine;
    const int index = GroupIndex(group);
    size_t insertAt = lines.size();
    const bool groupSeen = index >= 0;
    for (size_t i = 0; groupSeen && i < lines.size(); ++i) {
        RawLine& raw = lines[i];
        if (raw.groupIndex != index)
            continue;
        if (raw.kind == Kind::Entry && raw.key == key) {
            raw.text = text;
            Reparse();
            return;
        }
        // After the group's last line that is neither blank nor a comment, so that comments
        // in front of the next group stay there.
        const std::string_view t = Trim(raw.text);
        if (raw.kind != Kind::Other || (!t.empty() && t.front() != ';' && t.front() != '#'))
            insertAt = i + 1;
    }
    if (!groupSeen) {
        if (!lines.empty() && !Trim(lines.back().text).empty())
            lines.push_back({Kind::Other, "", "", ""});
        lines.push_back({Kind::Header, "[" + std::string(group) + "]", std::string(group), ""});
        insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 RawLine{Kind::Entry, text, std::string(group), std::string(key)});
    Reparse();
}

void IniFile::Remove(std::string_view group, std::string_view key) {
    const int index = GroupIndex(group);
    if (index < 0)
        return;
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const RawLine& r) {
                                   return r.kind == Kind::Entry && r.groupIndex == index && r.key == key;
                               }),
                lines.end());
    Reparse();
}

std::string IniFile::Text() const {
    std::string out;
    for (const RawLine& raw : lines)
        out += raw.text + "\n";
    return out;
}

} // namespace localtapi
