#include "engine/trigger_runtime.h"

#include "platform/system.h"

#include <algorithm>

namespace vemla {

void TTriggerRuntime::SetTable(std::unique_ptr<TriggerTable> table, int32_t hashSize) {
    Table = std::move(table);
    HashSize = hashSize;
    NotedTriggers.clear();
    for (int32_t slot = 0; slot < Table->Size(); ++slot)
        if (const TTrigger* trigger = Table->At(slot))
            NotedTriggers.emplace_back(trigger->Id, slot);
    for (int32_t slot = 0; slot < Table->Size(); ++slot) {
        TTrigger* trigger = Table->At(slot);
        if (!trigger) continue;
        for (TTriggerCommand& command : trigger->Commands) {
            if (command.Kind != TCommandKind::Switch) continue;
            command.TargetSlot = -1;
            for (auto [id, target] : NotedTriggers) {
                if (id == static_cast<int32_t>(command.TriggerId)) {
                    command.TargetSlot = target;
                    break;
                }
            }
        }
    }
}

void TTriggerRuntime::Start() {
    for (auto [id, slot] : NotedTriggers) {
        TTrigger& trigger = *Table->At(slot);
        std::lock_guard lock(RunMutex);
        trigger.CurrentCommand = 0;
        trigger.NextCommand = 0;
        trigger.Status = TTriggerStatus::Ok;
        RunTrigger(trigger);
    }
}

void TTriggerRuntime::MatchPacket(std::string_view bytes) {
    // A cycle that received nothing is no packet and is not answered; without triggers there
    // is nothing to look up.
    if (bytes.empty() || NotedTriggers.empty()) return;
    // The hash slot first, as ever; only a packet that finds it empty tries the masks.
    TTrigger* trigger = Table->At(PacketHash(bytes, HashSize));
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
    if (trigger->Status != TTriggerStatus::Ok) Effects.NotifyTriggerChanged(*trigger);
    RunTrigger(*trigger);
}

void TTriggerRuntime::ResumeTrigger(TTrigger& trigger) {
    std::lock_guard lock(RunMutex);
    RunTrigger(trigger);
}

void TTriggerRuntime::SetTriggerPosition(TTrigger& trigger, int32_t position) {
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

void TTriggerRuntime::SleepExpired(TTrigger& trigger) {
    std::lock_guard lock(RunMutex);
    int32_t current = trigger.CurrentCommand;
    if (current < 0 || current >= trigger.CommandCount()) return;
    if (trigger.Commands[static_cast<size_t>(current)].Kind != TCommandKind::Sleep) return;
    RunTrigger(trigger);
}

void TTriggerRuntime::ExecuteSwitch(TTrigger& trigger, const TTriggerCommand& command) {
    TTrigger* target = Table->At(command.TargetSlot);
    if (!target) {
        trigger.Status = TTriggerStatus::MissingTrigger;
    } else if (RunDepth >= MaxNestedRuns) {
        trigger.Status = TTriggerStatus::TooManyCommands;
    } else {
        SetTriggerPosition(*target, command.CommandIndex);
    }
}

void TTriggerRuntime::RunTrigger(TTrigger& trigger) {
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
            Effects.Write(trigger, command.Data);
            stop = true;
            break;
        case TCommandKind::Out:
            Effects.Write(trigger, command.Data);
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
            Effects.StartSleepTimer(trigger, command.Value);
            stop = true;
            break;
        case TCommandKind::Print:
            Effects.Print(command.Data);
            break;
        case TCommandKind::Replyw:
        case TCommandKind::Reply: {
            std::optional<std::string> answer;
            if (trigger.Request) answer = command.Template->Build(*trigger.Request);
            if (!answer) {
                trigger.Status = TTriggerStatus::AnswerError;
                break;
            }
            Effects.Write(trigger, *answer);
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
    Effects.NotifyTriggerChanged(trigger);
}

} // namespace vemla
