#include "main_window/qt_host.h"

#include <QCoreApplication>

namespace vemla {

// postEvent takes ownership of the event it is given.
void TQtHost::PostTraffic(std::unique_ptr<TTrafficRecord> record) {
    QCoreApplication::postEvent(&Receiver,
                                std::make_unique<TTrafficEvent>(std::move(record)).release());
}

void TQtHost::NotifyTriggerChanged(TTrigger& trigger) {
    {
        std::lock_guard lock(PendingMutex);
        if (!PendingChanges.insert(&trigger).second) return;
    }
    QCoreApplication::postEvent(
        &Receiver, std::make_unique<TTriggerEvent>(TriggerChangedEventType, trigger).release());
}

void TQtHost::TriggerChangedDelivered(TTrigger& trigger) {
    std::lock_guard lock(PendingMutex);
    PendingChanges.erase(&trigger);
}

void TQtHost::NotifyPortState(TPortState state) {
    QCoreApplication::postEvent(&Receiver, std::make_unique<TPortStateEvent>(state).release());
}

void TQtHost::NotifyModemLines(std::optional<TModemLines> lines) {
    QCoreApplication::postEvent(&Receiver, std::make_unique<TModemLinesEvent>(lines).release());
}

void TQtHost::StartSleepTimer(TTrigger& trigger, int32_t milliseconds) {
    QCoreApplication::postEvent(
        &Receiver,
        std::make_unique<TTriggerEvent>(SleepEventType, trigger, milliseconds).release());
}

} // namespace vemla
