// SipStack: Sofia-SIP's user agent as the SIP line runs it. Start makes a root of the
// stack's own that the GLib main loop (the one Qt's event loop runs) services, on the
// caller's thread, and the agent on it: bound where the line says, sending through its
// proxy, over TLS checking the server's certificate against the system's trust store and
// the host name. The agent answers nothing by itself: INVITE, UPDATE, REFER, SUBSCRIBE and
// MESSAGE come to the handler, which the line answers. The stack is quiet on standard
// error. Shutdown lets the agent end its dialogs (it reports nua_r_shutdown); Destroy
// tears it down in the order the stack needs. What it does not do: it knows no calls and
// no handles; the line destroys its handles before Destroy.
#pragma once

#include <functional>
#include <string>

struct nua_s;
struct nua_handle_s;
struct su_root_s;
struct sip_s;
struct _GSource;

namespace localtapi::sip {

// The shortest session interval the driver takes from the phone, first or in a refresh
// (RFC 4028's floor): seconds.
constexpr unsigned kMinSessionSeconds = 90;

struct SipStackConfig {
    std::string bind;  // sip:ADDRESS:*;transport=udp, or sips:ADDRESS:* for TLS
    std::string from;  // <sip:user@domain>
    std::string user;  // the Contact's user part
    std::string proxy; // every request goes here first; empty: none
    bool tls = false;  // check the server's certificate
};

class SipStack {
  public:
    // Every event of the agent: nua_event_t, status, phrase, handle, the message.
    using Handler = std::function<void(int event, int status, const char* phrase, nua_handle_s* nh,
                                       const sip_s* sip)>;

    explicit SipStack(Handler handler);
    ~SipStack();
    SipStack(const SipStack&) = delete;
    SipStack& operator=(const SipStack&) = delete;

    // False, with why for the user, when no agent could be made (no socket, say).
    bool Start(const SipStackConfig& config, std::string& why);
    bool Running() const { return nua != nullptr; }
    nua_s* Agent() const { return nua; }
    su_root_s* Root() const { return root; }
    void Shutdown();
    void Destroy();

  private:
    Handler handler;
    su_root_s* root = nullptr;
    ::_GSource* source = nullptr;
    nua_s* nua = nullptr;
};

} // namespace localtapi::sip
