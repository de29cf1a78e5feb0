#include "trigger_language/trigger_file.h"

#include "engine/codec.h"
#include "platform/cp1251.h"
#include "trigger_language/load_state.h"
#include "trigger_language/parser.hpp"

#include <algorithm>
#include <stdexcept>

using yyscan_t = void*;
int vemla_trigger_lex_init_extra(vemla::TLoadState* state, yyscan_t* scanner);
int vemla_trigger_lex_destroy(yyscan_t scanner);
struct yy_buffer_state* vemla_trigger__scan_bytes(const char* bytes, int length, yyscan_t scanner);

namespace vemla {

TLoadState::TLoadState(std::string_view text, int32_t hashSize) : HashSize(hashSize) {
    size_t nul = text.find('\0');
    EndsAtNul = nul != std::string_view::npos;
    text = text.substr(0, nul);
    Text.reserve(text.size());
    for (char ch : text)
        if (ch != '\r') Text += ch;
}

void TLoadState::ReadUpTo(size_t offset) {
    if (offset >= Text.size()) {
        LinesRead = std::max(LinesRead, LinesAtEnd());
        return;
    }
    if (offset > Furthest) {
        NewlinesBeforeFurthest += static_cast<size_t>(
            std::count(Text.begin() + static_cast<std::ptrdiff_t>(Furthest),
                       Text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
        Furthest = offset;
    }
    LinesRead = std::max(LinesRead, static_cast<int32_t>(NewlinesBeforeFurthest + 1));
}

int32_t TLoadState::LinesAtEnd() const {
    auto newlines = static_cast<int32_t>(std::count(Text.begin(), Text.end(), '\n'));
    // The line that holds a NUL has been read; a last line without line feed counts too.
    if (EndsAtNul || (!Text.empty() && Text.back() != '\n')) return newlines + 1;
    return newlines;
}

size_t TokenReadLength(std::string_view text, size_t offset) {
    auto at = [&](size_t i) { return i < text.size() ? text[i] : '\0'; };
    if (at(offset) >= '0' && at(offset) <= '9') {
        size_t i = offset;
        while (at(i) >= '0' && at(i) <= '9') ++i;
        return i - offset + 1;
    }
    // A literal: after the opening quote the scanner reads until a quote that is followed by
    // something other than a quote, or until the end.
    enum { Opened, Body, OpeningPair, QuoteInBody } state = Opened;
    for (size_t i = offset + 1;; ++i) {
        char ch = at(i);
        if (ch == '\0') return i - offset + 1;
        switch (state) {
        case Opened: state = ch == '"' ? OpeningPair : Body; break;
        case Body: state = ch == '"' ? QuoteInBody : Body; break;
        case OpeningPair:
        case QuoteInBody:
            if (ch != '"') return i - offset + 1;
            state = Body;
            break;
        }
    }
}

void ReportSyntaxError(TLoadState& state, std::string_view message) {
    if (!state.Error.empty()) return;
    state.Error = std::string(message) + Utf8ToCp1251(" в строке ") +
                  std::to_string(state.LinesRead) + Utf8ToCp1251(" ,около `") + state.TokenText +
                  "'";
}

bool BeginTrigger(TLoadState& state, int32_t id, int nameIndex, int coding, int patternIndex) {
    std::string& name = state.Strings[static_cast<size_t>(nameIndex)];
    std::string pattern = TextToBytes(state.Strings[static_cast<size_t>(patternIndex)],
                                      static_cast<TCoding>(coding));
    int32_t slot = PacketHash(pattern, state.HashSize);
    if (const TTrigger* loaded = state.Table->At(slot)) {
        state.Error = Utf8ToCp1251("конфликт триггеров.(Триггеры \"") + loaded->Name +
                      Utf8ToCp1251("\" и \"") + name +
                      Utf8ToCp1251("\" реагируют на один пакет данных)");
        return false;
    }
    auto trigger = std::make_unique<TTrigger>();
    trigger->Id = id;
    trigger->Name = std::move(name);
    trigger->DataCoding = static_cast<uint8_t>(coding);
    state.Current = trigger.get();
    state.Table->Store(slot, std::move(trigger));
    return true;
}

void AddCommand(TLoadState& state, TCommandKind kind, int32_t first, int32_t second) {
    TTriggerCommand command;
    command.Kind = kind;
    switch (kind) {
    case TCommandKind::Outw:
    case TCommandKind::Out:
        command.Data = TextToBytes(state.Strings[static_cast<size_t>(first)],
                                   state.Current->DataCoding);
        break;
    case TCommandKind::Print: command.Data = std::move(state.Strings[static_cast<size_t>(first)]); break;
    case TCommandKind::Goto:
    case TCommandKind::Sleep: command.Value = first; break;
    case TCommandKind::Switch:
        command.TriggerId = static_cast<uint16_t>(first);
        command.CommandIndex = second;
        break;
    case TCommandKind::Wait:
    case TCommandKind::Stop: break;
    }
    state.Current->Commands.push_back(std::move(command));
}

void EndTrigger(TLoadState& state) { state.Current->Commands.shrink_to_fit(); }

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

TLoadResult LoadTriggers(std::string_view text, int32_t hashSize) {
    TLoadState state(text, hashSize);
    int result = 1;
    try {
        TScanner scanner(state);
        result = yyparse(state, scanner.Handle);
    } catch (const std::exception& failure) {
        ReportSyntaxError(state, failure.what());
    }
    TLoadResult loaded;
    if (result == 0 && state.Error.empty()) {
        loaded.Table = std::move(state.Table);
    } else {
        loaded.Table = std::make_unique<TriggerTable>();
        loaded.Error = state.Error.empty() ? std::string("syntax error") : state.Error;
    }
    return loaded;
}

std::vector<std::vector<int32_t>> SwitchCycles(const TriggerTable& table) {
    std::vector<const TTrigger*> triggers;
    for (int32_t slot = 0; slot < TriggerTable::SlotCount; ++slot)
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
