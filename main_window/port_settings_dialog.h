#pragma once

#include "app/port_settings.h"
#include "platform/port_list.h"

#include <QCoreApplication>
#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vemla {

// "Настройки порта": the controls of a TPortSettingsForm; the ports of the machine offered
// in an editable list, so any path can be typed.
class TPortSettingsDialog : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(TPortSettingsDialog)

  public:
    TPortSettingsDialog(QWidget* parent, const TPortSettingsForm& form,
                        const std::vector<TPortInfo>& ports);
    TPortSettingsForm Form() const;
    // OK with a value the form refuses keeps the dialog open and says why, so no edit is lost.
    void accept() override;
    const QLabel& ProblemText() const { return *Problem; }
    QComboBox& PortField() { return *Port; }
    QComboBox& BaudRateField() { return *BaudRate; }

  private:
    // The path as the form gave it: kept byte for byte while the field still shows it, also
    // when the file system's decoding cannot give those bytes back.
    std::string InitialPort;
    QString InitialPortText;
    // A raw network port takes no line settings: their fields are disabled.
    void EnableLineSettings();

    QComboBox* Port;
    QComboBox* BaudRate;
    QComboBox* ByteSize;
    QComboBox* Parity;
    QComboBox* StopBits;
    QComboBox* Flow;
    QCheckBox* Dtr;
    QCheckBox* Rts;
    QLineEdit* Gap;
    QLineEdit* PacketSize;
    QLabel* Problem;
};

} // namespace vemla
