// Any bytes as the phone's media offer inside the driver's call, taken as the SIP line
// takes a re-INVITE's: the call's MediaSession (the driver's offer made and answered
// first) answers it or refuses it; and the same bytes as the phone's answer to an offer.
// Never a crash, a hang, a leak or undefined behaviour; whatever is answered was plain SDP.
#include "localtapi/drivers/sip/MediaSession.h"

#include <sofia-sip/su_wait.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

su_root_t* Root() {
    static su_root_t* root = [] {
        su_init();
        return su_root_create(nullptr);
    }();
    return root;
}

constexpr const char* kPhoneAnswer = "v=0\r\no=p 1 1 IN IP4 10.77.0.2\r\ns=-\r\nc=IN IP4 10.77.0.2\r\n"
                                     "t=0 0\r\nm=audio 6000 RTP/AVP 0\r\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace localtapi::sip;
    const std::string_view sdp(reinterpret_cast<const char*>(data), size);
    std::string why;
    {
        MediaSession session(Root(), "10.77.0.1", 40000);
        if (session.Offer().empty() || !session.TakeAnswer(kPhoneAnswer, why))
            std::abort(); // the call's own offer and answer must work
        if (session.Answer(sdp, why) && !PlainSdp(sdp))
            std::abort(); // answered what never passed the check
    }
    {
        MediaSession session(Root(), "10.77.0.1", 40000);
        session.Offer();
        session.TakeAnswer(sdp, why);
    }
    return 0;
}
