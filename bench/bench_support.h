#pragma once

#include "codec/codec.h"
#include "engine/terminal_host.h"
#include "tests/support/percentile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vemla::bench {

using test::Percentile;

using TClock = std::chrono::steady_clock;

inline double Milliseconds(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A host that drops every report: benchmarks of the engine alone.
class TNullHost : public TTerminalHost {
  public:
    void PostTraffic(std::unique_ptr<TTrafficRecord>) override {}
    void NotifyTriggerChanged(TTrigger&) override {}
    void StartSleepTimer(TTrigger&, int32_t) override {}
};

// The log files of a directory in the order they were written: files of one second are
// stem.log, stem_1.log, stem_2.log, ...
inline std::vector<std::filesystem::path> LogFilesInOrder(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> logs;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        logs.push_back(entry.path());
    auto order = [](const std::filesystem::path& file) {
        std::string stem = file.stem().string();
        size_t suffix = stem.find('_', 7);
        return std::make_pair(stem.substr(0, 13),
                              suffix == std::string::npos ? 0 : std::stoi(stem.substr(suffix + 1)));
    };
    std::sort(logs.begin(), logs.end(),
              [&](const auto& a, const auto& b) { return order(a) < order(b); });
    return logs;
}

// The bytes of every Hex log line with that direction mark (received, by default) of a
// directory's files, in the order the files were written.
inline std::string LoggedBytes(const std::filesystem::path& directory,
                               std::string_view mark = "---> ") {
    std::string bytes;
    for (const auto& log : LogFilesInOrder(directory)) {
        std::string text = ReadAll(log);
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            size_t end = text.find("\r\n", at);
            bytes += TextToBytes(std::string_view(text).substr(at + 5, end - at - 5), TCoding::Hex);
            at = end;
        }
    }
    return bytes;
}

// Prints one figure per line: "name value unit".
inline void Figure(const char* name, double value, const char* unit) {
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

} // namespace vemla::bench
