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
#pragma once

#include "localtapi/DriverSettings.h"
#include "localtapi/LineDriver.h"
#include "localtapi/drivers/DriverText.h"
#include "localtapi/drivers/sip/MediaPort.h"
#include "localtapi/drivers/sip/MediaSession.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct nua_s;
struct nua_handle_s;
struct su_root_s;
struct sip_s;
struct _GSource;

namespace localtapi::sip {

using namespace std::chrono_literals;

// The shortest session interval the driver takes from the phone, first or in a refresh
// (RFC 4028's floor): seconds.
constexpr unsigned kMinSessionSeconds = 90;

// The typed settings of a SIP line; keys and defaults in kSipSettings (SipLine.cpp).
struct SipSettings {
    std::string phone;  // the user's own phone, sip:201@pbx.example.com
    std::string domain; // the dialled number's host
    std::string proxy;  // outbound proxy, or empty
    std::string user;
    std::string password;  // a secret: never traced, shown or quoted
    bool keyring = false;  // the password is in the desktop's keyring (when not above)
    KeyringEntry secretEntry;
    std::string transport; // udp, tcp or tls
    bool autoanswer = false;
    std::chrono::seconds timeout{30}; // the phone's answer
    DeviceCaps caps;
};

std::optional<SipSettings> ReadSipSettings(const LineSettings& settings,
                                           std::vector<ConfigProblem>& problems);

// The keyring entry of a line's password: "OrvoDial line0: orvodial@pbx.example.com".
KeyringEntry SipPasswordEntry(const std::string& group, const std::string& user, const std::string& phoneHost);

// The number as Dial takes it: localtapi::DialableNumber.
using localtapi::DialableNumber;

// "<sip:NUMBER@DOMAIN;user=phone>", '#' escaped.
std::string ReferTarget(const std::string& number, const std::string& domain);

// The disconnect mode of a failure status: the phone's final answer to the INVITE, or
// the one the NOTIFYs report for its call to the number. (No answer from the server at
// all is UNREACHABLE, whatever status the stack gives it.)
DWORD FailureMode(int status);

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
    bool Busy() const override { return nua != nullptr && !open; }
    LONG MakeCall(RequestId request, CallId call, const char* destination) override;
    LONG Drop(RequestId request, CallId call) override;
    void ReleaseCall(CallId call) override;

    // For the SIP stack's callback.
    void OnEvent(int event, int status, const char* phrase, nua_handle_s* nh, const sip_s* sip);

  private:
    enum class Leg { Inviting, Answered, Referred, Ending, Ended };
    struct Call {
        Call() {} // (a constructor of its own: clang cannot make one for std::optional here)
        CallId id = 0;
        RequestId dropRequest = 0;
        nua_handle_s* handle = nullptr;
        std::string number;
        Leg leg = Leg::Inviting;
        DWORD state = 0;
        int authTries = 0;
        bool released = false;
        bool heard = false;                    // any answer to the INVITE
        std::unique_ptr<MediaPort> media;      // the port the offer names
        std::unique_ptr<MediaSession> session; // the offer and the answers
    };

    void OnInviteAnswer(int status, const char* phrase, const sip_s* sip);
    void OnReferAnswer(int status, const char* phrase, const sip_s* sip);
    void OnNotify(const sip_s* sip);
    bool Authenticate(int status, const sip_s* sip);
    void AnswerPhone(int event, nua_handle_s* nh, const sip_s* sip);
    void TakeAnswer(const sip_s* sip);
    std::string NoServerRemark(const std::string& what) const;
    void Report(DWORD state, DWORD mode);
    void Fail(DWORD mode, const std::string& why);
    void EndLeg();
    void FinishDrop();
    void Linger(std::vector<nua_handle_s*>::iterator it, int event, int status);
    void DestroyStack();

    SipSettings s;
    SipTimeouts t;
    LineDriverSink* sink = nullptr;
    su_root_s* root = nullptr;
    ::_GSource* source = nullptr;
    nua_s* nua = nullptr;
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

// The driver's description and settings, for the registry.
DriverInfo SipDriverInfo();

} // namespace localtapi::sip
