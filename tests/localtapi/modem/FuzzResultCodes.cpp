// libFuzzer target: arbitrary modem output through the line assembler and classifier,
// and arbitrary text through the dial-string builder. Checks the invariants the driver
// relies on: chunking never changes the lines, no line holds a terminator or exceeds the
// limit, and every dial command fits the modem's buffer and ends in ';'.
#include "DialString.h"
#include "ResultCodes.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 16;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    modem::LineAssembler whole;
    const auto expected = whole.Feed(bytes);

    modem::LineAssembler pieces;
    std::size_t index = 0;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        for (const modem::ResponseLine& line : pieces.Feed(bytes.substr(i, chunk))) {
            Check(index < expected.size());
            Check(line.text == expected[index].text && line.kind == expected[index].kind &&
                  line.result == expected[index].result);
            Check(line.text.size() <= modem::LineAssembler::kMaxLineBytes);
            Check(line.text.find_first_of("\r\n") == std::string::npos);
            Check((line.kind == modem::LineKind::Final) ==
                  (line.result != modem::Result::None && line.result != modem::Result::Ring));
            ++index;
        }
        Check(pieces.Pending().size() <= modem::LineAssembler::kMaxLineBytes);
    }
    Check(index == expected.size());

    const std::size_t split = bytes.size() / 3;
    if (const auto commands =
            modem::BuildDialCommands(bytes.substr(split), bytes.substr(0, split),
                                     (data[0] & 0x80) ? modem::DialMode::Pulse : modem::DialMode::Tone)) {
        Check(!commands->empty());
        for (const std::string& c : *commands) {
            Check(c.size() <= modem::kMaxCommandChars && c.size() >= 5);
            Check(c.back() == ';' && c.compare(0, 3, "ATD") == 0);
            Check(c.find_first_of("\r\n; -().", 3) == c.size() - 1);
        }
    }
    return 0;
}
