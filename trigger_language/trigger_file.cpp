#include "trigger_language/trigger_file.h"

#include "trigger_language/load_state.h"
#include "trigger_language/parser.hpp"

#include <stdexcept>

using yyscan_t = void*;
int vemla_trigger_lex_init_extra(vemla::TLoadState* state, yyscan_t* scanner);
int vemla_trigger_lex_destroy(yyscan_t scanner);
struct yy_buffer_state* vemla_trigger__scan_bytes(const char* bytes, int length, yyscan_t scanner);

namespace vemla {

namespace {

class TScanner {
  public:
    explicit TScanner(TLoadState& state) {
        vemla_trigger_lex_init_extra(&state, &Handle);
        vemla_trigger__scan_bytes(state.Text.data(), static_cast<int>(state.Text.size()), Handle);
    }
    ~TScanner() { vemla_trigger_lex_destroy(Handle); }
    TScanner(const TScanner&) = delete;
    TScanner& operator=(const TScanner&) = delete;
    yyscan_t Handle = nullptr;
};

} // namespace

TTableLoad LoadTriggers(std::string_view text, int32_t hashSize) {
    TLoadState state(text, hashSize);
    int result = 1;
    try {
        TScanner scanner(state);
        result = yyparse(state, scanner.Handle);
    } catch (const std::exception& failure) {
        ReportSyntaxError(state, failure.what());
    }
    TTableLoad loaded;
    if (result == 0 && state.Error.empty()) {
        loaded.Value = std::move(state.Table);
    } else {
        loaded.Value = std::make_unique<TriggerTable>();
        loaded.Error = state.Error.empty() ? std::string("syntax error") : state.Error;
    }
    return loaded;
}

std::vector<std::vector<int32_t>> SwitchCycles(const TriggerTable& table) {
    std::vector<const TTrigger*> triggers;
    for (int32_t slot = 0; slot < table.Size(); ++slot)
        if (const TTrigger* trigger = table.At(slot)) triggers.push_back(trigger);
    const size_t count = triggers.size();
    auto indexOfId = [&](int32_t id) {
        for (size_t i = 0; i < count; ++i)
            if (triggers[i]->Id == id) return i;
        return count;
    };
    std::vector<std::vector<size_t>> edges(count);
    for (size_t i = 0; i < count; ++i)
        for (const TTriggerCommand& command : triggers[i]->Commands)
            if (command.Kind == TCommandKind::Switch)
                if (size_t target = indexOfId(command.TriggerId); target < count)
                    edges[i].push_back(target);
    // reach[i][j]: a chain of SWITCH commands leads from i to j (at most 953 triggers).
    std::vector<std::vector<bool>> reach(count, std::vector<bool>(count, false));
    for (size_t from = 0; from < count; ++from) {
        std::vector<size_t> pending = edges[from];
        while (!pending.empty()) {
            size_t at = pending.back();
            pending.pop_back();
            if (reach[from][at]) continue;
            reach[from][at] = true;
            pending.insert(pending.end(), edges[at].begin(), edges[at].end());
        }
    }
    std::vector<std::vector<int32_t>> cycles;
    std::vector<bool> grouped(count, false);
    for (size_t i = 0; i < count; ++i) {
        if (grouped[i] || !reach[i][i]) continue;
        std::vector<int32_t> group;
        for (size_t j = i; j < count; ++j) {
            if (reach[i][j] && reach[j][i]) {
                grouped[j] = true;
                group.push_back(triggers[j]->Id);
            }
        }
        cycles.push_back(std::move(group));
    }
    return cycles;
}

} // namespace vemla
