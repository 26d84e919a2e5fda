#include "localtapi/drivers/sip/SipLine.h"
#include "localtapi/drivers/DriverText.h"

#include "localtapi/drivers/sip/LocalRoute.h"
#include "localtapi/drivers/sip/MediaPort.h"
#include "localtapi/drivers/sip/MediaSession.h"
#include "localtapi/drivers/sip/SipFrag.h"

#include <sofia-sip/msg_header.h>
#include <sofia-sip/nua.h>
#include <sofia-sip/nua_tag.h>
#include <sofia-sip/sip_header.h>
#include <sofia-sip/sip_status.h>
#include <sofia-sip/sip_tag.h>
#include <sofia-sip/su_glib.h>
#include <sofia-sip/su_log.h>
#include <sofia-sip/tport_tag.h>
#include <sofia-sip/url.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <sys/stat.h>

#include <algorithm>
#include <utility>

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

// The host of a sip: URI, as url_t reads it, with its port when it has one; empty when it
// is not a sip: URI.
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

// Certificates between the server's and a trusted root, at most.
constexpr unsigned kTlsChainDepth = 8;

// The folder of certificates the system trusts, as OpenSSL keeps it (hashed names; on
// Debian the ca-certificates package's). OpenSSL's own SSL_CERT_DIR names another.
std::string TrustStore() {
    const QString dir = qEnvironmentVariable("SSL_CERT_DIR").section(QLatin1Char(':'), 0, 0);
    return dir.isEmpty() ? std::string("/etc/ssl/certs") : dir.toStdString();
}

// Every request goes to the proxy, or else to the phone's server; over TLS that is said in
// the proxy's URI, so that nothing leaves unencrypted.
std::string OutboundProxy(const SipSettings& s) {
    if (s.transport != "tls")
        return s.proxy;
    const std::string proxy = s.proxy.empty() ? "sip:" + HostOf(s.phone) : s.proxy;
    return proxy.find(";transport=") == std::string::npos ? proxy + ";transport=tls" : proxy;
}

// Where requests go first: the outbound proxy, or else the phone's server; its host and
// port (the transport's usual port when the URI names none).
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

bool Printable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

} // namespace
} // namespace localtapi::sip

// The stack's logs, declared by its private headers only.
extern "C" su_log_t nua_log[];
extern "C" su_log_t nta_log[];
extern "C" su_log_t tport_log[];

namespace localtapi::sip {
namespace {

// The stack keeps quiet on standard error, even about what it calls fatal (a shutdown cut
// short by the driver's bound): what matters reaches the trace as remarks.
void Discard(void*, char const*, va_list) {}

bool StartStack() {
    if (su_init() != 0)
        return false;
    for (su_log_t* log : {su_log_default, nua_log, nta_log, tport_log}) {
        su_log_set_level(log, 0);
        su_log_redirect(log, &Discard, nullptr);
    }
    return true;
}

void Callback(nua_event_t event, int status, char const* phrase, nua_t*, nua_magic_t* magic, nua_handle_t* nh,
              nua_hmagic_t*, sip_t const* sip, tagi_t[]) {
    static_cast<SipLine*>(magic)->OnEvent(event, status, phrase, nh, sip);
}

} // namespace

std::string ReferTarget(const std::string& number, const std::string& domain) {
    std::string user;
    for (char c : number)
        user += c == '#' ? std::string("%23") : std::string(1, c);
    return "<sip:" + user + "@" + domain + ";user=phone>";
}

DWORD FailureMode(int status) {
    switch (status) {
    case 486:
    case 600:
        return LINEDISCONNECTMODE_BUSY;
    case 603:
        return LINEDISCONNECTMODE_REJECT;
    case 408:
    case 480:
    case 487:
        return LINEDISCONNECTMODE_NOANSWER;
    case 404:
    case 484:
        return LINEDISCONNECTMODE_BADADDRESS;
    default:
        return LINEDISCONNECTMODE_UNAVAIL;
    }
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
    info.defaultName = "Desk phone";
    info.create = ReadThenMake<SipLine>(&ReadSipSettings);
    info.dialsDigits = false;
    return info;
}

SipLine::SipLine(SipSettings settings, SipTimeouts timeouts) : s(std::move(settings)), t(timeouts) {
    answerTimer.setSingleShot(true);
    serverTimer.setSingleShot(true);
    connect(&serverTimer, &QTimer::timeout, this, [this] {
        if (!call || call->leg != Leg::Inviting || call->heard)
            return;
        nua_cancel(call->handle, TAG_END());
        Fail(LINEDISCONNECTMODE_UNREACHABLE, NoServerRemark(std::to_string(t.server.count()) + " ms"));
    });
    dropTimer.setSingleShot(true);
    shutdownTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, [this] {
        if (!call || call->leg != Leg::Inviting)
            return;
        nua_cancel(call->handle, TAG_END());
        Fail(LINEDISCONNECTMODE_NOANSWER,
             "the phone did not answer in " + std::to_string(s.timeout.count()) + " s: CANCEL");
    });
    connect(&dropTimer, &QTimer::timeout, this, [this] {
        if (call && call->dropRequest != 0) {
            Remark("no answer to the end of the driver's dialog; the call is idle all the same");
            FinishDrop();
        }
    });
    connect(&shutdownTimer, &QTimer::timeout, this, [this] { DestroyStack(); });
}

SipLine::~SipLine() {
    Close();
    if (nua != nullptr) {
        // Still shutting down: wait for it, bounded, so that no socket outlives the line.
        QElapsedTimer clock;
        clock.start();
        while (nua != nullptr && clock.elapsed() < t.shutdown.count())
            QCoreApplication::processEvents(
                QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents, 20);
        DestroyStack();
    }
}

DeviceCaps SipLine::Caps() const {
    return s.caps;
}

KeyringEntry SipPasswordEntry(const std::string& group, const std::string& user, const std::string& phoneHost) {
    return {"OrvoDial " + group + ": " + user + "@" + phoneHost, user};
}

LONG SipLine::Open(LineDriverSink& target) {
    if (nua != nullptr) // the last close still shutting down
        DestroyStack();
    // A password in the file is used as it is; with keyring=yes and none there, the
    // keyring's is read now, for this open only.
    password = s.password;
    if (password.empty() && s.keyring) {
        const KeyringResult found = ReadSecret(s.secretEntry);
        if (found.outcome == KeyringResult::Outcome::NotFound) {
            Remark("the desktop's keyring holds no password for \"" + s.secretEntry.service +
                       "\": enter it in Line Settings (orvodial --line-settings)",
                   true);
            return LINEERR_RESOURCEUNAVAIL;
        }
        if (found.outcome == KeyringResult::Outcome::Unavailable) {
            Remark("the desktop's keyring cannot be reached (" + found.why +
                       "): start it (GNOME Keyring, KeePassXC or KDE Wallet), or keep the password in the "
                       "configuration file as password= (readable by you only) with keyring=no",
                   true);
            return LINEERR_RESOURCEUNAVAIL;
        }
        password = found.secret;
    }
    // The stack sends from, and names in Via and Contact, the address the system's routing
    // picks toward the next hop; left to itself it would take the first network's, which
    // the server may have no route back to (a VPN to the office beside the home LAN).
    const auto [hopHost, hopPort] = NextHop(s);
    const LocalRoute route = LocalAddressToward(hopHost, hopPort);
    std::string local = "0.0.0.0";
    mediaAddress.clear();
    switch (route.outcome) {
    case LocalRoute::Outcome::Found:
        local = route.address.find(':') != std::string::npos ? "[" + route.address + "]" : route.address;
        mediaAddress = route.address;
        Remark("SIP from " + route.address + " toward " + hopHost);
        break;
    case LocalRoute::Outcome::NoAddress: // perhaps a name with SRV records only: the stack's to find
        Remark(route.why + "; the SIP stack chooses the local address");
        break;
    case LocalRoute::Outcome::NoRoute:
        Remark("the SIP server cannot be reached: " + route.why, true);
        return LINEERR_RESOURCEUNAVAIL;
    }
    static const bool initialised = StartStack();
    if (!initialised) {
        Remark("the SIP stack did not start", true);
        return LINEERR_RESOURCEUNAVAIL;
    }
    root = su_glib_root_create(this);
    if (root == nullptr) {
        Remark("the SIP stack did not start", true);
        return LINEERR_RESOURCEUNAVAIL;
    }
    // The whole stack runs on this root, in the service's thread: left to itself, the stack
    // would start a thread of its own, and its shutdown could then race the driver's
    // destroying of handles.
    su_root_threading(root, 0);
    // Serviced by the loop Qt runs. Held here too, so that it leaves that loop for certain
    // when the stack goes: a source left behind would call into a driver that is gone.
    source = g_source_ref(su_glib_root_gsource(root));
    g_source_attach(source, nullptr);
    const std::string bind =
        s.transport == "tls" ? "sips:" + local + ":*" : "sip:" + local + ":*;transport=" + s.transport;
    const std::string from = "<sip:" + s.user + "@" + s.domain + ">";
    const std::string proxy = OutboundProxy(s);
    // TLS: the server's certificate must chain to one the system trusts and name the host
    // connected to; otherwise the connection is closed and the call fails.
    const std::string trust = TrustStore();
    nua = nua_create(root, Callback, this, NUTAG_URL(bind.c_str()), SIPTAG_FROM_STR(from.c_str()),
                     NUTAG_M_USERNAME(s.user.c_str()), NUTAG_MEDIA_ENABLE(0),
                     TAG_IF(!proxy.empty(), NUTAG_PROXY(proxy.c_str())),
                     TAG_IF(s.transport == "tls", TPTAG_CERTIFICATE(trust.c_str())),
                     TAG_IF(s.transport == "tls", TPTAG_TLS_VERIFY_POLICY(TPTLS_VERIFY_SUBJECTS_OUT)),
                     TAG_IF(s.transport == "tls", TPTAG_TLS_VERIFY_DEPTH(kTlsChainDepth)), TAG_END());
    if (nua == nullptr) {
        Remark("no " + s.transport + " socket for SIP could be opened", true);
        DestroyStack();
        return LINEERR_RESOURCEUNAVAIL;
    }
    // Nothing to offer callers, to REFERs from others or to subscriptions.
    // (REFER, SUBSCRIBE and MESSAGE are the application's to answer: the stack itself would
    // accept them.) Within the call's own dialog the phone's re-INVITEs and UPDATEs are
    // answered by AnswerPhone, with the call's MediaSession (the stack's own media handling
    // stays off: it would parse SDP from anyone, unchecked).
    // Session timers: the stack refreshes when the phone leaves it to the driver (by UPDATE,
    // which needs no media description), and a refresh is held to the same floor as the
    // phone's first answer: RFC 4028's.
    nua_set_params(nua, NUTAG_AUTOANSWER(0), NUTAG_ALLOW("INVITE, ACK, BYE, CANCEL, NOTIFY, OPTIONS, UPDATE"),
                   NUTAG_APPL_METHOD("REFER, SUBSCRIBE, MESSAGE, UPDATE"), NUTAG_MIN_SE(kMinSessionSeconds),
                   NUTAG_UPDATE_REFRESH(1), TAG_END());
    sink = &target;
    open = true;
    return 0;
}

void SipLine::Close() {
    if (!open)
        return;
    open = false;
    password.clear();
    sink = nullptr;
    if (call) {
        // The phone keeps its call to the number; only the driver's own leg ends.
        if (call->leg == Leg::Inviting)
            nua_cancel(call->handle, TAG_END());
        else if (call->leg == Leg::Answered || call->leg == Leg::Referred)
            nua_bye(call->handle, TAG_END());
        call->released = true;
        if (call->leg == Leg::Ended) { // nothing left to finish: the stack need not wait for it
            nua_handle_destroy(call->handle);
            call.reset();
        }
    }
    answerTimer.stop();
    serverTimer.stop();
    dropTimer.stop();
    // The stack finishes its dialogs, then says so (nua_r_shutdown); bounded.
    nua_shutdown(nua);
    shutdownTimer.start(t.shutdown);
}

void SipLine::DestroyStack() {
    shutdownTimer.stop();
    serverTimer.stop();
    if (call && call->handle != nullptr)
        nua_handle_destroy(call->handle);
    call.reset();
    for (nua_handle_t* nh : lingering)
        nua_handle_destroy(nh);
    lingering.clear();
    if (nua != nullptr) {
        nua_destroy(nua);
        nua = nullptr;
    }
    if (source != nullptr)
        g_source_destroy(source);
    if (root != nullptr) {
        su_root_destroy(root);
        root = nullptr;
    }
    if (source != nullptr) {
        g_source_unref(source);
        source = nullptr;
    }
}

LONG SipLine::MakeCall(RequestId request, CallId id, const char* destination) {
    if (!open)
        return LINEERR_OPERATIONUNAVAIL;
    if (call)
        return LINEERR_CALLUNAVAIL;
    if (destination == nullptr)
        return LINEERR_OPERATIONUNAVAIL; // no dial tone to hand out
    const std::optional<std::string> number = DialableNumber(destination);
    if (!number)
        return LINEERR_INVALADDRESS;
    auto media = std::make_unique<MediaPort>();
    if (std::string why; !media->Bind(mediaAddress.empty() ? "0.0.0.0" : mediaAddress, why)) {
        Remark(why, true);
        return LINEERR_RESOURCEUNAVAIL;
    }
    call.emplace();
    call->id = id;
    call->number = *number;
    call->session = std::make_unique<MediaSession>(root, mediaAddress, media->Port());
    call->media = std::move(media);
    const std::string offer = call->session->Offer();
    if (offer.empty()) {
        Remark("no media description could be made for the call", true);
        call.reset();
        return LINEERR_RESOURCEUNAVAIL;
    }
    // (The phone's re-INVITEs on this handle are AnswerPhone's to answer, never the stack's.)
    call->handle = nua_handle(nua, nullptr, NUTAG_AUTOANSWER(0), SIPTAG_TO_STR(s.phone.c_str()), TAG_END());
    const std::string callInfo = "<" + s.phone + ">;answer-after=0";
    nua_invite(
        call->handle, SIPTAG_CONTENT_TYPE_STR("application/sdp"), SIPTAG_PAYLOAD_STR(offer.c_str()),
        TAG_IF(s.autoanswer, SIPTAG_CALL_INFO_STR(callInfo.c_str())),
        TAG_IF(s.autoanswer, SIPTAG_HEADER_STR("Alert-Info: <http://127.0.0.1/>;info=alert-autoanswer")),
        TAG_END());
    answerTimer.start(s.timeout);
    if (s.transport == "tls")
        serverTimer.start(t.server);
    QTimer::singleShot(0, this, [this, id, request] {
        if (!call || call->id != id || sink == nullptr)
            return;
        sink->RequestCompleted(request, 0);
        Report(LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
        Report(LINECALLSTATE_DIALING, 0);
    });
    return 0;
}

LONG SipLine::Drop(RequestId request, CallId id) {
    if (!call || call->id != id)
        return LINEERR_INVALCALLHANDLE;
    if (call->dropRequest != 0)
        return LINEERR_OPERATIONUNAVAIL;
    call->dropRequest = request;
    answerTimer.stop();
    serverTimer.stop();
    switch (call->leg) {
    case Leg::Inviting:
        nua_cancel(call->handle, TAG_END());
        call->leg = Leg::Ending;
        dropTimer.start(t.drop);
        break;
    case Leg::Answered:
    case Leg::Referred:
        nua_bye(call->handle, TAG_END());
        call->leg = Leg::Ending;
        dropTimer.start(t.drop);
        break;
    case Leg::Ending:
        dropTimer.start(t.drop);
        break;
    case Leg::Ended:
        QTimer::singleShot(0, this, [this, id, request] {
            if (call && call->id == id && call->dropRequest == request)
                FinishDrop();
        });
        break;
    }
    return 0;
}

void SipLine::ReleaseCall(CallId id) {
    if (!call || call->id != id)
        return;
    if (call->leg == Leg::Inviting)
        nua_cancel(call->handle, TAG_END());
    else if (call->leg == Leg::Answered || call->leg == Leg::Referred)
        nua_bye(call->handle, TAG_END());
    answerTimer.stop();
    serverTimer.stop();
    dropTimer.stop();
    call->released = true;
}

void SipLine::Report(DWORD state, DWORD mode) {
    if (!call || call->released || sink == nullptr)
        return;
    // (Proceeding comes twice, the phone ringing and the REFER accepted: once is enough.)
    if (CallProgress(state) <= CallProgress(call->state))
        return;
    call->state = state;
    sink->CallState(call->id, state, mode);
}

void SipLine::Fail(DWORD mode, const std::string& why) {
    Remark(why, true); // the user is told this under "TAPI failure"
    answerTimer.stop();
    serverTimer.stop();
    Report(LINECALLSTATE_DISCONNECTED, mode);
    if (call && (call->leg == Leg::Answered || call->leg == Leg::Referred)) {
        nua_bye(call->handle, TAG_END());
        call->leg = Leg::Ending;
    } else if (call && call->leg == Leg::Inviting) {
        call->leg = Leg::Ending;
    }
}

void SipLine::FinishDrop() {
    dropTimer.stop();
    if (!call)
        return;
    const RequestId drop = call->dropRequest;
    call->dropRequest = 0;
    Report(LINECALLSTATE_IDLE, 0);
    if (call->handle != nullptr && call->leg == Leg::Ended)
        nua_handle_destroy(call->handle);
    else if (call->handle != nullptr)
        lingering.push_back(call->handle); // its BYE or CANCEL still to go out or be answered
    const bool released = call->released;
    call.reset();
    if (drop != 0 && !released && sink != nullptr)
        sink->RequestCompleted(drop, 0);
}

void SipLine::EndLeg() {
    // The driver's dialog is over (BYE or CANCEL answered, or the phone hung up).
    if (!call)
        return;
    call->leg = Leg::Ended;
    answerTimer.stop();
    serverTimer.stop();
    if (call->dropRequest != 0 || call->released)
        FinishDrop();
}

bool SipLine::Authenticate(int status, const sip_t* sip) {
    if (call->authTries++ > 0 || password.empty() || sip == nullptr)
        return false;
    const msg_auth_t* challenge = status == 401 ? sip->sip_www_authenticate : sip->sip_proxy_authenticate;
    if (challenge == nullptr || challenge->au_scheme == nullptr)
        return false;
    const char* realm = msg_params_find(challenge->au_params, "realm=");
    if (realm == nullptr)
        return false;
    // scheme:"realm":user:password, the form the stack takes; the password stays here.
    const std::string credentials =
        std::string(challenge->au_scheme) + ":" + realm + ":" + s.user + ":" + password;
    nua_authenticate(call->handle, NUTAG_AUTH(credentials.c_str()), TAG_END());
    return true;
}

void SipLine::OnEvent(int event, int status, const char* phrase, nua_handle_t* nh, const sip_t* sip) {
    if (event == nua_r_shutdown) {
        if (status >= 200) // not from inside the stack's own callback
            QTimer::singleShot(0, this, [this] { DestroyStack(); });
        return;
    }
    if ((event == nua_i_invite || event == nua_i_update) &&
        ((call && call->handle == nh) ||
         std::find(lingering.begin(), lingering.end(), nh) != lingering.end())) {
        AnswerPhone(event, nh, sip);
        return;
    }
    if (event == nua_i_invite || event == nua_i_refer || event == nua_i_subscribe || event == nua_i_message) {
        // Nobody calls or instructs this line: refused, answering this very request (without
        // NUTAG_WITH_THIS the stack answers a REFER 500 once its handle is gone).
        nua_respond(nh, SIP_403_FORBIDDEN, NUTAG_WITH_THIS(nua), TAG_END());
        if (!call || call->handle != nh)
            nua_handle_destroy(nh);
        return;
    }
    if (const auto it = std::find(lingering.begin(), lingering.end(), nh); it != lingering.end()) {
        Linger(it, event, status);
        return;
    }
    if (!call || call->handle != nh)
        return;
    switch (event) {
    case nua_r_invite:
        OnInviteAnswer(status, phrase, sip);
        break;
    case nua_r_refer:
        OnReferAnswer(status, phrase, sip);
        break;
    case nua_i_ack:
        TakeAnswer(sip);
        break;
    case nua_i_notify:
        OnNotify(sip);
        break;
    case nua_i_bye:
        if (call->leg != Leg::Ending) {
            Remark("the phone hung up");
            Report(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL);
        }
        EndLeg();
        break;
    case nua_r_bye:
    case nua_r_cancel:
        if (status >= 200)
            EndLeg();
        break;
    default:
        break;
    }
}

// A leg the application is done with, whose end the SIP stack still has to see through:
// the phone's answer crossing the CANCEL gets its BYE, and the handle goes once the
// dialog is over.
void SipLine::Linger(std::vector<nua_handle_s*>::iterator it, int event, int status) {
    nua_handle_t* nh = *it;
    if (event == nua_r_invite && status >= 200 && status < 300) {
        nua_bye(nh, TAG_END());
        return;
    }
    const bool over =
        ((event == nua_r_bye || event == nua_r_cancel || event == nua_r_invite) && status >= 200) ||
        event == nua_i_bye;
    if (!over)
        return;
    lingering.erase(it);
    nua_handle_destroy(nh);
}

// The phone's re-INVITE or UPDATE within the driver's dialog (a hold before it follows the
// REFER, a session refresh): 200, with the answer to its offer or, a re-INVITE without
// one, the driver's offer (its answer comes in the ACK); 488 when its offer cannot be
// taken (no audio in a law the driver offers), the call going on as it was. A leg already
// ending answers 481.
void SipLine::AnswerPhone(int event, nua_handle_t* nh, const sip_t* sip) {
    const std::string what = event == nua_i_invite ? "re-INVITE" : "UPDATE";
    if (!call || call->handle != nh || !call->session) {
        nua_respond(nh, SIP_481_NO_TRANSACTION, NUTAG_WITH_THIS(nua), TAG_END());
        return;
    }
    const sip_payload_t* body = sip != nullptr ? sip->sip_payload : nullptr;
    std::string sdp;
    if (body != nullptr && body->pl_len > 0) {
        std::string why;
        const std::optional<std::string> answer = call->session->Answer({body->pl_data, body->pl_len}, why);
        if (!answer) {
            Remark("the phone's " + what + " refused (488): " + why);
            nua_respond(nh, SIP_488_NOT_ACCEPTABLE, NUTAG_WITH_THIS(nua), TAG_END());
            return;
        }
        sdp = *answer;
    } else if (event == nua_i_invite) {
        sdp = call->session->Offer();
    }
    Remark("the phone's " + what + " answered");
    nua_respond(nh, SIP_200_OK, NUTAG_WITH_THIS(nua),
                TAG_IF(!sdp.empty(), SIPTAG_CONTENT_TYPE_STR("application/sdp")),
                TAG_IF(!sdp.empty(), SIPTAG_PAYLOAD_STR(sdp.c_str())), TAG_END());
}

// The phone's media answer, in its 200 or in an ACK: taken, or remarked (the driver's leg
// carries no audio, so the call goes on either way).
void SipLine::TakeAnswer(const sip_t* sip) {
    const sip_payload_t* body = sip != nullptr ? sip->sip_payload : nullptr;
    if (body == nullptr || body->pl_len == 0 || !call->session)
        return;
    if (std::string why; !call->session->TakeAnswer({body->pl_data, body->pl_len}, why))
        Remark("the phone's answer to the media offer not taken: " + why);
}

std::string SipLine::NoServerRemark(const std::string& what) const {
    if (s.transport == "tls")
        return "no answer from the SIP server over TLS (" + what +
               "): unreachable, or its certificate was not accepted (it must chain to one the system trusts, "
               "in " +
               TrustStore() + ", and name the host connected to)";
    return "no answer from the SIP server at all (" + what + ")";
}

void SipLine::OnInviteAnswer(int status, const char* phrase, const sip_t* sip) {
    call->heard = true;
    if (call->leg == Leg::Answered || call->leg == Leg::Referred) {
        // The answer to the stack's own re-INVITE, the session refresh the phone left to
        // the driver: the call is already up, and referred once.
        if (status >= 300)
            Remark("the phone refused the session refresh: " + std::to_string(status) + " " +
                   (phrase ? phrase : ""));
        return;
    }
    if (status < 200) {
        if (status >= 180)
            Report(LINECALLSTATE_PROCEEDING, 0);
        return;
    }
    if (status < 300) {
        answerTimer.stop();
        if (call->leg == Leg::Ending) { // dropped or failed meanwhile: the 200 crossed the CANCEL
            nua_bye(call->handle, TAG_END());
            return;
        }
        call->leg = Leg::Answered;
        TakeAnswer(sip);
        const std::string target = ReferTarget(call->number, s.domain);
        Remark("the phone answered; REFER to " + target);
        nua_refer(call->handle, SIPTAG_REFER_TO_STR(target.c_str()), TAG_END());
        return;
    }
    if ((status == 401 || status == 407) && call->leg == Leg::Inviting && Authenticate(status, sip))
        return;
    if (call->leg == Leg::Ending) { // our CANCEL answered with 487, or a failure after a drop
        EndLeg();
        return;
    }
    // The stack's own 408 (timer B) or 503 (the server unreachable) names no server or user
    // agent, as every peer's answer does: nobody answered.
    const bool localTimeout =
        (status == 408 || status == 503) &&
        (sip == nullptr || (sip->sip_server == nullptr && sip->sip_user_agent == nullptr));
    std::string why = "the phone's answer: " + std::to_string(status) + " " + (phrase ? phrase : "");
    if (status == 401 || status == 407)
        why = "the server refused the user name and password (" + std::to_string(status) + ")";
    DWORD mode = localTimeout ? LINEDISCONNECTMODE_UNREACHABLE : FailureMode(status);
    if (status == 401 || status == 407)
        mode = LINEDISCONNECTMODE_UNAVAIL;
    if (localTimeout)
        why = NoServerRemark(std::to_string(status));
    Fail(mode, why);
    EndLeg();
}

void SipLine::OnReferAnswer(int status, const char* phrase, const sip_t* sip) {
    if (status < 200 || call->leg == Leg::Ending) // dropped meanwhile: its BYE follows the REFER
        return;
    if (status < 300) {
        call->leg = Leg::Referred;
        Report(LINECALLSTATE_PROCEEDING, 0);
        return;
    }
    if ((status == 401 || status == 407) && Authenticate(status, sip))
        return;
    Fail(LINEDISCONNECTMODE_UNAVAIL,
         "the phone refused the REFER: " + std::to_string(status) + " " + (phrase ? phrase : ""));
}

void SipLine::OnNotify(const sip_t* sip) {
    if (sip == nullptr || sip->sip_payload == nullptr || call->leg == Leg::Ending || call->leg == Leg::Ended)
        return;
    const std::string_view body(sip->sip_payload->pl_data, sip->sip_payload->pl_len);
    const std::optional<int> status = SipfragStatus(body);
    if (!status) {
        Remark("a NOTIFY whose body is no SIP status line; ignored");
        return;
    }
    if (*status < 180)
        return;
    if (*status < 200) {
        Report(LINECALLSTATE_RINGBACK, 0);
    } else if (*status < 300) {
        Report(LINECALLSTATE_CONNECTED, 0);
    } else if (*status == 486 || *status == 600) {
        Report(LINECALLSTATE_BUSY, LINEBUSYMODE_STATION);
    } else {
        Fail(FailureMode(*status), "the phone's call to the number failed: " + std::to_string(*status));
    }
}

} // namespace localtapi::sip
