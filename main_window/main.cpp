#include "app/command_line.h"
#include "app/startup.h"
#include "app/tools.h"
#include "main_window/main_window.h"
#include "main_window/signal_close.h"
#include "platform/descriptor.h"
#include "platform/ini_file.h"
#include "platform/system.h"
#include "ui_common/translations.h"

#include <QApplication>
#include <QThread>
#include <clocale>
#include <csignal>

namespace {

// When its display goes away (the X server ended, an SSH connection with X forwarding
// dropped) the toolkit ends the process with exit() from the GUI thread; the window then
// still logs what it received, as a close would.
vemla::TMainWindow* WindowToFinishAtExit = nullptr;

void FinishWindowAtExit() {
    vemla::TMainWindow* window = WindowToFinishAtExit;
    if (window && QThread::currentThread() == window->thread()) window->Finish();
}

} // namespace

int main(int argc, char* argv[]) {
    using namespace vemla;
    // The user's locale from the start, so system texts read the same in every mode.
    std::setlocale(LC_ALL, "");
    // A closed pipe is an error of one write, never the end of the program.
    std::signal(SIGPIPE, SIG_IGN);
    KeepStandardDescriptorsOpen();
    TCommandLine commandLine =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), NamesAPort);
    SetLanguage(SettleLanguage(ReadConfiguration({}, commandLine.Overrides)));
    if (std::optional<int> status = RunTool(commandLine, {"vemla", VEMLA_VERSION})) return *status;

    TStartup startup =
        SettleStartup(commandLine.Arguments, commandLine.Overrides, commandLine.Echo);
    // Read once here for what must be known before the window: its language, and whether it shows.
    const TIniFile config = ReadConfiguration(startup.Config.FileName, startup.Overrides);
    SetLanguage(SettleLanguage(config));
    TMainWindowOptions options;
    options.Config = startup.Config;
    options.Desktop = startup.Desktop;
    options.Overrides = startup.Overrides;
    options.Echo = startup.Echo;
    options.TimedSends = commandLine.TimedSends;
    options.Duration = commandLine.Duration;
    options.Hide = config.ReadBool("Terminal", "Hide", false);
    if (NeedsOffscreenPlatform(commandLine, options.Hide)) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vemla"));
    // Before any thread starts: a failed English catalogue turns the language back to Russian.
    std::unique_ptr<TTranslations> translations = InstallTranslations();
    TEvent stopEvent;
    TSignalCloser closer(stopEvent);
    options.StopEvent = &stopEvent;
    bool hide = options.Hide;
    TMainWindow window(std::move(options));
    closer.CloseOnSignal(window);
    WindowToFinishAtExit = &window;
    std::atexit(FinishWindowAtExit);
    if (!hide) window.show();
    int code = application.exec();
    WindowToFinishAtExit = nullptr;
    return code;
}
