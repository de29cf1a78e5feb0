#include "generator/packet_edit_dialog.h"

#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QLabel>
#include <QLineEdit>

namespace vemla {

TPacketEditDialog::TPacketEditDialog(QWidget* owner) : QDialog(owner, DialogFlags) {
    // Controls are made in Tab order: the labels, the two fields, then OK and Отмена.
    auto label = [this](const char* text, int y) {
        auto* l = new QLabel(Ru(text), this);
        l->setGeometry(16, y, 70, 21);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };
    label("Пакет", 16);
    label("Описание", 48);
    Packet = new QLineEdit(this);
    Packet->setGeometry(96, 16, 417, 21);
    Description = new QLineEdit(this);
    Description->setGeometry(96, 48, 417, 21);
    SetUpDialog(*this, "Ввод данных", {527, 128}, {352, 88}, {440, 88});
    Packet->setFocus();
}

void TPacketEditDialog::accept() {
    done(Packet->text().isEmpty() ? ResultCancel : ResultOk);
}

} // namespace vemla
