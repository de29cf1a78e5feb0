#include "generator/packet_edit_dialog.h"

#include "app/send_line.h"
#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

namespace vemla {

TPacketEditDialog::TPacketEditDialog(QWidget* owner) : QDialog(owner, DialogFlags) {
    // Controls are made in Tab order: the labels, the fields, then OK and Отмена.
    auto label = [this](const char* text, int x, int y, int width) {
        auto* l = new QLabel(tr(text), this);
        l->setGeometry(x, y, width, 21);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };
    label(QT_TR_NOOP("Пакет"), 16, 16, 70);
    label(QT_TR_NOOP("Описание"), 16, 48, 70);
    label(QT_TR_NOOP("Период, мс"), 16, 80, 70);
    label(QT_TR_NOOP("Повторов"), 230, 80, 70);
    Packet = new QLineEdit(this);
    Packet->setGeometry(96, 16, 417, 21);
    Description = new QLineEdit(this);
    Description->setGeometry(96, 48, 417, 21);
    Period = new QLineEdit(this);
    Period->setGeometry(96, 80, 120, 21);
    Period->setPlaceholderText(tr("цикл 1 с"));
    Count = new QLineEdit(this);
    Count->setGeometry(310, 80, 120, 21);
    Count->setPlaceholderText(tr("без конца"));
    SetUpDialog(*this, tr("Ввод данных"), {527, 160}, {352, 120}, {440, 120});
    Reason = new QLabel(this);
    Reason->setGeometry(16, 112, 328, 40);
    Reason->setWordWrap(true);
    Reason->setStyleSheet(QStringLiteral("QLabel { color: #c62828; }"));
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->isDefault()) Ok = button;
    for (QLineEdit* field : {Packet, Period, Count})
        connect(field, &QLineEdit::textChanged, this, &TPacketEditDialog::Check);
    Packet->setFocus();
}

TPacketEditDialog::TCheck TPacketEditDialog::SendableIn(TCoding coding) {
    return [coding](const QString& text) {
        const std::string cp1251 = ToCp1251(text);
        if (FromCp1251(cp1251) != text) return tr("Символ не из кодовой страницы 1251");
        TResult<std::string> bytes = SendLineBytes(cp1251, coding, TLineEnding::None);
        return bytes.Ok() ? QString() : FromCp1251(bytes.Error);
    };
}

void TPacketEditDialog::SetCheck(TCheck check) {
    Checker = std::move(check);
    Check();
}

std::optional<int64_t> TPacketEditDialog::PeriodMs() const {
    return WholeIn(Period->text(), 1, TPacket::MostPeriodMs);
}

std::optional<int64_t> TPacketEditDialog::RepeatCount() const {
    return WholeIn(Count->text(), 1, INT32_MAX);
}

std::optional<int64_t> TPacketEditDialog::WholeIn(const QString& text, int64_t low, int64_t high) {
    bool number = false;
    const qlonglong value = text.trimmed().toLongLong(&number);
    if (text.trimmed().isEmpty()) return 0;
    if (!number || value < low || value > high) return std::nullopt;
    return value;
}

void TPacketEditDialog::SetTiming(int64_t periodMs, int64_t count) {
    Period->setText(periodMs > 0 ? QString::number(periodMs) : QString());
    Count->setText(count > 0 ? QString::number(count) : QString());
}

void TPacketEditDialog::Check() {
    QString reason = Checker && !Packet->text().isEmpty() ? Checker(Packet->text()) : QString();
    if (reason.isEmpty() && !PeriodMs())
        reason = tr("Период: целое число миллисекунд от 1 до 86400000 или пусто");
    if (reason.isEmpty() && !RepeatCount())
        reason = tr("Повторов: целое число больше нуля или пусто");
    Reason->setText(reason);
    if (Ok) Ok->setEnabled(reason.isEmpty());
}

void TPacketEditDialog::accept() {
    if (Ok && !Ok->isEnabled()) return; // Enter on a text that does not read
    done(Packet->text().isEmpty() ? ResultCancel : ResultOk);
}

} // namespace vemla
