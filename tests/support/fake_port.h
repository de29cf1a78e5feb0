#pragma once

#include "engine/port_reader.h"
#include "platform/port.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace vemla::test {

// The far side of a fake port: what the test delivers arrives as one packet each; what the
// engine writes is kept; the modem lines and the driver's loss count are what the test sets.
// Safe from any thread.
class TFakeLine {
  public:
    void Deliver(std::string packet);
    void HangUp();
    void SetLineStatus(std::optional<TModemLines> lines, std::optional<uint64_t> lost);
    std::string Written();
    // Opens fake ports on this line, whatever the settings say.
    TPortOpener Opener();

  private:
    friend class TFakePort;
    std::mutex Mutex;
    std::deque<std::string> Packets; // the front one may be partly read
    std::string WrittenBytes;
    std::optional<TModemLines> Lines;
    std::optional<uint64_t> Lost;
    bool HungUp = false;
    TEvent Arrived; // set while a packet, a hang-up or a purge waits for the reader
};

// A port in memory, as ninja fakes its disk: every call of a port, none of the system.
class TFakePort final : public TPort {
  public:
    explicit TFakePort(TFakeLine& line) : Line(line) {}
    TWaitResult WaitForReceive(const TEvent& stop, std::chrono::milliseconds timeout) override;
    int Read(char* buffer, int count, const TEvent& stop) override;
    int ReadQueued(char* buffer, int count) override;
    int Write(const char* data, int count, const TEvent* stop) override;
    int QueuedBytes() const override;
    void Purge() override;
    int LastError() const override;
    std::optional<TModemLines> ModemLines() const override;
    std::optional<uint64_t> LostBytes() const override;

  private:
    int Take(char* buffer, int count);
    TFakeLine& Line; // outlives the engine that has the port
};

} // namespace vemla::test
