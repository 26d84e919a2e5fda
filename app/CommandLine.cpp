// CommandLine: option parsing and the numbers of tel:, callto: and sip: links.
#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace app {

namespace {

constexpr std::size_t kLinkMaxLength = 128;

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80           ? 0
                              : (c >> 5) == 0x6  ? 1
                              : (c >> 4) == 0xE  ? 2
                              : (c >> 3) == 0x1E ? 3
                                                 : 4;
        if (n == 4 || text.size() - i <= n)
            return false;
        unsigned long cp = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        constexpr unsigned long kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c == 0x7F;
    });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decodes; false on a broken escape.
bool PercentDecode(std::string_view in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (in.size() - i < 3)
            return false;
        const int hi = HexValue(in[i + 1]), lo = HexValue(in[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// A telephone number as people write it: digits, '*', '#', a leading '+', and the visual
// separators space, '-', '.', '(' and ')'; at least one digit, '*' or '#'.
bool IsTelephoneNumber(std::string_view number) {
    bool dialable = false;
    for (std::size_t i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if ((c >= '0' && c <= '9') || c == '*' || c == '#')
            dialable = true;
        else if (c == '+' ? i != 0 : std::string_view(" -.()").find(c) == std::string_view::npos)
            return false;
    }
    return dialable;
}

// The link as it may be shown in a message: printable ASCII as it is, every other byte as
// \xNN, at most 60 characters of it. A refused link can be anything, terminal control
// sequences included, and it comes from a web page.
std::string Shown(std::string_view link) {
    std::string out;
    for (const char ch : link.substr(0, 60)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return link.size() > 60 ? out + "..." : out;
}

// The value of the phone-context parameter among ";name=value" parameters (names without
// regard to case), percent-decoded; "" when there is none. False for a broken escape.
bool PhoneContext(std::string_view parameters, std::string& context) {
    context.clear();
    while (!parameters.empty()) {
        parameters.remove_prefix(1); // the ';'
        const std::string_view parameter = parameters.substr(0, parameters.find(';'));
        parameters.remove_prefix(parameter.size());
        constexpr std::string_view kName = "phone-context=";
        if (StartsWithNoCase(parameter, kName))
            return PercentDecode(parameter.substr(kName.size()), context);
    }
    return true;
}

} // namespace

LinkNumber NumberFromLink(std::string_view link) {
    if (link.size() > kLinkMaxLength)
        return {{}, "the link is longer than 128 characters"};
    if (!IsUtf8(link))
        return {{}, "the link is not UTF-8 text"};
    if (HasControl(link))
        return {{}, "the link holds control characters"};
    std::string_view rest;
    bool sip = false;
    if (StartsWithNoCase(link, "tel:")) {
        rest = link.substr(4);
    } else if (StartsWithNoCase(link, "callto:")) {
        rest = link.substr(7);
        if (rest.substr(0, 2) == "//")
            rest.remove_prefix(2);
    } else if (StartsWithNoCase(link, "sips:") || StartsWithNoCase(link, "sip:")) {
        rest = link.substr(link[3] == ':' ? 4 : 5);
        sip = true;
    } else {
        return {{}, "not a tel:, callto: or sip: link"};
    }
    if (sip) {
        const std::size_t at = rest.find('@');
        if (at == std::string_view::npos)
            return {{}, "the sip: link names no user"};
        rest = rest.substr(0, at);
    }
    // The number ends where the URI's parameters or headers begin.
    const std::string_view parameters =
        rest.substr(0, rest.find('?')).substr(std::min(rest.find(';'), rest.size()));
    rest = rest.substr(0, std::min(rest.find(';'), rest.find('?')));
    if (!sip && !rest.empty() && rest.back() == '/')
        rest.remove_suffix(1); // callto://+15551212/
    std::string number;
    if (!PercentDecode(rest, number))
        return {{}, "the link has a broken percent escape"};
    if (!IsUtf8(number) || HasControl(number))
        return {{}, "the link's number holds control characters or is not UTF-8"};
    if (number.empty())
        return {{}, "the link holds no number"};
    if (!IsTelephoneNumber(number)) {
        // Put together piece by piece: "'" + std::string&& trips GCC 12's -Wrestrict at -O3.
        std::string why = Shown(number);
        why.insert(why.begin(), '\'');
        why += "' is not a telephone number";
        return {{}, why};
    }
    // A local number of a tel: link with a global phone-context (RFC 3966: "+1206") is
    // that context's: "+1206 555-0100", which the dialing rules then take as any global
    // number. A domain context says nothing the dialer can use and is dropped.
    if (!sip && number.front() != '+') {
        std::string context;
        if (!PhoneContext(parameters, context))
            return {{}, "the link's phone-context has a broken percent escape"};
        if (!context.empty() && context.front() == '+') {
            if (!IsTelephoneNumber(context))
                return {{}, "the link's phone-context is not a telephone number"};
            context += ' '; // (appended, not added up: GCC 12's -Wrestrict at -O3)
            context += number;
            number = std::move(context);
        }
    }
    return {number, {}};
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    auto refused = [](std::string why) { return CommandLine{Action::Dial, {}, {}, std::move(why)}; };
    CommandLine c;
    bool actionGiven = false;
    for (const std::string& arg : args) {
        Action action = Action::Dial;
        if (arg == "--help" || arg == "-h")
            action = Action::Help;
        else if (arg == "--version")
            action = Action::Version;
        else if (arg == "--line-settings")
            action = Action::LineSettings;
        else if (arg == "--dialing-properties")
            action = Action::DialingProperties;
        else if (!arg.empty() && arg[0] == '-')
            return refused("unknown option '" + arg + "'");
        if (action == Action::Help || action == Action::Version) {
            c.action = action;
            return c; // whatever else is given
        }
        if (action == Action::Dial) {
            if (c.link)
                return refused("more than one link given");
            c.link = arg;
            continue;
        }
        if (actionGiven && c.action != action)
            return refused("--line-settings and --dialing-properties go one at a time");
        c.action = action;
        actionGiven = true;
    }
    if (c.link && c.action != Action::Dial)
        return refused("a link goes without --line-settings or --dialing-properties");
    if (c.link) {
        const LinkNumber n = NumberFromLink(*c.link);
        if (!n.error.empty())
            return refused("cannot dial " + Shown(*c.link) + ": " + n.error);
        c.number = n.number;
    }
    return c;
}

std::string UsageText() {
    return "Usage: orvodial [LINK]\n"
           "       orvodial --line-settings | --dialing-properties | --help | --version\n"
           "\n"
           "A telephone dialer: the first telephone line dials, the handset keeps the call.\n"
           "\n"
           "  LINK                  a tel:, callto: or sip: link with a telephone number, e.g.\n"
           "                        tel:+1-206-555-1212; its number goes into the number box of\n"
           "                        the dialer already running, or of a new one. Nothing is\n"
           "                        dialled until you press Dial.\n"
           "  --line-settings       the settings of the first line, saved in the configuration\n"
           "  --dialing-properties  the dialing properties (where you dial from), saved likewise\n"
           "  --help                this text\n"
           "  --version             the program's version\n"
           "\n"
           "Lines: a modem (driver=modem), a SIP desk phone by click-to-dial (driver=sip), a\n"
           "mobile phone through oFono (driver=ofono), or the practice line, which dials nothing\n"
           "(driver=simulated, the one used without a configuration file). Set one up with\n"
           "--line-settings.\n"
           "\n"
           "Configuration: $ORVODIAL_TELEPHONY_CONFIG, else $XDG_CONFIG_HOME/orvodial/telephony.ini,\n"
           "else ~/.config/orvodial/telephony.ini. ORVODIAL_TAPI_TRACE=FILE (or -) traces the\n"
           "telephony calls.\n";
}

} // namespace app
