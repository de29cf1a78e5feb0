#include "trigger_language/answer_template.h"

#include "codec/codec.h"
#include "trigger_language/mask.h"

#include <charconv>

namespace vemla {
namespace {

// A whole decimal number, optionally negative; nothing for anything else.
std::optional<int32_t> Number(std::string_view text) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// "i", "i..j", "i.." (open: Last empty), "-k".
bool ReadRange(std::string_view text, TTemplatePart& part, bool openAllowed) {
    size_t dots = text.find("..");
    if (dots == std::string_view::npos) {
        std::optional<int32_t> index = Number(text);
        if (!index) return false;
        part.First = *index;
        part.Last = *index;
        return true;
    }
    std::optional<int32_t> first = Number(text.substr(0, dots));
    if (!first) return false;
    part.First = *first;
    std::string_view rest = text.substr(dots + 2);
    if (rest.empty()) {
        part.Last.reset();
        return openAllowed;
    }
    part.Last = Number(rest);
    return part.Last.has_value();
}

// Index i of a sequence of the given size: from the start, or from the end when negative.
std::optional<size_t> Resolve(int32_t index, size_t size) {
    int64_t at = index < 0 ? static_cast<int64_t>(size) + index : index;
    if (at < 0 || at >= static_cast<int64_t>(size)) return std::nullopt;
    return static_cast<size_t>(at);
}

bool ReadChecksum(std::string_view token, TTemplatePart& part) {
    // The kind: a generic CRC(...) up to its parenthesis, a name up to "(" or ":".
    size_t kindEnd = token.starts_with("CRC(") ? token.find(')') : token.find_first_of("(:");
    if (kindEnd != std::string_view::npos && token.starts_with("CRC(")) ++kindEnd;
    std::string_view kind = token.substr(0, kindEnd);
    part.Check = TChecksum::FromText(kind);
    if (!part.Check) return false;
    part.Kind = TTemplatePart::TKind::Checksum;
    part.LowByteFirst = part.Check->LowByteFirst();
    std::string_view rest = kindEnd == std::string_view::npos ? "" : token.substr(kindEnd);
    if (rest.starts_with("(")) {
        size_t close = rest.find(')');
        if (close == std::string_view::npos) return false;
        if (!ReadRange(rest.substr(1, close - 1), part, false)) return false;
        part.Range = true;
        rest.remove_prefix(close + 1);
    }
    while (!rest.empty()) {
        if (rest.starts_with(":LE"))
            part.LowByteFirst = true;
        else if (rest.starts_with(":BE"))
            part.LowByteFirst = false;
        else if (rest.starts_with(":HEX"))
            part.HexDigits = true;
        else
            return false;
        rest.remove_prefix(rest.starts_with(":HEX") ? 4 : 3);
    }
    return true;
}

} // namespace

std::optional<std::string> TAnswerTemplate::Build(std::string_view request) const {
    std::string answer;
    for (const TTemplatePart& part : Parts) {
        switch (part.Kind) {
        case TTemplatePart::TKind::Bytes:
            answer += part.Bytes;
            break;
        case TTemplatePart::TKind::Request: {
            std::optional<size_t> first = Resolve(part.First, request.size());
            std::optional<size_t> last =
                part.Last ? Resolve(*part.Last, request.size())
                          : (request.empty() ? std::nullopt : std::optional(request.size() - 1));
            if (!first || !last || *last < *first) return std::nullopt;
            answer.append(request.substr(*first, *last - *first + 1));
            break;
        }
        case TTemplatePart::TKind::Checksum: {
            std::string_view over = answer;
            if (part.Range) {
                std::optional<size_t> first = Resolve(part.First, answer.size());
                std::optional<size_t> last = Resolve(*part.Last, answer.size());
                if (!first || !last || *last < *first) return std::nullopt;
                over = over.substr(*first, *last - *first + 1);
            }
            std::string written =
                part.Check->WrittenAs(part.Check->Compute(over), part.LowByteFirst);
            if (!part.HexDigits) {
                answer += written;
                break;
            }
            // ASCII hex digits of the value, as one number: no blank between its bytes.
            for (char ch : BytesToText(written, TCoding::Hex))
                if (ch != ' ') answer += ch;
            break;
        }
        }
    }
    return answer;
}

TTemplateParse ParseTemplate(std::string_view text) {
    TTemplateParse parse;
    bool any = false;
    size_t at = 0;
    for (std::string_view token; !(token = NextPatternToken(text, at)).empty();) {
        TTemplatePart part;
        bool read = false;
        if (token[0] == '\'') {
            read = token.size() >= 3 && token.back() == '\'';
            if (read) part.Bytes = TextToBytes(token.substr(1, token.size() - 2), TCoding::WinHex);
        } else if (token[0] == '$') {
            part.Kind = TTemplatePart::TKind::Request;
            read = ReadRange(token.substr(1), part, true);
        } else if (token.size() == 2 && HexDigit(token[0]) >= 0 && HexDigit(token[1]) >= 0) {
            part.Bytes = static_cast<char>(HexDigit(token[0]) * 16 + HexDigit(token[1]));
            read = true;
        } else {
            read = ReadChecksum(token, part);
        }
        if (!read) {
            parse.BadToken = std::string(token);
            return parse;
        }
        parse.Template.Parts.push_back(std::move(part));
        any = true;
    }
    parse.Ok = any;
    return parse;
}

} // namespace vemla
