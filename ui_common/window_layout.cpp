#include "ui_common/window_layout.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <string>

namespace vemla {

void SetUpDialog(QDialog& dialog, const char* caption, QSize size, QPoint ok, QPoint cancel) {
    dialog.setWindowTitle(QString::fromUtf8(caption));
    QFont small = dialog.font();
    small.setPixelSize(11);
    dialog.setFont(small);
    dialog.setFixedSize(size);
    auto* okButton = new QPushButton(QStringLiteral("OK"), &dialog);
    okButton->setGeometry(QRect(ok, QSize(75, 25)));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QString::fromUtf8("Отмена"), &dialog);
    cancelButton->setGeometry(QRect(cancel, QSize(75, 25)));
    QObject::connect(okButton, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancelButton, &QPushButton::clicked, &dialog, &QDialog::reject);
}

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
        window.resize(width, height);
        window.move(left, top);
        // A hand-edited or stale layout must not leave the window where nobody can see it.
        if (!QGuiApplication::screenAt(window.frameGeometry().center()))
            if (const QScreen* screen = QGuiApplication::primaryScreen())
                window.move(screen->availableGeometry().center() - window.rect().center());
    }
    if (!columns) return;
    for (int column = 0; column < columns->count(); ++column) {
        std::string key = "Column" + std::to_string(column + 1) + ".Width";
        int stored = value(key, columns->sectionSize(column));
        if (reading) columns->resizeSection(column, stored);
    }
}

} // namespace vemla
