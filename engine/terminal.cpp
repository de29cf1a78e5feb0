#include "engine/terminal.h"

#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/messages.h"
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace vemla {

namespace {

// The host as the second port's reader sees it: its port's state is the second one, and the
// lamps and the confirmed rate stay the device port's.
class TSecondPortHost final : public TTerminalHost {
  public:
    explicit TSecondPortHost(TTerminalHost& host) : Host(host) {}
    void PostTraffic(std::unique_ptr<TTrafficRecord> record) override {
        Host.PostTraffic(std::move(record));
    }
    bool HasRoom() override { return Host.HasRoom(); }
    void NotifyTriggerChanged(TTrigger& trigger) override { Host.NotifyTriggerChanged(trigger); }
    void StartSleepTimer(TTrigger& trigger, int32_t milliseconds) override {
        Host.StartSleepTimer(trigger, milliseconds);
    }
    void NotifyPortState(TPortState state) override { Host.NotifySecondPortState(state); }

  private:
    TTerminalHost& Host;
};

} // namespace

TTerminal::TTerminal(TTerminalHost& host, TTerminalSettings settings, TEvent* stopEvent,
                     TPortOpener openPort)
    : Host(host), OwnedStopEvent(stopEvent ? nullptr : std::make_unique<TEvent>()),
      StopEvent(stopEvent ? *stopEvent : *OwnedStopEvent) {
    const std::string triggerFile = settings.TriggerFile;
    const int32_t hashSize = settings.HashSize;
    const auto secondMode = settings.SecondPortMode;
    TTerminalSettings second = settings;
    Reader =
        std::make_unique<TPortReader>(Host, std::move(settings), StopEvent, openPort,
                                      [this](std::string_view packet) { MatchPacket(packet); });
    if (secondMode != TTerminalSettings::TSecondPort::None) {
        second.Device = second.SecondPort;
        second.SecondPortMode = TTerminalSettings::TSecondPort::None;
        SecondHost = std::make_unique<TSecondPortHost>(Host);
        RecordOrder = std::make_unique<TPacketOrder>(Host);
        SecondReader = std::make_unique<TPortReader>(
            *SecondHost, std::move(second), StopEvent, std::move(openPort), [](std::string_view) {},
            TTrafficSource::Application);
        Reader->OrderRecordsBy(*RecordOrder);
        SecondReader->OrderRecordsBy(*RecordOrder);
        if (secondMode == TTerminalSettings::TSecondPort::Bridge) {
            Reader->ForwardTo(*SecondReader);
            SecondReader->ForwardTo(*Reader);
            SecondReader->OnPeerLine(
                [this](const TLineSettings& line) { Reader->ApplyPeerLine(line); });
        }
    }
    // A tap only listens: no trigger answers either line.
    if (!triggerFile.empty() && secondMode == TTerminalSettings::TSecondPort::Tap)
        Reader->Report(TTrafficKind::Info,
                       MessageText(TMessage::TapNoTriggers, {PathText(triggerFile)}));
    else if (!triggerFile.empty())
        LoadTriggerTable(triggerFile, hashSize);
    Open();
    if (SecondReader) SecondReader->Open();
    Runtime.Start();
}

TTerminal::~TTerminal() {
    Stop();
}

void TTerminal::Stop() {
    StopEvent.Set(); // also ends a write the sender waits in
    {
        std::lock_guard lock(SendMutex);
        SenderStopping = true;
    }
    SendQueued.notify_one();
    Reader->Stop(); // a purge also wakes a write the sender waits in
    if (SecondReader) {
        SecondReader->Stop();
        // Each may have dropped the other's last bytes while they ended.
        Reader->ReportUnforwarded();
        SecondReader->ReportUnforwarded();
    }
    if (SenderThread.joinable()) SenderThread.join();
}

bool TTerminal::Open() {
    return Reader->Open();
}

bool TTerminal::IsOpen() const {
    return Reader->IsOpen();
}

void TTerminal::Reconfigure(const TTerminalSettings& settings) {
    Reader->Reconfigure(settings);
}

void TTerminal::Send(std::string_view bytes) {
    if (Open()) Reader->Write(bytes, TTrafficKind::Sent);
}

TTerminal::TSendOutcome TTerminal::SendLater(std::string bytes) {
    // Opened here, on the owner's thread, which alone starts readers; a port that will not
    // open has said so. A connection being made takes the bytes when it is.
    if (!Open() && !Reader->Connecting()) return TSendOutcome::PortClosed;
    {
        std::lock_guard lock(SendMutex);
        if (SenderStopping || SendQueue.size() >= SendQueueLimit) return TSendOutcome::Busy;
        SendQueue.push_back(std::move(bytes));
        ++SendsPending;
    }
    StartSender();
    SendQueued.notify_one();
    return TSendOutcome::Queued;
}

void TTerminal::StartSender() {
    if (!SenderThread.joinable()) SenderThread = std::thread(&TTerminal::SenderMain, this);
}

namespace {

// Microseconds a packet of that many bytes takes on the line: start bit, data bits, parity
// bit, stop bits, at the rate.
double WireMicroseconds(const TLineSettings& line, size_t bytes) {
    static const double StopBits[] = {1, 1.5, 2};
    const double bits =
        1 + line.ByteSize + (line.Parity != 0 ? 1 : 0) + StopBits[std::clamp(line.StopBits, 0, 2)];
    return line.BaudRate > 0 ? bits * static_cast<double>(bytes) * 1e6 / line.BaudRate : 0;
}

std::string Milliseconds(double microseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", microseconds / 1000);
    // A decimal comma: the text is Russian.
    std::string written = text;
    std::replace(written.begin(), written.end(), '.', ',');
    return written;
}

} // namespace

void TTerminal::StartTimedSends(std::vector<TTimedSend> sends, int list) {
    Open(); // on the owner's thread, which alone starts readers
    bool warned = false;
    for (TTimedSend& send : sends) {
        const double wire = WireMicroseconds(Settings().Line, send.Bytes.size());
        send.BackToBack =
            send.Period.count() > 0 && static_cast<double>(send.Period.count()) < wire;
        if (send.BackToBack && !warned) {
            warned = true;
            Reader->Report(TTrafficKind::Warning,
                           MessageText(TMessage::PeriodTooShort,
                                       {Milliseconds(send.Period.count()), Milliseconds(wire),
                                        std::to_string(Settings().Line.BaudRate)}));
        }
    }
    {
        std::lock_guard lock(SendMutex);
        if (SenderStopping) return;
        Schedule.Replace(list, std::move(sends), std::chrono::steady_clock::now());
        ScheduleChanged = true;
    }
    StartSender();
    SendQueued.notify_one();
}

void TTerminal::WriteTimed(const std::string& bytes) {
    if (!Reader->IsOpen() && !Reader->AwaitConnection()) {
        if (!TimedClosedReported) Reader->Write(bytes, TTrafficKind::Sent);
        TimedClosedReported = true;
        return;
    }
    TimedClosedReported = false;
    Reader->Write(bytes, TTrafficKind::Sent);
}

void TTerminal::SenderMain() {
    NameCurrentThread("vemla-sender");
    std::unique_lock lock(SendMutex);
    auto ready = [this] { return SenderStopping || !SendQueue.empty() || ScheduleChanged; };
    for (;;) {
        if (std::optional<TSendSchedule::TTime> due = Schedule.NextDue())
            SendQueued.wait_until(lock, *due, ready);
        else
            SendQueued.wait(lock, ready);
        if (SenderStopping) break;
        ScheduleChanged = false;
        if (!SendQueue.empty()) {
            std::string bytes = std::move(SendQueue.front());
            lock.unlock();
            Reader->Write(bytes, TTrafficKind::Sent);
            lock.lock();
            SendQueue.pop_front();
            --SendsPending;
            continue;
        }
        for (size_t index : Schedule.TakeDue(std::chrono::steady_clock::now())) {
            std::string bytes = Schedule.Send(index).Bytes;
            lock.unlock();
            WriteTimed(bytes);
            lock.lock();
            if (SenderStopping || ScheduleChanged) break; // the list may be another now
        }
    }
    // Stopped: what was never written is no longer pending either.
    SendsPending -= SendQueue.size();
    SendQueue.clear();
}

bool TTerminal::SetDtr(bool on) {
    return Reader->SetModemOutput(TModemOutput::Dtr, on);
}

bool TTerminal::SetRts(bool on) {
    return Reader->SetModemOutput(TModemOutput::Rts, on);
}

bool TTerminal::SendBreak(std::chrono::milliseconds duration) {
    return Reader->SendBreak(duration);
}

TTableLoad LoadTriggerFile(const std::string& fileName, int32_t hashSize) {
    std::string text;
    if (int error = ReadWholeFile(fileName, text, TriggerFileLimit); error != 0) {
        TTableLoad failed;
        failed.Value = std::make_unique<TriggerTable>();
        // vemla's own error numbers are no system's: only the system's are shown.
        std::string number = error == ErrorNotRegularFile ? "" : std::to_string(error) + " ";
        failed.Error = MessageText(TMessage::TriggerFileOpenError,
                                   {PathText(fileName), number, SystemMessage(error)});
        failed.SystemError = error;
        return failed;
    }
    TTableLoad loaded = LoadTriggers(text, hashSize);
    if (!loaded.Ok())
        loaded.Error =
            MessageText(TMessage::TriggerFileLoadError, {PathText(fileName), loaded.Error});
    return loaded;
}

void TTerminal::LoadTriggerTable(const std::string& fileName, int32_t hashSize) {
    TTableLoad loaded = LoadTriggerFile(fileName, hashSize);
    if (!loaded.Ok()) {
        Reader->Report(TTrafficKind::Error, loaded.Error);
        return;
    }
    Runtime.SetTable(std::move(loaded.Value), hashSize);
}

void TTerminal::Write(const TTrigger&, std::string_view bytes) {
    Reader->Write(bytes, TTrafficKind::TriggerSent);
}

void TTerminal::Print(std::string_view text) {
    Reader->Report(TTrafficKind::Info, text);
}

void TTerminal::StartSleepTimer(TTrigger& trigger, int32_t milliseconds) {
    Host.StartSleepTimer(trigger, milliseconds);
}

void TTerminal::NotifyTriggerChanged(TTrigger& trigger) {
    Host.NotifyTriggerChanged(trigger);
}

} // namespace vemla
