#pragma once

#include "platform/result.h"

#include <cstdint>
#include <string>

namespace vemla {

// --check-triggers: loads a trigger file as the engine would. The value is the report in UTF-8
// ("OK: N triggers" and warnings about SWITCH cycles); a failed load is the engine's message.
TResult<std::string> CheckTriggerFile(const std::string& fileName, int32_t hashSize);

} // namespace vemla
