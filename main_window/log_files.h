#pragma once

#include "main_window/traffic_list.h"
#include "platform/ini_file.h"

#include <cstdint>
#include <string>

namespace vemla {

struct TLogSettings {
    int32_t Size = 300;           // flush when the view holds more lines; 0 or less: never
    std::string Dir = ".\\Log\\"; // with its trailing separator
    bool AutoSave = false;
};

TLogSettings ReadLogSettings(const TIniFile& config);

// Writes every line in the saved-list format; 0 or the errno of the failure.
int SaveListToFile(const TTrafficList& list, const std::string& fileName);
// LogDir + "yyMMdd_HHmmss.log", with "_1", "_2", ... before ".log" when that name is taken.
std::string NewLogFileName(const std::string& logDir, TDateTime now);
// The text of the error box for a file that could not be written.
std::string FileErrorText(const std::string& fileName, int error);

// Moves the traffic view into log files.
class TLogWriter {
public:
    explicit TLogWriter(TLogSettings settings) : Settings(std::move(settings)) {}
    const TLogSettings& Config() const { return Settings; }

    // After each record: is the view past its limit (and not just retried)?
    bool FlushDue(const TTrafficList& list) const;

    struct TOutcome {
        std::string ErrorText; // non-empty when the user must be told (once per failing run)
    };
    // With AutoSave, writes the view to a new log file (creating the directory); the view is
    // emptied unless that write failed, so no line is lost to a full disk or a bad path.
    TOutcome Flush(TTrafficList& list, TDateTime now);

private:
    TLogSettings Settings;
    bool FailureReported = false;
    size_t RetryAt = 0; // after a failure the next try waits for another Size lines
};

} // namespace vemla
