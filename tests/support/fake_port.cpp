#include "tests/support/fake_port.h"

#include <cerrno>
#include <cstring>

namespace vemla::test {

void TFakeLine::Deliver(std::string packet) {
    std::lock_guard lock(Mutex);
    Packets.push_back(std::move(packet));
    Arrived.Set();
}

void TFakeLine::HangUp() {
    std::lock_guard lock(Mutex);
    HungUp = true;
    Arrived.Set();
}

void TFakeLine::SetLineStatus(std::optional<TModemLines> lines, std::optional<uint64_t> lost) {
    std::lock_guard lock(Mutex);
    Lines = lines;
    Lost = lost;
}

std::string TFakeLine::Written() {
    std::lock_guard lock(Mutex);
    return WrittenBytes;
}

TPortOpener TFakeLine::Opener() {
    return [this](const TTerminalSettings&, const TEvent&) {
        TPortOpenResult opened;
        opened.Port = std::make_unique<TFakePort>(*this);
        return opened;
    };
}

TPort::TWaitResult TFakePort::WaitForReceive(const TEvent& stop,
                                             std::chrono::milliseconds timeout) {
    constexpr std::chrono::milliseconds Long = std::chrono::hours(1);
    for (;;) {
        bool arrived = Line.Arrived.WaitFor(timeout.count() < 0 ? Long : timeout, stop);
        if (stop.IsSet()) return TWaitResult::Stopped;
        if (!arrived) {
            if (timeout.count() >= 0) return TWaitResult::TimedOut;
            continue;
        }
        std::lock_guard lock(Line.Mutex);
        if (!Line.Packets.empty()) return TWaitResult::Received;
        if (Line.HungUp) return TWaitResult::Failed;
        Line.Arrived.Reset(); // a purge's wake-up: nothing to read
        return TWaitResult::Received;
    }
}

int TFakePort::Take(char* buffer, int count) {
    std::lock_guard lock(Line.Mutex);
    if (Line.Packets.empty()) return 0;
    std::string& packet = Line.Packets.front();
    size_t taken = std::min(packet.size(), static_cast<size_t>(std::max(count, 0)));
    std::memcpy(buffer, packet.data(), taken);
    packet.erase(0, taken);
    if (packet.empty()) Line.Packets.pop_front();
    if (Line.Packets.empty() && !Line.HungUp) Line.Arrived.Reset();
    return static_cast<int>(taken);
}

int TFakePort::Read(char* buffer, int count, const TEvent&) {
    return Take(buffer, count);
}

int TFakePort::ReadQueued(char*, int) {
    return 0; // the rest of a packet longer than the first read comes with the next
}

int TFakePort::Write(const char* data, int count, const TEvent*) {
    std::lock_guard lock(Line.Mutex);
    Line.WrittenBytes.append(data, static_cast<size_t>(std::max(count, 0)));
    return count;
}

int TFakePort::QueuedBytes() const {
    std::lock_guard lock(Line.Mutex);
    size_t queued = 0;
    for (const std::string& packet : Line.Packets)
        queued += packet.size();
    return static_cast<int>(queued);
}

void TFakePort::Purge() {
    std::lock_guard lock(Line.Mutex);
    Line.Packets.clear();
    Line.Arrived.Set();
}

int TFakePort::LastError() const {
    std::lock_guard lock(Line.Mutex);
    return Line.HungUp ? EIO : 0;
}

std::optional<TModemLines> TFakePort::ModemLines() const {
    std::lock_guard lock(Line.Mutex);
    return Line.Lines;
}

std::optional<uint64_t> TFakePort::LostBytes() const {
    std::lock_guard lock(Line.Mutex);
    return Line.Lost;
}

} // namespace vemla::test
