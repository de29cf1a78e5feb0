// Prints where the buttons and rows that the real-desktop test clicks lie in their windows, as
// "name x y" relative to the window's client area. It lays the windows out offscreen with the
// test's configuration; the toolkit's style and fonts place them alike under X.
#include "app/startup.h"
#include "main_window/main_window.h"
#include "platform/system.h"
#include "tests/support/russian_text.h"
#include "tests/support/temp_dir.h"
#include "ui_common/qt_text.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>

using namespace vemla;
using vemla::test::Ru;

namespace {

void Print(const char* name, const QWidget& widget, QPoint point) {
    QPoint inWindow = widget.mapTo(widget.window(), point);
    std::printf("%s %d %d\n", name, inWindow.x(), inWindow.y());
}

// The toolbar button of the action with this tooltip (main window, with or without its
// shortcut) or text (generator).
const QWidget* ButtonOf(const QWidget& window, const QString& label) {
    for (const QToolBar* toolbar : window.findChildren<QToolBar*>())
        for (QAction* action : toolbar->actions())
            if (action->toolTip() == label || action->toolTip().startsWith(label + " (") ||
                action->text() == label)
                return toolbar->widgetForAction(action);
    return nullptr;
}

bool PrintButton(const char* name, const QWidget& window, const char* label, int fromRight = -1) {
    const QWidget* button = ButtonOf(window, Ru(label));
    if (!button) {
        std::fprintf(stderr, "no button %s\n", label);
        return false;
    }
    QRect area = button->rect();
    Print(name, *button,
          fromRight < 0 ? area.center() : QPoint(area.right() - fromRight, area.center().y()));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("Usage: layout_probe CONFIG.ini\n", stderr);
        return 2;
    }
    std::string config = std::filesystem::absolute(argv[1]).string();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    test::TTempDir dir; // desktop.ini files of the probe go nowhere else
    std::filesystem::current_path(dir.Directory());
    TMainWindowOptions options;
    options.Config = SettleConfigFile({config}, ProgramDirectory());
    options.Overrides = {{"Port", "Device", dir.Path("no-port")}};
    options.Desktop = {dir.Path("desktop.ini"), dir.Path("tools-desktop.ini")};
    options.ShowMessage = [](QMessageBox::Icon, const QString&, const QString&) {};
    TMainWindow window(std::move(options));
    window.show();
    QCoreApplication::processEvents();
    bool found = PrintButton("main.save", window, "Сохранить") &&
                 PrintButton("main.coding_menu", window, "Кодировка", 4) &&
                 PrintButton("main.triggers", window, "Триггеры") &&
                 PrintButton("main.generator", window, "Передача данных") &&
                 PrintButton("main.port", window, "Настройки порта");
    TGeneratorWindow& generator = window.ShowGeneratorWindow();
    TTriggersWindow& triggers = window.ShowTriggersWindow();
    QCoreApplication::processEvents();
    found = found && PrintButton("generator.add", generator, "Добавить") &&
            PrintButton("generator.delete", generator, "Удалить");
    QTreeWidget& packets = generator.PacketView();
    Print("generator.row0", *packets.viewport(),
          packets.visualItemRect(packets.topLevelItem(0)).center());
    auto* rows = triggers.findChild<QTreeView*>();
    if (!found || !rows || !rows->model() || rows->model()->rowCount() == 0) return 1;
    Print("triggers.row0", *rows->viewport(),
          rows->visualRect(rows->model()->index(0, 0)).center());
    return 0;
}
