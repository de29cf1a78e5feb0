#pragma once

#include "app/traffic_list.h"
#include "platform/ini_file.h"
#include "platform/result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vemla {

struct TLogSettings {
    int32_t Size = 300;           // flush when the view holds more lines; 0 or less: never
    std::string Dir = ".\\Log\\"; // with its trailing separator
    bool AutoSave = false;
};

TLogSettings ReadLogSettings(const TIniFile& config);

// Lines the view keeps, flushed ones included ([Terminal] Scrollback); 0: a flush empties
// the view. The flushed lines' text is capped as well, whatever their number.
struct TScrollback {
    size_t Lines = 10000;
    static constexpr size_t MostLines = 1000000;
    static constexpr size_t TextLimit = size_t{64} << 20;
    std::string Warning; // a value out of range, and what is used instead
};

TScrollback ReadScrollback(const TIniFile& config);

// Writes every line in the saved-list format, replacing the file; 0 or the errno.
int SaveListToFile(const TTrafficList& list, const std::string& fileName);
// "yyMMdd_HHmmss" of a moment.
std::string LogFileStem(TDateTime now);

// A file that did not exist before: dir + stem + ".log", or with "_1", "_2", ... before
// ".log" when that name is taken, by this program or another. Created with O_EXCL, so two
// instances sharing a directory never write into one file.
// A failure names the last name tried.
struct TNewFile {
    int Fd = -1; // open for writing
    std::string Name;
    int Suffix = 0; // the suffix used, 0 for none
};
TResult<TNewFile> CreateNewFile(const std::string& dir, const std::string& stem, int firstSuffix);
// Creates such a file and writes the list into it (closed afterwards, Fd -1); a file that
// could not be written whole is removed again. The file's text is built in `text`.
// Only the lines from `first` on are written.
TResult<TNewFile> WriteToNewFile(const TTrafficList& list, size_t first, const std::string& dir,
                                 const std::string& stem, int firstSuffix, std::string& text);
// The text of the error box for a file that could not be written.
std::string FileErrorText(const std::string& fileName, int error);

// Moves the traffic view into log files.
class TLogWriter {
  public:
    explicit TLogWriter(TLogSettings settings) : Settings(std::move(settings)) {}
    const TLogSettings& Config() const { return Settings; }

    // After each record: is the view past its limit (and not just retried)?
    bool FlushDue(const TTrafficList& list) const;

    // An Error is what the user must be told (once per failing run of flushes).
    // With AutoSave, writes the unflushed lines to a new log file (creating the directory);
    // they count as flushed unless that write failed, so no line is lost to a full disk or a
    // bad path.
    TResult<> Flush(TTrafficList& list, TDateTime now);
    // The flush at close: the unflushed lines, then the view is emptied. A failure is always
    // reported, and the lines go to a fallback file "vemla-unsaved-yyMMdd_HHmmss.log" in the first
    // of fallbackDirs where one can be written.
    TResult<> FinalFlush(TTrafficList& list, TDateTime now,
                         const std::vector<std::string>& fallbackDirs);

  private:
    // The list into a new file in the log directory (created when missing).
    TResult<> WriteNewLog(const TTrafficList& list, TDateTime now);

    TLogSettings Settings;
    // The last name taken, so that the next flush in the same second starts past it.
    std::string LastStem;
    int LastSuffix = 0;
    bool FailureReported = false;
    size_t RetryAt = 0; // after a failure the next try waits for another Size lines
    // The text of a file, kept between flushes: a flood flushes every few milliseconds, and
    // a fresh buffer each time may be fresh pages from the system, each one a page fault.
    std::string Text;
    static constexpr size_t KeptTextLimit = size_t{4} << 20;
};

} // namespace vemla
