#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vemla {

// The one crossing between vemla's CP1251 strings and Qt's Unicode.
QString FromCp1251(std::string_view text);
std::string ToCp1251(const QString& text);
// Paths are the file system's bytes, not CP1251: they cross as the file system names them.
QString FromPath(const std::string& path);
std::string ToPath(const QString& path);

} // namespace vemla
