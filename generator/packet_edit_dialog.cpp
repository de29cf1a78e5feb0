#include "generator/packet_edit_dialog.h"

#include "app/send_line.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    Reason = new QLabel(this);
    Reason->setGeometry(16, 80, 328, 40);
    Reason->setWordWrap(true);
    Reason->setStyleSheet(QStringLiteral("QLabel { color: #c62828; }"));
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->isDefault()) Ok = button;
    connect(Packet, &QLineEdit::textChanged, this, &TPacketEditDialog::Check);
    Packet->setFocus();
}

TPacketEditDialog::TCheck TPacketEditDialog::SendableIn(TCoding coding) {
    return [coding](const QString& text) {
        const std::string cp1251 = ToCp1251(text);
        if (FromCp1251(cp1251) != text) return Ru("Символ не из кодовой страницы 1251");
        TResult<std::string> bytes = SendLineBytes(cp1251, coding, TLineEnding::None);
        return bytes.Ok() ? QString() : FromCp1251(bytes.Error);
    };
}

void TPacketEditDialog::SetCheck(TCheck check) {
    Checker = std::move(check);
    Check();
}

void TPacketEditDialog::Check() {
    const QString reason =
        Checker && !Packet->text().isEmpty() ? Checker(Packet->text()) : QString();
    Reason->setText(reason);
    if (Ok) Ok->setEnabled(reason.isEmpty());
}

void TPacketEditDialog::accept() {
    if (Ok && !Ok->isEnabled()) return; // Enter on a text that does not read
    done(Packet->text().isEmpty() ? ResultCancel : ResultOk);
}

} // namespace vemla
