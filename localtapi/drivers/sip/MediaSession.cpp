#include "localtapi/drivers/sip/MediaSession.h"

#include <sofia-sip/sdp.h>
#include <sofia-sip/soa.h>
#include <sofia-sip/soa_tag.h>
#include <sofia-sip/su_alloc.h>
#include <sofia-sip/su_string.h>

#include <cctype>
#include <cstring>

namespace localtapi::sip {

namespace {

// Large enough for any phone's offer of a few streams and their codecs.
constexpr std::size_t kMaxSdpBytes = 16 * 1024;

bool TokenChar(char c) {
    // (strchr finds the terminating NUL too: a NUL is no token character.)
    return std::isalnum(static_cast<unsigned char>(c)) ||
           (c != '\0' && std::strchr("-!#$%&'*+.^_`{|}~", c) != nullptr);
}

// The words of a media line after "m=", as RFC 4566 has them: media SP port ["/" integer]
// SP proto SP fmt *(SP fmt), proto being tokens joined by "/".
bool PlainMediaLine(std::string_view line) {
    std::size_t words = 0;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        const std::string_view word = line.substr(at, end - at);
        if (word.empty())
            return false;
        const bool isPort = words == 1;
        const bool isProto = words == 2;
        for (std::size_t i = 0; i < word.size(); ++i) {
            const char c = word[i];
            const bool slash = c == '/' && i > 0 && i + 1 < word.size() && word[i - 1] != '/';
            if (isPort ? !(std::isdigit(static_cast<unsigned char>(c)) || slash)
                       : !(TokenChar(c) || (isProto && slash)))
                return false;
        }
        ++words;
        at = end + 1;
    }
    return words >= 4;
}

// The offer/answer engine's answer or offer, as text.
std::string LocalOf(const soa_session_t* soa) {
    const char* text = nullptr;
    isize_t length = 0;
    if (soa_get_local_sdp(soa, nullptr, &text, &length) <= 0 || text == nullptr)
        return {};
    return std::string(text, static_cast<std::size_t>(length));
}

bool G711(const sdp_rtpmap_t& map) {
    if (map.rm_encoding != nullptr && *map.rm_encoding != '\0')
        return map.rm_rate == 8000 &&
               (su_casematch(map.rm_encoding, "PCMU") || su_casematch(map.rm_encoding, "PCMA"));
    return map.rm_pt == 0 || map.rm_pt == 8; // the static payload types, no rtpmap line
}

// Whether the offer the engine holds has an audio stream over RTP/AVP, not rejected, in a
// law the driver offers.
bool OffersG711(const soa_session_t* soa) {
    const sdp_session_t* remote = nullptr;
    if (soa_get_remote_sdp(soa, &remote, nullptr, nullptr) <= 0 || remote == nullptr)
        return false;
    for (const sdp_media_t* m = remote->sdp_media; m != nullptr; m = m->m_next) {
        if (m->m_type != sdp_media_audio || m->m_proto != sdp_proto_rtp || m->m_port == 0 || m->m_rejected)
            continue;
        for (const sdp_rtpmap_t* map = m->m_rtpmaps; map != nullptr; map = map->rm_next)
            if (G711(*map))
                return true;
    }
    return false;
}

} // namespace

// Audio both ways on the call's own port, PCMU and PCMA (G.711 as phones everywhere take
// it): the phone may hold it, answer with either law or send to it; what it sends is
// thrown away (RFC 3725: the controller's leg carries no audio). ("a=sendrecv" is the
// default the engine leaves unsaid.)
std::string MediaOffer(const std::string& address, int port) {
    const std::string net = address.find(':') != std::string::npos ? "IN IP6 " : "IN IP4 ";
    return "v=0\r\n"
           "s=-\r\n" +
           (address.empty() ? std::string() : "c=" + net + address + "\r\n") +
           "t=0 0\r\n"
           "m=audio " +
           std::to_string(port) +
           " RTP/AVP 0 8\r\n"
           "a=rtpmap:0 PCMU/8000\r\n"
           "a=rtpmap:8 PCMA/8000\r\n"
           "a=sendrecv\r\n";
}

bool PlainSdp(std::string_view sdp) {
    if (sdp.empty() || sdp.size() > kMaxSdpBytes)
        return false;
    std::size_t at = 0;
    while (at < sdp.size()) {
        std::size_t end = sdp.find('\n', at);
        if (end == std::string_view::npos)
            end = sdp.size();
        std::string_view line = sdp.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.size() < 2 || line[0] < 'a' || line[0] > 'z' || line[1] != '=')
            return false;
        // Text: no control characters; UTF-8 is allowed where RFC 4566 allows it (a
        // session name, an attribute), never in a media line (its grammar is ASCII).
        for (char c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                return false;
        if (line[0] == 'm' && !PlainMediaLine(line.substr(2)))
            return false;
    }
    return true;
}

MediaSession::MediaSession(su_root_t* root, const std::string& address, int port) {
    soa = soa_create("default", root, nullptr);
    if (soa == nullptr)
        return;
    const std::string offer = MediaOffer(address, port);
    soa_set_params(soa, SOATAG_USER_SDP_STR(offer.c_str()),
                   TAG_IF(!address.empty(), SOATAG_ADDRESS(address.c_str())), TAG_END());
}

MediaSession::~MediaSession() {
    if (soa != nullptr)
        soa_destroy(soa);
}

std::string MediaSession::Offer() {
    if (soa == nullptr)
        return {};
    soa_init_offer_answer(soa);
    if (soa_generate_offer(soa, 1, nullptr) < 0)
        return {};
    return LocalOf(soa);
}

bool MediaSession::TakeAnswer(std::string_view sdp, std::string& why) {
    if (soa == nullptr || !PlainSdp(sdp)) {
        why = "its media description is not plain SDP";
        return false;
    }
    if (soa_set_remote_sdp(soa, nullptr, sdp.data(), static_cast<issize_t>(sdp.size())) < 0 ||
        soa_process_answer(soa, nullptr) < 0) {
        why = "its media description does not answer the offer";
        return false;
    }
    return true;
}

std::optional<std::string> MediaSession::Answer(std::string_view offer, std::string& why) {
    if (soa == nullptr || !PlainSdp(offer)) {
        why = "its media description is not plain SDP";
        return std::nullopt;
    }
    soa_init_offer_answer(soa);
    if (soa_set_remote_sdp(soa, nullptr, offer.data(), static_cast<issize_t>(offer.size())) < 0) {
        why = "its media description cannot be read";
        return std::nullopt;
    }
    if (!OffersG711(soa)) {
        why = "it offers no PCMU or PCMA audio";
        soa_init_offer_answer(soa);
        return std::nullopt;
    }
    if (soa_generate_answer(soa, nullptr) < 0) {
        why = "no answer could be made to it";
        soa_init_offer_answer(soa);
        return std::nullopt;
    }
    std::string answer = LocalOf(soa);
    if (answer.empty())
        why = "no answer could be made to it";
    return answer.empty() ? std::nullopt : std::optional<std::string>(answer);
}

} // namespace localtapi::sip
