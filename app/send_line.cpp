#include "app/send_line.h"

#include "app/send_template.h"
#include "platform/messages.h"

#include <cctype>

namespace vemla {
namespace {

bool IsHexDigit(char ch) {
    return std::isxdigit(static_cast<unsigned char>(ch)) != 0;
}

TResult<std::string> Refused(TMessage what, size_t position) {
    return {{}, MessageText(what, {std::to_string(position + 1)}), 0};
}

// Hex byte pairs; blanks may stand between whole pairs only.
TResult<std::string> CheckHex(std::string_view text) {
    size_t digitsInToken = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        char ch = i < text.size() ? text[i] : ' ';
        if (ch == ' ') {
            if (digitsInToken % 2 != 0) return Refused(TMessage::SendHexOddDigits, i);
            digitsInToken = 0;
        } else if (IsHexDigit(ch)) {
            ++digitsInToken;
        } else {
            return Refused(TMessage::SendHexBadDigit, i);
        }
    }
    return {};
}

// Text of code page 1251 in which '<' only begins an escape <0xNN>.
TResult<std::string> CheckEscapes(std::string_view text) {
    for (size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        std::string_view escape = text.substr(i, 6);
        bool valid = escape.size() == 6 && escape[1] == '0' &&
                     (escape[2] == 'x' || escape[2] == 'X') && IsHexDigit(escape[3]) &&
                     IsHexDigit(escape[4]) && escape[5] == '>';
        if (!valid) return Refused(TMessage::SendBadEscape, i);
    }
    return {};
}

} // namespace

TResult<std::string> SendLineBytes(std::string_view text, TCoding coding, TLineEnding ending) {
    TResult<std::string> checked = coding == TCoding::Hex ? CheckHex(text) : CheckEscapes(text);
    if (!checked.Ok() && coding == TCoding::Hex && LooksLikeSendTemplate(text)) {
        TResult<std::string> built = SendTemplateBytes(text);
        if (built.Ok()) built.Value += LineEndingBytes(ending);
        return built;
    }
    if (!checked.Ok()) return checked;
    checked.Value = TextToBytes(text, coding);
    checked.Value += LineEndingBytes(ending);
    return checked;
}

std::string_view LineEndingBytes(TLineEnding ending) {
    static constexpr std::string_view Endings[] = {"", "\r", "\n", "\r\n"};
    return Endings[static_cast<size_t>(ending)];
}

void TSendHistory::Add(const std::string& line) {
    if (!line.empty() && (Entries.empty() || Entries.back() != line)) Entries.push_back(line);
    if (Entries.size() > Limit) Entries.erase(Entries.begin());
    Position = Entries.size();
}

std::string TSendHistory::Older() {
    if (Position > 0) --Position;
    return Position < Entries.size() ? Entries[Position] : std::string();
}

std::string TSendHistory::Newer() {
    if (Position < Entries.size()) ++Position;
    return Position < Entries.size() ? Entries[Position] : std::string();
}

void TSendHistory::Load(const TIniFile& desktop) {
    Entries.clear();
    for (size_t i = 1; i <= Limit; ++i) {
        std::string hex = desktop.ReadString("SendLine", "Bytes" + std::to_string(i), "");
        TResult<std::string> bytes = SendLineBytes(hex, TCoding::Hex, TLineEnding::None);
        if (hex.empty() || !bytes.Ok()) break;
        Entries.push_back(bytes.Value);
    }
    Position = Entries.size();
}

void TSendHistory::Save(TIniFile& desktop) const {
    for (size_t i = 0; i < Entries.size(); ++i)
        desktop.WriteString("SendLine", "Bytes" + std::to_string(i + 1),
                            BytesToText(Entries[i], TCoding::Hex));
}

} // namespace vemla
