#include "app/command_line.h"
#include "app/startup.h"
#include "app/tools.h"
#include "cli/console_front_end.h"
#include "platform/descriptor.h"

#include <clocale>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// What the handler may touch: set before it is installed, never changed afterwards.
vemla::TEvent* StopEvent = nullptr;

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
    StopEvent->Set();
    return TRUE;
}

void StopOnSignals() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void IgnoreSignals() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    SetConsoleCtrlHandler(nullptr, TRUE);
}
#else
// Setting the event is one write to a descriptor: safe in a handler.
extern "C" void OnSignal(int) {
    StopEvent->Set();
}

void StopOnSignals() {
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe is an error of one write, not the end
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

void IgnoreSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, SIG_IGN);
}
#endif

} // namespace

int main(int argc, char* argv[]) {
    using namespace vemla;
    std::setlocale(LC_ALL, ""); // system texts in the user's language
    KeepStandardDescriptorsOpen();
    TCommandLine commandLine =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), NamesAPort);
    SetLanguage(SettleLanguage(ReadConfiguration({}, commandLine.Overrides)));
    if (std::optional<int> status = RunTool(commandLine, {"vemla-cli", VEMLA_VERSION}))
        return *status;
    TEvent stopEvent;
    StopEvent = &stopEvent;
    StopOnSignals();
    TStartup startup =
        SettleStartup(commandLine.Arguments, commandLine.Overrides, commandLine.Echo);
    SetLanguage(SettleLanguage(ReadConfiguration(startup.Config.FileName, startup.Overrides)));
    startup.TimedSends = commandLine.TimedSends;
    startup.Duration = commandLine.Duration;
    int status = RunConsole(startup, stopEvent);
    // Done: a signal now must not reach the event as it goes.
    IgnoreSignals();
    return status;
}
