#include "localtapi/drivers/sip/SipStack.h"
#include "localtapi/drivers/sip/SipSettings.h"

#include <sofia-sip/nua.h>
#include <sofia-sip/nua_tag.h>
#include <sofia-sip/sip_tag.h>
#include <sofia-sip/su_glib.h>
#include <sofia-sip/su_log.h>
#include <sofia-sip/tport_tag.h>

#include <utility>

// The stack's logs, declared by its private headers only.
extern "C" su_log_t nua_log[];
extern "C" su_log_t nta_log[];
extern "C" su_log_t tport_log[];

namespace localtapi::sip {

namespace {

// Certificates between the server's and a trusted root, at most.
constexpr unsigned kTlsChainDepth = 8;

// The stack keeps quiet on standard error, even about what it calls fatal (a shutdown cut
// short by the driver's bound): what matters reaches the trace as the line's remarks.
void Discard(void*, char const*, va_list) {}

bool InitialiseLibrary() {
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
    (*static_cast<SipStack::Handler*>(magic))(event, status, phrase, nh, sip);
}

} // namespace

SipStack::SipStack(Handler h) : handler(std::move(h)) {}

SipStack::~SipStack() {
    Destroy();
}

bool SipStack::Start(const SipStackConfig& config, std::string& why) {
    static const bool initialised = InitialiseLibrary();
    if (!initialised || (root = su_glib_root_create(nullptr)) == nullptr) {
        why = "the SIP stack did not start";
        return false;
    }
    // The whole stack runs on this root, on this thread: left to itself, the stack would
    // start a thread of its own, and its shutdown could then race the line's destroying of
    // handles.
    su_root_threading(root, 0);
    // Serviced by the loop Qt runs. Held here too, so that it leaves that loop for certain
    // when the stack goes: a source left behind would call into a line that is gone.
    source = g_source_ref(su_glib_root_gsource(root));
    g_source_attach(source, nullptr);
    // TLS: the server's certificate must chain to one the system trusts and name the host
    // connected to; otherwise the connection is closed and the request fails.
    const std::string trust = TrustStore();
    nua = nua_create(root, Callback, &handler, NUTAG_URL(config.bind.c_str()), SIPTAG_FROM_STR(config.from.c_str()),
                     NUTAG_M_USERNAME(config.user.c_str()), NUTAG_MEDIA_ENABLE(0),
                     TAG_IF(!config.proxy.empty(), NUTAG_PROXY(config.proxy.c_str())),
                     TAG_IF(config.tls, TPTAG_CERTIFICATE(trust.c_str())),
                     TAG_IF(config.tls, TPTAG_TLS_VERIFY_POLICY(TPTLS_VERIFY_SUBJECTS_OUT)),
                     TAG_IF(config.tls, TPTAG_TLS_VERIFY_DEPTH(kTlsChainDepth)), TAG_END());
    if (nua == nullptr) {
        why = "no socket for SIP could be opened on " + config.bind;
        Destroy();
        return false;
    }
    // Nothing to offer callers, to REFERs from others or to subscriptions: REFER,
    // SUBSCRIBE and MESSAGE are the application's to answer (the stack itself would accept
    // them), and so are the phone's re-INVITEs and UPDATEs within a call (the stack's own
    // media handling stays off: it would parse SDP from anyone, unchecked).
    // Session timers: the stack refreshes when the phone leaves it to the line (by UPDATE,
    // which needs no media description), and a refresh is held to the same floor as the
    // phone's first answer: RFC 4028's.
    nua_set_params(nua, NUTAG_AUTOANSWER(0), NUTAG_ALLOW("INVITE, ACK, BYE, CANCEL, NOTIFY, OPTIONS, UPDATE"),
                   NUTAG_APPL_METHOD("REFER, SUBSCRIBE, MESSAGE, UPDATE"), NUTAG_MIN_SE(kMinSessionSeconds),
                   NUTAG_UPDATE_REFRESH(1), TAG_END());
    return true;
}

void SipStack::Shutdown() {
    if (nua != nullptr)
        nua_shutdown(nua);
}

// The agent first: its sockets and timers live on the root. The source leaves the GLib
// loop before the root goes, so that the loop never services a root that is gone; the
// stack's own reference to it goes with the root, and ours last.
void SipStack::Destroy() {
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

} // namespace localtapi::sip
