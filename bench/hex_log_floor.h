#pragma once

// The simplest program that logs a flood as a hidden vemla does: every byte read from a port
// written as hex log lines into files of 300 lines, with no window and no line kept once its
// file is written. vemla's logging costs what this costs and what vemla adds to it.
#include "bench/pty_floor.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vemla::bench {

// Hex log lines as vemla writes them (time stamp, direction, hex, CR LF), 300 to a new file,
// named as vemla names the files of one second.
class THexLogFiles {
  public:
    explicit THexLogFiles(std::string directory) : Directory(std::move(directory)) {
        Text.reserve(size_t{4} << 20);
    }

    void Add(std::string_view bytes) {
        static constexpr char Digits[] = "0123456789ABCDEF";
        static constexpr std::string_view Head = "12:00:00.000  ---> ";
        if (bytes.empty()) return;
        size_t at = Text.size();
        Text.resize(at + Head.size() + bytes.size() * 3 + 1);
        char* out = std::copy(Head.begin(), Head.end(), Text.data() + at);
        for (char ch : bytes) {
            auto byte = static_cast<uint8_t>(ch);
            out[0] = Digits[byte >> 4];
            out[1] = Digits[byte & 15];
            out[2] = ' ';
            out += 3;
        }
        out[-1] = '\r'; // in place of the last byte's blank
        out[0] = '\n';
        if (++Lines == LinesPerFile) Flush();
    }
    // Writes the lines not yet in a file into a new one.
    void Flush() {
        if (Text.empty()) return;
        std::string name = Directory + "/000000_000000_" + std::to_string(++Files) + ".log";
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, Text.data(), Text.size()) != static_cast<ssize_t>(Text.size()))
            Failed = true;
        if (fd >= 0) close(fd);
        Text.clear();
        Lines = 0;
    }
    bool Ok() const { return !Failed; }

  private:
    static constexpr size_t LinesPerFile = 300;
    std::string Directory;
    std::string Text;
    size_t Lines = 0, Files = 0;
    bool Failed = false;
};

// Lines from a reading thread to a logging thread, in batches: the logger is woken when the
// first line of a batch arrives and takes every line there is.
class TLineQueue {
  public:
    void Push(std::string line) {
        bool wake = false;
        {
            std::lock_guard lock(Mutex);
            wake = Lines.empty();
            Lines.push_back(std::move(line));
        }
        if (wake) Ready.notify_one();
    }
    void Close() {
        {
            std::lock_guard lock(Mutex);
            Closed = true;
        }
        Ready.notify_one();
    }
    // Waits for lines; false once the queue is closed and empty.
    bool TakeAll(std::vector<std::string>& lines) {
        std::unique_lock lock(Mutex);
        Ready.wait(lock, [&] { return !Lines.empty() || Closed; });
        lines.swap(Lines);
        return !lines.empty();
    }

  private:
    std::mutex Mutex;
    std::condition_variable Ready;
    std::vector<std::string> Lines; // guarded by Mutex
    bool Closed = false;            // guarded by Mutex
};

// Reads `bytes` bytes from the port (blocking reads, as `cat`) in lines of at most 1028 bytes
// and logs them into `directory`. With `logThread` the reader hands the lines to a second
// thread that renders and writes them (vemla's shape: a reading thread, and a window that
// logs); without it the reader does everything between its reads. False when the port fell
// silent early or a file could not be written.
inline bool LogPortAsHex(const std::string& port, size_t bytes, const std::string& directory,
                         bool logThread) {
    constexpr size_t MaxLine = 1028;
    TRawPort line(port, true);
    THexLogFiles log(directory);
    TLineQueue queue;
    std::thread logger;
    if (logThread)
        logger = std::thread([&] {
            std::vector<std::string> lines;
            while (queue.TakeAll(lines)) {
                for (const std::string& text : lines)
                    log.Add(text);
                lines.clear();
            }
        });
    std::vector<char> buffer(64 * 1024);
    size_t received = 0;
    while (received < bytes) {
        ssize_t n = line.Read(buffer.data(), buffer.size());
        if (n <= 0) break;
        for (size_t at = 0; at < static_cast<size_t>(n); at += MaxLine) {
            std::string_view text(buffer.data() + at,
                                  std::min(MaxLine, static_cast<size_t>(n) - at));
            if (logThread)
                queue.Push(std::string(text));
            else
                log.Add(text);
        }
        received += static_cast<size_t>(n);
    }
    queue.Close();
    if (logger.joinable()) logger.join();
    log.Flush();
    return received == bytes && log.Ok();
}

} // namespace vemla::bench
