#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace vemla::test {

#ifdef _WIN32
using TDeviceHandle = void*;
#else
using TDeviceHandle = int;
#endif

// A pseudo-terminal pair: the test (or the simulated device) plays the device on the master
// side, the engine opens SlavePath() as its serial port. On Windows the pair is two COM ports
// that the test harness joins (VEMLA_TEST_PORT for the engine, VEMLA_TEST_DEVICE_PORT for the
// device; COM5 and COM6 by default), one pair for all the tests of a run.
class TPtyDevice {
  public:
    TPtyDevice(); // throws std::runtime_error when no pty can be had
    // The device on a port that exists already (an application's side of vemla's virtual
    // port): opened raw; SlavePath() is that port. POSIX only; throws when it cannot be opened.
    explicit TPtyDevice(const std::string& port);
    ~TPtyDevice();
    TPtyDevice(const TPtyDevice&) = delete;
    TPtyDevice& operator=(const TPtyDevice&) = delete;

    const std::string& SlavePath() const { return Path; }
    // The master's descriptor (POSIX), or the device port's handle (Windows).
    TDeviceHandle MasterHandle() const { return Master; }
    // Writes everything, waiting for the line; false when the line fails or stopRequested
    // says so.
    bool Write(std::string_view bytes, const std::function<bool()>& stopRequested = {});
    // Reads until count bytes arrived or the time is up; returns what came.
    std::string Read(size_t count, std::chrono::milliseconds timeout);
    // Waits up to timeout for a packet: bytes that end with a silence of gap.
    std::string ReadPacket(std::chrono::milliseconds timeout, std::chrono::milliseconds gap,
                           const std::function<bool()>& stopRequested = {});
    // Bytes written and not read by the port's side yet.
    int QueuedToPort() const;
    // Closes the device side: the line hangs up (on POSIX; the joined COM ports never do).
    void HangUp();

  private:
    TDeviceHandle Master{};
    TDeviceHandle Slave{};
    std::string Path;
};

} // namespace vemla::test
