#include "main_window/port_settings_dialog.h"

#include "ui_common/qt_text.h"
#include "ui_common/window_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vemla {
namespace {

QComboBox* Choices(QWidget* parent, const QStringList& items, int current) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setCurrentIndex(current);
    return box;
}

// A list to pick from or a field to type in: Enter neither completes the text to another item
// nor adds an item; it takes the text as it stands (and OKs the dialog).
QComboBox* EditableChoices(QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    return box;
}

} // namespace

TPortSettingsDialog::TPortSettingsDialog(QWidget* parent, const TPortSettingsForm& form,
                                         const std::vector<TPortInfo>& ports)
    : QDialog(parent, DialogFlags) {
    setWindowTitle(tr("Настройки порта"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    InitialPort = form.Port;
    InitialPortText = FromPath(form.Port);
    Port = EditableChoices(this);
    Port->setMinimumWidth(260);
    // The list's long descriptions widen its popup, not the dialog.
    Port->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Port->setMinimumContentsLength(36);
    for (const TPortInfo& port : ports) {
        // The list says what each port is; the field keeps only its path.
        Port->addItem(FromPath(port.Describe()), FromPath(port.Path));
    }
    Port->setCurrentIndex(-1);
    Port->setEditText(InitialPortText);
    connect(Port, &QComboBox::activated, this, [this](int index) {
        if (QString path = Port->itemData(index).toString(); !path.isEmpty())
            Port->setEditText(path);
    });

    BaudRate = EditableChoices(this);
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600})
        BaudRate->addItem(QString::number(rate));
    BaudRate->setCurrentIndex(BaudRate->findText(FromCp1251(form.BaudRate)));
    BaudRate->setEditText(FromCp1251(form.BaudRate));
    ByteSize = Choices(this, {"5", "6", "7", "8"}, form.ByteSize - 5);
    Parity = Choices(this, {tr("нет"), tr("нечёт"), tr("чёт"), tr("маркер (1)"), tr("пробел (0)")},
                     form.Parity);
    StopBits = Choices(this, {"1", "1.5", "2"}, form.StopBits);
    Flow = Choices(this, {tr("нет"), QStringLiteral("RTS/CTS")}, form.RtsCtsFlow ? 1 : 0);
    Dtr = new QCheckBox(tr("DTR включён"), this);
    Dtr->setChecked(form.Dtr);
    Rts = new QCheckBox(tr("RTS включён"), this);
    Rts->setChecked(form.Rts);
    connect(Flow, &QComboBox::currentIndexChanged, this, [this] { EnableLineSettings(); });
    Port->setToolTip(tr("Путь устройства, pty:ПУТЬ (виртуальный порт), rfc2217://ХОСТ:ПОРТ "
                        "(порт на другой машине, с настройками) или tcp://ХОСТ:ПОРТ (только "
                        "байты)"));
    connect(Port, &QComboBox::editTextChanged, this, [this] { EnableLineSettings(); });
    Gap = new QLineEdit(FromCp1251(form.Gap), this);
    PacketSize = new QLineEdit(FromCp1251(form.PacketSize), this);

    auto* layout = new QFormLayout(this);
    layout->addRow(tr("Порт:"), Port);
    layout->addRow(tr("Скорость, бит/с:"), BaudRate);
    layout->addRow(tr("Биты данных:"), ByteSize);
    layout->addRow(tr("Чётность:"), Parity);
    layout->addRow(tr("Стоповые биты:"), StopBits);
    layout->addRow(tr("Управление потоком:"), Flow);
    layout->addRow(QString(), Dtr);
    layout->addRow(QString(), Rts);
    layout->addRow(tr("Пауза конца пакета, мс:"), Gap);
    layout->addRow(tr("Размер пакета, байт:"), PacketSize);
    Problem = new QLabel(this);
    Problem->setStyleSheet(QStringLiteral("color: #c62828;"));
    Problem->setWordWrap(true);
    Problem->hide();
    layout->addRow(Problem);
    // The buttons of every other dialog: OK (the default) and Отмена, 75 by 25, at the right.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (auto [text, slot] : {std::pair{QStringLiteral("OK"), &QDialog::accept},
                              std::pair{tr("Отмена"), &QDialog::reject}}) {
        auto* button = new QPushButton(text, this);
        button->setFixedSize(75, 25);
        button->setDefault(slot == &QDialog::accept);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
    }
    layout->addRow(buttons);
    // A fixed size, as every dialog of vemla has: no maximise button.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    EnableLineSettings();
}

void TPortSettingsDialog::EnableLineSettings() {
    const bool takes = TakesLineSettings(ToPath(Port->currentText().trimmed()));
    for (QWidget* field :
         std::initializer_list<QWidget*>{BaudRate, ByteSize, Parity, StopBits, Flow, Dtr})
        field->setEnabled(takes);
    Rts->setEnabled(takes && Flow->currentIndex() == 0); // RTS/CTS drives the line itself
}

void TPortSettingsDialog::accept() {
    // The form's checks do not depend on the settings it starts from.
    if (TResult<TTerminalSettings> checked = Form().ToSettings({}); !checked.Ok()) {
        Problem->setText(FromCp1251(checked.Error));
        Problem->show();
        return;
    }
    QDialog::accept();
}

TPortSettingsForm TPortSettingsDialog::Form() const {
    TPortSettingsForm form;
    const QString port = Port->currentText().trimmed();
    form.Port = port == InitialPortText ? InitialPort : ToPath(port);
    form.BaudRate = ToCp1251(BaudRate->currentText().trimmed());
    form.ByteSize = ByteSize->currentIndex() + 5;
    form.Parity = Parity->currentIndex();
    form.StopBits = StopBits->currentIndex();
    form.RtsCtsFlow = Flow->currentIndex() == 1;
    form.Dtr = Dtr->isChecked();
    form.Rts = Rts->isChecked();
    form.Gap = ToCp1251(Gap->text().trimmed());
    form.PacketSize = ToCp1251(PacketSize->text().trimmed());
    return form;
}

} // namespace vemla
