#pragma once

#include <string>
#include <string_view>

namespace vemla {

// Recodes a text of the given character set (as nl_langinfo names it) to CP1251; characters
// CP1251 lacks become '?'.
std::string LocaleTextToCp1251(std::string_view text, const char* codeset);

} // namespace vemla
