#include "ui_common/fonts.h"

#include <QFontDatabase>

namespace vemla {

QString MonospaceFamily(const QStringList& installed, const QString& systemFixed) {
    static const char* const Preferred[] = {"Courier", "Courier New", "Liberation Mono", "Cousine",
                                            "DejaVu Sans Mono"};
    for (const char* family : Preferred)
        if (installed.contains(QLatin1String(family), Qt::CaseInsensitive))
            return QLatin1String(family);
    return systemFixed;
}

QFont ViewFont() {
    QFont font(MonospaceFamily(QFontDatabase::families(),
                               QFontDatabase::systemFont(QFontDatabase::FixedFont).family()));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(13);
    return font;
}

} // namespace vemla
