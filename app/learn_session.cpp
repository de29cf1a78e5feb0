#include "app/learn_session.h"

#include "platform/system.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace vemla {

namespace {

// A string token of a trigger file holds at most 255 characters, its quotes included: 84
// bytes written as hex.
constexpr size_t BytesPerToken = 84;
// A longer request is matched by its head and tail around a "*": 40 bytes each, unless other
// requests have the same ones.
constexpr size_t MaskEndBytes = 40;
// A run stops after this many commands; a longer answer sleeps 0 ms between its parts, which
// ends one run and starts the next at once.
constexpr size_t WritesPerRun = 90;

struct TRequest {
    std::string Bytes;
    std::vector<const TSessionLine*> Lines;        // every time vemla sent it
    std::vector<std::vector<std::string>> Answers; // what the device sent after each
};

std::string Quoted(std::string_view bytes) {
    return "\"" + HexText(std::string(bytes)) + "\"";
}

// How many bytes of its head a long request's mask holds (the tail holds the rest of a
// pattern's bytes).
struct TSplit {
    size_t Head = MaskEndBytes, Tail = MaskEndBytes;
};

std::string Ends(const std::string& request, TSplit split) {
    return request.substr(0, split.Head) + '\0' + request.substr(request.size() - split.Tail);
}

std::string MaskOf(const std::string& request, TSplit split) {
    if (request.size() <= BytesPerToken) return Quoted(request);
    std::string mask = "\"" + HexText(request.substr(0, split.Head));
    mask += split.Head > 0 ? " *" : "*";
    if (split.Tail > 0) mask += " " + HexText(request.substr(request.size() - split.Tail));
    return mask + "\"";
}

// Long requests with the same first and last 40 bytes get a head and tail of other lengths
// that tell them apart, where there are such; the index of each request's split.
std::vector<TSplit> SplitsOf(const std::vector<std::string>& requests) {
    std::vector<TSplit> splits(requests.size());
    std::map<std::string, std::vector<size_t>> alike;
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i].size() > BytesPerToken) alike[Ends(requests[i], {})].push_back(i);
    for (const auto& [ends, group] : alike) {
        if (group.size() < 2) continue;
        for (size_t head = 0; head <= 2 * MaskEndBytes; ++head) {
            const TSplit split{head, 2 * MaskEndBytes - head};
            std::map<std::string, size_t> seen;
            for (size_t i : group)
                seen.try_emplace(Ends(requests[i], split), i);
            if (seen.size() < group.size()) continue;
            for (size_t i : group)
                splits[i] = split;
            break;
        }
    }
    return splits;
}

// For each request, the first earlier one whose mask matches it too, or SIZE_MAX: one map per
// head/tail split in use (few), so a session of many long requests is not compared pair by pair.
std::vector<size_t> EarlierMasksMatching(const std::vector<std::string>& requests,
                                         const std::vector<TSplit>& splits) {
    std::map<std::pair<size_t, size_t>, std::map<std::string, size_t>> firstBySplit;
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i].size() > BytesPerToken)
            firstBySplit[{splits[i].Head, splits[i].Tail}].try_emplace(Ends(requests[i], splits[i]),
                                                                       i);
    std::vector<size_t> earlier(requests.size(), SIZE_MAX);
    for (size_t r = 0; r < requests.size(); ++r) {
        if (requests[r].size() <= BytesPerToken) continue;
        for (const auto& [split, first] : firstBySplit)
            if (auto found = first.find(Ends(requests[r], {split.first, split.second}));
                found != first.end() && found->second < r)
                earlier[r] = std::min(earlier[r], found->second);
    }
    return earlier;
}

// What goes into a comment: a line end in a file name would end the comment.
std::string CommentText(std::string text) {
    for (char& ch : text)
        if (static_cast<unsigned char>(ch) < 0x20) ch = '?';
    return text;
}

// Writes the commands of one trigger, counting them (GOTO needs their numbers) and ending a
// run in time, before it grows past the run limit.
class TCommandWriter {
  public:
    explicit TCommandWriter(std::string& out) : Out(out) {}
    void Write(const std::string& command) {
        Out += "    " + command + "\n";
        ++Count;
        if (command.rfind("OUT ", 0) == 0 && ++Writes % WritesPerRun == 0) Write("SLEEP 0");
    }
    void EndRun() { Writes = 0; }
    size_t Written() const { return Count; }

  private:
    std::string& Out;
    size_t Count = 0;
    size_t Writes = 0; // since the run began
};

// The packets of one answer, each cut into tokens a string can hold; every write but the
// last goes on (OUT), the last one waits for the next request (OUTW).
void WriteAnswer(const std::vector<std::string>& packets, TCommandWriter& commands) {
    std::vector<std::string> writes;
    for (const std::string& packet : packets)
        for (size_t at = 0; at < packet.size(); at += BytesPerToken)
            writes.push_back(packet.substr(at, BytesPerToken));
    if (writes.empty()) {
        commands.Write("WAIT                            // no answer");
    } else {
        for (size_t i = 0; i + 1 < writes.size(); ++i)
            commands.Write("OUT " + Quoted(writes[i]));
        commands.Write("OUTW " + Quoted(writes.back()));
    }
    commands.EndRun();
}

std::string LineList(const TSessionLog& log, const std::vector<const TSessionLine*>& lines) {
    constexpr size_t Shown = 8;
    std::string text;
    size_t file = SIZE_MAX;
    for (size_t i = 0; i < lines.size() && i < Shown; ++i) {
        if (lines[i]->File != file) {
            file = lines[i]->File;
            text += std::string(i ? "; " : "") + CommentText(log.Files[file]) + " line ";
        } else {
            text += ", ";
        }
        text += std::to_string(lines[i]->Line);
    }
    if (lines.size() > Shown) text += " and " + std::to_string(lines.size() - Shown) + " more";
    return text;
}

} // namespace

TResult<std::string> LearnDevice(const TSessionLog& log, const std::string& logName) {
    TResult<std::string> result;
    std::vector<TRequest> requests; // in the order first sent
    std::map<std::string, size_t> known;
    std::vector<std::string> beforeFirst;
    std::vector<std::string>* answer = &beforeFirst;
    for (const TSessionLine& line : log.Lines) {
        // A write of nothing (a trigger's, while the port was missing) is nothing to answer.
        if (line.Bytes.empty()) continue;
        if (line.FromDevice()) {
            answer->push_back(line.Bytes);
            continue;
        }
        auto [found, added] = known.try_emplace(line.Bytes, requests.size());
        if (added) requests.push_back({line.Bytes, {}, {}});
        TRequest& request = requests[found->second];
        request.Lines.push_back(&line);
        answer = &request.Answers.emplace_back();
    }
    if (requests.empty()) {
        result.Error = logName + ": vemla sent nothing in this session, so there is nothing to "
                                 "learn (--learn wants a session where vemla was the master)";
        return result;
    }
    std::vector<std::string> requestBytes;
    for (const TRequest& request : requests)
        requestBytes.push_back(request.Bytes);
    const std::vector<TSplit> splits = SplitsOf(requestBytes);
    const std::vector<size_t> earlierMatch = EarlierMasksMatching(requestBytes, splits);
    std::string& out = result.Value;
    out = "// The device of the session " + CommentText(logName) +
          ", learned by vemla --learn.\n"
          "// Check it: vemla --check-session " +
          CommentText(logName) + " --mirror --triggers THIS_FILE\n";
    for (size_t i = 0; i < requests.size(); ++i) {
        const TRequest& request = requests[i];
        const bool fromApplication = request.Lines.front()->Source == TTrafficSource::Application;
        out += std::string("\n// Sent by ") + (fromApplication ? "the application" : "vemla") +
               " at " + LineList(log, request.Lines) + "\n";
        if (request.Bytes.size() > BytesPerToken)
            out += "// (longer than a pattern holds: matched by its first " +
                   std::to_string(splits[i].Head) + " and last " + std::to_string(splits[i].Tail) +
                   " bytes)\n";
        if (size_t first = earlierMatch[i]; first != SIZE_MAX)
            out += "// warning: differs from request " + std::to_string(first + 1) +
                   " only where no pattern reaches: trigger " + std::to_string(first + 1) +
                   " answers both\n";
        out += "TRIGGER " + std::to_string(i + 1) + " \"request " + std::to_string(i + 1) +
               "\" MASK HEX " + MaskOf(request.Bytes, splits[i]) + "\n{\n";
        TCommandWriter commands(out);
        if (i == 0 && !beforeFirst.empty()) {
            out += "    // sent by the device before the first request\n";
            for (const std::string& packet : beforeFirst)
                for (size_t at = 0; at < packet.size(); at += BytesPerToken)
                    commands.Write("OUT " +
                                   Quoted(std::string_view(packet).substr(at, BytesPerToken)));
        }
        commands.Write("WAIT");
        commands.EndRun();
        // Back to the first answer, past the start-up packets and the first WAIT.
        const size_t firstAnswer = commands.Written() + 1;
        // One answer given every time is written once.
        bool sameEveryTime = std::all_of(request.Answers.begin(), request.Answers.end(),
                                         [&](auto& a) { return a == request.Answers.front(); });
        size_t chain = sameEveryTime ? 1 : request.Answers.size();
        for (size_t k = 0; k < chain; ++k)
            WriteAnswer(request.Answers[k], commands);
        out += "    GOTO " + std::to_string(firstAnswer) + "\n}\n";
    }
    if (out.size() > TriggerFileLimit)
        result.Error =
            CommentText(logName) + ": the learned device takes " + std::to_string(out.size()) +
            " bytes, more than vemla loads from a trigger "
            "file (" +
            std::to_string(TriggerFileLimit >> 20) + " MiB): learn from a shorter session";
    return result;
}

} // namespace vemla
