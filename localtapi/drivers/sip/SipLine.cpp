#include "localtapi/drivers/sip/SipLine.h"

#include "localtapi/drivers/sip/LocalRoute.h"

#include <sofia-sip/nua.h>
#include <sofia-sip/nua_tag.h>
#include <sofia-sip/sip_tag.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <utility>

namespace localtapi::sip {

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

Leg LegAfter(Leg leg, LegEvent event) {
    switch (event) {
    case LegEvent::Heard:
        return leg == Leg::Inviting ? Leg::Heard : leg;
    case LegEvent::Accepted:
        return Inviting(leg) ? Leg::Answered : leg;
    case LegEvent::ReferAccepted:
        return leg == Leg::Answered ? Leg::Referred : leg;
    case LegEvent::EndSent:
        return Inviting(leg) || Up(leg) ? Leg::Ending : leg;
    case LegEvent::Over:
        return Leg::Ended;
    }
    return leg;
}

SipLine::SipLine(SipSettings settings, SipTimeouts timeouts)
    : s(std::move(settings)), t(timeouts),
      stack([this](int event, int status, const char* phrase, nua_handle_s* nh, const sip_s* sip) {
          OnEvent(event, status, phrase, nh, sip);
      }) {
    for (QTimer* timer : {&answerTimer, &serverTimer, &dropTimer, &shutdownTimer})
        timer->setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, [this] {
        if (call && Inviting(call->leg))
            Fail(LINEDISCONNECTMODE_NOANSWER,
                 "the phone did not answer in " + std::to_string(s.timeout.count()) + " s: CANCEL");
    });
    connect(&serverTimer, &QTimer::timeout, this, [this] {
        if (call && call->leg == Leg::Inviting)
            Fail(LINEDISCONNECTMODE_UNREACHABLE, NoServerRemark(std::to_string(t.server.count()) + " ms"));
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
    if (stack.Running()) {
        // Still shutting down: wait for it, bounded, so that no socket outlives the line.
        QElapsedTimer clock;
        clock.start();
        while (stack.Running() && clock.elapsed() < t.shutdown.count())
            QCoreApplication::processEvents(
                QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents, 20);
        DestroyStack();
    }
}

DeviceCaps SipLine::Caps() const {
    return s.caps;
}

LONG SipLine::Open(LineDriverSink& target) {
    if (stack.Running()) // the last close still shutting down
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
        password.clear();
        return LINEERR_RESOURCEUNAVAIL;
    }
    SipStackConfig config;
    config.bind = s.transport == "tls" ? "sips:" + local + ":*" : "sip:" + local + ":*;transport=" + s.transport;
    config.from = "<sip:" + s.user + "@" + s.domain + ">";
    config.user = s.user;
    config.proxy = OutboundProxy(s);
    config.tls = s.transport == "tls";
    if (std::string why; !stack.Start(config, why)) {
        Remark(why, true);
        password.clear();
        return LINEERR_RESOURCEUNAVAIL;
    }
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
        EndOwnLeg();
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
    stack.Shutdown();
    shutdownTimer.start(t.shutdown);
}

// The handles first, then the stack: destroying a handle after its agent would touch
// freed memory.
void SipLine::DestroyStack() {
    shutdownTimer.stop();
    serverTimer.stop();
    if (call && call->handle != nullptr)
        nua_handle_destroy(call->handle);
    call.reset();
    for (nua_handle_s* nh : lingering)
        nua_handle_destroy(nh);
    lingering.clear();
    stack.Destroy();
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
    call->session = std::make_unique<MediaSession>(stack.Root(), mediaAddress, media->Port());
    call->media = std::move(media);
    const std::string offer = call->session->Offer();
    if (offer.empty()) {
        Remark("no media description could be made for the call", true);
        call.reset();
        return LINEERR_RESOURCEUNAVAIL;
    }
    // (The phone's re-INVITEs on this handle are AnswerPhone's to answer, never the stack's.)
    call->handle = nua_handle(stack.Agent(), nullptr, NUTAG_AUTOANSWER(0), SIPTAG_TO_STR(s.phone.c_str()), TAG_END());
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
    if (call->leg == Leg::Ended) {
        QTimer::singleShot(0, this, [this, id, request] {
            if (call && call->id == id && call->dropRequest == request)
                FinishDrop();
        });
        return 0;
    }
    EndOwnLeg();
    dropTimer.start(t.drop);
    return 0;
}

void SipLine::ReleaseCall(CallId id) {
    if (!call || call->id != id)
        return;
    EndOwnLeg();
    dropTimer.stop();
    call->released = true;
    if (call->leg == Leg::Ended) // nothing more will come for it
        FinishDrop();
}

void SipLine::Advance(LegEvent event) {
    call->leg = LegAfter(call->leg, event);
    if (!Inviting(call->leg))
        answerTimer.stop();
    if (call->leg != Leg::Inviting)
        serverTimer.stop();
}

// CANCEL while the INVITE has no final answer, BYE once the phone has answered; a leg
// already ending or ended is left to finish.
void SipLine::EndOwnLeg() {
    if (!call)
        return;
    if (Inviting(call->leg))
        nua_cancel(call->handle, TAG_END());
    else if (Up(call->leg))
        nua_bye(call->handle, TAG_END());
    Advance(LegEvent::EndSent);
}

// The driver's dialog is over (BYE or CANCEL answered, a final failure, or the phone hung
// up): a drop waiting for it, or a released call, is finished.
void SipLine::EndLeg() {
    if (!call)
        return;
    Advance(LegEvent::Over);
    if (call->dropRequest != 0 || call->released)
        FinishDrop();
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
    Report(LINECALLSTATE_DISCONNECTED, mode);
    EndOwnLeg();
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

std::string SipLine::NoServerRemark(const std::string& what) const {
    if (s.transport == "tls")
        return "no answer from the SIP server over TLS (" + what +
               "): unreachable, or its certificate was not accepted (it must chain to one the system trusts, "
               "in " +
               TrustStore() + ", and name the host connected to)";
    return "no answer from the SIP server at all (" + what + ")";
}

} // namespace localtapi::sip
