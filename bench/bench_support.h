#pragma once

#include "engine/terminal_host.h"
#include "tests/support/percentile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace vemla::bench {

using test::Percentile;

using TClock = std::chrono::steady_clock;

inline double Milliseconds(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// CPU time of the named thread of this process, in seconds (the scheduler's own counter).
inline double ThreadCpuSeconds(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string taskName;
        if (!std::getline(comm, taskName) || taskName != name) continue;
        std::ifstream schedstat(task.path() / "schedstat");
        double nanoseconds = 0;
        schedstat >> nanoseconds;
        return nanoseconds / 1e9;
    }
    return -1;
}

// Prints one figure per line: "name value unit".
inline void Figure(const char* name, double value, const char* unit) {
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace vemla::bench
