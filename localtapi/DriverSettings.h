// DriverSettings: a driver's settings, each declared once in a table of SettingSpec rows
// (key, kind, default, range or choices, help text). From the table come the reading and
// checking of a line group (ReadSettings), the fields of the line settings dialog, the
// warning about keys no driver reads, and the test that the README documents every key
// with its default.
//
// ReadSettings checks each value against its row and gives typed values; a value that
// is absent takes the row's default. What a row cannot say (say, that a port is a serial
// speed the system offers) the driver checks on the typed values.
// What it does not do: no file access, no driver creation.
#pragma once

#include "localtapi/LineSettings.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace localtapi {

enum class SettingKind {
    Text,   // any one-line text; required: must not be empty
    Number, // unsigned, decimal or 0x hexadecimal, within [min, max]
    Code,   // a LINEERR code: 0, a negative decimal or its 0x bit pattern
    YesNo,  // yes/no (also true/false, on/off, 1/0)
    Choice, // one of the words in choices, separated by '|'; any letter case
    Secret, // text that is never shown: a password (the dialog masks it, no message quotes it)
};

struct SettingSpec {
    std::string_view key;
    SettingKind kind = SettingKind::Text;
    std::string_view defaultValue; // as written in the file; empty: none
    std::string_view help;         // one line, shown in the dialog
    DWORD min = 0;
    DWORD max = 0;
    std::string_view choices; // Choice: "tone|pulse"
    bool required = false;    // Text: a value must be given
};

// The rows of a table, by kind.
constexpr SettingSpec NumberSetting(std::string_view key, std::string_view def, DWORD min, DWORD max,
                                    std::string_view help) {
    return SettingSpec{key, SettingKind::Number, def, help, min, max, {}, false};
}
constexpr SettingSpec TextSetting(std::string_view key, std::string_view def, std::string_view help) {
    return SettingSpec{key, SettingKind::Text, def, help, 0, 0, {}, false};
}
constexpr SettingSpec RequiredTextSetting(std::string_view key, std::string_view help) {
    return SettingSpec{key, SettingKind::Text, {}, help, 0, 0, {}, true};
}
constexpr SettingSpec SecretSetting(std::string_view key, std::string_view help) {
    return SettingSpec{key, SettingKind::Secret, {}, help, 0, 0, {}, false};
}
constexpr SettingSpec CodeSetting(std::string_view key, std::string_view def, std::string_view help) {
    return SettingSpec{key, SettingKind::Code, def, help, 0, 0, {}, false};
}
constexpr SettingSpec YesNoSetting(std::string_view key, std::string_view def, std::string_view help) {
    return SettingSpec{key, SettingKind::YesNo, def, help, 0, 0, {}, false};
}
constexpr SettingSpec ChoiceSetting(std::string_view key, std::string_view def, std::string_view choices,
                                    std::string_view help) {
    return SettingSpec{key, SettingKind::Choice, def, help, 0, 0, choices, false};
}

// The typed values of one line group, every key of the table present.
class SettingValues {
  public:
    const std::string& Text(std::string_view key) const;
    DWORD Number(std::string_view key) const;
    LONG Code(std::string_view key) const;
    bool YesNo(std::string_view key) const;
    // The line of the file the key came from (the group header's when it was absent).
    int Line(std::string_view key) const;

  private:
    friend std::optional<SettingValues> ReadSettings(std::span<const SettingSpec>, const LineSettings&,
                                                     std::vector<ConfigProblem>&);
    struct Value {
        std::string text; // Text and Choice (Choice in lower case)
        std::int64_t number = 0;
        int line = 0;
    };
    const Value& At(std::string_view key) const;
    std::map<std::string, Value, std::less<>> values;
};

// Reads every key of the table from settings; each value that breaks its row is a
// problem naming key and line. Nothing when there was any problem.
std::optional<SettingValues> ReadSettings(std::span<const SettingSpec> table, const LineSettings& settings,
                                          std::vector<ConfigProblem>& problems);

const SettingSpec* FindSetting(std::span<const SettingSpec> table, std::string_view key);

// The help text with what the row allows, for the dialog: "Dialing time per digit (ms,
// 0 to 3600000)".
std::string SettingHelp(const SettingSpec& spec);

// The words that label the row's field in the dialog, from its help text: its first part,
// without units, examples or a yes/no row's "yes: " ("Dialing time per digit", "Dial
// without waiting for dial tone").
std::string SettingLabel(const SettingSpec& spec);

// A Choice row's words, in order.
std::vector<std::string_view> SettingChoices(const SettingSpec& spec);

// yes/no, true/false, on/off, 1/0 in any letter case; nothing for anything else.
std::optional<bool> ParseYesNo(std::string_view text);

} // namespace localtapi
