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
                        std::to_string(TTriggerRuntime::TotalRunLimit) + " commands\n";
    }
    // Mask triggers are tried in file order: one that an earlier mask covers never runs.
    const TriggerTable& table = *loaded.Value;
    for (int32_t later = TriggerTable::SlotCount; later < table.Size(); ++later) {
        const TTrigger& second = *table.At(later);
        for (int32_t earlier = TriggerTable::SlotCount; earlier < later; ++earlier) {
            const TTrigger& first = *table.At(earlier);
            const std::string ids = std::to_string(first.Id) + " and " + std::to_string(second.Id);
            if (first.Mask->Covers(*second.Mask)) {
                report.Value += "warning: the mask of trigger " + std::to_string(second.Id) +
                                " never matches: trigger " + std::to_string(first.Id) +
                                ", earlier in the file, matches every packet it matches\n";
                break;
            }
            if (first.Mask->Overlaps(*second.Mask))
                report.Value += "warning: the masks of triggers " + ids +
                                " overlap: a packet that both match runs trigger " +
                                std::to_string(first.Id) + "\n";
        }
    }
    return report;
}

} // namespace vemla
