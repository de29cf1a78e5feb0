#pragma once

#include "app/port_settings.h"
#include "app/send_line.h"
#include "app/startup.h"
#include "app/traffic_recorder.h"
#include "engine/terminal.h"
#include "generator/generator_window.h"
#include "main_window/qt_host.h"
#include "main_window/traffic_model.h"
#include "trigger_monitor/triggers_window.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QScrollBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace vemla {

class TShiftedTextDelegate;

struct TMainWindowOptions {
    TConfigChoice Config;        // the configuration file in force, settled from the command line
    TSettingOverrides Overrides; // keys the command line sets for this run only
    TDesktopFiles Desktop;       // empty: desktop.ini in the working and program directories
    bool Hide = false;           // "Hide" of the configuration: no window shown, messages to stderr
    // Every traffic line, in the log format and in UTF-8, also goes to standard output.
    bool Echo = false;
    // Packets the program sends by itself from the start (--send, --every, --count).
    std::vector<TTimedSend> TimedSends;
    // --duration: the window closes by itself after that long.
    std::optional<std::chrono::milliseconds> Duration;
    // Handed to the engine: setting it stops the engine at once (a signal handler does).
    TEvent* StopEvent = nullptr;
    // Shows a modal message box; tests replace it to see what would be shown.
    std::function<void(QMessageBox::Icon, const QString& caption, const QString& text)> ShowMessage;
    // The port settings dialog; tests replace it. Fills the form and says whether OK.
    std::function<bool(QWidget& owner, TPortSettingsForm& form)> EditPortSettings;
};

// The main window: toolbar, traffic view, log files, and the host of the engine.
class TMainWindow : public QMainWindow {
    Q_DECLARE_TR_FUNCTIONS(TMainWindow)

  public:
    explicit TMainWindow(TMainWindowOptions options);
    ~TMainWindow() override;

    TTerminal& Engine() { return *Terminal; }
    // Where the engine reports to; tests post their own reports here.
    TTerminalHost& EngineHost() { return Host; }
    TMainWindowOptions& Options() { return WindowOptions; }
    TTrafficList& Traffic() { return Recorder.Lines(); }
    TTrafficRecorder& Recording() { return Recorder; }
    TTrafficModel& TrafficModel() { return *Model; }
    QTreeView& TrafficView() { return *View; }
    QToolBar& Toolbar() { return *Tools; }
    QMenu& CodingMenu() { return *Codings; }
    const std::string& ConfigFileName() const { return ConfigFile; }
    TCoding Coding() const { return CurrentCoding; }
    bool LogOn() const;
    // The tool windows, made on first demand and only shown and hidden afterwards.
    TGeneratorWindow& ShowGeneratorWindow();
    TTriggersWindow& ShowTriggersWindow();

    void CodingChanged(int index);
    void SaveCommand();
    void SaveListAs(const std::string& fileName);
    void ClearView();
    // "Настройки порта": the dialog, then the settings applied and stored.
    void PortSettingsCommand();
    // The send line: its text in the current coding, with the chosen ending, to the port.
    void SendLineCommand();
    QLineEdit& SendLine() { return *SendEdit; }
    QComboBox& LineEnding() { return *EndingBox; }
    // Why the last line was not sent; empty and hidden once it was, or is edited.
    QLabel& SendRefusal() { return *SendReason; }
    QToolButton& NewLinesIndicator() { return *NewLinesButton; }
    QLineEdit& FindBar() { return *FindEdit; }
    QLabel& FindResult() { return *FindStatus; }
    // The whole of the current line, wrapped, while the view cuts it.
    QPlainTextEdit& DetailField() { return *Detail; }
    QScrollBar& SidewaysBar() { return *Sideways; }
    // Checked while the port is vemla's; unchecked, the user has let it go.
    QAction& PortSwitch() { return *PortAction; }
    void SwitchPort(bool open);
    void OpenFindBar();
    // The next (or previous) line that holds the find bar's text becomes the current one.
    bool FindInView(bool forward);
    // Ctrl+C: the selected rows as log lines (time, direction, text).
    void CopySelection();
    void ApplyPortSettings(const TPortSettingsForm& form);
    // Shows everything that arrived so far; runs once per pass of the event loop.
    void PublishTraffic();
    // What closing does before the window goes: layouts and lists saved, the engine stopped,
    // every record it delivered logged. Once only; the window shows nothing new afterwards.
    void Finish();
    // The status bar's fields: 0 the port, 1 its state, 2 the byte counters, 3 rate and frame.
    QLabel& StatusField(int index) { return *StatusFields[static_cast<size_t>(index)]; }
    QWidget& ModemControlsGroup() { return *ModemGroup; }
    // The modem part of the status bar: lamps in ModemLineNames order, toggles, break.
    QLabel& ModemLamp(int index) { return *ModemLamps[static_cast<size_t>(index)]; }
    QToolButton& DtrToggle() { return *DtrButton; }
    QToolButton& RtsToggle() { return *RtsButton; }
    QToolButton& BreakAction() { return *BreakButton; }
    static constexpr std::chrono::milliseconds BreakDuration{250};

  protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildToolbar();
    void BuildView();
    void BuildStatusBar();
    QHBoxLayout* BuildSendRow();
    QWidget* BuildFindBar();
    void PlaceNewLinesButton();
    void ShowDetail();
    // The status fields in one row when they fit, else the modem controls in a second.
    void ArrangeStatus();
    void ShowStatus();
    QWidget* BuildModemControls();
    void ShowModemControls();
    void Configure();
    void ReadWriteDesktop(bool reading);
    // Takes and handles the engine's reports: when woken, and again shortly while they come.
    void TakeReports();
    // Every report waiting; how many were taken.
    size_t HandleReports();
    void HandleReport(const TEngineReport& report);
    void ArmSleepTimer();
    void RunSleepTimers();
    void FitColumns();
    void FitShownCharacters();
    std::string ToolsDesktopFile() const;
    void Message(QMessageBox::Icon icon, const std::string& text);

    TMainWindowOptions WindowOptions;
    std::string ConfigFile;
    std::string CaptionSuffix;
    TCoding CurrentCoding = TCoding::Hex;
    bool PublishPending = false;
    bool Closed = false;
    bool Closing = false;         // Finish has begun
    bool ClosingBySignal = false; // ... for a signal: messages go to stderr, no box waits
    static constexpr std::chrono::seconds ClosingMessageTime{30};

    TPortState PortState = TPortState::Closed;
    TPortState SecondPortState = TPortState::Closed; // of a bridge or a tap
    std::array<QLabel*, 4> StatusFields{};
    QWidget* StatusArea = nullptr;
    QWidget* ModemGroup = nullptr;
    bool StatusInTwoRows = false;
    static constexpr std::chrono::milliseconds StatusInterval{100};
    QTimer* StatusTimer = nullptr; // runs while a status update is held back
    // Reports taken and not handled yet (a message box may open meanwhile).
    std::deque<TEngineReport> UnhandledReports;
    // After a take that found reports, the next look comes this much later.
    static constexpr std::chrono::milliseconds BatchInterval{5};
    QTimer* BatchTimer = nullptr;
    std::optional<TModemLines> ModemLines; // as last reported; nothing while unavailable
    std::optional<int32_t> ConfirmedRate;  // the network server's, as last reported
    std::array<QLabel*, 4> ModemLamps{};
    QToolButton* DtrButton = nullptr;
    QToolButton* RtsButton = nullptr;
    QToolButton* BreakButton = nullptr;
    QLineEdit* SendEdit = nullptr;
    QLabel* SendReason = nullptr;
    QWidget* FindRow = nullptr; // shown by Ctrl+F
    QLineEdit* FindEdit = nullptr;
    QLabel* FindStatus = nullptr;
    QPlainTextEdit* Detail = nullptr;
    QScrollBar* Sideways = nullptr; // scrolls the text of lines wider than the view
    TShiftedTextDelegate* TextDelegate = nullptr;
    bool Following = true; // the view keeps the newest line in sight
    bool FirstShown = false;
    QToolButton* NewLinesButton = nullptr; // "новые строки ↓" while scrolled up
    QComboBox* EndingBox = nullptr;
    // Looks at the engine's pending transmissions while there are any.
    QTimer* SendWatch = nullptr;
    int SendWatchTicks = 0;
    static constexpr std::chrono::milliseconds SendWatchInterval{250};
    static constexpr std::chrono::milliseconds SendStallTime{1000};
    TSendHistory SendHistory;
    TTrafficRecorder Recorder;
    TTrafficModel* Model = nullptr;
    QTreeView* View = nullptr;
    QToolBar* Tools = nullptr;
    QMenu* Codings = nullptr;
    QAction* LogOnAction = nullptr;
    QAction* PortAction = nullptr;
    TTimerQueue SleepTimers;
    QTimer* SleepTimer = nullptr;          // set to the first timer due
    TGeneratorWindow* Generator = nullptr; // made on first demand, owned as a child
    TTriggersWindow* TriggersWindow = nullptr;

    TQtHost Host{*this};
    // Last member: destroyed first, so its reader never posts to a half-destroyed window.
    std::unique_ptr<TTerminal> Terminal;
};

} // namespace vemla
