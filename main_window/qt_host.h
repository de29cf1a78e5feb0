#pragma once

#include "app/report_queue.h"

#include <QEvent>
#include <QObject>

namespace vemla {

// The event that tells the receiver that engine reports wait in its TQtHost.
constexpr QEvent::Type EngineReportsEventType = static_cast<QEvent::Type>(QEvent::User + 100);

// The report queue of a Qt front end: it wakes its receiver with an EngineReportsEventType
// event posted to the receiver's thread, whose handler takes the reports.
class TQtHost : public TReportQueue {
  public:
    explicit TQtHost(QObject& receiver);
};

} // namespace vemla
