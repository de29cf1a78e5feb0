#include "main_window/check_triggers.h"

#include "engine/terminal.h"
#include "trigger_language/trigger_file.h"

namespace vemla {

TResult<std::string> CheckTriggerFile(const std::string& fileName, int32_t hashSize) {
    TTableLoad loaded = LoadTriggerFile(fileName, hashSize);
    TResult<std::string> report;
    if (!loaded.Ok()) {
        report.Error = loaded.Error;
        report.SystemError = loaded.SystemError;
        return report;
    }
    report.Value = "OK: " + std::to_string(loaded.Value->Count()) + " triggers\n";
    for (const std::vector<int32_t>& cycle : SwitchCycles(*loaded.Value)) {
        std::string ids;
        for (int32_t id : cycle)
            ids += (ids.empty() ? "" : ", ") + std::to_string(id);
        report.Value += "warning: SWITCH commands of triggers " + ids +
                        " reach one another in a circle; one run of them stops after " +
                        std::to_string(TTerminal::TotalRunLimit) + " commands\n";
    }
    return report;
}

} // namespace vemla
