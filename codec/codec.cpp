#include "codec/codec.h"

#include <array>
#include <cstring>

namespace vemla {

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

namespace {

constexpr char UpperDigits[] = "0123456789ABCDEF";

std::string HexTextToBytes(std::string_view text) {
    std::string bytes;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        size_t length = (i + 1 < text.size() && text[i + 1] == ' ') ? 1 : 2;
        std::string_view token = text.substr(i, length);
        bytes += static_cast<char>(HexValue(token));
        i += length;
    }
    return bytes;
}

std::string EscapedTextToBytes(std::string_view text) {
    std::string bytes;
    bool inEscape = false;
    for (size_t j = 0; j < text.size(); ++j) {
        char ch = text[j];
        if (!inEscape) {
            if (ch == '<')
                inEscape = true;
            else
                bytes += ch;
        } else if (ch == '>') {
            if (j >= 4) bytes += static_cast<char>(HexValue(text.substr(j - 2, 2)));
            inEscape = false;
        }
    }
    return bytes;
}

} // namespace

uint8_t HexValue(std::string_view text) {
    size_t i = 0;
    if (!text.empty() && text[0] == '$') i = 1;
    unsigned value = 0;
    for (; i < text.size(); ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0) break;
        value = (value << 4) | static_cast<unsigned>(digit);
    }
    return static_cast<uint8_t>(value & 0xFF);
}

std::string TextToBytes(std::string_view text, TCoding coding) {
    return coding == TCoding::Hex ? HexTextToBytes(text) : EscapedTextToBytes(text);
}

std::string BytesToText(std::string_view bytes, TCoding coding) {
    // Sized once and filled through a pointer: a flood renders megabytes a second.
    static constexpr auto Pairs = [] {
        std::array<std::array<char, 2>, 256> pairs{};
        for (size_t byte = 0; byte < 256; ++byte)
            pairs[byte] = {UpperDigits[byte >> 4], UpperDigits[byte & 0x0F]};
        return pairs;
    }();
    std::string text;
    if (bytes.empty()) return text;
    if (coding == TCoding::Hex) {
        text.resize(bytes.size() * 3 - 1, ' ');
        char* out = text.data();
        for (char ch : bytes) {
            std::memcpy(out, Pairs[static_cast<uint8_t>(ch)].data(), 2);
            out += 3;
        }
        return text;
    }
    size_t controls = 0;
    for (char ch : bytes)
        controls += static_cast<uint8_t>(ch) < 0x20;
    text.resize(bytes.size() + controls * 5); // "<0xNN>" instead of one byte
    char* out = text.data();
    for (char ch : bytes) {
        auto byte = static_cast<uint8_t>(ch);
        if (byte < 0x20) {
            std::memcpy(out, "<0x", 3);
            std::memcpy(out + 3, Pairs[byte].data(), 2);
            out[5] = '>';
            out += 6;
        } else {
            *out++ = ch;
        }
    }
    return text;
}

std::string Recode(std::string_view text, TCoding from, TCoding to) {
    if (from == to) return std::string(text);
    return BytesToText(TextToBytes(text, from), to);
}

} // namespace vemla
