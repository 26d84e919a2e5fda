// The status line of a message/sipfrag body (RFC 3420), as the NOTIFYs of a REFER carry
// it (RFC 3515): "SIP/2.0 180 Ringing". The one piece of SIP this program parses itself;
// everything else is the SIP stack's.
#pragma once

#include <optional>
#include <string_view>

namespace localtapi::sip {

// The status code (100 to 699) of the body's first line; nothing when that line is not a
// SIP/2.0 status line.
std::optional<int> SipfragStatus(std::string_view body);

} // namespace localtapi::sip
