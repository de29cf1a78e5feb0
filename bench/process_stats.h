#pragma once

// Memory and CPU figures of processes and threads, as Linux reports them.
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>

namespace vemla::bench {

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

// A memory figure of another process from /proc: "VmRSS:" (now) or "VmHWM:" (its peak), KiB.
inline long ProcessMemoryKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    return 0;
}

} // namespace vemla::bench
