#pragma once

#include "platform/event.h"

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class QWidget;

namespace vemla {

// Turns SIGINT, SIGTERM and SIGHUP into an ordinary close of the window, on the GUI thread.
// The handler also sets the engine's stop event at once, so a write that waits for a
// stalled line (even during start-up, before the event loop runs) ends without delay.
class TSignalCloser : public QObject {
  public:
    explicit TSignalCloser(TEvent& stopEvent);
    ~TSignalCloser() override;
    // A signal that came before this call closes the window as soon as the event loop runs.
    void CloseOnSignal(QWidget& window);

  private:
    std::unique_ptr<QSocketNotifier> Notifier;
};

} // namespace vemla
