#include "app/status_texts.h"

#include "platform/cp1251.h"
#include "platform/messages.h"
#include "platform/net_spelling.h"
#include "platform/system.h"

namespace vemla {

std::string FrameText(const TLineSettings& line) {
    static const char* const Parities[] = {"N", "O", "E", "M", "S"};
    static const char* const StopBits[] = {"1", "1.5", "2"};
    auto pick = [](const char* const* names, int32_t count, int32_t value) {
        return value >= 0 && value < count ? std::string(names[value]) : "?";
    };
    return std::to_string(line.ByteSize) + pick(Parities, 5, line.Parity) +
           pick(StopBits, 3, line.StopBits);
}

namespace {

std::string StateText(TPortState state) {
    switch (state) {
    case TPortState::Open:
        return MessageText(TMessage::StateOpen);
    case TPortState::Closed:
        return MessageText(TMessage::StateClosed);
    case TPortState::Waiting:
        return MessageText(TMessage::StateWaiting);
    case TPortState::ApplicationConnected:
        return MessageText(TMessage::StateApplicationConnected);
    case TPortState::ApplicationAwaited:
        return MessageText(TMessage::StateApplicationAwaited);
    case TPortState::ClosedByUser:
        return MessageText(TMessage::StateClosedByUser);
    }
    return {};
}

} // namespace

TStatusTexts StatusTexts(const TTerminalSettings& settings, TPortState state, uint64_t received,
                         uint64_t sent, std::optional<uint64_t> unmatched,
                         std::optional<int32_t> confirmedRate,
                         std::optional<TPortState> secondState) {
    TStatusTexts texts;
    texts.Path = PathText(settings.PortPath());
    const std::optional<TNetSpelling> remote = ParseNetSpelling(settings.PortPath());
    if (remote && remote->Kind == TNetSpelling::TKind::Raw) {
        texts.Line = MessageText(TMessage::LineRawTcp); // the far end's port is set there
    } else if (remote && IsOpenState(state)) {
        // The server's rate once it confirmed it; the asked one marked until then.
        texts.Line = (confirmedRate ? std::to_string(*confirmedRate)
                                    : std::to_string(settings.Line.BaudRate) + "?") +
                     " " + FrameText(settings.Line);
    } else {
        texts.Line = std::to_string(settings.Line.BaudRate) + " " + FrameText(settings.Line);
    }
    texts.State = StateText(state);
    if (secondState && settings.SecondPortMode != TTerminalSettings::TSecondPort::None) {
        const std::string dash = Utf8ToCp1251(" — ");
        texts.Path += dash + PathText(settings.SecondPort);
        texts.State += dash + StateText(*secondState);
    }
    texts.Counters =
        MessageText(TMessage::Counters, {std::to_string(received), std::to_string(sent)});
    if (unmatched)
        texts.Counters += MessageText(TMessage::CountersUnmatched, {std::to_string(*unmatched)});
    return texts;
}

TModemControls ModemControls(const std::optional<TModemLines>& lines, const TLineSettings& line,
                             TPortState state) {
    TModemControls controls;
    controls.DtrOn = line.DtrControl != 0;
    controls.RtsOn = line.RtsControl == 1 || line.RtsControl == 2;
    controls.BreakEnabled = IsOpenState(state);
    if (!lines) return controls;
    auto lamp = [](bool on) { return on ? TLamp::On : TLamp::Off; };
    controls.Lamps = {lamp(lines->Cts), lamp(lines->Dsr), lamp(lines->Dcd), lamp(lines->Ri)};
    controls.DtrEnabled = line.DtrControl != 2;
    controls.RtsEnabled = line.RtsControl < 2;
    return controls;
}

std::string ModemLinesText(const TModemLines& lines) {
    auto bit = [](bool on) { return on ? "=1" : "=0"; };
    return std::string("CTS") + bit(lines.Cts) + " DSR" + bit(lines.Dsr) + " DCD" + bit(lines.Dcd) +
           " RI" + bit(lines.Ri);
}

} // namespace vemla
