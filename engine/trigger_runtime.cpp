// The trigger runtime of the engine: start-up runs, packets resuming triggers, SWITCH, SLEEP.
#include "engine/terminal.h"

#include <algorithm>

namespace vemla {

void TTerminal::StartTriggers() {
    for (auto [id, slot] : NotedTriggers) {
        TTrigger& trigger = *Table->At(slot);
        std::lock_guard lock(RunMutex);
        trigger.CurrentCommand = 0;
        trigger.NextCommand = 0;
        trigger.Status = TTriggerStatus::Ok;
        RunTrigger(trigger);
    }
}

void TTerminal::MatchPacket(std::string_view bytes) {
    // A cycle that received nothing is no packet and is not answered; without triggers there
    // is nothing to look up.
    if (bytes.empty() || NotedTriggers.empty()) return;
    // The hash slot first, as ever; only a packet that finds it empty tries the masks.
    TTrigger* trigger = Table->At(PacketHash(bytes, Config.HashSize));
    if (!trigger) trigger = Table->MatchMasks(bytes);
    if (!trigger) {
        ++UnmatchedPackets;
        return;
    }
    std::lock_guard lock(RunMutex);
    ++trigger->Matches;
    trigger->LastMatch = Now();
    // What its REPLY commands answer; the buffer of the last request is reused.
    if (!trigger->Request) trigger->Request.emplace();
    trigger->Request->assign(bytes);
    // A trigger that does not run (stopped, or in error) is not reported by a run.
    if (trigger->Status != TTriggerStatus::Ok) Host.NotifyTriggerChanged(*trigger);
    RunTrigger(*trigger);
}

void TTerminal::ResumeTrigger(TTrigger& trigger) {
    std::lock_guard lock(RunMutex);
    RunTrigger(trigger);
}

void TTerminal::SetTriggerPosition(TTrigger& trigger, int32_t position) {
    std::lock_guard lock(RunMutex);
    if (position == trigger.NextCommand) return;
    if (position >= trigger.CommandCount()) return;
    if (position == -1) {
        trigger.Status = TTriggerStatus::SwitchedOff;
        return;
    }
    if (position < -1) return;
    trigger.NextCommand = position;
    trigger.Status = TTriggerStatus::Ok;
    RunTrigger(trigger);
}

void TTerminal::SleepExpired(TTrigger& trigger) {
    std::lock_guard lock(RunMutex);
    int32_t current = trigger.CurrentCommand;
    if (current < 0 || current >= trigger.CommandCount()) return;
    if (trigger.Commands[static_cast<size_t>(current)].Kind != TCommandKind::Sleep) return;
    RunTrigger(trigger);
}

void TTerminal::ExecuteSwitch(TTrigger& trigger, const TTriggerCommand& command) {
    TTrigger* target = Table->At(command.TargetSlot);
    if (!target) {
        trigger.Status = TTriggerStatus::MissingTrigger;
    } else if (RunDepth >= MaxNestedRuns) {
        trigger.Status = TTriggerStatus::TooManyCommands;
    } else {
        SetTriggerPosition(*target, command.CommandIndex);
    }
}

void TTerminal::RunTrigger(TTrigger& trigger) {
    if (trigger.Status != TTriggerStatus::Ok) return;
    if (RunDepth++ == 0) RunBudget = TotalRunLimit;
    int32_t executed = 0;
    bool stop = false;
    const int32_t count = trigger.CommandCount();
    do {
        int32_t index = trigger.NextCommand;
        trigger.CurrentCommand = index;
        if (index < 0 || index >= count) {
            trigger.Status = TTriggerStatus::MissingCommand;
            break;
        }
        const TTriggerCommand& command = trigger.Commands[static_cast<size_t>(index)];
        switch (command.Kind) {
        case TCommandKind::Outw:
            WritePort(command.Data, TTrafficKind::TriggerSent);
            stop = true;
            break;
        case TCommandKind::Out:
            WritePort(command.Data, TTrafficKind::TriggerSent);
            break;
        case TCommandKind::Wait:
            stop = true;
            break;
        case TCommandKind::Stop:
            trigger.Status = TTriggerStatus::SwitchedOff;
            break;
        case TCommandKind::Goto:
            // After the advance below this lands on command Value, counted from 1.
            trigger.NextCommand = static_cast<int32_t>(
                std::clamp<int64_t>(int64_t{command.Value} - 2, INT32_MIN, INT32_MAX - 1));
            break;
        case TCommandKind::Switch:
            ExecuteSwitch(trigger, command);
            break;
        case TCommandKind::Sleep:
            Host.StartSleepTimer(trigger, command.Value);
            stop = true;
            break;
        case TCommandKind::Print:
            PostTraffic(TTrafficKind::Info, command.Data);
            break;
        case TCommandKind::Replyw:
        case TCommandKind::Reply: {
            std::optional<std::string> answer;
            if (trigger.Request) answer = command.Template->Build(*trigger.Request);
            if (!answer) {
                trigger.Status = TTriggerStatus::AnswerError;
                break;
            }
            WritePort(*answer, TTrafficKind::TriggerSent);
            stop = command.Kind == TCommandKind::Replyw;
            break;
        }
        }
        if (trigger.Status == TTriggerStatus::Ok) {
            int32_t next = trigger.NextCommand + 1;
            trigger.NextCommand = next;
            if (next < 0 || next >= count) trigger.Status = TTriggerStatus::MissingCommand;
            if (RunBudget <= 0) {
                stop = true; // a nested run used up the whole run's budget: unwind
            } else if (++executed >= RunLimit || --RunBudget == 0) {
                trigger.Status = TTriggerStatus::TooManyCommands;
                stop = true;
            }
        }
    } while (!stop && trigger.Status == TTriggerStatus::Ok);
    --RunDepth;
    Host.NotifyTriggerChanged(trigger);
}

} // namespace vemla
