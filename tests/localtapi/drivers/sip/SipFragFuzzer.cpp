// Any bytes as a NOTIFY's sipfrag body: a status code in range or nothing, never a crash.
#include "localtapi/drivers/sip/SipFrag.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto code =
        localtapi::sip::SipfragStatus(std::string_view(reinterpret_cast<const char*>(data), size));
    if (code && (*code < 100 || *code > 699))
        std::abort();
    return 0;
}
