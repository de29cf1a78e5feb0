#include "trigger_language/mask.h"

#include "codec/codec.h"

#include <algorithm>

namespace vemla {
namespace {

// "HH", "??", "H?", "?H"; nothing for anything else.
std::optional<TMaskByte> ByteToken(std::string_view token) {
    if (token.size() != 2) return std::nullopt;
    TMaskByte byte{0, 0};
    for (int i = 0; i < 2; ++i) {
        const int shift = i == 0 ? 4 : 0;
        if (token[static_cast<size_t>(i)] == '?') continue;
        int digit = HexDigit(token[static_cast<size_t>(i)]);
        if (digit < 0) return std::nullopt;
        byte.Value |= static_cast<uint8_t>(digit << shift);
        byte.Care |= static_cast<uint8_t>(0x0F << shift);
    }
    return byte;
}

// a covers b: every byte b matches, a matches.
bool ByteCovers(TMaskByte a, TMaskByte b) {
    return (a.Care & ~b.Care) == 0 && (a.Value & a.Care) == (b.Value & a.Care);
}

// Some byte matches both.
bool ByteMeets(TMaskByte a, TMaskByte b) {
    const uint8_t common = a.Care & b.Care;
    return (a.Value & common) == (b.Value & common);
}

// The bytes a fixed-length body would need at each position.
using TBytes = std::vector<TMaskByte>;

bool AllCover(const TBytes& a, const TBytes& b, size_t aStart, size_t bStart, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (!ByteCovers(a[aStart + i], b[bStart + i])) return false;
    return true;
}

bool AllMeet(const TBytes& a, const TBytes& b, size_t aStart, size_t bStart, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (!ByteMeets(a[aStart + i], b[bStart + i])) return false;
    return true;
}

} // namespace

bool TMask::Matches(std::string_view packet) const {
    std::string_view body = packet;
    if (Check) {
        if (packet.size() < Check->Size()) return false;
        body = packet.substr(0, packet.size() - Check->Size());
    }
    const size_t fixed = Head.size() + Tail.size();
    if (Star ? body.size() < fixed : body.size() != Head.size()) return false;
    for (size_t i = 0; i < Head.size(); ++i)
        if (!Head[i].Matches(static_cast<uint8_t>(body[i]))) return false;
    const size_t tailStart = body.size() - Tail.size();
    for (size_t i = 0; i < Tail.size(); ++i)
        if (!Tail[i].Matches(static_cast<uint8_t>(body[tailStart + i]))) return false;
    if (!Check) return true;
    const bool valid = Check->WrittenFor(body) == packet.substr(body.size());
    return valid == CheckValid;
}

TMask TMask::WithoutCheck() const {
    TMask plain = *this;
    if (!Check) return plain;
    (Star ? plain.Tail : plain.Head).resize((Star ? Tail : Head).size() + Check->Size(), {0, 0});
    plain.Check.reset();
    return plain;
}

bool TMask::Covers(const TMask& other) const {
    // Without a condition of its own, a mask covers one with a checksum when it covers every
    // checksum's bytes; with one, it does not cover a mask that lets a wrong checksum through.
    if (!Check && other.Check) return Covers(other.WithoutCheck());
    if (Check.has_value() != other.Check.has_value()) return false;
    if (Check && (Check->Name() != other.Check->Name() || CheckValid != other.CheckValid))
        return false;
    if (!other.Star) {
        const TBytes& body = other.Head;
        if (!Star) return Head.size() == body.size() && AllCover(Head, body, 0, 0, body.size());
        if (body.size() < Head.size() + Tail.size()) return false;
        return AllCover(Head, body, 0, 0, Head.size()) &&
               AllCover(Tail, body, 0, body.size() - Tail.size(), Tail.size());
    }
    // The other matches bodies of any length beyond its own bytes: only a star covers them.
    if (!Star || Head.size() > other.Head.size() || Tail.size() > other.Tail.size()) return false;
    return AllCover(Head, other.Head, 0, 0, Head.size()) &&
           AllCover(Tail, other.Tail, 0, other.Tail.size() - Tail.size(), Tail.size());
}

bool TMask::Overlaps(const TMask& other) const {
    // The same checksum, once valid and once invalid, never holds for one packet.
    if (Check && other.Check && Check->Name() == other.Check->Name() &&
        CheckValid != other.CheckValid)
        return false;
    if (Check.has_value() != other.Check.has_value()) {
        // A mask of exact bytes is one packet: the other matches it or not.
        const TMask& plain = Check ? other : *this;
        if (!plain.Star && std::all_of(plain.Head.begin(), plain.Head.end(),
                                       [](TMaskByte byte) { return byte.Care == 0xFF; })) {
            std::string packet;
            for (TMaskByte byte : plain.Head)
                packet += static_cast<char>(byte.Value);
            return (Check ? *this : other).Matches(packet);
        }
        return WithoutCheck().Overlaps(other.WithoutCheck());
    }
    if (!Star && !other.Star)
        return Head.size() == other.Head.size() && AllMeet(Head, other.Head, 0, 0, Head.size());
    if (!Star || !other.Star) {
        const TMask& starred = Star ? *this : other;
        const TBytes& body = Star ? other.Head : Head;
        if (body.size() < starred.Head.size() + starred.Tail.size()) return false;
        return AllMeet(starred.Head, body, 0, 0, starred.Head.size()) &&
               AllMeet(starred.Tail, body, 0, body.size() - starred.Tail.size(),
                       starred.Tail.size());
    }
    // Two stars: a long enough middle serves both; the heads and the tails must agree.
    const size_t heads = std::min(Head.size(), other.Head.size());
    const size_t tails = std::min(Tail.size(), other.Tail.size());
    return AllMeet(Head, other.Head, 0, 0, heads) &&
           AllMeet(Tail, other.Tail, Tail.size() - tails, other.Tail.size() - tails, tails);
}

std::string_view NextPatternToken(std::string_view text, size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    size_t end = at;
    if (at < text.size() && text[at] == '\'') {
        end = text.find('\'', at + 1);
        end = end == std::string_view::npos ? text.size() : end + 1;
    } else {
        while (end < text.size() && text[end] != ' ' && text[end] != '\t')
            ++end;
    }
    std::string_view token = text.substr(at, end - at);
    at = end;
    return token;
}

TMaskParse ParseMask(std::string_view text) {
    TMaskParse parse;
    TMask& mask = parse.Mask;
    bool any = false;
    size_t at = 0;
    for (std::string_view token; !(token = NextPatternToken(text, at)).empty();) {
        auto bad = [&] {
            parse.BadToken = std::string(token);
            return parse;
        };
        // Nothing follows a checksum condition.
        if (mask.Check) return bad();
        std::vector<TMaskByte>& bytes = mask.Star ? mask.Tail : mask.Head;
        if (token == "*") {
            if (mask.Star) return bad();
            mask.Star = true;
        } else if (token[0] == '=' || token[0] == '!') {
            mask.Check = TChecksum::FromText(token.substr(1));
            if (!mask.Check) return bad();
            mask.CheckValid = token[0] == '=';
        } else if (token[0] == '\'') {
            if (token.size() < 3 || token.back() != '\'') return bad();
            for (char ch : TextToBytes(token.substr(1, token.size() - 2), TCoding::WinHex))
                bytes.push_back({static_cast<uint8_t>(ch), 0xFF});
        } else if (std::optional<TMaskByte> byte = ByteToken(token)) {
            bytes.push_back(*byte);
        } else {
            return bad();
        }
        any = true;
    }
    parse.Ok = any;
    return parse;
}

} // namespace vemla
