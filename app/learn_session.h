#pragma once

#include "app/session_log.h"
#include "platform/result.h"

#include <string>

namespace vemla {

// --learn: a trigger file that plays the device of a session where vemla was the master.
// Every distinct packet vemla sent (by hand or by a trigger) becomes a trigger that answers
// with what the device sent after it, in recorded order, round and round; packets the device
// sent before the first request are sent at start-up. The file passes CheckSession on its own
// log with TSessionSide::Mirror. Fails when vemla sent nothing.
TResult<std::string> LearnDevice(const TSessionLog& log, const std::string& logName);

} // namespace vemla
