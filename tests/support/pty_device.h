#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace vemla::test {

// A pseudo-terminal pair: the test plays the device on the master side, the engine opens
// SlavePath() as its serial port.
class TPtyDevice {
public:
    TPtyDevice();
    ~TPtyDevice();
    TPtyDevice(const TPtyDevice&) = delete;
    TPtyDevice& operator=(const TPtyDevice&) = delete;

    const std::string& SlavePath() const { return Path; }
    int MasterHandle() const { return Master; }
    void Write(std::string_view bytes);
    // Reads until count bytes arrived or the time is up; returns what came.
    std::string Read(size_t count, std::chrono::milliseconds timeout);
    // Closes the device side: the line hangs up.
    void HangUp();

private:
    int Master = -1;
    int Slave = -1;
    std::string Path;
};

} // namespace vemla::test
