#pragma once

#include <QDialog>

class QLineEdit;

namespace vemla {

// Asks for one packet: its data text and its description. Ends with 1 for OK, 2 otherwise.
class TPacketEditDialog : public QDialog {
  public:
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;

    explicit TPacketEditDialog(QWidget* owner);

    QLineEdit& PacketEdit() { return *Packet; }
    QLineEdit& DescriptionEdit() { return *Description; }

    // OK with an empty packet field counts as cancel.
    void accept() override;
    void reject() override { done(ResultCancel); }

  private:
    QLineEdit* Packet;
    QLineEdit* Description;
};

} // namespace vemla
