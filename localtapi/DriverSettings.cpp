#include "localtapi/DriverSettings.h"

#include <stdexcept>

namespace localtapi {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The words of a Choice row: "a|b|c".
std::vector<std::string_view> Choices(std::string_view all) {
    std::vector<std::string_view> out;
    while (!all.empty()) {
        const std::size_t bar = all.find('|');
        out.push_back(all.substr(0, bar));
        all = bar == std::string_view::npos ? std::string_view() : all.substr(bar + 1);
    }
    return out;
}

// "'a' nor 'b'", "'a', 'b' nor 'c'" (or with another last word).
std::string ChoiceList(std::string_view all, std::string_view last = " nor ") {
    const std::vector<std::string_view> words = Choices(all);
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            out += i + 1 == words.size() ? std::string(last) : std::string(", ");
        out += "'" + std::string(words[i]) + "'";
    }
    return out;
}

} // namespace

std::optional<bool> ParseYesNo(std::string_view text) {
    const std::string v = Lower(text);
    if (v == "yes" || v == "true" || v == "1" || v == "on")
        return true;
    if (v == "no" || v == "false" || v == "0" || v == "off")
        return false;
    return std::nullopt;
}

std::vector<std::string_view> SettingChoices(const SettingSpec& spec) {
    return Choices(spec.choices);
}

std::string SettingLabel(const SettingSpec& spec) {
    std::string_view words = spec.help;
    // A yes/no row's help says what yes does, then perhaps what no does.
    if (spec.kind == SettingKind::YesNo && words.starts_with("yes: "))
        words.remove_prefix(5);
    for (std::string_view end : {" (", ", e.g.", "; ", ", for ", ", and "}) {
        const std::size_t at = words.find(end);
        if (at != std::string_view::npos)
            words = words.substr(0, at);
    }
    std::string label(words);
    if (!label.empty() && label[0] >= 'a' && label[0] <= 'z')
        label[0] = static_cast<char>(label[0] - 'a' + 'A');
    return label;
}

const SettingSpec* FindSetting(std::span<const SettingSpec> table, std::string_view key) {
    for (const SettingSpec& s : table)
        if (s.key == key)
            return &s;
    return nullptr;
}

std::string SettingHelp(const SettingSpec& spec) {
    std::string help(spec.help);
    if (spec.kind == SettingKind::Number && spec.max != 0xFFFFFFFFu)
        help += " (" + std::to_string(spec.min) + " to " + std::to_string(spec.max) + ")";
    else if (spec.kind == SettingKind::Choice)
        help += " (" + ChoiceList(spec.choices, " or ") + ")";
    return help;
}

std::optional<SettingValues> ReadSettings(std::span<const SettingSpec> table, const LineSettings& in,
                                          std::vector<ConfigProblem>& problems) {
    const std::size_t before = problems.size();
    SettingValues out;
    for (const SettingSpec& spec : table) {
        const LineSettings::Entry* e = in.Find(spec.key);
        const std::string key(spec.key);
        // A value that is absent reads as the default; the file's own value must pass
        // the row's checks, the default passes them by construction.
        LineSettings one;
        one.groupLine = in.groupLine;
        one.entries.push_back({key, e ? e->value : std::string(spec.defaultValue), e ? e->line : in.groupLine});
        const LineSettings::Entry& v = one.entries.front();
        auto problem = [&](const std::string& text) { problems.push_back({v.line, "key '" + key + "': " + text}); };
        SettingValues::Value value;
        value.line = v.line;
        switch (spec.kind) {
        case SettingKind::Secret:
        case SettingKind::Text:
            value.text = v.value;
            if (spec.required && value.text.empty())
                problem("missing (" + std::string(spec.help) + ")");
            break;
        case SettingKind::Number: {
            DWORD n = 0;
            if (one.Unsigned(spec.key, 0, spec.min, spec.max, n, problems))
                value.number = n;
            break;
        }
        case SettingKind::Code: {
            LONG code = 0;
            if (one.Signed(spec.key, 0, code, problems)) {
                if (code > 0)
                    problem("must be 0 or a negative LINEERR code");
                value.number = code;
            }
            break;
        }
        case SettingKind::YesNo:
            if (const std::optional<bool> yes = ParseYesNo(v.value))
                value.number = *yes ? 1 : 0;
            else
                problem("'" + v.value + "' is not yes or no");
            break;
        case SettingKind::Choice: {
            value.text = Lower(v.value);
            bool known = false;
            for (std::string_view c : Choices(spec.choices))
                known = known || c == value.text;
            if (!known)
                problem("'" + v.value + "' is neither " + ChoiceList(spec.choices));
            break;
        }
        }
        out.values.emplace(key, std::move(value));
    }
    if (problems.size() != before)
        return std::nullopt;
    return out;
}

const SettingValues::Value& SettingValues::At(std::string_view key) const {
    const auto it = values.find(key);
    if (it == values.end())
        throw std::logic_error("setting '" + std::string(key) + "' is not in the driver's table");
    return it->second;
}

const std::string& SettingValues::Text(std::string_view key) const {
    return At(key).text;
}
DWORD SettingValues::Number(std::string_view key) const {
    return static_cast<DWORD>(At(key).number);
}
LONG SettingValues::Code(std::string_view key) const {
    return static_cast<LONG>(At(key).number);
}
bool SettingValues::YesNo(std::string_view key) const {
    return At(key).number != 0;
}
int SettingValues::Line(std::string_view key) const {
    return At(key).line;
}

} // namespace localtapi
