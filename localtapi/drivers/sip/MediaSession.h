// MediaSession: the media descriptions of one click-to-dial leg, made and answered by the
// SIP stack's own offer/answer engine (Sofia-SIP's soa, RFC 3264) and its SDP parser. The
// driver offers audio both ways on the call's own port, G.711 in both laws; it answers the
// offers the phone makes inside the call (a hold answered recvonly or inactive, a refresh
// kept as it was) and refuses one with no audio in either law, the session going on as it
// was. Every description from the network first passes PlainSdp: the parser of the SIP
// stack Debian ships loops without end, allocating, on some malformed media lines (a
// format list with a character no token has), so nothing it could choke on reaches it.
// What it does not do: no audio (MediaPort throws away what arrives), no other codecs, no
// secure RTP, no ICE.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct soa_session;
struct su_root_s;

namespace localtapi::sip {

// The driver's offer as the stack takes it: audio on port of address (an IPv4 or IPv6
// literal, no brackets); an address of "" leaves the stack to name its own.
std::string MediaOffer(const std::string& address, int port);

// Whether sdp is SDP in the plain form RFC 4566 writes (lines "x=" of text without control
// characters, the media lines by their grammar), small enough; anything else is refused
// unread.
bool PlainSdp(std::string_view sdp);

class MediaSession {
  public:
    MediaSession(su_root_s* root, const std::string& address, int port);
    ~MediaSession();
    MediaSession(const MediaSession&) = delete;
    MediaSession& operator=(const MediaSession&) = delete;

    // The driver's offer (for its INVITE, or the 200 to a re-INVITE without one); "" when
    // the engine made none.
    std::string Offer();
    // The phone's answer to the last offer: false, with why, when it is not taken.
    bool TakeAnswer(std::string_view sdp, std::string& why);
    // The answer to the phone's offer, or nothing, with why, when it is refused (488).
    std::optional<std::string> Answer(std::string_view offer, std::string& why);

  private:
    std::string Local() const;
    soa_session* soa = nullptr;
};

} // namespace localtapi::sip
