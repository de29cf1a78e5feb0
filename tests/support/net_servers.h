#pragma once

#include "tests/support/child_process.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace vemla::test {

// A TCP port on 127.0.0.1 that nothing listens on right now.
uint16_t FreeLoopbackPort();
// Waits until something accepts connections on the loopback port; false on time-out.
bool AcceptsConnections(uint16_t port,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Where a server program is installed, or empty when it is not.
std::string Ser2netProgram();
std::string PythonRfc2217Server(); // Python's RFC 2217 example server (python3-serial)

// ser2net serving the device at `device` on a loopback port, as RFC 2217 (telnet(rfc2217))
// and, on a second port, as raw TCP; its configuration and pid file live in `directory`.
// Stopped (and reaped) with the object.
class TSer2net {
  public:
    TSer2net(const std::string& directory, const std::string& device, uint16_t rfc2217Port,
             uint16_t rawPort = 0);
    // Waits for both ports to accept; false on time-out.
    bool Ready();
    // Kills it at once, as a crash or a power cut would.
    void Kill();

  private:
    uint16_t Rfc2217Port, RawPort;
    std::unique_ptr<TChildProcess> Process;
};

// A listening socket on a free loopback port whose connections the test plays by hand.
class TTestServer {
  public:
    TTestServer();
    ~TTestServer();
    TTestServer(const TTestServer&) = delete;
    TTestServer& operator=(const TTestServer&) = delete;
    uint16_t Port() const { return ServerPort; }
    // The next connection, or -1 when none came in time; the caller closes it.
    int Accept(std::chrono::milliseconds timeout = std::chrono::seconds(5));

  private:
    int Listener = -1;
    uint16_t ServerPort = 0;
};
// Reads what the peer sends until `count` bytes came or the time is up.
std::string ReadSocket(int fd, size_t count, std::chrono::milliseconds timeout);
bool WriteSocket(int fd, const std::string& bytes);

} // namespace vemla::test
