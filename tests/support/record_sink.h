#pragma once

#include "engine/terminal_host.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vemla::test {

// A host that keeps everything the engine reports, for tests to wait on.
class TRecordSink : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override;
    void NotifyTriggerChanged(TTrigger& trigger) override;
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override;
    void NotifyPortState(TPortState state) override;
    // Every port state reported, in order.
    std::vector<TPortState> PortStates();
    // The same of the second port (a bridge's or a tap's); WaitForSecondPortState waits until
    // the latest is the one given.
    void NotifySecondPortState(TPortState state) override;
    bool WaitForSecondPortState(TPortState state,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void NotifyModemLines(std::optional<TModemLines> lines) override;
    // Waits until the modem line reports so far end with the one given; false on time-out.
    bool WaitForModemLines(std::optional<TModemLines> last,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::vector<std::optional<TModemLines>> ModemLineReports();

    // Waits until the predicate holds over the records; false on time-out.
    bool WaitFor(const std::function<bool(const std::vector<TTrafficRecord>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The same for the notifications about one trigger.
    int NotificationsOf(TTrigger* trigger);
    bool WaitForNotificationsOf(TTrigger* trigger, int atLeast,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::vector<TTrafficRecord> Records();
    std::vector<TTrafficRecord> RecordsOf(TTrafficKind kind);
    int Notifications();
    // The latest sleep asked for each trigger, as a timer of that identifier would hold it.
    std::map<TTrigger*, int32_t> PendingSleeps();

  private:
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<TTrafficRecord> Received;
    int NotificationCount = 0;
    std::map<TTrigger*, int> NotificationsByTrigger;
    std::map<TTrigger*, int32_t> Sleeps;
    std::vector<TPortState> States;
    std::vector<TPortState> SecondStates;
    std::vector<std::optional<TModemLines>> ModemReports;
};

std::string Cp1251(const char* utf8);

} // namespace vemla::test
