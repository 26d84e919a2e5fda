// LocalRoute: the local address this computer's routing picks toward a SIP server, found
// the way the system offers it: a UDP socket connected to the server (connect() on a
// datagram socket sends nothing; it only chooses the route) and asked for its own address
// (getsockname). On a computer with several networks (a VPN to the office beside the home
// LAN) that is the address the server can answer, which the SIP stack is then bound to.
// What it does not do: no SRV or NAPTR lookups (a name that has only those has no address
// here, and the SIP stack is left to choose), no reading of routing tables, no watching
// of the network (the line finds the address again each time it opens).
#pragma once

#include <string>

namespace localtapi::sip {

struct LocalRoute {
    enum class Outcome {
        Found,     // address: "10.231.7.1", or an IPv6 one without brackets
        NoAddress, // the name resolves to no address (why says so)
        NoRoute,   // no network reaches any of its addresses (why says so)
    };
    Outcome outcome = Outcome::NoAddress;
    std::string address;
    std::string why;
};

// host: a name, an IPv4 address or an IPv6 one (brackets allowed); port: a number.
LocalRoute LocalAddressToward(const std::string& host, const std::string& port);

} // namespace localtapi::sip
