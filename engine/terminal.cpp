#include "engine/terminal.h"

#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/system.h"

#include <algorithm>
#include <cerrno>

namespace vemla {

TTerminal::TTerminal(TTerminalHost& host, const std::string& configFileName, TEvent* stopEvent,
                     const TSettingOverrides& overrides, TLineStatusSource lineStatus)
    : Host(host), OwnedStopEvent(stopEvent ? nullptr : std::make_unique<TEvent>()),
      StopEvent(stopEvent ? *stopEvent : *OwnedStopEvent), LineStatus(std::move(lineStatus)) {
    if (!LineStatus.ModemLines)
        LineStatus.ModemLines = [](const TSerialPort& port) { return port.ModemLines(); };
    if (!LineStatus.LostBytes)
        LineStatus.LostBytes = [](const TSerialPort& port) { return port.LostBytes(); };
    TIniFile config = ReadConfiguration(configFileName, overrides);
    if (int error = config.ReadError(); error != 0)
        PostTraffic(TTrafficKind::Warning,
                    Utf8ToCp1251("Файл настроек ") + PathText(configFileName) +
                        Utf8ToCp1251(" не прочитан: ") + SystemMessage(error) +
                        Utf8ToCp1251(". Действуют настройки по умолчанию; в этот файл ничего "
                                     "не будет записано."));
    Config = ReadTerminalSettings(config);
    if (!Config.TriggerFile.empty()) LoadTriggerTable(Config.TriggerFile);
    Open();
    Runtime.Start();
}

TTerminal::~TTerminal() {
    Stop();
}

void TTerminal::Stop() {
    StopEvent.Set(); // also ends a write the sender waits in
    if (auto port = CurrentPort()) port->Purge();
    {
        std::lock_guard lock(SendMutex);
        SenderStopping = true;
    }
    SendQueued.notify_one();
    if (SenderThread.joinable()) SenderThread.join();
    if (ReaderThread.joinable()) ReaderThread.join();
    std::lock_guard lock(PortMutex);
    Port.reset();
}

void TTerminal::Reconfigure(const TTerminalSettings& settings) {
    if (StopEvent.IsSet()) return;
    // The reader lets go of the port: woken by a purge while reading, by the event while
    // waiting for the device.
    Restarting = true;
    if (auto port = CurrentPort()) port->Purge();
    PortOpened.Set();
    if (ReaderThread.joinable()) ReaderThread.join();
    Restarting = false;
    PortOpened.Reset();
    {
        std::lock_guard lock(PortMutex);
        Port.reset();
    }
    Host.NotifyPortState(TPortState::Closed);
    // Only the port's settings change; the trigger file and its table stay.
    Config.PortNumber = settings.PortNumber;
    Config.Device = settings.Device;
    Config.Line = settings.Line;
    Config.Timeouts = settings.Timeouts;
    Config.PacketSize = settings.PacketSize;
    Config.Reconnect = settings.Reconnect;
    PostTraffic(TTrafficKind::Info, Utf8ToCp1251("Новые настройки порта: ") +
                                        PathText(Config.PortPath()) + " " +
                                        std::to_string(Config.Line.BaudRate));
    Open();
}

std::shared_ptr<TSerialPort> TTerminal::CurrentPort() const {
    std::lock_guard lock(PortMutex);
    return Port;
}

bool TTerminal::IsOpen() const {
    return CurrentPort() != nullptr;
}

std::string TTerminal::PortFailureText(int error, const std::string& detail) const {
    std::string text = Config.Device.empty() ? Config.PortName() : Config.PortName() + ": ";
    text += SystemMessage(error);
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

std::shared_ptr<TSerialPort> TTerminal::OpenPort(bool reportFailure) {
    std::lock_guard opening(OpenMutex);
    if (auto port = CurrentPort()) return port;
    auto opened = TSerialPort::Open(Config.PortPath(), Config.Line, Config.Timeouts);
    if (!opened.Port) {
        if (reportFailure) {
            PostTraffic(TTrafficKind::Error, PortFailureText(opened.Error, opened.Detail));
            Host.NotifyPortState(Config.Reconnect ? TPortState::Waiting : TPortState::Closed);
        }
        return nullptr;
    }
    std::shared_ptr<TSerialPort> port = std::move(opened.Port);
    {
        std::lock_guard lock(PortMutex);
        Port = port;
    }
    PostTraffic(TTrafficKind::Info, Config.PortName() + Utf8ToCp1251(": открыт"));
    Host.NotifyPortState(TPortState::Open);
    return port;
}

bool TTerminal::Open() {
    if (IsOpen()) return true;
    if (StopEvent.IsSet()) return false; // stopped for good
    // Without a working stop event the reader could never be ended.
    if (int error = StopEvent.CreationError(); error != 0) {
        PostTraffic(TTrafficKind::Error, PortFailureText(error));
        return false;
    }
    std::shared_ptr<TSerialPort> port = OpenPort(true);
    // Only with reconnect does a reader wait for the port; without, it may be ending now.
    bool readerWaits = Config.Reconnect && ReaderThread.joinable() && !ReaderDone;
    if (readerWaits) {
        if (port) PortOpened.Set(); // the waiting reader takes it over at once
    } else if (port || Config.Reconnect) {
        StartReader(port); // with reconnect a reader also waits for a missing port
    }
    return port != nullptr;
}

void TTerminal::StartReader(std::shared_ptr<TSerialPort> port) {
    // A reader that ended after a hang-up is gone before a new one starts.
    if (ReaderThread.joinable()) ReaderThread.join();
    ReaderDone = false;
    ReaderThread = std::thread(&TTerminal::ReaderMain, this, std::move(port));
}

void TTerminal::PostTraffic(TTrafficKind kind, std::string_view bytes) {
    auto record = std::make_unique<TTrafficRecord>();
    record->Time = Now();
    record->Kind = kind;
    record->Data.assign(bytes);
    Host.PostTraffic(std::move(record));
}

void TTerminal::WritePort(std::string_view bytes, TTrafficKind kind) {
    std::shared_ptr<TSerialPort> port = CurrentPort();
    std::lock_guard lock(WriteMutex);
    int written = port ? port->Write(bytes.data(), static_cast<int>(bytes.size()), &StopEvent) : 0;
    PostTraffic(kind, bytes.substr(0, static_cast<size_t>(written)));
}

void TTerminal::Send(std::string_view bytes) {
    if (Open()) WritePort(bytes, TTrafficKind::Sent);
}

bool TTerminal::SendLater(std::string bytes) {
    // Opened here, on the owner's thread, which alone starts readers; a port that will not
    // open has said so.
    if (!Open()) return true;
    {
        std::lock_guard lock(SendMutex);
        if (SenderStopping || SendQueue.size() >= SendQueueLimit) return false;
        SendQueue.push_back(std::move(bytes));
        ++SendsPending;
    }
    if (!SenderThread.joinable()) SenderThread = std::thread(&TTerminal::SenderMain, this);
    SendQueued.notify_one();
    return true;
}

void TTerminal::SenderMain() {
    NameCurrentThread("vemla-sender");
    std::unique_lock lock(SendMutex);
    for (;;) {
        SendQueued.wait(lock, [this] { return SenderStopping || !SendQueue.empty(); });
        if (SenderStopping) break;
        std::string bytes = std::move(SendQueue.front());
        lock.unlock();
        WritePort(bytes, TTrafficKind::Sent);
        lock.lock();
        SendQueue.pop_front();
        --SendsPending;
    }
    // Stopped: what was never written is no longer pending either.
    SendsPending -= SendQueue.size();
    SendQueue.clear();
}

bool TTerminal::SetDtr(bool on) {
    std::lock_guard opening(OpenMutex);
    auto port = CurrentPort();
    if (!port || Config.Line.DtrControl == 2 || !port->SetModemOutput(TModemOutput::Dtr, on))
        return false;
    Config.Line.DtrControl = on ? 1 : 0;
    return true;
}

bool TTerminal::SetRts(bool on) {
    std::lock_guard opening(OpenMutex);
    auto port = CurrentPort();
    if (!port || Config.Line.RtsControl >= 2 || !port->SetModemOutput(TModemOutput::Rts, on))
        return false;
    Config.Line.RtsControl = on ? 1 : 0;
    return true;
}

bool TTerminal::SendBreak(std::chrono::milliseconds duration) {
    auto port = CurrentPort();
    if (!port) return false;
    std::lock_guard lock(WriteMutex);
    return port->SendBreak(duration, StopEvent) == 0;
}

void TTerminal::ReportModemLines(std::optional<TModemLines> lines) {
    if (lines == ReportedModemLines) return;
    ReportedModemLines = lines;
    Host.NotifyModemLines(lines);
}

void TTerminal::WatchLineStatus(const TSerialPort& port) {
    auto now = std::chrono::steady_clock::now();
    if (now < NextLineLook) return;
    NextLineLook = now + LineStatusInterval;
    ReportModemLines(LineStatus.ModemLines(port));
    std::optional<uint64_t> lost = LineStatus.LostBytes(port);
    // A line without flow control that delivers faster than vemla reads loses bytes in the
    // driver; that cannot be undone, but it must not go unnoticed.
    if (lost && LostBytesSeen && *lost > *LostBytesSeen)
        PostTraffic(TTrafficKind::Error,
                    Config.PortName() + Utf8ToCp1251(": переполнение приёма, потеряно байт: ") +
                        std::to_string(*lost - *LostBytesSeen));
    LostBytesSeen = lost;
}

void TTerminal::ReaderMain(std::shared_ptr<TSerialPort> port) {
    NameCurrentThread("vemla-reader");
    for (;;) {
        if (port) {
            bool stopped = ReadLoop(port);
            ReportModemLines(std::nullopt);
            if (stopped || !Config.Reconnect) break;
            port.reset();
        }
        // Waiting for the device: tried again every interval, silently (its loss was
        // reported once); a Send may open it meanwhile.
        if (StopEvent.WaitFor(ReconnectInterval, PortOpened) || Restarting) break;
        PortOpened.Reset();
        port = OpenPort(false);
    }
    ReaderDone = true;
}

bool TTerminal::ReadLoop(const std::shared_ptr<TSerialPort>& port) {
    char buffer[ReceiveBufferSize];
    const int firstRead = std::clamp(Config.PacketSize, 0, ReceiveBufferSize);
    // The line's status is looked at between packets and while the line is quiet, never
    // inside a packet's read; a driver that has none is not asked again.
    NextLineLook = {};
    LostBytesSeen.reset();
    WatchLineStatus(*port);
    const bool watched = ReportedModemLines || LostBytesSeen;
    const auto statusWait = watched ? LineStatusInterval : std::chrono::milliseconds(-1);
    while (!Restarting) {
        // A host without room is looked at again every few milliseconds; stop and new
        // settings still end the wait at once.
        while (!Host.HasRoom())
            if (StopEvent.WaitFor(HostRoomInterval, StopEvent) || Restarting) return true;
        auto waited = port->WaitForReceive(StopEvent, statusWait);
        if (waited == TSerialPort::TWaitResult::TimedOut) {
            WatchLineStatus(*port);
            continue;
        }
        if (waited == TSerialPort::TWaitResult::Stopped || Restarting) return true;
        if (waited == TSerialPort::TWaitResult::Failed) {
            ClosePortAfterFailure(port->LastError());
            return false;
        }
        int total = port->Read(buffer, firstRead, StopEvent);
        bool lineFailed = total == 0 && port->LastError() != 0;
        // Whatever is already queued belongs to this packet, as far as the buffer holds it;
        // the rest stays queued for the next cycle.
        total += port->ReadQueued(buffer + total, ReceiveBufferSize - total);
        if (total > 0) {
            std::string_view packet(buffer, static_cast<size_t>(total));
            PostTraffic(TTrafficKind::Received, packet);
            MatchPacket(packet);
            if (watched) WatchLineStatus(*port);
        } else if (lineFailed && !StopEvent.IsSet()) {
            ClosePortAfterFailure(port->LastError());
            return false;
        }
    }
    return true;
}

void TTerminal::ClosePortAfterFailure(int error) {
    {
        std::lock_guard lock(PortMutex);
        Port.reset();
    }
    PostTraffic(TTrafficKind::Error, PortFailureText(error));
    Host.NotifyPortState(Config.Reconnect ? TPortState::Waiting : TPortState::Closed);
}

TTableLoad LoadTriggerFile(const std::string& fileName, int32_t hashSize) {
    std::string text;
    if (int error = ReadWholeFile(fileName, text, TriggerFileLimit); error != 0) {
        TTableLoad failed;
        failed.Value = std::make_unique<TriggerTable>();
        // vemla's own error numbers are no system's: only the system's are shown.
        std::string number = error == ErrorNotRegularFile ? "" : std::to_string(error) + " ";
        failed.Error = Utf8ToCp1251("Ошибка открытия файла :") + PathText(fileName) + " -  " +
                       number + SystemMessage(error);
        failed.SystemError = error;
        return failed;
    }
    TTableLoad loaded = LoadTriggers(text, hashSize);
    if (!loaded.Ok())
        loaded.Error = Utf8ToCp1251("Ошибка загрузки файла ") + "\"" + PathText(fileName) +
                       "\": " + loaded.Error;
    return loaded;
}

void TTerminal::LoadTriggerTable(const std::string& fileName) {
    TTableLoad loaded = LoadTriggerFile(fileName, Config.HashSize);
    if (!loaded.Ok()) {
        PostTraffic(TTrafficKind::Error, loaded.Error);
        return;
    }
    Runtime.SetTable(std::move(loaded.Value), Config.HashSize);
}

void TTerminal::Write(const TTrigger&, std::string_view bytes) {
    WritePort(bytes, TTrafficKind::TriggerSent);
}

void TTerminal::Print(std::string_view text) {
    PostTraffic(TTrafficKind::Info, text);
}

void TTerminal::StartSleepTimer(TTrigger& trigger, int32_t milliseconds) {
    Host.StartSleepTimer(trigger, milliseconds);
}

void TTerminal::NotifyTriggerChanged(TTrigger& trigger) {
    Host.NotifyTriggerChanged(trigger);
}

} // namespace vemla
