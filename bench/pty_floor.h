#pragma once

// What this machine's pseudo-terminals allow at best: the simplest reader and the simplest
// answering program, timed in the same way as vemla's engine. An absolute figure says little on
// a shared or virtual machine whose pty speed and wake-up times vary from run to run; the same
// figure next to these floors says how much the engine itself costs.
#include "bench/bench_support.h"
#include "tests/support/pty_device.h"

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vemla::bench {

// The port's side of a pty pair opened raw, as a program would open a serial port. A blocking
// port's read waits for the first byte, two seconds at most (as `cat` waits, but not forever).
class TRawPort {
  public:
    TRawPort(const std::string& path, bool blocking)
        : Fd(open(path.c_str(), O_RDWR | O_NOCTTY | (blocking ? 0 : O_NONBLOCK))) {
        termios settings{};
        if (Fd < 0 || tcgetattr(Fd, &settings) != 0)
            throw std::runtime_error("cannot open " + path);
        cfmakeraw(&settings);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 20;
        tcsetattr(Fd, TCSANOW, &settings);
    }
    ~TRawPort() { close(Fd); }
    TRawPort(const TRawPort&) = delete;
    TRawPort& operator=(const TRawPort&) = delete;

    // Waits up to timeoutMs (forever when negative) for bytes; false when none came.
    bool Wait(int timeoutMs) const {
        pollfd line{Fd, POLLIN, 0};
        return poll(&line, 1, timeoutMs) > 0 && (line.revents & POLLIN);
    }
    ssize_t Read(char* buffer, size_t size) const { return read(Fd, buffer, size); }
    bool WriteAll(const std::string& bytes) const {
        return write(Fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

  private:
    int Fd;
};

// MiB/s of `cat`'s loop (a blocking read into a buffer) taking `data` from a fresh pty while
// a thread writes it.
inline double RawReceiveSpeed(const std::string& data) {
    test::TPtyDevice device;
    TRawPort port(device.SlavePath(), true);
    auto start = TClock::now();
    std::atomic<bool> readerDone{false}; // the writer gives up once the reader has stopped
    std::thread writer([&] { device.Write(data, [&] { return readerDone.load(); }); });
    size_t received = 0;
    char buffer[4096];
    while (received < data.size()) {
        ssize_t n = port.Read(buffer, sizeof buffer);
        if (n <= 0) break;
        received += static_cast<size_t>(n);
    }
    double seconds = Milliseconds(TClock::now() - start) / 1000.0;
    readerDone = true;
    writer.join();
    return static_cast<double>(received) / (1 << 20) / seconds;
}

// A thread on a fresh pty that answers every packet (bytes ending with a silence of gapMs)
// with `answer`: a device-side test can time it exactly as it times vemla.
class TRawResponder {
  public:
    TRawResponder(const std::string& answer, int gapMs)
        : Port(Pty.SlavePath(), false), Worker([this, answer, gapMs] { Run(answer, gapMs); }) {}
    ~TRawResponder() {
        Stop = true;
        Worker.join();
    }
    TRawResponder(const TRawResponder&) = delete;
    TRawResponder& operator=(const TRawResponder&) = delete;

    test::TPtyDevice& Device() { return Pty; }

  private:
    void Run(const std::string& answer, int gapMs) {
        char buffer[4096];
        while (!Stop) {
            if (!Port.Wait(100) || Port.Read(buffer, sizeof buffer) <= 0) continue;
            while (Port.Wait(gapMs))
                Port.Read(buffer, sizeof buffer);
            if (!Port.WriteAll(answer)) return;
        }
    }

    test::TPtyDevice Pty;
    TRawPort Port;
    std::atomic<bool> Stop{false};
    std::thread Worker;
};

} // namespace vemla::bench
