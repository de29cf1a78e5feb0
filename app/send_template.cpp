#include "app/send_template.h"

#include "platform/messages.h"
#include "trigger_language/answer_template.h"
#include "trigger_language/mask.h"

namespace vemla {
namespace {

bool Capital(char ch) {
    return ch >= 'A' && ch <= 'Z';
}

// A quoted text, a request copy or a name in capitals (not hex digits): what plain hex never
// holds.
bool TemplateLike(std::string_view token) {
    const bool name = token.size() >= 3 && Capital(token[0]) && Capital(token[1]) &&
                      token.find_first_not_of("0123456789ABCDEFabcdef") != std::string_view::npos;
    return token[0] == '\'' || token[0] == '$' || name;
}

TResult<std::string> Refused(const std::string& what, size_t position) {
    return {{}, MessageText(TMessage::SendTemplateAt, {what, std::to_string(position + 1)}), 0};
}

} // namespace

bool LooksLikeSendTemplate(std::string_view text) {
    size_t at = 0;
    for (std::string_view token; !(token = NextPatternToken(text, at)).empty();)
        if (TemplateLike(token)) return true;
    return false;
}

bool IsSendTemplate(std::string_view text) {
    return LooksLikeSendTemplate(text) && SendTemplateBytes(text).Ok();
}

TResult<std::string> SendTemplateBytes(std::string_view text) {
    // Token by token, so that a refusal can say where.
    size_t at = 0;
    for (std::string_view token; !(token = NextPatternToken(text, at)).empty();) {
        const size_t position = at - token.size();
        TTemplateParse one = ParseTemplate(token);
        if (!one.Ok)
            return Refused(MessageText(TMessage::SendTemplateBadElement, {token}), position);
        if (one.Template.Parts[0].Kind == TTemplatePart::TKind::Request)
            return Refused(MessageText(TMessage::SendTemplateNoRequest, {token}), position);
    }
    TTemplateParse whole = ParseTemplate(text);
    std::optional<std::string> bytes =
        whole.Ok ? whole.Template.Build({}) : std::optional<std::string>();
    if (!bytes) return {{}, MessageText(TMessage::SendTemplateChecksumRange), 0};
    return {*bytes, {}, 0};
}

} // namespace vemla
