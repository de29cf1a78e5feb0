#include "tests/support/pty_device.h"

#include <cstdlib>
#include <stdexcept>
#include <windows.h>

namespace vemla::test {

namespace {

std::string PortFromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return std::string("\\\\.\\") + (value && *value ? value : fallback);
}

// Read time-outs for one call: wait at most total ms, or end after a silence of interval ms
// once a byte came (0: no interval rule).
void SetReadTimeouts(HANDLE port, DWORD interval, DWORD total) {
    COMMTIMEOUTS timeouts{interval, 0, total, 0, 0};
    SetCommTimeouts(port, &timeouts);
}

// 8 data bits, no parity, one stop bit.
void SetPlainLine(HANDLE port) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(port, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    SetCommState(port, &dcb);
}

} // namespace

TPtyDevice::TPtyDevice() : Path(PortFromEnvironment("VEMLA_TEST_PORT", "COM5")) {
    // Wine passes a parity setting on to the pseudo-terminal, which then refuses the next
    // opener's time-outs: a test starts with a plain line, whatever the one before set.
    HANDLE port = CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        SetPlainLine(port);
        // Bytes a test before left in the relay reach this side late: taken here, they never
        // show up in this test's records.
        PurgeComm(port, PURGE_RXCLEAR);
        char stray[4096];
        DWORD got = 0;
        SetReadTimeouts(port, 0, 20);
        while (ReadFile(port, stray, sizeof stray, &got, nullptr) && got > 0) {
        }
        CloseHandle(port);
    }
    std::string device = PortFromEnvironment("VEMLA_TEST_DEVICE_PORT", "COM6");
    Master = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    if (Master == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + device);
    SetPlainLine(Master);
    // A test starts with an empty line, whatever the one before left on it.
    PurgeComm(Master, PURGE_RXCLEAR | PURGE_TXCLEAR);
    while (!ReadPacket(std::chrono::milliseconds(20), std::chrono::milliseconds(20)).empty()) {
    }
}

TPtyDevice::~TPtyDevice() {
    HangUp();
}

bool TPtyDevice::Write(std::string_view bytes, const std::function<bool()>& stopRequested) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (stopRequested && stopRequested()) return false;
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 4096));
        if (!WriteFile(Master, bytes.data() + done, chunk, &written, nullptr)) return false;
        done += written;
    }
    return true;
}

int TPtyDevice::QueuedToPort() const {
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(Master, &errors, &status) ? static_cast<int>(status.cbOutQue) : 0;
}

std::string TPtyDevice::Read(size_t count, std::chrono::milliseconds timeout) {
    std::string bytes(count, '\0');
    SetReadTimeouts(Master, 0, static_cast<DWORD>(timeout.count()));
    DWORD got = 0;
    if (!ReadFile(Master, bytes.data(), static_cast<DWORD>(count), &got, nullptr)) got = 0;
    bytes.resize(got);
    return bytes;
}

std::string TPtyDevice::ReadPacket(std::chrono::milliseconds timeout, std::chrono::milliseconds gap,
                                   const std::function<bool()>& stopRequested) {
    std::string packet = Read(1, timeout);
    // Then whatever follows until the line is quiet for the gap.
    while (!packet.empty() && !(stopRequested && stopRequested())) {
        char buffer[4096];
        DWORD got = 0;
        SetReadTimeouts(Master, 0, static_cast<DWORD>(gap.count()));
        if (!ReadFile(Master, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
        packet.append(buffer, got);
    }
    return packet;
}

void TPtyDevice::HangUp() {
    if (Master && Master != INVALID_HANDLE_VALUE) CloseHandle(Master);
    Master = nullptr;
}

} // namespace vemla::test
