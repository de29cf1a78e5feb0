// Opening the trigger monitor and the change-command dialog on 953 triggers of 2048 commands.
#include "bench/bench_support.h"
#include "codec/codec.h"
#include "trigger_language/trigger_file.h"
#include "trigger_monitor/change_command_dialog.h"
#include "trigger_monitor/triggers_window.h"

#include <QApplication>
#include <QListView>
#include <QTreeView>
#include <set>

using namespace vemla;

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::string file;
    std::set<int32_t> used;
    int id = 0;
    for (int a = 0; a < 256 && used.size() < TriggerTable::SlotCount; ++a)
        for (int b = 0; b < 256 && used.size() < TriggerTable::SlotCount; ++b) {
            std::string pattern{static_cast<char>(a), static_cast<char>(b)};
            if (!used.insert(PacketHash(pattern, 0)).second) continue;
            file += "TRIGGER " + std::to_string(++id) + " \"t\" HEX \"" +
                    BytesToText(pattern, TCoding::Hex) + "\" {";
            for (int c = 0; c < 2048; ++c)
                file += c % 2 ? " OUT \"01 02 03\"" : " GOTO 1";
            file += " }\n";
        }
    TTableLoad loaded = LoadTriggers(file, 0);
    if (!loaded.Ok()) return 1;

    auto start = bench::TClock::now();
    TTriggersWindow window(nullptr, *loaded.Value, {});
    window.show();
    QCoreApplication::processEvents();
    double windowMs = bench::Milliseconds(bench::TClock::now() - start);

    TTrigger& last = *window.Triggers().TriggerAt(window.Triggers().rowCount() - 1);
    last.CurrentCommand = 2047;
    start = bench::TClock::now();
    TChangeCommandDialog dialog(&window, last);
    dialog.show();
    QCoreApplication::processEvents();
    double dialogMs = bench::Milliseconds(bench::TClock::now() - start);
    bench::Figure("trigger_monitor_open.rows", window.Triggers().rowCount(), "rows");
    bench::Figure("trigger_monitor_open.window", windowMs, "ms");
    bench::Figure("trigger_monitor_open.dialog_2048_commands", dialogMs, "ms");
    return 0;
}
