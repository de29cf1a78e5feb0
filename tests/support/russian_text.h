#pragma once

#include <QString>

namespace vemla::test {

// A Russian text of the windows as the sources write it (UTF-8), to compare with what they show.
inline QString Ru(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace vemla::test
