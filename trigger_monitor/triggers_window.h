#pragma once

#include "platform/ini_file.h"
#include "trigger_language/trigger.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QWidget>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class QTreeView;

namespace vemla {

// One row per trigger, sorted by Id; the status and command cells read the trigger live.
class TTriggerTableModel : public QAbstractTableModel {
    Q_DECLARE_TR_FUNCTIONS(TTriggerTableModel)

  public:
    TTriggerTableModel(TriggerTable& table, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    TTrigger* TriggerAt(int row) const;
    // Redraws the row of that trigger; nothing for a trigger without a row.
    void TriggerChanged(const TTrigger& trigger);

  private:
    std::vector<TTrigger*> Rows;
    std::unordered_map<const TTrigger*, int> RowOf;
};

struct TTriggersContext {
    std::string DesktopFile; // desktop.ini in the program's directory
    // Moves a trigger; the engine's SetTriggerPosition.
    std::function<void(TTrigger&, int32_t)> SetTriggerPosition;
    // The modal dialog; tests replace it. Returns the chosen index, or nothing on cancel.
    std::function<std::optional<int32_t>(QWidget& owner, const TTrigger&)> ChooseCommand;
};

// Lists every loaded trigger with its state and lets the user move one.
class TTriggersWindow : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(TTriggersWindow)

  public:
    TTriggersWindow(QWidget* parent, TriggerTable& table, TTriggersContext context);

    void LoadSaveTriggers(bool loading);
    void TriggerChanged(const TTrigger& trigger) { Model->TriggerChanged(trigger); }
    // The double click: the change-command dialog for the selected row.
    void ChangeSelectedTrigger();

    TTriggerTableModel& Triggers() { return *Model; }
    QTreeView& TriggerList() { return *View; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TTriggersContext Context;
    TTriggerTableModel* Model;
    QTreeView* View;
};

} // namespace vemla
