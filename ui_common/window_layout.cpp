#include "ui_common/window_layout.h"

#include <string>

namespace vemla {

void CenterOver(const QWidget& main, QWidget& other) {
    QRect outer = main.frameGeometry();
    QRect frame = other.frameGeometry();
    other.move(outer.left() + (outer.width() - frame.width()) / 2,
               outer.top() + (outer.height() - frame.height()) / 2);
}

void ReadWriteLayout(TIniFile& desktop, const char* section, QWidget& window, QHeaderView* columns,
                     bool reading) {
    auto value = [&](const std::string& key, int current) {
        if (reading) return static_cast<int>(desktop.ReadInteger(section, key, current));
        desktop.WriteInteger(section, key, current);
        return current;
    };
    int left = value("Left", window.x());
    int top = value("Top", window.y());
    int height = value("Height", window.height());
    int width = value("Width", window.width());
    if (reading) {
        window.move(left, top);
        window.resize(width, height);
    }
    if (!columns) return;
    for (int column = 0; column < columns->count(); ++column) {
        std::string key = "Column" + std::to_string(column + 1) + ".Width";
        int stored = value(key, columns->sectionSize(column));
        if (reading) columns->resizeSection(column, stored);
    }
}

} // namespace vemla
