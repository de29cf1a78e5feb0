#include "engine/terminal.h"

#include "platform/cp1251.h"
#include "platform/ini_file.h"
#include "platform/system.h"
#include "trigger_language/trigger_file.h"

#include <algorithm>
#include <cerrno>
#include <pthread.h>

namespace vemla {

TTerminal::TTerminal(TTerminalHost& host, const std::string& configFileName, TEvent* stopEvent)
    : Host(host),
      OwnedStopEvent(stopEvent ? nullptr : std::make_unique<TEvent>()),
      StopEvent(stopEvent ? *stopEvent : *OwnedStopEvent) {
    {
        TIniFile config(configFileName);
        Config = ReadTerminalSettings(config);
    }
    if (!Config.TriggerFile.empty()) LoadTriggerTable(Config.TriggerFile);
    Open();
    StartTriggers();
}

TTerminal::~TTerminal() { Stop(); }

void TTerminal::Stop() {
    StopEvent.Set();
    if (auto port = CurrentPort()) port->Purge();
    if (ReaderThread.joinable()) ReaderThread.join();
    std::lock_guard lock(PortMutex);
    Port.reset();
}

std::shared_ptr<TSerialPort> TTerminal::CurrentPort() const {
    std::lock_guard lock(PortMutex);
    return Port;
}

bool TTerminal::IsOpen() const { return CurrentPort() != nullptr; }

std::string TTerminal::PortFailureText(int error, const std::string& detail) const {
    std::string text = Config.Device.empty() ? Config.PortName() : Config.PortName() + ": ";
    text += SystemMessage(error);
    if (!detail.empty()) text += " (" + detail + ")";
    return text;
}

bool TTerminal::Open() {
    if (IsOpen()) return true;
    if (StopEvent.IsSet()) return false; // stopped for good
    // A reader that ended after a hang-up is gone before a new one starts.
    if (ReaderThread.joinable()) ReaderThread.join();
    auto opened = TSerialPort::Open(Config.PortPath(), Config.Line, Config.Timeouts);
    if (!opened.Port) {
        PostTraffic(TTrafficKind::Error, PortFailureText(opened.Error, opened.Detail));
        return false;
    }
    std::shared_ptr<TSerialPort> port = std::move(opened.Port);
    {
        std::lock_guard lock(PortMutex);
        Port = port;
    }
    PostTraffic(TTrafficKind::Info, Config.PortName() + Utf8ToCp1251(": открыт"));
    ReaderThread = std::thread(&TTerminal::ReadLoop, this, std::move(port));
    return true;
}

void TTerminal::PostTraffic(TTrafficKind kind, std::string_view bytes) {
    auto record = std::make_unique<TTrafficRecord>();
    record->Time = Now();
    record->Kind = kind;
    record->Data.assign(bytes);
    Host.PostTraffic(std::move(record));
}

void TTerminal::WritePort(std::string_view bytes, TTrafficKind kind) {
    std::shared_ptr<TSerialPort> port = CurrentPort();
    std::lock_guard lock(WriteMutex);
    int written = port ? port->Write(bytes.data(), static_cast<int>(bytes.size()), &StopEvent) : 0;
    PostTraffic(kind, bytes.substr(0, static_cast<size_t>(written)));
}

void TTerminal::Send(std::string_view bytes) {
    if (Open()) WritePort(bytes, TTrafficKind::Sent);
}

void TTerminal::ReadLoop(std::shared_ptr<TSerialPort> port) {
    pthread_setname_np(pthread_self(), "vemla-reader");
    char buffer[ReceiveBufferSize];
    const int firstRead = std::clamp(Config.PacketSize, 0, ReceiveBufferSize);
    for (;;) {
        auto waited = port->WaitForReceive(StopEvent);
        if (waited == TSerialPort::TWaitResult::Stopped) break;
        if (waited == TSerialPort::TWaitResult::Failed) {
            ClosePortAfterFailure(port->LastError());
            break;
        }
        int total = port->Read(buffer, firstRead, StopEvent);
        bool lineFailed = total == 0 && port->LastError() != 0;
        // Whatever is already queued belongs to this packet, as far as the buffer holds it;
        // the rest stays queued for the next cycle.
        int room = ReceiveBufferSize - total;
        int queued = std::min(port->QueuedBytes(), room);
        if (queued > 0) total += port->Read(buffer + total, queued, StopEvent);
        if (total > 0) {
            std::string_view packet(buffer, static_cast<size_t>(total));
            PostTraffic(TTrafficKind::Received, packet);
            MatchPacket(packet);
        } else if (lineFailed && !StopEvent.IsSet()) {
            ClosePortAfterFailure(port->LastError());
            break;
        }
    }
}

void TTerminal::ClosePortAfterFailure(int error) {
    {
        std::lock_guard lock(PortMutex);
        Port.reset();
    }
    PostTraffic(TTrafficKind::Error, PortFailureText(error));
}

TTriggerFileLoad LoadTriggerFile(const std::string& fileName, int32_t hashSize) {
    TTriggerFileLoad result;
    std::string text;
    if (int error = ReadWholeFile(fileName, text, TriggerFileLimit); error != 0) {
        result.Table = std::make_unique<TriggerTable>();
        result.Error = Utf8ToCp1251("Ошибка открытия файла :") + fileName + " -  " +
                       std::to_string(error) + " " + SystemMessage(error);
        return result;
    }
    TLoadResult loaded = LoadTriggers(text, hashSize);
    result.Table = std::move(loaded.Table);
    if (!loaded.Ok())
        result.Error = Utf8ToCp1251("Ошибка загрузки файла ") + "\"" + fileName + "\": " + loaded.Error;
    return result;
}

void TTerminal::LoadTriggerTable(const std::string& fileName) {
    TTriggerFileLoad loaded = LoadTriggerFile(fileName, Config.HashSize);
    if (!loaded.Error.empty()) {
        PostTraffic(TTrafficKind::Error, loaded.Error);
        return;
    }
    Table = std::move(loaded.Table);
    for (int32_t slot = 0; slot < TriggerTable::SlotCount; ++slot)
        if (const TTrigger* trigger = Table->At(slot)) NotedTriggers.emplace_back(trigger->Id, slot);
    for (int32_t slot = 0; slot < TriggerTable::SlotCount; ++slot) {
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

void TTerminal::StartTriggers() {
    for (auto [id, slot] : NotedTriggers) {
        TTrigger& trigger = *Table->At(slot);
        std::lock_guard lock(RunMutex);
        trigger.CurrentCommand = 0;
        trigger.NextCommand = 0;
        trigger.Status = StatusOk;
        RunTrigger(trigger);
    }
}

void TTerminal::MatchPacket(std::string_view bytes) {
    // A cycle that received nothing is no packet and is not answered.
    if (bytes.empty()) return;
    if (TTrigger* trigger = Table->At(PacketHash(bytes, Config.HashSize))) ResumeTrigger(*trigger);
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
        trigger.Status = StatusSwitchedOff;
        return;
    }
    if (position < -1) return;
    trigger.NextCommand = position;
    trigger.Status = StatusOk;
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
        trigger.Status = StatusMissingTrigger;
    } else if (RunDepth >= MaxNestedRuns) {
        trigger.Status = StatusTooManyCommands;
    } else {
        SetTriggerPosition(*target, command.CommandIndex);
    }
}

void TTerminal::RunTrigger(TTrigger& trigger) {
    if (trigger.Status != StatusOk) return;
    if (RunDepth++ == 0) RunBudget = TotalRunLimit;
    int32_t executed = 0;
    bool stop = false;
    const int32_t count = trigger.CommandCount();
    do {
        int32_t index = trigger.NextCommand;
        trigger.CurrentCommand = index;
        if (index < 0 || index >= count) {
            trigger.Status = StatusMissingCommand;
            break;
        }
        const TTriggerCommand& command = trigger.Commands[static_cast<size_t>(index)];
        switch (command.Kind) {
        case TCommandKind::Outw:
            WritePort(command.Data, TTrafficKind::TriggerSent);
            stop = true;
            break;
        case TCommandKind::Out: WritePort(command.Data, TTrafficKind::TriggerSent); break;
        case TCommandKind::Wait: stop = true; break;
        case TCommandKind::Stop: trigger.Status = StatusSwitchedOff; break;
        case TCommandKind::Goto:
            // After the advance below this lands on command Value, counted from 1.
            trigger.NextCommand = static_cast<int32_t>(std::clamp<int64_t>(
                int64_t{command.Value} - 2, INT32_MIN, INT32_MAX - 1));
            break;
        case TCommandKind::Switch: ExecuteSwitch(trigger, command); break;
        case TCommandKind::Sleep:
            Host.StartSleepTimer(trigger, command.Value);
            stop = true;
            break;
        case TCommandKind::Print: PostTraffic(TTrafficKind::Info, command.Data); break;
        }
        if (trigger.Status == StatusOk) {
            int32_t next = trigger.NextCommand + 1;
            trigger.NextCommand = next;
            if (next < 0 || next >= count) trigger.Status = StatusMissingCommand;
            if (RunBudget <= 0) {
                stop = true; // a nested run used up the whole run's budget: unwind
            } else if (++executed >= RunLimit || --RunBudget == 0) {
                trigger.Status = StatusTooManyCommands;
                stop = true;
            }
        }
    } while (!stop && trigger.Status == StatusOk);
    --RunDepth;
    Host.NotifyTriggerChanged(trigger);
}

} // namespace vemla
