#include "ui_common/qt_text.h"

#include "platform/cp1251.h"

#include <QFile>
#include <array>

namespace vemla {

QString FromCp1251(std::string_view text) {
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> chars{};
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            chars[static_cast<size_t>(b)] =
                QString::fromUtf8(Cp1251ToUtf8(std::string_view(&byte, 1))).at(0);
        }
        return chars;
    }();
    QString result(static_cast<qsizetype>(text.size()), Qt::Uninitialized);
    QChar* out = result.data();
    for (char ch : text)
        *out++ = table[static_cast<uint8_t>(ch)];
    return result;
}

QString FromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::string ToCp1251(const QString& text) {
    return Utf8ToCp1251(text.toStdString());
}

} // namespace vemla
