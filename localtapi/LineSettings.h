// LineSettings: one line device's group of the configuration file, as the drivers read it,
// and the problems found in it. Plain values; the typed reading by a driver's table of
// settings is DriverSettings'.
#pragma once

#include "telephony/tapi/Types.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi {

// A problem found in the configuration: the file's line number (0 when not tied to a
// line) and what is wrong, in words meant for the user.
struct ConfigProblem {
    int line = 0;
    std::string text;
};

// One line device's group of the configuration file.
struct LineSettings {
    struct Entry {
        std::string key;
        std::string value;
        int line = 0; // line number in the file, 0 when the entry did not come from a file
    };

    std::string group;          // "line0", "line1", ...
    int groupLine = 0;          // line number of the group header
    std::string name;           // name=
    std::string driver;         // driver=
    std::vector<Entry> entries; // the driver's own keys, in file order (not name= or driver=)
    std::string file;           // the configuration file it came from; empty when none
    // What a system-wide file gives this group ("driver" and "name" included): the values
    // above hold these unless the user's file overrides them. Saving writes only what
    // differs from them.
    std::map<std::string, std::string, std::less<>> system;
    std::string systemFile; // the file they came from

    const Entry* Find(std::string_view key) const;
    std::string Text(std::string_view key, std::string_view fallback = {}) const;
    void Set(std::string_view key, std::string_view value); // replaces or appends

    // Reads an unsigned number (decimal, or hexadecimal with 0x) within [min, max]. A key
    // that is absent gives fallback; a malformed or out-of-range value records a problem
    // naming the key and its line, leaves out at fallback and returns false.
    bool Unsigned(std::string_view key, DWORD fallback, DWORD min, DWORD max, DWORD& out,
                  std::vector<ConfigProblem>& problems) const;
    // Reads a signed 32-bit number (decimal, or 0x bit pattern, e.g. 0x80000048).
    bool Signed(std::string_view key, LONG fallback, LONG& out, std::vector<ConfigProblem>& problems) const;
};

} // namespace localtapi
