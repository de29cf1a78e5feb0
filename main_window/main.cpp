#include "main_window/main_window.h"
#include "main_window/signal_close.h"

#include <QApplication>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vemla"));
    vemla::TMainWindowOptions options;
    for (int i = 1; i < argc; ++i) options.Arguments.emplace_back(argv[i]);
    vemla::TMainWindow window(std::move(options));
    vemla::TSignalCloser closer(window);
    if (!window.HiddenByConfig()) window.show();
    return application.exec();
}
