// The SIP line's side of the stack: every event the agent reports comes to OnEvent, which
// hands it to the call's leg, to a leg still ending, or refuses it (nobody calls or
// instructs this line). The phone's requests within the call are answered here too.
#include "localtapi/drivers/sip/SipLine.h"

#include "localtapi/drivers/sip/SipFrag.h"

#include <sofia-sip/msg_header.h>
#include <sofia-sip/nua.h>
#include <sofia-sip/nua_tag.h>
#include <sofia-sip/sip_header.h>
#include <sofia-sip/sip_status.h>
#include <sofia-sip/sip_tag.h>

#include <algorithm>

namespace localtapi::sip {

namespace {

// The server or phone asks for the user and password.
bool IsChallenge(int status) {
    return status == 401 || status == 407;
}

} // namespace

// A 401 or 407 answered once with the user and password; false when the status is no
// challenge, or it was answered before, or there is nothing to answer it with.
bool SipLine::Authenticate(int status, const sip_t* sip) {
    if (!IsChallenge(status) || call->authTries++ > 0 || password.empty() || sip == nullptr)
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
        nua_respond(nh, SIP_403_FORBIDDEN, NUTAG_WITH_THIS(stack.Agent()), TAG_END());
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
        nua_respond(nh, SIP_481_NO_TRANSACTION, NUTAG_WITH_THIS(stack.Agent()), TAG_END());
        return;
    }
    const sip_payload_t* body = sip != nullptr ? sip->sip_payload : nullptr;
    std::string sdp;
    if (body != nullptr && body->pl_len > 0) {
        std::string why;
        const std::optional<std::string> answer = call->session->Answer({body->pl_data, body->pl_len}, why);
        if (!answer) {
            Remark("the phone's " + what + " refused (488): " + why);
            nua_respond(nh, SIP_488_NOT_ACCEPTABLE, NUTAG_WITH_THIS(stack.Agent()), TAG_END());
            return;
        }
        sdp = *answer;
    } else if (event == nua_i_invite) {
        sdp = call->session->Offer();
    }
    Remark("the phone's " + what + " answered");
    nua_respond(nh, SIP_200_OK, NUTAG_WITH_THIS(stack.Agent()),
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

// The INVITE's answers: the phone ringing, answering (then the REFER goes out), or
// refusing; and, once the call is up, the answers to the stack's own session refreshes.
void SipLine::OnInviteAnswer(int status, const char* phrase, const sip_t* sip) {
    Advance(LegEvent::Heard); // the server is there: no longer the TLS wait's concern
    if (Up(call->leg)) {
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
        if (call->leg == Leg::Ending) { // dropped or failed meanwhile: the 200 crossed the CANCEL
            nua_bye(call->handle, TAG_END());
            return;
        }
        Advance(LegEvent::Accepted);
        TakeAnswer(sip);
        const std::string target = ReferTarget(call->number, s.domain);
        Remark("the phone answered; REFER to " + target);
        nua_refer(call->handle, SIPTAG_REFER_TO_STR(target.c_str()), TAG_END());
        return;
    }
    if (Inviting(call->leg) && Authenticate(status, sip))
        return;
    const bool dropped = call->leg == Leg::Ending; // our CANCEL answered with 487, or a failure after a drop
    Advance(LegEvent::Over); // a final answer: nothing left to cancel
    if (!dropped) {
        // The stack's own 408 (timer B) or 503 (the server unreachable) names no server or
        // user agent, as every peer's answer does: nobody answered.
        const bool nobody = (status == 408 || status == 503) &&
                            (sip == nullptr || (sip->sip_server == nullptr && sip->sip_user_agent == nullptr));
        if (nobody)
            Fail(LINEDISCONNECTMODE_UNREACHABLE, NoServerRemark(std::to_string(status)));
        else if (IsChallenge(status))
            Fail(LINEDISCONNECTMODE_UNAVAIL,
                 "the server refused the user name and password (" + std::to_string(status) + ")");
        else
            Fail(FailureMode(status),
                 "the phone's answer: " + std::to_string(status) + " " + (phrase ? phrase : ""));
    }
    EndLeg();
}

void SipLine::OnReferAnswer(int status, const char* phrase, const sip_t* sip) {
    if (status < 200 || call->leg == Leg::Ending) // dropped meanwhile: its BYE follows the REFER
        return;
    if (status < 300) {
        Advance(LegEvent::ReferAccepted);
        Report(LINECALLSTATE_PROCEEDING, 0);
        return;
    }
    if (Authenticate(status, sip))
        return;
    Fail(LINEDISCONNECTMODE_UNAVAIL,
         "the phone refused the REFER: " + std::to_string(status) + " " + (phrase ? phrase : ""));
}

// The REFER's NOTIFYs: the progress of the phone's own call to the number.
void SipLine::OnNotify(const sip_t* sip) {
    if (sip == nullptr || sip->sip_payload == nullptr || !Up(call->leg))
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
