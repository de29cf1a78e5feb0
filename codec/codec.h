#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vemla {

// How bytes are written as text: hex, or text of code page 1251 with <0xNN> escapes ("Win" is
// the escaped text too; only the traffic view shows it differently). Stored in files as the
// integers 0, 1, 2.
enum class TCoding : uint8_t { Hex = 0, WinHex = 1, Win = 2 };

// The coding a stored integer names; anything outside 0..2 is Hex.
constexpr TCoding CodingFromInteger(int32_t value) {
    return value >= 0 && value <= 2 ? static_cast<TCoding>(value) : TCoding::Hex;
}
constexpr int32_t CodingToInteger(TCoding coding) {
    return static_cast<int32_t>(coding);
}

// The value of a hex digit (either case), or -1 for any other character.
int HexDigit(char ch);
// Bytes travel as std::string: one char per byte, as on the wire.
uint8_t HexValue(std::string_view text);
std::string TextToBytes(std::string_view text, TCoding coding);
std::string BytesToText(std::string_view bytes, TCoding coding);
// The text itself when the codings are equal, else its bytes written in the other coding.
std::string Recode(std::string_view text, TCoding from, TCoding to);

} // namespace vemla
