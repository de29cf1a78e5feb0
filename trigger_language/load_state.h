#pragma once

#include "trigger_language/trigger.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vemla {

// Everything one load of a trigger file needs; scanner and parser keep no other state.
struct TLoadState {
    TLoadState(std::string_view text, int32_t hashSize);

    // The input as the scanner sees it: carriage returns removed, cut at the first NUL.
    std::string Text;
    bool EndsAtNul = false;
    int32_t HashSize = 0;

    std::unique_ptr<TriggerTable> Table = std::make_unique<TriggerTable>();
    TTrigger* Current = nullptr;
    std::vector<std::string> Strings; // values of string tokens, referred to by index

    // Where the scanner stands: offset of the next unread character, the furthest character
    // it has looked at, and how many lines that makes read.
    size_t Offset = 0;
    size_t Furthest = 0;
    size_t NewlinesBeforeFurthest = 0;
    int32_t LinesRead = 0;
    std::string TokenText;

    std::string Error;

    // Marks everything up to (and including) offset as read; offset == Text.size() is the end.
    void ReadUpTo(size_t offset);
    // The number of lines a reader has read when it reaches the end of the input.
    int32_t LinesAtEnd() const;
};

// Parser actions; false ends the parse as failed with Error set.
bool BeginTrigger(TLoadState& state, int32_t id, int nameIndex, int coding, int patternIndex);
// A trigger found by its mask; a mask that does not read fails the load naming its bad token.
bool BeginMaskTrigger(TLoadState& state, int32_t id, int nameIndex, int coding, int maskIndex);
void AddCommand(TLoadState& state, TCommandKind kind, int32_t first, int32_t second);
// REPLY or REPLYW; a template that does not read fails the load naming its bad token.
bool AddReply(TLoadState& state, TCommandKind kind, int templateIndex);
void EndTrigger(TLoadState& state);
void ReportSyntaxError(TLoadState& state, std::string_view message);

// How many characters the scanner reads for a string literal or number starting at offset,
// its lookahead included; more than MaxTokenText is a token too long.
constexpr size_t MaxTokenText = 255;
size_t TokenReadLength(std::string_view text, size_t offset);

} // namespace vemla
