#include "platform/serial_dcb_win32.h"
#include "platform/serial_port.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>

namespace vemla {

namespace {

using TClock = std::chrono::steady_clock;

// One overlapped operation's record with its own manual-reset event.
struct TOverlapped {
    TOverlapped() { Record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~TOverlapped() {
        if (Record.hEvent) CloseHandle(Record.hEvent);
    }
    TOverlapped(const TOverlapped&) = delete;
    TOverlapped& operator=(const TOverlapped&) = delete;
    // Ready for the next operation.
    OVERLAPPED& Fresh() {
        HANDLE event = Record.hEvent;
        Record = OVERLAPPED{};
        Record.hEvent = event;
        ResetEvent(event);
        return Record;
    }
    OVERLAPPED Record{};
};

DWORD Milliseconds(std::chrono::milliseconds timeout) {
    if (timeout.count() < 0) return INFINITE;
    return static_cast<DWORD>(std::min<long long>(timeout.count(), INFINITE - 1));
}

} // namespace

DCB DcbFor(const TLineSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(s.BaudRate);
    dcb.fBinary = 1;
    dcb.fDtrControl = static_cast<DWORD>(s.DtrControl) & 3;
    dcb.fRtsControl = static_cast<DWORD>(s.RtsControl) & 3;
    // The RTS/CTS handshake holds our output back on CTS too, as CRTSCTS does on POSIX.
    dcb.fOutxCtsFlow = s.RtsControl == RTS_CONTROL_HANDSHAKE;
    dcb.ByteSize = static_cast<BYTE>(s.ByteSize);
    dcb.Parity = static_cast<BYTE>(s.Parity);
    dcb.StopBits = static_cast<BYTE>(s.StopBits);
    return dcb;
}

COMMTIMEOUTS CommTimeoutsFor(const TCommTimeouts& t) {
    return {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
            t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
}

std::string WindowsDevicePath(const std::string& path) {
    std::string native = path;
    std::replace(native.begin(), native.end(), '/', '\\');
    auto upper = [](std::string text) {
        for (char& ch : text)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return text;
    };
    // A bare COM name is a device only under \\.\ (COM10 and above need it).
    if (upper(native).rfind("COM", 0) == 0 && native.size() > 3 &&
        std::all_of(native.begin() + 3, native.end(),
                    [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }))
        native = "\\\\.\\" + native;
    return native;
}

std::string SerialPortPath(int32_t number) {
    return "\\\\.\\COM" + std::to_string(number);
}

struct TSerialPort::TState {
    TState(HANDLE port, const TCommTimeouts& timeouts) : Port(port), Timeouts(timeouts) {}
    ~TState() { CloseHandle(Port); }

    // Waits for an overlapped operation that did not complete at once; stop and Abort end it
    // early (cancelled, its partial count kept). The count transferred; a failure sets
    // LineError.
    DWORD Finish(BOOL started, OVERLAPPED& record, const TEvent* stop);

    HANDLE Port;
    TCommTimeouts Timeouts;
    TEvent Abort;
    std::atomic<int> LineError{0};
    TOverlapped Reading, Writing; // one per side: the reader thread, and the writers in turn
};

DWORD TSerialPort::TState::Finish(BOOL started, OVERLAPPED& record, const TEvent* stop) {
    DWORD count = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        LineError = static_cast<int>(GetLastError());
        return 0;
    }
    if (!started) {
        HANDLE handles[3] = {record.hEvent, Abort.Handle(), stop ? stop->Handle() : nullptr};
        DWORD woken = WaitForMultipleObjects(stop ? 3 : 2, handles, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) Abort.Reset();
        if (woken != WAIT_OBJECT_0) CancelIoEx(Port, &record);
    }
    if (!GetOverlappedResult(Port, &record, &count, TRUE)) {
        DWORD error = GetLastError();
        if (error != ERROR_OPERATION_ABORTED) LineError = static_cast<int>(error);
    }
    return count;
}

TSerialPort::TOpenResult TSerialPort::Open(const std::string& path, const TLineSettings& settings,
                                           const TCommTimeouts& timeouts) {
    TOpenResult result;
    if (std::string problem = InvalidLineSetting(settings); !problem.empty()) {
        result.Error = ERROR_INVALID_PARAMETER;
        result.Detail = problem;
        return result;
    }
    // Not shared: the port is this program's alone while it is open.
    HANDLE port = CreateFileA(WindowsDevicePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        result.Error = static_cast<int>(GetLastError());
        return result;
    }
    auto state = std::make_unique<TState>(port, timeouts);
    DCB dcb = DcbFor(settings);
    COMMTIMEOUTS commTimeouts = CommTimeoutsFor(timeouts);
    // The queue sizes are a wish that some drivers do not take: not a reason to refuse.
    SetupComm(port, 4096, 4096);
    if (!SetCommTimeouts(port, &commTimeouts) || !SetCommState(port, &dcb) ||
        !SetCommMask(port, EV_RXCHAR)) {
        result.Error = static_cast<int>(GetLastError());
        return result;
    }
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    // A port whose waits nothing could wake is refused.
    if (int error = state->Abort.CreationError(); error != 0) {
        result.Error = error;
        return result;
    }
    if (!state->Reading.Record.hEvent || !state->Writing.Record.hEvent) {
        result.Error = ERROR_NO_SYSTEM_RESOURCES;
        return result;
    }
    result.Port = std::make_unique<TSerialPort>(std::move(state));
    return result;
}

TSerialPort::TSerialPort(std::unique_ptr<TState> state) : State(std::move(state)) {}

TSerialPort::~TSerialPort() = default;

int TSerialPort::LastError() const {
    return State->LineError.load();
}

TSerialPort::TWaitResult TSerialPort::WaitForReceive(const TEvent& stop,
                                                     std::chrono::milliseconds timeout) {
    const auto deadline = TClock::now() + timeout;
    for (;;) {
        // A character that arrived before the wait began raises no event of its own.
        if (QueuedBytes() > 0) return TWaitResult::Received;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (timeout.count() >= 0 && left.count() <= 0) return TWaitResult::TimedOut;
        OVERLAPPED& record = State->Reading.Fresh();
        DWORD mask = 0;
        BOOL done = WaitCommEvent(State->Port, &mask, &record);
        DWORD error = done ? 0 : GetLastError();
        if (!done && error == ERROR_OPERATION_ABORTED) {
            // Some drivers end the wait now and then for no reason: wait again, not at once.
            if (stop.WaitFor(std::chrono::milliseconds(2), State->Abort))
                return TWaitResult::Stopped;
            continue;
        }
        if (!done && error != ERROR_IO_PENDING) {
            State->LineError = static_cast<int>(error);
            return TWaitResult::Failed;
        }
        if (!done) {
            HANDLE handles[3] = {stop.Handle(), State->Abort.Handle(), record.hEvent};
            DWORD woken = WaitForMultipleObjects(
                3, handles, FALSE, Milliseconds(timeout.count() < 0 ? timeout : left));
            DWORD count = 0;
            if (woken != WAIT_OBJECT_0 + 2) {
                // A new mask ends the pending wait (cancelling it does not, on every system).
                SetCommMask(State->Port, EV_RXCHAR);
                GetOverlappedResult(State->Port, &record, &count, TRUE);
                // Some drivers (Wine's) finish the record before they signal its event: the
                // record is reused only once both are done, or a late event would end the next
                // wait at once. Bounded, for a driver that never signals a cancelled wait.
                WaitForSingleObject(record.hEvent, 1000);
                if (woken == WAIT_OBJECT_0) return TWaitResult::Stopped;
                if (woken == WAIT_OBJECT_0 + 1) {
                    State->Abort.Reset();
                    return TWaitResult::Received;
                }
                continue; // the time-out, looked at above
            }
            // The event is set, so the wait has ended: waiting for the result returns at once,
            // also where the driver sets the event before it writes the record's status.
            if (!GetOverlappedResult(State->Port, &record, &count, TRUE)) {
                error = GetLastError();
                if (error == ERROR_OPERATION_ABORTED) continue;
                State->LineError = static_cast<int>(error);
                return TWaitResult::Failed;
            }
        }
        if (mask & EV_RXCHAR) return TWaitResult::Received;
    }
}

int TSerialPort::Read(char* buffer, int count, const TEvent& stop) {
    if (count <= 0) return 0;
    State->LineError = 0;
    // "Return at once with what is there" is taken from the queue without a read: some drivers
    // (Wine's) wait for a byte instead.
    const TCommTimeouts& t = State->Timeouts;
    if (t.ReadIntervalTimeout == TCommTimeouts::MaxValue && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0)
        return ReadQueued(buffer, count);
    OVERLAPPED& record = State->Reading.Fresh();
    BOOL started = ReadFile(State->Port, buffer, static_cast<DWORD>(count), nullptr, &record);
    return static_cast<int>(State->Finish(started, record, &stop));
}

int TSerialPort::ReadQueued(char* buffer, int count) {
    int queued = std::min(QueuedBytes(), count);
    if (queued <= 0) return 0;
    OVERLAPPED& record = State->Reading.Fresh();
    BOOL started = ReadFile(State->Port, buffer, static_cast<DWORD>(queued), nullptr, &record);
    return static_cast<int>(State->Finish(started, record, nullptr));
}

int TSerialPort::Write(const char* data, int count, const TEvent* stop) {
    if (count <= 0) return 0;
    OVERLAPPED& record = State->Writing.Fresh();
    BOOL started = WriteFile(State->Port, data, static_cast<DWORD>(count), nullptr, &record);
    return static_cast<int>(State->Finish(started, record, stop));
}

int TSerialPort::QueuedBytes() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(State->Port, &errors, &status)) return 0;
    return static_cast<int>(std::min<DWORD>(status.cbInQue, INT32_MAX));
}

void TSerialPort::Purge() {
    PurgeComm(State->Port, PURGE_RXABORT | PURGE_TXABORT | PURGE_RXCLEAR | PURGE_TXCLEAR);
    // Not every driver aborts pending operations on a purge; the event ends their waits.
    State->Abort.Set();
}

std::optional<TModemLines> TSerialPort::ModemLines() const {
    DWORD status = 0;
    if (!GetCommModemStatus(State->Port, &status)) return std::nullopt;
    return TModemLines{.Cts = (status & MS_CTS_ON) != 0,
                       .Dsr = (status & MS_DSR_ON) != 0,
                       .Dcd = (status & MS_RLSD_ON) != 0,
                       .Ri = (status & MS_RING_ON) != 0};
}

std::optional<uint64_t> TSerialPort::LostBytes() const {
    // The system flags an overrun but does not say how many bytes it cost.
    return std::nullopt;
}

bool TSerialPort::SetModemOutput(TModemOutput line, bool on) {
    DWORD function = line == TModemOutput::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    return EscapeCommFunction(State->Port, function) != 0;
}

// The overlapped reads hand out framed packets only: a bridge passes them on whole.
bool TSerialPort::TapReads(TReadTap) {
    return false;
}

int TSerialPort::SetLine(const TLineSettings& settings) {
    // The modem lines keep their present state: the DCB asks for the configured one.
    DCB dcb = DcbFor(settings);
    return SetCommState(State->Port, &dcb) ? 0 : static_cast<int>(GetLastError());
}

int TSerialPort::SendBreak(std::chrono::milliseconds duration, const TEvent& stop) {
    if (!SetCommBreak(State->Port)) return static_cast<int>(GetLastError());
    // The stop event or a purge (the port is being let go) cuts the break short.
    HANDLE handles[2] = {stop.Handle(), State->Abort.Handle()};
    WaitForMultipleObjects(2, handles, FALSE, Milliseconds(duration));
    return ClearCommBreak(State->Port) ? 0 : static_cast<int>(GetLastError());
}

} // namespace vemla
