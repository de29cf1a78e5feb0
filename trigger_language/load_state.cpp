#include "trigger_language/load_state.h"

#include "codec/codec.h"
#include "platform/messages.h"

#include <algorithm>

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
        while (at(i) >= '0' && at(i) <= '9')
            ++i;
        return i - offset + 1;
    }
    // A literal: after the opening quote the scanner reads until a quote that is followed by
    // something other than a quote, or until the end.
    enum { Opened, Body, OpeningPair, QuoteInBody } state = Opened;
    for (size_t i = offset + 1;; ++i) {
        char ch = at(i);
        if (ch == '\0') return i - offset + 1;
        switch (state) {
        case Opened:
            state = ch == '"' ? OpeningPair : Body;
            break;
        case Body:
            state = ch == '"' ? QuoteInBody : Body;
            break;
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
    state.Error = MessageText(TMessage::TriggerSyntaxError,
                              {message, std::to_string(state.LinesRead), state.TokenText});
}

bool BeginTrigger(TLoadState& state, int32_t id, int nameIndex, int coding, int patternIndex) {
    std::string& name = state.Strings[static_cast<size_t>(nameIndex)];
    std::string pattern =
        TextToBytes(state.Strings[static_cast<size_t>(patternIndex)], CodingFromInteger(coding));
    int32_t slot = PacketHash(pattern, state.HashSize);
    if (const TTrigger* loaded = state.Table->At(slot)) {
        state.Error = MessageText(TMessage::TriggerConflict, {loaded->Name, name});
        return false;
    }
    auto trigger = std::make_unique<TTrigger>();
    trigger->Id = id;
    trigger->Name = std::move(name);
    trigger->DataCoding = CodingFromInteger(coding);
    state.Current = trigger.get();
    state.Table->Store(slot, std::move(trigger));
    return true;
}

bool BeginMaskTrigger(TLoadState& state, int32_t id, int nameIndex, int coding, int maskIndex) {
    TMaskParse parse = ParseMask(state.Strings[static_cast<size_t>(maskIndex)]);
    if (!parse.Ok) {
        // The report names the token of the mask that does not read (the whole mask if empty).
        if (!parse.BadToken.empty()) state.TokenText = parse.BadToken;
        ReportSyntaxError(state, MessageText(TMessage::TriggerMaskError));
        return false;
    }
    auto trigger = std::make_unique<TTrigger>();
    trigger->Id = id;
    trigger->Name = std::move(state.Strings[static_cast<size_t>(nameIndex)]);
    trigger->DataCoding = CodingFromInteger(coding);
    trigger->Mask = std::make_unique<const TMask>(std::move(parse.Mask));
    state.Current = trigger.get();
    state.Table->StoreMasked(std::move(trigger));
    return true;
}

void AddCommand(TLoadState& state, TCommandKind kind, int32_t first, int32_t second) {
    TTriggerCommand command;
    command.Kind = kind;
    switch (kind) {
    case TCommandKind::Outw:
    case TCommandKind::Out:
        command.Data =
            TextToBytes(state.Strings[static_cast<size_t>(first)], state.Current->DataCoding);
        break;
    case TCommandKind::Print:
        command.Data = std::move(state.Strings[static_cast<size_t>(first)]);
        break;
    case TCommandKind::Goto:
    case TCommandKind::Sleep:
        command.Value = first;
        break;
    case TCommandKind::Switch:
        command.TriggerId = static_cast<uint16_t>(first);
        command.CommandIndex = second;
        break;
    case TCommandKind::Wait:
    case TCommandKind::Stop:
    case TCommandKind::Replyw:
    case TCommandKind::Reply:
        break;
    }
    state.Current->Commands.push_back(std::move(command));
}

bool AddReply(TLoadState& state, TCommandKind kind, int templateIndex) {
    std::string& text = state.Strings[static_cast<size_t>(templateIndex)];
    TTemplateParse parse = ParseTemplate(text);
    if (!parse.Ok) {
        if (!parse.BadToken.empty()) state.TokenText = parse.BadToken;
        ReportSyntaxError(state, MessageText(TMessage::TriggerTemplateError));
        return false;
    }
    TTriggerCommand command;
    command.Kind = kind;
    command.Data = std::move(text);
    command.Template = std::make_shared<const TAnswerTemplate>(std::move(parse.Template));
    state.Current->Commands.push_back(std::move(command));
    return true;
}

void EndTrigger(TLoadState& state) {
    state.Current->Commands.shrink_to_fit();
}

} // namespace vemla
