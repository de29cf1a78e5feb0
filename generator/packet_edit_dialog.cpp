#include "generator/packet_edit_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vemla {

TPacketEditDialog::TPacketEditDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromUtf8("Ввод данных"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setFixedSize(527, 128);

    auto label = [this](const char* text, int y) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setGeometry(16, y, 70, 21);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };
    label("Пакет", 16);
    label("Описание", 48);
    Packet = new QLineEdit(this);
    Packet->setGeometry(96, 16, 417, 21);
    Description = new QLineEdit(this);
    Description->setGeometry(96, 48, 417, 21);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(352, 88, 75, 25);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    cancel->setGeometry(440, 88, 75, 25);
    connect(ok, &QPushButton::clicked, this, &TPacketEditDialog::Confirm);
    connect(cancel, &QPushButton::clicked, this, &TPacketEditDialog::reject);
    Packet->setFocus();
}

void TPacketEditDialog::Confirm() { done(Packet->text().isEmpty() ? ResultCancel : ResultOk); }

} // namespace vemla
