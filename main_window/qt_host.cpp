#include "main_window/qt_host.h"

#include <QCoreApplication>

namespace vemla {

size_t TTrafficBatch::Cost(const TTrafficRecord& record) {
    // A heap block costs its bytes and the allocator's own header; a short text lives inside
    // the record.
    constexpr size_t BlockOverhead = 16;
    static const size_t InlineText = std::string().capacity();
    size_t cost = sizeof(TTrafficRecord) + BlockOverhead + sizeof(std::unique_ptr<TTrafficRecord>);
    if (record.Data.capacity() > InlineText) cost += record.Data.capacity() + BlockOverhead;
    return cost;
}

// postEvent takes ownership of the event it is given. Events are posted under the mutex, so
// that their order is the order in which the reports were made.
bool TTrafficBatch::Add(std::unique_ptr<TTrafficRecord>& record) {
    std::lock_guard lock(Mutex);
    if (Closed) return false;
    *Backlog += Cost(*record);
    Records.push_back(std::move(record));
    return true;
}

std::vector<std::unique_ptr<TTrafficRecord>> TTrafficBatch::Take() {
    std::lock_guard lock(Mutex);
    std::vector<std::unique_ptr<TTrafficRecord>> records;
    records.swap(Records);
    if (records.empty()) Closed = true;
    for (const auto& record : records)
        *Backlog -= Cost(*record);
    return records;
}

void TQtHost::PostTraffic(std::unique_ptr<TTrafficRecord> record) {
    std::lock_guard lock(Mutex);
    if (OpenBatch && OpenBatch->Add(record)) return;
    OpenBatch = std::make_shared<TTrafficBatch>(BacklogBytes);
    OpenBatch->Add(record);
    QCoreApplication::postEvent(&Receiver, std::make_unique<TTrafficEvent>(OpenBatch).release());
}

bool TQtHost::HasRoom() {
    return *BacklogBytes < BacklogLimit;
}

void TQtHost::PostInOrder(std::unique_ptr<QEvent> event) {
    std::lock_guard lock(Mutex);
    OpenBatch.reset();
    QCoreApplication::postEvent(&Receiver, event.release());
}

void TQtHost::NotifyTriggerChanged(TTrigger& trigger) {
    {
        std::lock_guard lock(Mutex);
        if (!PendingChanges.insert(&trigger).second) return;
    }
    PostInOrder(std::make_unique<TTriggerEvent>(TriggerChangedEventType, trigger));
}

void TQtHost::TriggerChangedDelivered(TTrigger& trigger) {
    std::lock_guard lock(Mutex);
    PendingChanges.erase(&trigger);
}

void TQtHost::NotifyPortState(TPortState state) {
    PostInOrder(std::make_unique<TPortStateEvent>(state));
}

void TQtHost::NotifyModemLines(std::optional<TModemLines> lines) {
    PostInOrder(std::make_unique<TModemLinesEvent>(lines));
}

void TQtHost::StartSleepTimer(TTrigger& trigger, int32_t milliseconds) {
    PostInOrder(std::make_unique<TTriggerEvent>(SleepEventType, trigger, milliseconds));
}

} // namespace vemla
