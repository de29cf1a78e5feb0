#include "engine/port_reader.h"

#include "platform/cp1251.h"
#include "platform/messages.h"
#include "platform/net_spelling.h"
#include "platform/pty_port.h"
#include "platform/system.h"

#include <algorithm>

namespace vemla {
namespace {

// Mark and space parity are rare on devices and silent in their effect (the ninth bit is
// fixed): the opening record says so. A virtual port and a raw network port carry no parity.
std::string ParityNote(const TTerminalSettings& settings) {
    if (NamesAVirtualPort(settings.Device)) return {};
    if (auto remote = ParseNetSpelling(settings.Device);
        remote && remote->Kind == TNetSpelling::TKind::Raw)
        return {};
    if (settings.Line.Parity == 3) return MessageText(TMessage::PortParityMark);
    if (settings.Line.Parity == 4) return MessageText(TMessage::PortParitySpace);
    return {};
}

} // namespace

TPortOpenResult OpenPortOf(const TTerminalSettings& settings, const TEvent& cancel) {
    return OpenPort(settings.PortPath(), settings.Line, settings.Timeouts, &cancel);
}

TPortReader::TPortReader(TTerminalHost& host, TTerminalSettings settings, TEvent& stopEvent,
                         TPortOpener openPort, TPacketHandler onPacket, TTrafficSource source)
    : Host(host), Config(std::move(settings)), StopEvent(stopEvent),
      Opener(openPort ? std::move(openPort) : TPortOpener(OpenPortOf)),
      OnPacket(std::move(onPacket)), Source(source) {}

TPortReader::~TPortReader() {
    StopEvent.Set();
    Stop();
}

void TPortReader::Stop() {
    OpenCancel.Set();
    if (auto port = CurrentPort()) port->Purge();
    if (ReaderThread.joinable()) ReaderThread.join();
    std::lock_guard lock(PortMutex);
    Port.reset();
}

void TPortReader::Reconfigure(const TTerminalSettings& settings) {
    if (StopEvent.IsSet()) return;
    ReleasePort();
    Host.NotifyPortState(ClosedByUser ? TPortState::ClosedByUser : TPortState::Closed);
    // Only the port's settings change; the trigger file and its table stay.
    Config.PortNumber = settings.PortNumber;
    Config.Device = settings.Device;
    Config.Line = settings.Line;
    {
        std::lock_guard opening(OpenMutex);
        PeerLine.reset(); // the user's settings hold until the application sets the line again
    }
    Config.Timeouts = settings.Timeouts;
    Config.PacketSize = settings.PacketSize;
    Config.Reconnect = settings.Reconnect;
    Report(TTrafficKind::Info,
           MessageText(TMessage::PortNewSettings,
                       {PathText(Config.PortPath()), std::to_string(Config.Line.BaudRate)}));
    Open();
}

TLineSettings TPortReader::LineInForce() {
    std::lock_guard opening(OpenMutex);
    return PeerLine.value_or(Config.Line);
}

void TPortReader::Close() {
    if (StopEvent.IsSet() || ClosedByUser) return;
    ReleasePort();
    ClosedByUser = true;
    Report(TTrafficKind::Info, MessageText(TMessage::PortClosedByUser, {Config.PortName()}));
    Host.NotifyPortState(TPortState::ClosedByUser);
}

bool TPortReader::Reopen() {
    ClosedByUser = false;
    return Open();
}

void TPortReader::ReleasePort() {
    // The reader lets go of the port: woken by a purge while reading, by the event while
    // waiting for the device.
    Restarting = true;
    OpenCancel.Set();
    if (auto port = CurrentPort()) port->Purge();
    PortOpened.Set();
    if (ReaderThread.joinable()) ReaderThread.join();
    Restarting = false;
    PortOpened.Reset();
    OpenCancel.Reset();
    {
        std::lock_guard lock(PortMutex);
        Port.reset();
    }
}

std::shared_ptr<TPort> TPortReader::CurrentPort() const {
    std::lock_guard lock(PortMutex);
    return Port;
}

bool TPortReader::IsOpen() const {
    return CurrentPort() != nullptr;
}

bool TPortReader::AwaitConnection() {
    // Checked every few milliseconds: a connection takes far longer, and a stop ends it.
    while (ConnectingNow && !StopEvent.WaitFor(HostRoomInterval, StopEvent)) {
    }
    return IsOpen();
}

std::string TPortReader::FailureText(int error, const std::string& detail) const {
    std::string text = Config.Device.empty() ? Config.PortName() : Config.PortName() + ": ";
    text += SystemMessage(error);
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

std::unique_ptr<TTrafficRecord> TPortReader::MakeRecord(TTrafficKind kind,
                                                        std::string_view text) const {
    auto record = std::make_unique<TTrafficRecord>();
    record->Time = Now();
    record->Kind = kind;
    record->Data.assign(text);
    record->Source = Source;
    return record;
}

void TPortReader::Report(TTrafficKind kind, std::string_view text) {
    if (Order)
        Order->Post(MakeRecord(kind, text));
    else
        Host.PostTraffic(MakeRecord(kind, text));
}

std::shared_ptr<TPort> TPortReader::OpenPort(bool reportFailure) {
    std::lock_guard opening(OpenMutex);
    if (auto port = CurrentPort()) return port;
    TTerminalSettings settings = Config;
    if (PeerLine) settings.Line = *PeerLine;
    TPortOpenResult opened = Opener(settings, OpenCancel);
    if (!opened.Port) {
        if (reportFailure && !OpenCancel.IsSet()) {
            Report(TTrafficKind::Error, FailureText(opened.Error, opened.Detail));
            Host.NotifyPortState(Config.Reconnect ? TPortState::Waiting : TPortState::Closed);
        }
        return nullptr;
    }
    std::shared_ptr<TPort> port = std::move(opened.Port);
    {
        std::lock_guard lock(PortMutex);
        Port = port;
    }
    Report(TTrafficKind::Info,
           MessageText(TMessage::PortOpened, {Config.PortName(), ParityNote(Config)}));
    Host.NotifyPortState(TPortState::Open);
    ReportUnforwarded();
    return port;
}

bool TPortReader::Open() {
    if (IsOpen()) return true;
    if (StopEvent.IsSet() || ClosedByUser) return false; // stopped for good, or let go
    // Without a working stop event the reader could never be ended.
    if (int error = StopEvent.CreationError(); error != 0) {
        Report(TTrafficKind::Error, FailureText(error));
        return false;
    }
    // Only with reconnect does a reader wait for the port; without, it may be ending now.
    bool readerWaits = Config.Reconnect && ReaderThread.joinable() && !ReaderDone;
    if (OpensSlowly(Config.PortPath())) {
        // The reader resolves the name and connects; its record says how that went. Until
        // then the port is waited for, as a missing device is.
        Host.NotifyPortState(TPortState::Waiting);
        if (readerWaits) {
            ConnectingNow = true;
            PortOpened.Set();
        } else if (!ReaderThread.joinable() || ReaderDone) {
            ConnectingNow = true;
            StartReader(nullptr, true);
        }
        return false;
    }
    std::shared_ptr<TPort> port = OpenPort(true);
    if (readerWaits) {
        if (port) PortOpened.Set(); // the waiting reader takes it over at once
    } else if (port || Config.Reconnect) {
        StartReader(port); // with reconnect a reader also waits for a missing port
    }
    return port != nullptr;
}

void TPortReader::StartReader(std::shared_ptr<TPort> port, bool openFirst) {
    // A reader that ended after a hang-up is gone before a new one starts.
    if (ReaderThread.joinable()) ReaderThread.join();
    ReaderDone = false;
    ReaderThread = std::thread(&TPortReader::ReaderMain, this, std::move(port), openFirst);
}

void TPortReader::Write(std::string_view bytes, TTrafficKind kind) {
    std::shared_ptr<TPort> port = CurrentPort();
    if (!port && AwaitConnection()) port = CurrentPort();
    // Bytes that never reached the line are an error of the port, not an empty data line.
    if (!port && !bytes.empty()) {
        Report(TTrafficKind::Error, MessageText(TMessage::PortNotSent,
                                                {Config.PortName(), std::to_string(bytes.size())}));
        return;
    }
    std::lock_guard lock(WriteMutex);
    int written = port ? port->Write(bytes.data(), static_cast<int>(bytes.size()), &StopEvent) : 0;
    Report(kind, bytes.substr(0, static_cast<size_t>(written)));
}

void TPortReader::Forward(std::string_view bytes) {
    std::shared_ptr<TPort> port = CurrentPort();
    int written = 0;
    if (port && !PeerAbsent) {
        std::lock_guard lock(WriteMutex);
        written = port->Write(bytes.data(), static_cast<int>(bytes.size()), &StopEvent);
    }
    // A flood passes here per chunk: the counter is only read unless an outage just ended.
    if (written > 0 && Unforwarded.load() > 0) ReportUnforwarded();
    Unforwarded += bytes.size() - static_cast<size_t>(std::max(written, 0));
}

void TPortReader::ReportUnforwarded() {
    if (uint64_t count = Unforwarded.exchange(0); count > 0)
        Report(TTrafficKind::Info,
               MessageText(TMessage::PortNotForwarded, {Config.PortName(), std::to_string(count)}));
}

void TPortReader::ApplyPeerLine(const TLineSettings& peer) {
    std::lock_guard opening(OpenMutex);
    TLineSettings line = PeerLine.value_or(Config.Line);
    line.BaudRate = peer.BaudRate;
    line.StopBits = peer.StopBits;
    // Without the handshake the RTS line goes back to on, as a port opened without one has it.
    if (peer.RtsControl == 2 || line.RtsControl == 2)
        line.RtsControl = peer.RtsControl == 2 ? 2 : 1;
    std::string text =
        MessageText(TMessage::PortPeerLine,
                    {Config.PortName(), std::to_string(line.BaudRate),
                     line.StopBits == 0 ? "1" : "2", line.RtsControl == 2 ? ", RTS/CTS" : ""});
    PeerLine = line;
    int error = 0;
    if (std::shared_ptr<TPort> port = CurrentPort()) error = port->SetLine(line);
    if (error == 0)
        Report(TTrafficKind::Info, text);
    else
        Report(TTrafficKind::Warning, text + ": " + SystemMessage(error));
}

bool TPortReader::SetModemOutput(TModemOutput line, bool on) {
    std::lock_guard opening(OpenMutex);
    auto port = CurrentPort();
    int32_t& control = line == TModemOutput::Dtr ? Config.Line.DtrControl : Config.Line.RtsControl;
    // Under handshake (2) or toggle (3) control the driver owns the line.
    if (!port || control >= 2 || !port->SetModemOutput(line, on)) return false;
    control = on ? 1 : 0;
    return true;
}

bool TPortReader::SendBreak(std::chrono::milliseconds duration) {
    auto port = CurrentPort();
    if (!port) return false;
    std::lock_guard lock(WriteMutex);
    return port->SendBreak(duration, StopEvent) == 0;
}

void TPortReader::ReportModemLines(std::optional<TModemLines> lines) {
    if (lines == ReportedModemLines) return;
    ReportedModemLines = lines;
    Host.NotifyModemLines(lines);
}

void TPortReader::WatchLineStatus(TPort& port) {
    auto now = std::chrono::steady_clock::now();
    if (now < NextLineLook) return;
    NextLineLook = now + LineStatusInterval;
    ReportModemLines(port.ModemLines());
    TakeNotices(port);
    // Looked at here, not per packet: a server confirms its rate once per connection.
    if (std::optional<int32_t> rate = port.ConfirmedRate(); rate != ConfirmedRateSeen) {
        ConfirmedRateSeen = rate;
        Host.NotifyConfirmedRate(rate);
    }
    if (std::optional<bool> peer = port.PeerPresent(); peer != PeerSeen) {
        PeerSeen = peer;
        PeerAbsent = peer && !*peer;
        if (peer && *peer) ReportUnforwarded();
        if (peer)
            Host.NotifyPortState(*peer ? TPortState::ApplicationConnected
                                       : TPortState::ApplicationAwaited);
    }
    std::optional<uint64_t> lost = port.LostBytes();
    // A line without flow control that delivers faster than vemla reads loses bytes in the
    // driver; that cannot be undone, but it must not go unnoticed.
    if (lost && LostBytesSeen && *lost > *LostBytesSeen)
        Report(TTrafficKind::Error,
               MessageText(TMessage::PortReceiveOverrun,
                           {Config.PortName(), std::to_string(*lost - *LostBytesSeen)}));
    LostBytesSeen = lost;
}

void TPortReader::ReaderMain(std::shared_ptr<TPort> port, bool openFirst) {
    NameCurrentThread("vemla-reader");
    if (openFirst) port = OpenPort(true);
    ConnectingNow = false;
    for (;;) {
        if (!port && openFirst && !Config.Reconnect) break;
        if (port) {
            bool stopped = ReadLoop(port);
            ReportModemLines(std::nullopt);
            if (stopped || !Config.Reconnect) break;
            port.reset();
        }
        // Waiting for the device: tried again every interval, silently (its loss was
        // reported once); a write may open it meanwhile.
        if (StopEvent.WaitFor(ReconnectInterval, PortOpened) || Restarting) break;
        PortOpened.Reset();
        port = OpenPort(false);
        ConnectingNow = false;
    }
    ConnectingNow = false;
    ReaderDone = true;
}

bool TPortReader::ReadLoop(const std::shared_ptr<TPort>& port) {
    char buffer[ReceiveBufferSize];
    const int firstRead = std::clamp(Config.PacketSize, 0, ReceiveBufferSize);
    // The line's status is looked at between packets and while the line is quiet, never
    // inside a packet's read; a port that has none is not asked again.
    NextLineLook = {};
    LostBytesSeen.reset();
    PeerSeen.reset();
    WatchLineStatus(*port);
    const bool watched = ReportedModemLines || LostBytesSeen || PeerSeen;
    // A bridge passes bytes on as they are read where the port can; else each packet whole.
    const bool tapped = ForwardTarget && port->TapReads([this](std::string_view bytes) {
        ForwardTarget->Forward(bytes);
    });
    const auto statusWait = watched ? LineStatusInterval : std::chrono::milliseconds(-1);
    while (!Restarting) {
        // A host without room is looked at again every few milliseconds; stop and new
        // settings still end the wait at once.
        while (!Host.HasRoom())
            if (StopEvent.WaitFor(HostRoomInterval, StopEvent) || Restarting) return true;
        auto waited = port->WaitForReceive(StopEvent, statusWait);
        if (waited == TPort::TWaitResult::TimedOut) {
            WatchLineStatus(*port);
            continue;
        }
        if (waited == TPort::TWaitResult::Stopped || Restarting) return true;
        if (waited == TPort::TWaitResult::Failed) {
            ClosePortAfterFailure(port->LastError(), port->FailureDetail());
            return false;
        }
        // Taken before the first read, so before any byte of this packet is passed on: an
        // answer to it cannot begin earlier.
        const uint64_t ticket = Order ? Order->Begin() : 0;
        int total = port->Read(buffer, firstRead, StopEvent);
        bool lineFailed = total == 0 && port->LastError() != 0;
        // Whatever is already queued belongs to this packet, as far as the buffer holds it;
        // the rest stays queued for the next cycle.
        total += port->ReadQueued(buffer + total, ReceiveBufferSize - total);
        TakeNotices(*port);
        if (PeerLineHandler)
            if (std::optional<TLineSettings> line = port->TakePeerLine()) PeerLineHandler(*line);
        if (total > 0) {
            std::string_view packet(buffer, static_cast<size_t>(total));
            // Passed on first: neither the records nor their readers ever delay the line.
            if (ForwardTarget && !tapped) ForwardTarget->Forward(packet);
            if (Order)
                Order->Finish(ticket, MakeRecord(TTrafficKind::Received, packet));
            else
                Report(TTrafficKind::Received, packet);
            OnPacket(packet);
            if (watched) WatchLineStatus(*port);
            continue;
        }
        if (Order) Order->Finish(ticket, nullptr);
        if (lineFailed && !StopEvent.IsSet()) {
            ClosePortAfterFailure(port->LastError(), port->FailureDetail());
            return false;
        }
    }
    return true;
}

void TPortReader::TakeNotices(TPort& port) {
    for (TPortNotice& notice : port.TakeNotices()) {
        static constexpr TTrafficKind Kinds[] = {TTrafficKind::Info, TTrafficKind::Warning,
                                                 TTrafficKind::Error};
        Report(Kinds[static_cast<int>(notice.Level)], Config.PortName() + ": " + notice.Text);
    }
}

void TPortReader::ClosePortAfterFailure(int error, const std::string& detail) {
    {
        std::lock_guard lock(PortMutex);
        Port.reset();
    }
    if (ConfirmedRateSeen) Host.NotifyConfirmedRate(ConfirmedRateSeen = std::nullopt);
    Report(TTrafficKind::Error, FailureText(error, detail));
    Host.NotifyPortState(Config.Reconnect ? TPortState::Waiting : TPortState::Closed);
}

} // namespace vemla
