#pragma once

#include "engine/terminal_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace vemla::bench {

using TClock = std::chrono::steady_clock;

inline double Milliseconds(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// p in 0..100 over unsorted samples.
inline double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t index = static_cast<size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
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
