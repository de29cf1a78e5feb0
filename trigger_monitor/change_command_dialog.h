#pragma once

#include "trigger_language/trigger.h"

#include <QAbstractListModel>
#include <QCoreApplication>
#include <QDialog>

class QListView;

namespace vemla {

// The commands of one trigger, their texts made when shown.
class TCommandListModel : public QAbstractListModel {
  public:
    TCommandListModel(const TTrigger& trigger, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    const TTrigger& Trigger;
};

// Lets the user pick the command a trigger continues from. Ends with 1 for OK, 2 otherwise.
class TChangeCommandDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(TChangeCommandDialog)

  public:
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;

    TChangeCommandDialog(QWidget* owner, const TTrigger& trigger);

    // The selected line, -1 when none is.
    int32_t SelectedCommand() const;
    void SelectCommand(int32_t index);
    QListView& CommandListBox() { return *List; }
    QString Label() const;

    void accept() override { done(ResultOk); }
    void reject() override { done(ResultCancel); }

  private:
    QListView* List;
    QString LabelText;
};

} // namespace vemla
