#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vemla {

// The one crossing between vemla's CP1251 strings and Qt's Unicode.
QString FromCp1251(std::string_view text);
std::string ToCp1251(const QString& text);

} // namespace vemla
