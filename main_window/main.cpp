#include "app/check_session.h"
#include "app/check_triggers.h"
#include "app/command_line.h"
#include "app/learn_session.h"
#include "app/startup.h"
#include "main_window/main_window.h"
#include "main_window/signal_close.h"
#include "platform/cp1251.h"
#include "platform/descriptor.h"
#include "platform/ini_file.h"
#include "platform/port_list.h"
#include "platform/system.h"
#include "ui_common/window_layout.h"

#include <QApplication>
#include <QThread>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

// When its display goes away (the X server ended, an SSH connection with X forwarding
// dropped) the toolkit ends the process with exit() from the GUI thread; the window then
// still logs what it received, as a close would.
vemla::TMainWindow* WindowToFinishAtExit = nullptr;

void FinishWindowAtExit() {
    vemla::TMainWindow* window = WindowToFinishAtExit;
    if (window && QThread::currentThread() == window->thread()) window->Finish();
}

// A character device, or a path under /dev that is not there yet: an adapter not plugged in,
// which vemla then waits for.
bool NamesAPort(const std::string& path) {
    return vemla::IsCharacterDevice(path) ||
           (path.rfind("/dev/", 0) == 0 && !vemla::IsRegularFile(path));
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
    if (!commandLine.Error.empty()) {
        std::fprintf(stderr, "vemla: %s (vemla --help lists the options)\n",
                     commandLine.Error.c_str());
        return 2;
    }
    if (commandLine.Help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (commandLine.Version) {
        std::puts("vemla " VEMLA_VERSION);
        return 0;
    }
    if (commandLine.ListPorts) {
        for (const TPortInfo& port : ListSerialPorts())
            std::printf("%s\n", port.Describe().c_str());
        return 0;
    }
    if (commandLine.CheckTriggers) {
        TResult<std::string> report =
            CheckTriggerFile(commandLine.TriggerFile, commandLine.HashSize);
        if (!report.Ok()) {
            std::fprintf(stderr, "%s\n", Cp1251ToUtf8(report.Error).c_str());
            return 1;
        }
        std::fputs(report.Value.c_str(), stdout);
        return 0;
    }
    if (!commandLine.SessionLog.empty()) {
        TResult<TSessionVerdict> check =
            CheckSessionFiles(commandLine.SessionLog, commandLine.TriggerFile, commandLine.HashSize,
                              commandLine.Mirror ? TSessionSide::Mirror : TSessionSide::Received);
        if (!check.Ok()) {
            std::fprintf(stderr, "vemla: %s\n", check.Error.c_str());
            return 1;
        }
        std::fputs(check.Value.Report.c_str(), stdout);
        return check.Value.Passed ? 0 : 1;
    }
    if (!commandLine.LearnLog.empty()) {
        TResult<TSessionLog> log = ReadSessionLog(commandLine.LearnLog);
        TResult<std::string> learned;
        if (log.Ok()) learned = LearnDevice(log.Value, commandLine.LearnLog);
        const std::string& error = log.Ok() ? learned.Error : log.Error;
        if (!error.empty()) {
            std::fprintf(stderr, "vemla: %s\n", error.c_str());
            return 1;
        }
        std::fputs(learned.Value.c_str(), stdout);
        if (std::fflush(stdout) != 0) {
            std::fprintf(stderr, "vemla: the trigger file could not be written: %s\n",
                         std::strerror(errno));
            return 1;
        }
        return 0;
    }
    TMainWindowOptions options;
    options.Config =
        SettleConfigFile(commandLine.Arguments, ProgramDirectory(), UserConfigDirectory());
    // The user directory exists before anything is written there; its files come with the
    // first write.
    bool installed = !IsWritableDirectory(ProgramDirectory());
    if (installed || options.Config.FileName.rfind(UserConfigDirectory(), 0) == 0) {
        std::error_code ignored;
        std::filesystem::create_directories(UserConfigDirectory(), ignored);
    }
    options.Desktop = SettleDesktopFiles(ProgramDirectory(), WorkingDirectory(),
                                         UserConfigDirectory(), !installed);
    options.Overrides = commandLine.Overrides;
    options.Hide = ReadConfiguration(options.Config.FileName, options.Overrides)
                       .ReadBool("Terminal", "Hide", false);
    options.Echo = commandLine.Echo;
    if (NeedsOffscreenPlatform(commandLine, options.Hide)) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vemla"));
    InstallRussianTranslations(application); // without them the standard dialogs speak English
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
