// libFuzzer target: modem output through the line assembler and classifier, text through the
// dial-string builder. Chunking never changes the lines; lines hold no terminator and stay
// bounded; every dial command fits the modem's buffer and ends in ';'.
#include "localtapi/drivers/modem/DialString.h"
#include "localtapi/drivers/modem/ResultCodes.h"

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
    const auto expected = localtapi::modem::LineAssembler().Feed(bytes);
    localtapi::modem::LineAssembler pieces;
    std::size_t index = 0;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        for (const localtapi::modem::ResponseLine& line : pieces.Feed(bytes.substr(i, chunk))) {
            Check(index < expected.size() && line.text == expected[index].text &&
                  line.kind == expected[index].kind && line.result == expected[index].result);
            Check(line.text.size() <= localtapi::modem::LineAssembler::kMaxLineBytes);
            Check(line.text.find_first_of("\r\n") == std::string::npos);
            Check((line.kind == localtapi::modem::LineKind::Final) ==
                  (line.result != localtapi::modem::Result::None && line.result != localtapi::modem::Result::Ring));
            ++index;
        }
        Check(pieces.Pending().size() <= localtapi::modem::LineAssembler::kMaxLineBytes);
    }
    Check(index == expected.size());

    const std::size_t split = bytes.size() / 3;
    const auto mode = (data[0] & 0x80) ? localtapi::modem::DialMode::Pulse : localtapi::modem::DialMode::Tone;
    if (const auto commands = localtapi::modem::BuildDialCommands(bytes.substr(split), bytes.substr(0, split), mode)) {
        Check(!commands->empty());
        for (const std::string& c : *commands) {
            Check(c.size() <= localtapi::modem::kMaxCommandChars && c.size() >= 5);
            Check(c.back() == ';' && c.compare(0, 3, "ATD") == 0);
            Check(c.find_first_of("\r\n; -().", 3) == c.size() - 1);
        }
    }
    return 0;
}
