#include "trigger_monitor/trigger_texts.h"

#include "codec/codec.h"
#include "platform/messages.h"

namespace vemla {

std::string StatusText(TTriggerStatus status) {
    switch (status) {
    case TTriggerStatus::Ok:
        return "ok";
    case TTriggerStatus::SwitchedOff:
        return MessageText(TMessage::TriggerSwitchedOff);
    case TTriggerStatus::MissingCommand:
        return MessageText(TMessage::TriggerMissingCommand);
    case TTriggerStatus::TooManyCommands:
        return MessageText(TMessage::TriggerTooManyCommands);
    case TTriggerStatus::AnswerError:
        return MessageText(TMessage::TriggerAnswerError);
    default:
        return std::to_string(static_cast<int>(status));
    }
}

std::string CommandText(const TTrigger& trigger, int32_t index) {
    if (index < 0 || index >= trigger.CommandCount()) return {};
    const TTriggerCommand& c = trigger.Commands[static_cast<size_t>(index)];
    std::string text = std::to_string(index + 1) + ": ";
    switch (c.Kind) {
    case TCommandKind::Outw:
        return text + "OUTW " + BytesToText(c.Data, trigger.DataCoding);
    case TCommandKind::Out:
        return text + "OUT " + BytesToText(c.Data, trigger.DataCoding);
    case TCommandKind::Wait:
        return text + "WAIT";
    case TCommandKind::Stop:
        return text + "STOP";
    case TCommandKind::Goto:
        return text + "GOTO " + std::to_string(c.Value);
    case TCommandKind::Switch:
        return text + "SWITCH " + std::to_string(c.TriggerId) + " " +
               std::to_string(c.CommandIndex);
    case TCommandKind::Sleep:
        return text + "SLEEP " + std::to_string(c.Value);
    case TCommandKind::Print:
        return text + "PRINT " + c.Data;
    case TCommandKind::Replyw:
        return text + "REPLYW " + c.Data;
    case TCommandKind::Reply:
        return text + "REPLY " + c.Data;
    }
    return text;
}

} // namespace vemla
