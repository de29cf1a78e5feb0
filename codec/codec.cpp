#include "codec/codec.h"

namespace vemla {
namespace {

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

constexpr char UpperDigits[] = "0123456789ABCDEF";

void AppendHexPair(std::string& out, uint8_t byte) {
    out += UpperDigits[byte >> 4];
    out += UpperDigits[byte & 0x0F];
}

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
    std::string text;
    if (coding == TCoding::Hex) {
        text.reserve(bytes.size() * 3);
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) text += ' ';
            AppendHexPair(text, static_cast<uint8_t>(bytes[i]));
        }
        return text;
    }
    text.reserve(bytes.size());
    for (char ch : bytes) {
        auto byte = static_cast<uint8_t>(ch);
        if (byte < 0x20) {
            text += "<0x";
            AppendHexPair(text, byte);
            text += '>';
        } else {
            text += ch;
        }
    }
    return text;
}

std::string Recode(std::string_view text, TCoding from, TCoding to) {
    if (from == to) return std::string(text);
    return BytesToText(TextToBytes(text, from), to);
}

} // namespace vemla
