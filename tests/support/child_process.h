#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vemla::test {

struct TSpawnOptions {
    std::string WorkingDirectory;         // empty: this process's
    int StandardOutput = -1;              // the descriptor the child writes to; -1: inherited
    bool ErrorsToOutput = false;          // standard error goes there too
    std::vector<std::string> Environment; // NAME=value entries added to this process's
};

// A program started by a test, a benchmark or a tool; killed and reaped if it still runs when
// this object goes.
class TChildProcess {
  public:
    TChildProcess(const std::vector<std::string>& arguments, const TSpawnOptions& options = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return Id; }
    // Waits for the exit at most timeout: the exit code, 128 + the signal that ended it, or -1
    // when it still runs.
    int WaitForExit(std::chrono::milliseconds timeout);
    // SIGTERM, then WaitForExit.
    int Terminate(std::chrono::milliseconds timeout);

  private:
    pid_t Id = -1;
    int Status = -1; // once reaped
};

} // namespace vemla::test
