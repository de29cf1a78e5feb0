#pragma once

#include "platform/result.h"

#include <string>
#include <string_view>

namespace vemla {

// A packet typed in Hex coding may be a template: bytes among the tokens of a trigger's REPLY
// that need no request ('text', a checksum kind such as CRC16M, CK(a..b), :LE, :BE, :HEX), as
// in "01 03 00 0A 00 02 CRC16M". Its checksums are computed over the bytes before them. A text
// that reads as plain hex is no template.
bool IsSendTemplate(std::string_view text);
// The bytes of a template. A token that does not read, or one that copies request bytes ($i),
// is refused with the reason and its position (counted from 1).
TResult<std::string> SendTemplateBytes(std::string_view text);
// Whether a text was meant as a template (a quote, a $ or a name in capitals among its
// tokens); plain hex never is.
bool LooksLikeSendTemplate(std::string_view text);

} // namespace vemla
