#include "app/check_triggers.h"

#include "engine/terminal.h"
#include "trigger_language/trigger_file.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace vemla {
namespace {

// The masks of a file sorted by the exact bytes they begin with, so that the masks that may
// meet one mask are found without trying every pair: a file learned from a long session holds
// a hundred thousand masks, nearly all of exact bytes.
class TMaskIndex {
  public:
    explicit TMaskIndex(const std::vector<TMask>& masks) {
        for (size_t i = 0; i < masks.size(); ++i) {
            std::string prefix;
            for (const TMaskByte& byte : masks[i].Head) {
                if (byte.Care != 0xFF) break;
                prefix += static_cast<char>(byte.Value);
            }
            Sorted.push_back({std::move(prefix), i});
        }
        std::sort(Sorted.begin(), Sorted.end());
    }

    // The masks before the one given whose first bytes do not rule out that a packet matches
    // both, in file order. Masks with and without a checksum are compared as WithoutCheck.
    std::vector<size_t> Candidates(const TMask& mask, size_t before) const {
        std::vector<size_t> found;
        Collect(mask, before, 0, Sorted.size(), 0, found);
        std::sort(found.begin(), found.end());
        return found;
    }

  private:
    struct TEntry {
        std::string Prefix;
        size_t Mask;
        bool operator<(const TEntry& other) const {
            return std::tie(Prefix, Mask) < std::tie(other.Prefix, other.Mask);
        }
    };

    // Every entry of [from, to) shares its first depth bytes with what the mask allows there.
    void Collect(const TMask& mask, size_t before, size_t from, size_t to, size_t depth,
                 std::vector<size_t>& found) const {
        auto take = [&](size_t first, size_t last) {
            for (size_t i = first; i < last; ++i)
                if (Sorted[i].Mask < before) found.push_back(Sorted[i].Mask);
        };
        // Entries whose exact bytes end here come first; the mask's bytes beyond are not
        // looked at for them.
        size_t longer = from;
        while (longer < to && Sorted[longer].Prefix.size() == depth)
            ++longer;
        take(from, longer);
        if (depth >= mask.Head.size()) {
            // Past the mask's head: a star lets any byte follow, a fixed length none.
            if (mask.Star) take(longer, to);
            return;
        }
        const TMaskByte allowed = mask.Head[depth];
        auto byteAt = [depth](const TEntry& entry) {
            return static_cast<uint8_t>(entry.Prefix[depth]);
        };
        auto firstFrom = [&](size_t at, unsigned byte) {
            return static_cast<size_t>(
                std::partition_point(Sorted.begin() + static_cast<std::ptrdiff_t>(at),
                                     Sorted.begin() + static_cast<std::ptrdiff_t>(to),
                                     [&](const TEntry& e) { return byteAt(e) < byte; }) -
                Sorted.begin());
        };
        // One group of entries per byte value at this depth, each found by binary search.
        for (size_t at = longer; at < to;) {
            const uint8_t byte = byteAt(Sorted[at]);
            const size_t end = firstFrom(at, byte + 1u);
            if (allowed.Matches(byte)) Collect(mask, before, at, end, depth + 1, found);
            if (allowed.Care == 0xFF && byte < allowed.Value) {
                at = firstFrom(end, allowed.Value); // straight to the only byte that matches
            } else if (allowed.Care == 0xFF) {
                break;
            } else {
                at = end;
            }
        }
    }

    std::vector<TEntry> Sorted;
};

} // namespace

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
    std::vector<TMask> masks;
    for (int32_t slot = TriggerTable::SlotCount; slot < table.Size(); ++slot)
        masks.push_back(table.At(slot)->Mask->WithoutCheck());
    const TMaskIndex index(masks);
    auto idOf = [&](size_t mask) {
        return std::to_string(table.At(TriggerTable::SlotCount + static_cast<int32_t>(mask))->Id);
    };
    for (size_t later = 0; later < masks.size(); ++later) {
        const TMask& second =
            *table.At(TriggerTable::SlotCount + static_cast<int32_t>(later))->Mask;
        for (size_t earlier : index.Candidates(masks[later], later)) {
            const TMask& first =
                *table.At(TriggerTable::SlotCount + static_cast<int32_t>(earlier))->Mask;
            if (first.Covers(second)) {
                report.Value += "warning: the mask of trigger " + idOf(later) +
                                " never matches: trigger " + idOf(earlier) +
                                ", earlier in the file, matches every packet it matches\n";
                break;
            }
            if (first.Overlaps(second))
                report.Value += "warning: the masks of triggers " + idOf(earlier) + " and " +
                                idOf(later) + " overlap: a packet that both match runs trigger " +
                                idOf(earlier) + "\n";
        }
    }
    return report;
}

} // namespace vemla
