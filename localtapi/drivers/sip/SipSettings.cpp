#include "localtapi/drivers/sip/SipSettings.h"
#include "localtapi/drivers/sip/SipLine.h"

#include <sofia-sip/url.h>

#include <QString>

#include <sys/stat.h>

namespace localtapi::sip {

namespace {

// Every setting of a SIP line, written once.
constexpr SettingSpec kSipSettings[] = {
    RequiredTextSetting("phone", "Your own phone's SIP address, e.g. sip:201@pbx.example.com"),
    TextSetting("domain", "", "Where dialled numbers point (default: the phone address's host and port)"),
    TextSetting("proxy", "", "Outbound proxy, e.g. sip:pbx.example.com:5060 (default: none)"),
    TextSetting("user", "orvodial", "User name for the server's password check, and the caller's name"),
    SecretSetting("password", "Password for the server's check"),
    YesNoSetting("keyring", "no", "yes: keep the password in the desktop's keyring (not in this file)"),
    ChoiceSetting("transport", "udp", "udp|tcp|tls",
                  "How SIP messages travel (tls: encrypted, the server checked)"),
    YesNoSetting("autoanswer", "no", "yes: ask the phone to answer at once"),
    NumberSetting("timeout", "30", 1, 300, "Seconds the phone may take to answer"),
};

bool Printable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

} // namespace

std::string HostOf(const std::string& uri) {
    su_home_t home[1] = {SU_HOME_INIT(home)};
    url_t* url = url_make(home, uri.c_str());
    std::string host;
    if (url != nullptr && (url->url_type == url_sip || url->url_type == url_sips) && url->url_host != nullptr)
        host =
            std::string(url->url_host) + (url->url_port != nullptr ? ":" + std::string(url->url_port) : "");
    su_home_deinit(home);
    return host;
}

std::string TrustStore() {
    const QString dir = qEnvironmentVariable("SSL_CERT_DIR").section(QLatin1Char(':'), 0, 0);
    return dir.isEmpty() ? std::string("/etc/ssl/certs") : dir.toStdString();
}

std::string OutboundProxy(const SipSettings& s) {
    if (s.transport != "tls")
        return s.proxy;
    const std::string proxy = s.proxy.empty() ? "sip:" + HostOf(s.phone) : s.proxy;
    return proxy.find(";transport=") == std::string::npos ? proxy + ";transport=tls" : proxy;
}

std::pair<std::string, std::string> NextHop(const SipSettings& s) {
    const std::string proxy = OutboundProxy(s);
    su_home_t home[1] = {SU_HOME_INIT(home)};
    url_t* url = url_make(home, (proxy.empty() ? s.phone : proxy).c_str());
    std::pair<std::string, std::string> hop;
    if (url != nullptr && url->url_host != nullptr) {
        hop.first = url->url_host;
        hop.second = url->url_port != nullptr ? url->url_port : s.transport == "tls" ? "5061" : "5060";
    }
    su_home_deinit(home);
    return hop;
}

KeyringEntry SipPasswordEntry(const std::string& group, const std::string& user, const std::string& phoneHost) {
    return {"OrvoDial " + group + ": " + user + "@" + phoneHost, user};
}

std::optional<SipSettings> ReadSipSettings(const LineSettings& settings,
                                           std::vector<ConfigProblem>& problems) {
    const std::optional<SettingValues> v = ReadSettings(kSipSettings, settings, problems);
    if (!v)
        return std::nullopt;
    const std::size_t before = problems.size();
    auto problem = [&](std::string_view key, const std::string& text) {
        problems.push_back({v->Line(key), "key '" + std::string(key) + "': " + text});
    };
    SipSettings s;
    s.phone = v->Text("phone");
    const std::string phoneHost = HostOf(s.phone);
    if (phoneHost.empty() || !Printable(s.phone))
        problem("phone", "'" + s.phone + "' is not a sip: address such as sip:201@pbx.example.com");
    s.domain = v->Text("domain").empty() ? phoneHost : v->Text("domain");
    if (!Printable(s.domain) || s.domain.find_first_of("<>@;") != std::string::npos)
        problem("domain", "'" + s.domain + "' is not a host name");
    s.proxy = v->Text("proxy");
    if (!s.proxy.empty() && HostOf(s.proxy).empty())
        problem("proxy", "'" + s.proxy + "' is not a sip: address such as sip:pbx.example.com:5060");
    s.user = v->Text("user");
    if (s.user.empty() || !Printable(s.user) || s.user.find_first_of("<>@:;\"") != std::string::npos)
        problem("user", "'" + s.user + "' is not a SIP user name");
    s.password = v->Text("password");
    s.keyring = v->YesNo("keyring");
    s.secretEntry = SipPasswordEntry(settings.group, s.user, phoneHost);
    if (s.password.find_first_of("\"\r\n") != std::string::npos)
        problem("password", "holds a quote or a line break"); // never the value itself
    // A password in a file that others can read is no secret: the line is not used until
    // the file is the owner's alone.
    struct stat st {};
    if (!s.password.empty() && !settings.file.empty() && ::stat(settings.file.c_str(), &st) == 0 &&
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        problem("password", "the file " + settings.file +
                                " can be read by others, so its password is no secret: chmod 600 " +
                                settings.file);
    s.transport = v->Text("transport");
    if (s.phone.starts_with("sips:") && s.transport != "tls")
        problem("transport", "the phone's address is a sips: one, which needs transport=tls");
    s.autoanswer = v->YesNo("autoanswer");
    s.timeout = std::chrono::seconds(v->Number("timeout"));
    if (problems.size() != before)
        return std::nullopt;

    DeviceCaps& caps = s.caps;
    caps.lineName = settings.name.empty() ? "SIP phone " + s.phone : settings.name;
    caps.providerInfo = "SIP click-to-dial on " + s.phone;
    caps.permanentLineID = StableLineId("sip:" + s.phone);
    // Voice, interactive voice, one call at a time: DeviceCaps' defaults.
    return s;
}

DriverInfo SipDriverInfo() {
    DriverInfo info;
    info.name = "sip";
    info.description = "Your own SIP phone (desk phone or softphone) places the call (click-to-dial)";
    info.settings = kSipSettings;
    info.secretEntry = [](const LineSettings& settings) {
        return SipPasswordEntry(settings.group, settings.Text("user", "orvodial"), HostOf(settings.Text("phone")));
    };
    info.keyringKey = "keyring";
    info.defaultName = "Desk phone";
    info.create = ReadThenMake<SipLine>(&ReadSipSettings);
    info.dialsDigits = false;
    return info;
}

} // namespace localtapi::sip
