// SipLine: a line device that is the user's own SIP phone (a desk phone or a softphone),
// driven by third-party call control ("click-to-dial", RFC 3725 with RFC 3515 REFER).
//
// A call INVITEs the user's phone (offering audio on a port of the call's own, whose
// packets are thrown away: the driver carries no audio), asks it to answer at once when
// autoanswer is set,
// and once it has answered, REFERs it, inside that dialog, to the dialled number: the phone
// calls the number itself. The REFER's NOTIFYs (message/sipfrag) report that call's
// progress. Inside the call the phone may hold it or refresh the session (re-INVITE,
// UPDATE): answered by RFC 3264 and 4028. The drop ends only the driver's own dialog (CANCEL before the phone
// answered, BYE after), so the phone keeps its call to the number. Digest authentication with user and
// password. The SIP stack is Sofia-SIP's user agent, serviced by the GLib main loop that Qt's event loop
// runs, all of it on the service's thread (no thread of its own). Over TLS every request goes to the server
// (the proxy, or the phone's host) on one connection whose certificate is checked against the system's trust
// store and the host name; a certificate that fails the check fails the call. What it does not do: no audio,
// no registration, no incoming calls, one call at a time, no certificate of its own (no mutual TLS).
//
// The driver's own dialog with the phone (its leg) goes one way only:
//
//   Inviting -> Heard -> Answered -> Referred -> Ending -> Ended
//   INVITE out  any      200: REFER   REFER 2xx  CANCEL   over (answered, 487,
//               answer   out                     or BYE   the phone's BYE, a failure)
//
// Every step is LegAfter's (the table below); EndOwnLeg ends the leg from whatever step it
// is at (CANCEL while inviting, BYE once answered). The application's side is apart: a
// pending drop request, and whether the service released the call (then nothing more is
// reported, and the call is forgotten once its leg has ended).
#pragma once

#include "localtapi/LineDriver.h"
#include "localtapi/drivers/DriverText.h"
#include "localtapi/drivers/sip/MediaPort.h"
#include "localtapi/drivers/sip/MediaSession.h"
#include "localtapi/drivers/sip/SipSettings.h"
#include "localtapi/drivers/sip/SipStack.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace localtapi::sip {

using namespace std::chrono_literals;

// The number as Dial takes it: localtapi::DialableNumber.
using localtapi::DialableNumber;

// "<sip:NUMBER@DOMAIN;user=phone>", '#' escaped.
std::string ReferTarget(const std::string& number, const std::string& domain);

// The disconnect mode of a failure status: the phone's final answer to the INVITE, or
// the one the NOTIFYs report for its call to the number. (No answer from the server at
// all is UNREACHABLE, whatever status the stack gives it.)
DWORD FailureMode(int status);

// The driver's leg, in the order its steps come.
enum class Leg { Inviting, Heard, Answered, Referred, Ending, Ended };

// What moves a leg on.
enum class LegEvent {
    Heard,         // any answer to the INVITE (the server is there), before the others
    Accepted,      // the INVITE's 2xx
    ReferAccepted, // the REFER's 2xx
    EndSent,       // CANCEL or BYE sent
    Over,          // the dialog is over: its end answered, a final failure, the phone's BYE
};

// The step after leg on event; an event that does not apply there leaves it as it is, so
// that a leg never goes back.
Leg LegAfter(Leg leg, LegEvent event);

// The INVITE is out without a final answer; and the phone has answered, the leg not ending.
inline bool Inviting(Leg leg) { return leg == Leg::Inviting || leg == Leg::Heard; }
inline bool Up(Leg leg) { return leg == Leg::Answered || leg == Leg::Referred; }

// Waits of the driver's own (the SIP stack's timers are RFC 3261's).
struct SipTimeouts {
    std::chrono::milliseconds drop = 5s;     // BYE or CANCEL to its answer
    std::chrono::milliseconds shutdown = 5s; // the stack's shutdown
    // Over TLS, the INVITE's first answer that the stack reports (the phone ringing, or a
    // final one): none by then, and the server is taken to be unreachable or its
    // certificate refused (which the stack closes the connection for without a word).
    std::chrono::milliseconds server = 10s;
};

class SipLine : public QObject, public LineDriver {
    Q_OBJECT

  public:
    explicit SipLine(SipSettings settings, SipTimeouts timeouts = {});
    ~SipLine() override;

    DeviceCaps Caps() const override;
    LONG Open(LineDriverSink& sink) override;
    void Close() override;
    bool Busy() const override { return stack.Running() && !open; }
    LONG MakeCall(RequestId request, CallId call, const char* destination) override;
    LONG Drop(RequestId request, CallId call) override;
    void ReleaseCall(CallId call) override;

  private:
    struct Call {
        Call() {} // (a constructor of its own: clang cannot make one for std::optional here)
        CallId id = 0;
        nua_handle_s* handle = nullptr;
        std::string number;
        Leg leg = Leg::Inviting;
        DWORD state = 0; // the last reported LINECALLSTATE_*
        int authTries = 0;
        RequestId dropRequest = 0; // a drop waiting for the leg to end
        bool released = false;     // the service forgot the call
        std::unique_ptr<MediaPort> media;      // the port the offer names
        std::unique_ptr<MediaSession> session; // the offer and the answers
    };

    // The leg (SipLine.cpp).
    void Advance(LegEvent event);
    void EndOwnLeg();
    void EndLeg();
    void Report(DWORD state, DWORD mode);
    void Fail(DWORD mode, const std::string& why);
    void FinishDrop();
    void DestroyStack();
    std::string NoServerRemark(const std::string& what) const;

    // The stack's events (SipEvents.cpp).
    void OnEvent(int event, int status, const char* phrase, nua_handle_s* nh, const sip_s* sip);
    void OnInviteAnswer(int status, const char* phrase, const sip_s* sip);
    void OnReferAnswer(int status, const char* phrase, const sip_s* sip);
    void OnNotify(const sip_s* sip);
    bool Authenticate(int status, const sip_s* sip);
    void AnswerPhone(int event, nua_handle_s* nh, const sip_s* sip);
    void TakeAnswer(const sip_s* sip);
    void Linger(std::vector<nua_handle_s*>::iterator it, int event, int status);

    SipSettings s;
    SipTimeouts t;
    SipStack stack;
    LineDriverSink* sink = nullptr;
    bool open = false;
    std::string mediaAddress; // the address SIP goes from, for the media; "" when unknown
    std::string password;     // this open's: the file's or the keyring's; a secret
    std::optional<Call> call;
    std::vector<nua_handle_s*> lingering; // legs dropped for the application, still ending
    QTimer answerTimer;                   // the phone's answer
    QTimer serverTimer;                   // the server's first answer
    QTimer dropTimer;                     // the BYE's or CANCEL's answer
    QTimer shutdownTimer;
};

} // namespace localtapi::sip
