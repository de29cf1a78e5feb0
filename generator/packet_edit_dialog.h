#pragma once

#include "codec/codec.h"
#include "generator/packet_list.h"

#include <QCoreApplication>
#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vemla {

// Asks for one packet: its data text and its description. Ends with 1 for OK, 2 otherwise.
class TPacketEditDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(TPacketEditDialog)

  public:
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;

    explicit TPacketEditDialog(QWidget* owner);

    QLineEdit& PacketEdit() { return *Packet; }
    QLineEdit& DescriptionEdit() { return *Description; }
    // Why the packet's text cannot be sent (empty when it can); OK waits until it can.
    using TCheck = std::function<QString(const QString& text)>;
    void SetCheck(TCheck check);
    // The reading of the main window's send line, with its reasons.
    static TCheck SendableIn(TCoding coding);
    QLabel& Refusal() { return *Reason; }
    QLineEdit& PeriodEdit() { return *Period; }
    QLineEdit& CountEdit() { return *Count; }
    // The period and the count as typed: 0 for an empty field, nothing for one that does not
    // read (OK is disabled then).
    std::optional<int64_t> PeriodMs() const;
    std::optional<int64_t> RepeatCount() const;
    void SetTiming(int64_t periodMs, int64_t count);
    QPushButton& OkButton() { return *Ok; }

    // OK with an empty packet field counts as cancel.
    void accept() override;
    void reject() override { done(ResultCancel); }

  private:
    void Check();
    static std::optional<int64_t> WholeIn(const QString& text, int64_t low, int64_t high);

    QLineEdit* Packet;
    QLineEdit* Description;
    QLineEdit* Period;
    QLineEdit* Count;
    QLabel* Reason;
    QPushButton* Ok = nullptr;
    TCheck Checker;
};

} // namespace vemla
