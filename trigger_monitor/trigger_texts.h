#pragma once

#include "trigger_language/trigger.h"

#include <cstdint>
#include <string>

namespace vemla {

// The texts of the trigger monitor, in CP1251.
std::string StatusText(TTriggerStatus status);
// "3: GOTO 1" for command index 2; empty for an index outside the trigger's commands.
std::string CommandText(const TTrigger& trigger, int32_t index);

} // namespace vemla
