#pragma once

#include "platform/result.h"
#include "trigger_language/trigger.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// A loaded trigger table: every trigger of the file, or, when the load failed, an empty table
// and the reason in CP1251 ("syntax error в строке 5 ,около `}'").
using TTableLoad = TResult<std::unique_ptr<TriggerTable>>;

// Reads a whole trigger file (CP1251 bytes) and builds its table.
TTableLoad LoadTriggers(std::string_view text, int32_t hashSize);

// The groups of triggers whose SWITCH commands can reach one another in a circle (a trigger
// that switches itself is a group of one); ids in slot order. A SWITCH names the first
// trigger in slot order with its id, as the engine resolves it.
std::vector<std::vector<int32_t>> SwitchCycles(const TriggerTable& table);

} // namespace vemla
