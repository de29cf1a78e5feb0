#include "app/log_files.h"

#include "platform/cp1251.h"
#include "platform/descriptor.h"
#include "platform/messages.h"
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vemla {

TLogSettings ReadLogSettings(const TIniFile& config) {
    TLogSettings s;
    s.Size = config.ReadInteger("Log", "Size", 300);
    // An empty value is the working directory, not the root that a bare separator would be.
    std::string dir = config.ReadString("Log", "Dir", ".\\Log");
    s.Dir = dir.empty() ? std::string() : dir + "\\";
    s.AutoSave = config.ReadBool("Log", "AutoSave", false);
    return s;
}

TScrollback ReadScrollback(const TIniFile& config) {
    TScrollback s;
    const std::string scrollback = config.ReadString("Terminal", "Scrollback", "");
    if (scrollback.empty()) return s;
    char* end = nullptr;
    errno = 0;
    const long long asked = std::strtoll(scrollback.c_str(), &end, 10);
    const bool number = end != scrollback.c_str() && *end == '\0' && errno == 0;
    if (number)
        s.Lines = static_cast<size_t>(
            std::clamp<long long>(asked, 0, static_cast<long long>(TScrollback::MostLines)));
    if (!number || std::to_string(s.Lines) != scrollback)
        s.Warning =
            MessageText(TMessage::ScrollbackOutOfRange, {scrollback, std::to_string(s.Lines)});
    return s;
}

namespace {

// The list from `first` on in one buffer, then one write (the kernel may take it in parts).
int WriteList(const TTrafficList& list, size_t first, int fd, std::string& text) {
    constexpr size_t LineFrame = 21; // time stamp, blanks, prefix, CR LF
    size_t size = 0;
    for (size_t i = first; i < list.Size(); ++i)
        size += list[i].Text.size() + LineFrame;
    text.clear();
    text.reserve(size);
    for (size_t i = first; i < list.Size(); ++i)
        list.AppendLogLine(i, text);
    return WriteAllAndClose(fd, text);
}

} // namespace

int SaveListToFile(const TTrafficList& list, const std::string& fileName) {
    int fd = -1;
    if (int error = OpenForWriting(fileName, false, fd); error != 0) return error;
    std::string text;
    return WriteList(list, 0, fd, text);
}

std::string LogFileStem(TDateTime now) {
    TLocalTime t = DecodeDateTime(now);
    char stem[32];
    std::snprintf(stem, sizeof stem, "%02d%02d%02d_%02d%02d%02d", t.Year % 100, t.Month % 100,
                  t.Day % 100, t.Hour % 100, t.Minute % 100, t.Second % 100);
    return stem;
}

TResult<TNewFile> CreateNewFile(const std::string& dir, const std::string& stem, int firstSuffix) {
    TResult<TNewFile> file;
    for (int suffix = std::max(firstSuffix, 0);; ++suffix) {
        file.Value.Name = dir + stem + (suffix == 0 ? "" : "_" + std::to_string(suffix)) + ".log";
        file.SystemError = OpenForWriting(file.Value.Name, true, file.Value.Fd);
        if (file.SystemError == 0) {
            file.Value.Suffix = suffix;
            return file;
        }
        if (file.SystemError != EEXIST || suffix == INT32_MAX) break;
    }
    file.Error = FileErrorText(file.Value.Name, file.SystemError);
    return file;
}

TResult<TNewFile> WriteToNewFile(const TTrafficList& list, size_t first, const std::string& dir,
                                 const std::string& stem, int firstSuffix, std::string& text) {
    TResult<TNewFile> file = CreateNewFile(dir, stem, firstSuffix);
    if (!file.Ok()) return file;
    int error = WriteList(list, first, file.Value.Fd, text);
    file.Value.Fd = -1; // closed by WriteList
    if (error != 0) {
        std::error_code ignored;
        std::filesystem::remove(NormalizePath(file.Value.Name), ignored);
        file.SystemError = error;
        file.Error = FileErrorText(file.Value.Name, error);
    }
    return file;
}

std::string FileErrorText(const std::string& fileName, int error) {
    return MessageText(TMessage::FileOpenError, {PathText(fileName), SystemMessage(error)});
}

bool TLogWriter::FlushDue(const TTrafficList& list) const {
    return Settings.Size > 0 && list.Unflushed() > static_cast<size_t>(Settings.Size) &&
           list.Unflushed() >= RetryAt;
}

TResult<> TLogWriter::WriteNewLog(const TTrafficList& list, TDateTime now) {
    std::error_code ignored;
    if (!Settings.Dir.empty())
        std::filesystem::create_directories(NormalizePath(Settings.Dir), ignored);
    std::string stem = LogFileStem(now);
    TResult<TNewFile> file = WriteToNewFile(list, list.Flushed(), Settings.Dir, stem,
                                            stem == LastStem ? LastSuffix + 1 : 0, Text);
    // The buffer of an unusual flush (a long "Win" line, a large Size) is not kept for good.
    if (Text.capacity() > KeptTextLimit) std::string().swap(Text);
    if (file.Ok()) {
        LastStem = stem;
        LastSuffix = file.Value.Suffix;
    }
    return {{}, file.Error, file.SystemError};
}

TResult<> TLogWriter::Flush(TTrafficList& list, TDateTime now) {
    TResult<> outcome;
    if (Settings.AutoSave) {
        if (TResult<> written = WriteNewLog(list, now); !written.Ok()) {
            if (!FailureReported) outcome = written;
            FailureReported = true;
            RetryAt = list.Unflushed() + static_cast<size_t>(std::max(Settings.Size, 1));
            return outcome;
        }
        FailureReported = false;
    }
    RetryAt = 0;
    list.MarkFlushed();
    return outcome;
}

TResult<> TLogWriter::FinalFlush(TTrafficList& list, TDateTime now,
                                 const std::vector<std::string>& fallbackDirs) {
    TResult<> outcome = Settings.AutoSave ? WriteNewLog(list, now) : TResult<>{};
    if (!outcome.Ok()) {
        std::string saved;
        for (const std::string& dir : fallbackDirs) {
            TResult<TNewFile> file = WriteToNewFile(list, list.Flushed(), dir,
                                                    "vemla-unsaved-" + LogFileStem(now), 0, Text);
            if (file.Ok()) {
                saved = file.Value.Name;
                break;
            }
        }
        outcome.Error += "\n\r" + (saved.empty() ? MessageText(TMessage::LogLinesNotSaved)
                                                 : MessageText(TMessage::LogLinesSavedTo, {saved}));
    }
    list.Clear();
    return outcome;
}

} // namespace vemla
