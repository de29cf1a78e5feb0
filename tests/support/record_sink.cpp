#include "tests/support/record_sink.h"

#include "platform/cp1251.h"

namespace vemla::test {

void TRecordSink::PostTraffic(std::unique_ptr<TTrafficRecord> record) {
    std::lock_guard lock(Mutex);
    Received.push_back(std::move(*record));
    Changed.notify_all();
}

void TRecordSink::NotifyTriggerChanged(TTrigger& trigger) {
    std::lock_guard lock(Mutex);
    ++NotificationCount;
    ++NotificationsByTrigger[&trigger];
    Changed.notify_all();
}

void TRecordSink::StartSleepTimer(TTrigger& trigger, int32_t milliseconds) {
    std::lock_guard lock(Mutex);
    Sleeps[&trigger] = milliseconds;
    Changed.notify_all();
}

void TRecordSink::NotifyPortState(TPortState state) {
    std::lock_guard lock(Mutex);
    States.push_back(state);
    Changed.notify_all();
}

void TRecordSink::NotifySecondPortState(TPortState state) {
    std::lock_guard lock(Mutex);
    SecondStates.push_back(state);
    Changed.notify_all();
}

bool TRecordSink::WaitForSecondPortState(TPortState state, std::chrono::milliseconds timeout) {
    std::unique_lock lock(Mutex);
    return Changed.wait_for(lock, timeout,
                            [&] { return !SecondStates.empty() && SecondStates.back() == state; });
}

std::vector<TPortState> TRecordSink::PortStates() {
    std::lock_guard lock(Mutex);
    return States;
}

void TRecordSink::NotifyModemLines(std::optional<TModemLines> lines) {
    std::lock_guard lock(Mutex);
    ModemReports.push_back(lines);
    Changed.notify_all();
}

bool TRecordSink::WaitForModemLines(std::optional<TModemLines> last,
                                    std::chrono::milliseconds timeout) {
    std::unique_lock lock(Mutex);
    return Changed.wait_for(lock, timeout,
                            [&] { return !ModemReports.empty() && ModemReports.back() == last; });
}

std::vector<std::optional<TModemLines>> TRecordSink::ModemLineReports() {
    std::lock_guard lock(Mutex);
    return ModemReports;
}

bool TRecordSink::WaitFor(const std::function<bool(const std::vector<TTrafficRecord>&)>& done,
                          std::chrono::milliseconds timeout) {
    std::unique_lock lock(Mutex);
    return Changed.wait_for(lock, timeout, [&] { return done(Received); });
}

bool TRecordSink::WaitForCount(size_t count, std::chrono::milliseconds timeout) {
    return WaitFor([count](const auto& records) { return records.size() >= count; }, timeout);
}

int TRecordSink::NotificationsOf(TTrigger* trigger) {
    std::lock_guard lock(Mutex);
    return NotificationsByTrigger[trigger];
}

bool TRecordSink::WaitForNotificationsOf(TTrigger* trigger, int atLeast,
                                         std::chrono::milliseconds timeout) {
    std::unique_lock lock(Mutex);
    return Changed.wait_for(lock, timeout,
                            [&] { return NotificationsByTrigger[trigger] >= atLeast; });
}

std::vector<TTrafficRecord> TRecordSink::Records() {
    std::lock_guard lock(Mutex);
    return Received;
}

std::vector<TTrafficRecord> TRecordSink::RecordsOf(TTrafficKind kind) {
    std::vector<TTrafficRecord> selected;
    for (auto& record : Records())
        if (record.Kind == kind) selected.push_back(record);
    return selected;
}

int TRecordSink::Notifications() {
    std::lock_guard lock(Mutex);
    return NotificationCount;
}

std::map<TTrigger*, int32_t> TRecordSink::PendingSleeps() {
    std::lock_guard lock(Mutex);
    return Sleeps;
}

std::string Cp1251(const char* utf8) {
    return Utf8ToCp1251(utf8);
}

} // namespace vemla::test
