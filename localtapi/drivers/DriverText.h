// Small pieces of text handling that several line drivers share: a number as a phone or a
// SIP address takes it, and a line's permanent ID from the text that names its device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace localtapi {

// The number with visual separators (space - . ( )) removed: [+][0-9*#]+ is left; nothing
// when that is empty or anything else is in it.
std::optional<std::string> DialableNumber(std::string_view number);

// A permanent line ID that stays the same for the same device (FNV-1a of its name).
std::uint32_t StableLineId(std::string_view device);

} // namespace localtapi
