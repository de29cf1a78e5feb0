#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vemla {

// 0 is hex; every other value is text (1 "Win+Hex" and 2 "Win" read and write alike).
using TCoding = uint8_t;
constexpr TCoding kHexCoding = 0;

// Bytes travel as std::string: one char per byte, as on the wire.
uint8_t HexValue(std::string_view text);
std::string TextToBytes(std::string_view text, TCoding coding);
std::string BytesToText(std::string_view bytes, TCoding coding);
// The text itself when the codings are equal, else its bytes written in the other coding.
std::string Recode(std::string_view text, TCoding from, TCoding to);

} // namespace vemla
