// IniFile: a small INI document that keeps the file as written.
//
// Parses "[group]" headers, "key=value" entries, blank lines and comments (lines starting
// with ';' or '#'), and reports each malformed line with its number and what is wrong.
// Edits (Set, Remove) change the affected lines only, so comments and order survive a
// save. Keys and group names are case-sensitive; whitespace around names and values is
// trimmed; a UTF-8 byte order mark at the start is skipped. A group name given more than
// once is a group of its own each time; Find and the edits use the first (readers ignore
// the others). What it does not do: no quoting, escapes or continuation lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi {

class IniFile {
  public:
    struct Problem {
        int line; // 1-based
        std::string text;
    };
    struct Entry {
        std::string key;
        std::string value;
        int line; // 1-based
    };
    struct Group {
        std::string name;
        int line;                   // of the header
        std::vector<Entry> entries; // in file order
        bool malformed = false;     // a line inside the group could not be read
    };

    static IniFile Parse(std::string_view text);

    const std::vector<Group>& Groups() const { return groups; }
    const std::vector<Problem>& Problems() const { return problems; }
    const Group* Find(std::string_view group) const;

    // Sets a key (replacing its first occurrence, or adding it after the group's last
    // entry, adding the group at the end of the file when missing). Line breaks in the
    // value become spaces.
    void Set(std::string_view group, std::string_view key, std::string_view value);
    // Removes every occurrence of a key in a group.
    void Remove(std::string_view group, std::string_view key);

    std::string Text() const;

  private:
    enum class Kind { Other, Header, Entry };
    struct RawLine {
        Kind kind = Kind::Other;
        std::string text;
        std::string group;   // the group this line belongs to (header: its own)
        std::string key;     // entry lines
        int groupIndex = -1; // index in groups of the group this line belongs to, -1: none
    };
    void Reparse();
    int GroupIndex(std::string_view group) const; // of the first group of that name, or -1

    std::vector<RawLine> lines;
    std::vector<Group> groups;
    std::vector<Problem> problems;
};

} // namespace localtapi
