#pragma once

#include "app/startup.h"
#include "platform/event.h"

namespace vemla {

// vemla without a window, on the calling thread: the engine reports into a queue, the records
// are logged and echoed, the SLEEP timers run, until the stop event is set; then the engine
// stops and every record it delivered reaches the final log. What the window would show in a
// message box goes to standard error. The exit status.
int RunConsole(const TStartup& startup, TEvent& stopEvent);

} // namespace vemla
