#include "main_window/log_files.h"

#include "platform/cp1251.h"
#include "platform/system.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace vemla {

TLogSettings ReadLogSettings(const TIniFile& config) {
    TLogSettings s;
    s.Size = config.ReadInteger("Log", "Size", 300);
    s.Dir = config.ReadString("Log", "Dir", ".\\Log") + "\\";
    s.AutoSave = config.ReadBool("Log", "AutoSave", false);
    return s;
}

int SaveListToFile(const TTrafficList& list, const std::string& fileName) {
    int fd = open(NormalizePath(fileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    std::string chunk;
    int error = 0;
    auto writeAll = [&] {
        size_t done = 0;
        while (done < chunk.size() && error == 0) {
            ssize_t n = write(fd, chunk.data() + done, chunk.size() - done);
            if (n < 0 && errno != EINTR) error = errno;
            if (n > 0) done += static_cast<size_t>(n);
        }
        chunk.clear();
    };
    for (size_t i = 0; i < list.Size() && error == 0; ++i) {
        chunk += list.LogLine(i);
        if (chunk.size() >= (1u << 16)) writeAll();
    }
    writeAll();
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

std::string NewLogFileName(const std::string& logDir, TDateTime now) {
    TLocalTime t = DecodeDateTime(now);
    char stem[32];
    std::snprintf(stem, sizeof stem, "%02d%02d%02d_%02d%02d%02d", t.Year % 100, t.Month % 100,
                  t.Day % 100, t.Hour % 100, t.Minute % 100, t.Second % 100);
    std::string name = logDir + stem + ".log";
    for (int suffix = 1; std::filesystem::exists(NormalizePath(name)); ++suffix)
        name = logDir + stem + "_" + std::to_string(suffix) + ".log";
    return name;
}

std::string FileErrorText(const std::string& fileName, int error) {
    return Utf8ToCp1251("Ошибка открытия файла: ") + fileName + "\n\r" + SystemMessage(error);
}

bool TLogWriter::FlushDue(const TTrafficList& list) const {
    return Settings.Size > 0 && list.Size() > static_cast<size_t>(Settings.Size) &&
           list.Size() >= RetryAt;
}

TLogWriter::TOutcome TLogWriter::Flush(TTrafficList& list, TDateTime now) {
    TOutcome outcome;
    if (Settings.AutoSave) {
        std::error_code ignored;
        std::filesystem::create_directories(NormalizePath(Settings.Dir), ignored);
        std::string name = NewLogFileName(Settings.Dir, now);
        if (int error = SaveListToFile(list, name); error != 0) {
            std::filesystem::remove(NormalizePath(name), ignored);
            if (!FailureReported) outcome.ErrorText = FileErrorText(name, error);
            FailureReported = true;
            RetryAt = list.Size() + static_cast<size_t>(std::max(Settings.Size, 1));
            return outcome;
        }
        FailureReported = false;
    }
    RetryAt = 0;
    list.Clear();
    return outcome;
}

} // namespace vemla
