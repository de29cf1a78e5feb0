#include "ui_common/window_layout.h"

#include <algorithm>

#include "ui_common/qt_text.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

namespace vemla {

void SetUpDialog(QDialog& dialog, const QString& caption, QSize size, QPoint ok, QPoint cancel) {
    dialog.setWindowTitle(caption);
    QFont small = dialog.font();
    small.setPixelSize(11);
    dialog.setFont(small);
    dialog.setFixedSize(size);
    auto* okButton = new QPushButton(QStringLiteral("OK"), &dialog);
    okButton->setGeometry(QRect(ok, QSize(75, 25)));
    okButton->setDefault(true);
    auto* cancelButton =
        new QPushButton(QCoreApplication::translate("TDialogFrame", "Отмена"), &dialog);
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

void BringToFront(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

int CaptionWidth(const QString& caption, const QFont& font) {
    // Title bars use a bold face, often larger than the box's; the window icon and three
    // buttons take about 110 pixels more.
    QFont title = font;
    title.setBold(true);
    constexpr int IconAndButtons = 110;
    return QFontMetrics(title).horizontalAdvance(caption) * 5 / 4 + IconAndButtons;
}

void FitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle(), box.font()), 0), grid->rowCount(),
                  0, 1, grid->columnCount());
}

namespace {

// Gives a window an outer size: now for the frame known so far, and again once the window
// system has framed the shown window. A window manager adds its frame only after the window
// is mapped, some time after the show; sized before that, the window would come back a frame
// larger at every start.
class TOuterSize : public QObject {
  public:
    TOuterSize(QWidget& window, QSize outer) : QObject(&window), Window(window), Outer(outer) {
        Apply();
        window.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &Window) return false;
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize ||
            type == QEvent::WindowStateChange) {
            if (Window.isMaximized() || Window.isFullScreen()) return false;
            Apply();
            if (FrameKnown()) {
                Done();
            } else if (type == QEvent::Show) {
                // A platform that never tells a frame (no window manager, some Wayland
                // compositors) must not have every later resize of the user undone.
                QTimer::singleShot(FrameWait, this, [this] { Done(); });
            }
        }
        return false;
    }

  private:
    static constexpr std::chrono::seconds FrameWait{2};
    void Done() {
        Window.removeEventFilter(this);
        deleteLater();
    }
    bool FrameKnown() const { return Window.frameGeometry().size() != Window.size(); }
    void Apply() {
        QSize frame = Window.frameGeometry().size() - Window.size();
        if (Window.size() != Outer - frame) Window.resize(Outer - frame);
    }
    QWidget& Window;
    QSize Outer;
};

// Keeps the window's outer frame of its last normal state (not maximised, full screen or
// minimised) in a property, to be stored when it closes in another state: the frame a window
// manager draws around a maximised window differs from the normal one.
constexpr const char* NormalFrameProperty = "vemlaNormalFrame";

class TNormalFrame : public QObject {
  public:
    explicit TNormalFrame(QWidget& window) : QObject(&window), Window(window) {
        window.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool changed = event->type() == QEvent::Move || event->type() == QEvent::Resize;
        const Qt::WindowStates other =
            Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
        if (watched == &Window && changed && !(Window.windowState() & other) &&
            Window.frameGeometry().size() != Window.size())
            Window.setProperty(NormalFrameProperty, Window.frameGeometry());
        return false;
    }

  private:
    QWidget& Window;
};

} // namespace

void CenterOnScreen(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

void ReadWriteLayout(TIniFile& desktop, const char* section, QWidget& window, QHeaderView* columns,
                     bool reading) {
    auto value = [&](const std::string& key, int current) {
        if (reading) return static_cast<int>(desktop.ReadInteger(section, key, current));
        desktop.WriteInteger(section, key, current);
        return current;
    };
    // A maximised window keeps the place it had before, and says that it is maximised.
    QRect outer = window.frameGeometry();
    if (const QVariant normal = window.property(NormalFrameProperty);
        !reading && window.isMaximized() && normal.isValid())
        outer = normal.toRect();
    bool sizeStored = reading && (!desktop.ReadString(section, "Height", "").empty() ||
                                  !desktop.ReadString(section, "Width", "").empty());
    int left = value("Left", outer.x());
    int top = value("Top", outer.y());
    int height = value("Height", outer.height());
    int width = value("Width", outer.width());
    if (reading) {
        // A hand-edited or stale layout (another monitor, another resolution) must not leave
        // the window where nobody can see it, nor larger than the screen with its title bar
        // out of reach.
        const QScreen* screen = QGuiApplication::screenAt(QRect(left, top, width, height).center());
        const QScreen* fitTo = screen ? screen : QGuiApplication::primaryScreen();
        if (fitTo) {
            QRect free = fitTo->availableGeometry();
            width = std::min(width, free.width());
            height = std::min(height, free.height());
            left = std::clamp(left, free.left(), free.left() + free.width() - width);
            top = std::clamp(top, free.top(), free.top() + free.height() - height);
        }
        if (sizeStored) new TOuterSize(window, QSize(width, height)); // owned by the window
        window.move(left, top);
        if (!screen) CenterOnScreen(window);
        window.setProperty(NormalFrameProperty, QRect(left, top, width, height));
        new TNormalFrame(window); // owned by the window
        if (desktop.ReadBool(section, "Maximized", false))
            window.setWindowState(window.windowState() | Qt::WindowMaximized);
    } else if (window.isMaximized() || !desktop.ReadString(section, "Maximized", "").empty()) {
        desktop.WriteInteger(section, "Maximized", window.isMaximized() ? 1 : 0);
    }
    if (!columns) return;
    for (int column = 0; column < columns->count(); ++column) {
        std::string key = "Column" + std::to_string(column + 1) + ".Width";
        int stored = value(key, columns->sectionSize(column));
        if (reading) columns->resizeSection(column, stored);
    }
}

} // namespace vemla
