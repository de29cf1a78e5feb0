#pragma once

#include "codec/checksum.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// One piece of an answer: fixed bytes, bytes of the request, or a checksum of the answer.
struct TTemplatePart {
    enum class TKind : uint8_t { Bytes, Request, Checksum };
    TKind Kind = TKind::Bytes;
    std::string Bytes;
    // Request: bytes First..Last (inclusive; counted from the end when negative, -1 the last;
    // Last empty: to the end). Checksum: the answer's bytes First..Last, all so far when empty.
    int32_t First = 0;
    std::optional<int32_t> Last;
    bool Range = false; // Checksum: First..Last given
    std::optional<TChecksum> Check;
    bool LowByteFirst = false;
    bool HexDigits = false; // the checksum written as ASCII hex digits
};

// An answer built from the request: "HH", 'text', "$i", "$i..j", "$i..", "$-k", and checksums
// "CK" or "CK(a..b)" with ":LE", ":BE" (byte order) and ":HEX" (as hex digits).
struct TAnswerTemplate {
    std::vector<TTemplatePart> Parts;
    // The answer to the request; nothing when a part reaches outside the request or outside
    // the answer made so far.
    std::optional<std::string> Build(std::string_view request) const;
};

struct TTemplateParse {
    TAnswerTemplate Template;
    bool Ok = false;
    std::string BadToken;
};
TTemplateParse ParseTemplate(std::string_view text);

} // namespace vemla
