#include "app/report_queue.h"

namespace vemla {

size_t TReportQueue::Cost(const TTrafficRecord& record) {
    // A heap block costs its bytes and the allocator's own header; a short text lives inside
    // the record.
    constexpr size_t BlockOverhead = 16;
    static const size_t InlineText = std::string().capacity();
    size_t cost = sizeof(TTrafficRecord) + BlockOverhead + sizeof(TEngineReport);
    if (record.Data.capacity() > InlineText) cost += record.Data.capacity() + BlockOverhead;
    return cost;
}

void TReportQueue::Push(TEngineReport report) {
    bool wake = false;
    {
        std::lock_guard lock(Mutex);
        if (report.Record) Backlog += Cost(*report.Record);
        Reports.push_back(std::move(report));
        wake = TakerIdle;
        TakerIdle = false;
    }
    // Outside the lock: the taker may take at once on another thread.
    if (wake && Wake) Wake();
}

void TReportQueue::PostTraffic(std::unique_ptr<TTrafficRecord> record) {
    TEngineReport report;
    report.Record = std::move(record);
    Push(std::move(report));
}

bool TReportQueue::HasRoom() {
    return Backlog < BacklogLimit;
}

void TReportQueue::NotifyTriggerChanged(TTrigger& trigger) {
    {
        std::lock_guard lock(Mutex);
        if (!PendingChanges.insert(&trigger).second) return;
    }
    TEngineReport report;
    report.Kind = TEngineReport::TKind::TriggerChanged;
    report.Trigger = &trigger;
    Push(std::move(report));
}

void TReportQueue::StartSleepTimer(TTrigger& trigger, int32_t milliseconds) {
    TEngineReport report;
    report.Kind = TEngineReport::TKind::Sleep;
    report.Trigger = &trigger;
    report.Milliseconds = milliseconds;
    Push(std::move(report));
}

void TReportQueue::NotifyPortState(TPortState state) {
    TEngineReport report;
    report.Kind = TEngineReport::TKind::PortState;
    report.State = state;
    Push(std::move(report));
}

void TReportQueue::NotifySecondPortState(TPortState state) {
    TEngineReport report;
    report.Kind = TEngineReport::TKind::PortState;
    report.State = state;
    report.SecondPort = true;
    Push(std::move(report));
}

void TReportQueue::NotifyModemLines(std::optional<TModemLines> lines) {
    TEngineReport report;
    report.Kind = TEngineReport::TKind::ModemLines;
    report.Lines = lines;
    Push(std::move(report));
}

void TReportQueue::NotifyConfirmedRate(std::optional<int32_t> rate) {
    TEngineReport report;
    report.Kind = TEngineReport::TKind::ConfirmedRate;
    report.Rate = rate;
    Push(std::move(report));
}

std::vector<TEngineReport> TReportQueue::Take() {
    std::vector<TEngineReport> reports;
    std::lock_guard lock(Mutex);
    reports.swap(Reports);
    TakerIdle = reports.empty();
    for (const TEngineReport& report : reports) {
        if (report.Record) Backlog -= Cost(*report.Record);
        if (report.Kind == TEngineReport::TKind::TriggerChanged)
            PendingChanges.erase(report.Trigger);
    }
    return reports;
}

} // namespace vemla
