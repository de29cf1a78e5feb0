#pragma once

#include "generator/packet_list.h"

#include <QCoreApplication>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QTimer;
class QTreeWidget;
class QVBoxLayout;

namespace vemla {

// What the generator needs of the rest of the program.
struct TGeneratorContext {
    std::function<TCoding()> Coding;
    std::string ConfigFileName;
    std::string DesktopFile; // desktop.ini in the program's directory
    std::function<void(std::string_view)> Send;
    // A packet that cannot be sent (a template that does not read): an error line.
    std::function<void(const std::string& text)> Refused;
    // The packets with periods of their own, handed to the engine's sender while the loop is
    // on (an empty list stops them).
    std::function<void(std::vector<TTimedSend>)> StartTimedSends;
    // The modal steps; tests replace them. EditPacket fills the packet and says whether OK.
    std::function<bool(QWidget& owner, TPacket& packet)> EditPacket;
    std::function<bool(QWidget& owner, const QString& question)> Confirm;
    std::function<void(QWidget& owner, const QString& text)> ShowError;
};

// The packet generator: a list of prepared packets, sent once or in a loop.
class TGeneratorWindow : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(TGeneratorWindow)

  public:
    static constexpr int LoopInterval = 1000;

    TGeneratorWindow(QWidget* parent, TGeneratorContext context);

    void LoadSaveGenerator(bool loading);
    void RecodePackets();

    void AddPacket();
    void InsertPacket();
    void ChangePacket();
    void DeletePacket();
    void MoveUp();
    void MoveDown();
    void SendPacket();

    TPacketList& Packets() { return List; }
    QTreeWidget& PacketView() { return *View; }
    QCheckBox& LoopBox() { return *Loop; }
    QCheckBox& NextBox() { return *Next; }
    QTimer& LoopTimer() { return *Timer; }
    QAction& Command(int index) { return *Commands[static_cast<size_t>(index)]; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    enum {
        AddCommand,
        InsertCommand,
        DeleteCommand,
        UpCommand,
        DownCommand,
        SendCommand,
        ChangeCommand
    };
    void SetDefaultSteps();
    void BuildToolbar(QVBoxLayout& layout);
    void BuildView(QVBoxLayout& layout);
    void BuildBottomPanel(QVBoxLayout& layout);
    void EditAndStore(void (TPacketList::*store)(const TPacket&, TCoding), bool startFromCurrent);
    void Refresh();
    // A tick of the one-second loop: the current packet, unless it has a period of its own.
    void LoopTick();
    void SwitchLoop(bool on);
    void UpdateCommands();

    TGeneratorContext Context;
    TPacketList List;
    QTreeWidget* View = nullptr;
    QCheckBox* Loop = nullptr;
    QCheckBox* Next = nullptr;
    QTimer* Timer = nullptr;
    std::array<QAction*, 7> Commands{};
    bool Refreshing = false;
};

} // namespace vemla
