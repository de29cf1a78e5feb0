#pragma once

#include "app/session_log.h"
#include "platform/result.h"
#include "trigger_language/trigger.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vemla {

// Which side of the log the triggers play. Normally the triggers answered the packets vemla
// received; Mirror plays the device of a session where vemla was the master (the log's sent
// lines are the packets, its received lines the answers), as a learned trigger file does.
enum class TSessionSide { Received, Mirror };

struct TSessionVerdict {
    bool Passed = false;
    std::string Report; // "OK: N packets, M answers", or the first mismatch; UTF-8
};

// Runs a fresh trigger table over the packets of a recorded session, with no port and a
// clock of its own (a SLEEP advances it; start-up runs come first), and compares what the
// triggers send after each packet with the answers logged after it, byte for byte.
TSessionVerdict CheckSession(const TSessionLog& log, std::unique_ptr<TriggerTable> table,
                             int32_t hashSize, TSessionSide side);

// --check-session: reads the log and the trigger file, then CheckSession. A log or trigger
// file that cannot be read is the Error (UTF-8).
TResult<TSessionVerdict> CheckSessionFiles(const std::string& logPath,
                                           const std::string& triggerFile, int32_t hashSize,
                                           TSessionSide side);

} // namespace vemla
