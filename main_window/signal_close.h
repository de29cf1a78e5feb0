#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class QWidget;

namespace vemla {

// Turns SIGINT and SIGTERM into an ordinary close of the window, on the GUI thread.
class TSignalCloser : public QObject {
public:
    explicit TSignalCloser(QWidget& window);
    ~TSignalCloser() override;

private:
    std::unique_ptr<QSocketNotifier> Notifier;
};

} // namespace vemla
