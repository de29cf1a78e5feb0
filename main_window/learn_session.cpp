#include "main_window/learn_session.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

namespace vemla {

namespace {

// A string token of a trigger file holds at most 255 characters, its quotes included: 84
// bytes written as hex.
constexpr size_t BytesPerToken = 84;
// A longer request is matched by its head and tail around a "*".
constexpr size_t MaskEndBytes = 40;

struct TRequest {
    std::string Bytes;
    std::vector<const TSessionLine*> Lines;        // every time vemla sent it
    std::vector<std::vector<std::string>> Answers; // what the device sent after each
};

std::string Quoted(std::string_view bytes) {
    return "\"" + HexText(std::string(bytes)) + "\"";
}

std::string MaskOf(const std::string& request) {
    if (request.size() <= BytesPerToken) return Quoted(request);
    return "\"" + HexText(request.substr(0, MaskEndBytes)) + " * " +
           HexText(request.substr(request.size() - MaskEndBytes)) + "\"";
}

// The packets of one answer, each cut into tokens a string can hold; every write but the
// last goes on (OUT), the last one waits for the next request (OUTW).
void WriteAnswer(const std::vector<std::string>& packets, std::string& out) {
    std::vector<std::string> writes;
    for (const std::string& packet : packets)
        for (size_t at = 0; at < packet.size(); at += BytesPerToken)
            writes.push_back(packet.substr(at, BytesPerToken));
    if (writes.empty()) {
        out += "    WAIT                            // no answer\n";
        return;
    }
    for (size_t i = 0; i < writes.size(); ++i)
        out += std::string(i + 1 < writes.size() ? "    OUT " : "    OUTW ") + Quoted(writes[i]) +
               "\n";
}

std::string LineList(const TSessionLog& log, const std::vector<const TSessionLine*>& lines) {
    constexpr size_t Shown = 8;
    std::string text;
    size_t file = SIZE_MAX;
    for (size_t i = 0; i < lines.size() && i < Shown; ++i) {
        if (lines[i]->File != file) {
            file = lines[i]->File;
            text += std::string(i ? "; " : "") + log.Files[file] + " line ";
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
        if (line.Kind == TTrafficKind::Received) {
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
    std::string& out = result.Value;
    out = "// The device of the session " + logName +
          ", learned by vemla --learn.\n"
          "// Check it: vemla --check-session " +
          logName + " --mirror --triggers THIS_FILE\n";
    for (size_t i = 0; i < requests.size(); ++i) {
        const TRequest& request = requests[i];
        out += "\n// Sent by vemla at " + LineList(log, request.Lines) + "\n";
        if (request.Bytes.size() > BytesPerToken)
            out += "// (longer than a pattern holds: matched by its first and last " +
                   std::to_string(MaskEndBytes) + " bytes)\n";
        out += "TRIGGER " + std::to_string(i + 1) + " \"request " + std::to_string(i + 1) +
               "\" MASK HEX " + MaskOf(request.Bytes) + "\n{\n";
        size_t startUpWrites = 0;
        if (i == 0 && !beforeFirst.empty()) {
            out += "    // sent by the device before the first request\n";
            for (const std::string& packet : beforeFirst) {
                for (size_t at = 0; at < packet.size(); at += BytesPerToken, ++startUpWrites)
                    out += "    OUT " + Quoted(std::string_view(packet).substr(at, BytesPerToken)) +
                           "\n";
            }
        }
        out += "    WAIT\n";
        // One answer given every time is written once.
        bool sameEveryTime = std::all_of(request.Answers.begin(), request.Answers.end(),
                                         [&](auto& a) { return a == request.Answers.front(); });
        size_t chain = sameEveryTime ? 1 : request.Answers.size();
        for (size_t k = 0; k < chain; ++k)
            WriteAnswer(request.Answers[k], out);
        // Back to the first answer, past the start-up packets and the first WAIT.
        out += "    GOTO " + std::to_string(startUpWrites + 2) + "\n}\n";
    }
    return result;
}

} // namespace vemla
