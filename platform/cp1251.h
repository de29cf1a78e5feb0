#pragma once

#include <string>
#include <string_view>

namespace vemla {

// Every text inside vemla is 8-bit CP1251; these two are the only crossings to Unicode.
std::string Cp1251ToUtf8(std::string_view text);
// Characters that CP1251 cannot hold become '?'.
std::string Utf8ToCp1251(std::string_view text);

} // namespace vemla
