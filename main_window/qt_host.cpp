#include "main_window/qt_host.h"

#include <QCoreApplication>
#include <memory>

namespace vemla {

TQtHost::TQtHost(QObject& receiver)
    : TReportQueue([&receiver] {
          QCoreApplication::postEvent(&receiver,
                                      std::make_unique<QEvent>(EngineReportsEventType).release());
      }) {}

} // namespace vemla
