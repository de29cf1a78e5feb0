#pragma once

#include "codec/checksum.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// One byte of a mask: the bits in Care must equal those of Value ("3?": Care F0).
struct TMaskByte {
    uint8_t Value = 0;
    uint8_t Care = 0xFF;
    bool Matches(uint8_t byte) const { return (byte & Care) == Value; }
};

// A pattern over a whole packet: the head bytes, then (with a star) any run of bytes and the
// tail bytes at the end, then optionally a checksum that must be valid (=CK) or invalid (!CK).
struct TMask {
    std::vector<TMaskByte> Head, Tail;
    bool Star = false;
    std::optional<TChecksum> Check;
    bool CheckValid = true;

    bool Matches(std::string_view packet) const;
    // Every packet the other matches, this one matches too.
    bool Covers(const TMask& other) const;
    // Some packet matches both. Where only one of the two has a checksum condition, its
    // checksum is taken as bytes of any value: a packet of the right bytes may match both.
    bool Overlaps(const TMask& other) const;
    // The mask without its checksum condition, the checksum's bytes matching any value: it
    // matches every packet this one matches.
    TMask WithoutCheck() const;
};

// A mask as written: tokens "HH", "??", "H?", "?H", 'text' (code page 1251, <0xNN> escapes),
// "*" (once), and last "=CK" or "!CK". On failure BadToken is the token as written.
struct TMaskParse {
    TMask Mask;
    bool Ok = false;
    std::string BadToken;
};
TMaskParse ParseMask(std::string_view text);

// The next token of a mask or an answer template from at on, which it moves past the token:
// a run of non-blanks, or a 'quoted text' with its blanks (to the end when unclosed). Empty at
// the end of the text.
std::string_view NextPatternToken(std::string_view text, size_t& at);

} // namespace vemla
