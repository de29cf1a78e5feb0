#include "trigger_language/trigger_file.h"

#include "trigger_language/load_state.h"
#include "trigger_language/parser.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <unordered_map>

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
    std::unordered_map<int32_t, size_t> firstWithId;
    for (size_t i = 0; i < count; ++i)
        firstWithId.try_emplace(triggers[i]->Id, i);
    std::vector<std::vector<size_t>> edges(count);
    std::vector<bool> switchesItself(count, false);
    for (size_t i = 0; i < count; ++i)
        for (const TTriggerCommand& command : triggers[i]->Commands)
            if (command.Kind == TCommandKind::Switch)
                if (auto target = firstWithId.find(command.TriggerId);
                    target != firstWithId.end()) {
                    edges[i].push_back(target->second);
                    if (target->second == i) switchesItself[i] = true;
                }
    // The strongly connected components (Tarjan's, without recursion: a learned file may hold
    // a hundred thousand triggers); those of more than one trigger, or of one that switches
    // itself, are the circles.
    constexpr size_t Unvisited = SIZE_MAX;
    std::vector<size_t> order(count, Unvisited), low(count, 0), stack;
    std::vector<bool> onStack(count, false);
    std::vector<std::pair<size_t, size_t>> path; // trigger, next edge to follow
    std::vector<std::vector<size_t>> components;
    size_t visited = 0;
    for (size_t root = 0; root < count; ++root) {
        if (order[root] != Unvisited) continue;
        path.push_back({root, 0});
        order[root] = low[root] = visited++;
        stack.push_back(root);
        onStack[root] = true;
        while (!path.empty()) {
            auto& [at, next] = path.back();
            if (next < edges[at].size()) {
                size_t to = edges[at][next++];
                if (order[to] == Unvisited) {
                    order[to] = low[to] = visited++;
                    stack.push_back(to);
                    onStack[to] = true;
                    path.push_back({to, 0});
                } else if (onStack[to]) {
                    low[at] = std::min(low[at], order[to]);
                }
                continue;
            }
            const size_t done = at;
            path.pop_back();
            if (!path.empty()) low[path.back().first] = std::min(low[path.back().first], low[done]);
            if (low[done] != order[done]) continue;
            std::vector<size_t> component;
            size_t member = 0;
            do {
                member = stack.back();
                stack.pop_back();
                onStack[member] = false;
                component.push_back(member);
            } while (member != done);
            if (component.size() > 1 || switchesItself[done]) {
                std::sort(component.begin(), component.end());
                components.push_back(std::move(component));
            }
        }
    }
    // Groups in the slot order of their first trigger, as the file reads.
    std::sort(components.begin(), components.end(),
              [](const auto& a, const auto& b) { return a.front() < b.front(); });
    std::vector<std::vector<int32_t>> cycles;
    for (const std::vector<size_t>& component : components) {
        std::vector<int32_t>& group = cycles.emplace_back();
        for (size_t i : component)
            group.push_back(triggers[i]->Id);
    }
    return cycles;
}

} // namespace vemla
