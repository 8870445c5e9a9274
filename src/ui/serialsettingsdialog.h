#pragma once

#include <QDialog>
#include <QStringList>

#include "session/instrumentsession.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;

namespace trq {

class Prompter;
class SerialPort;
class TransportFactory;
class PortProbe;
struct ProbeResult;

// Serial port and baud rate of the RS232 or USB link, with an auto-detect
// that tries every listed port at every offered rate (the session's probe;
// the dialog stays responsive meanwhile).
class SerialSettingsDialog : public QDialog {
    Q_OBJECT
public:
    SerialSettingsDialog(TransportFactory& factory, PortProbe& probe, Prompter& prompter,
                         QWidget* parent = nullptr);
    ~SerialSettingsDialog() override;

    void load();
    // Stores the values; the main window does it once the port has opened,
    // so a port that cannot be opened is never remembered.
    void store();
    // Shows the dialog unless direct; true when confirmed. Direct use takes
    // the port by its stored name, never another port of the list.
    bool run(bool direct = false);
    // A port named on the command line: the next direct use takes it
    // instead of the stored one.
    void setOneShotPort(const QString& name, int baudIndex);
    // The USB menu item shows the same dialog under another title.
    void setUsbTitle(bool usb);

    void listPorts();
    // Starts the probe on the listed ports; its outcome is told in a box.
    void autoDetect();

    // The chosen port: by its own name, and as the stored values keep it.
    SerialSettings settings() const;

    QComboBox* portList() const { return ports_; }
    QCheckBox* showSimulated() const { return showSimulated_; }
    QComboBox* baudList() const { return bauds_; }
    QPushButton* autoDetectButton() const { return autoDetect_; }
    QStringList foundPorts() const { return found_; }

private:
    int portNumber_ = 1;
    qint32 baud_ = 9600;
    int portIndex_ = 0;
    int baudIndex_ = 0;
    QString portName_; // the port's own name where it is not "COMn"

    void applySelection();
    void selectStoredPort();
    void probed(const ProbeResult& result);

    TransportFactory& factory_;
    PortProbe& probe_;
    Prompter& prompter_;
    QComboBox* ports_;
    QComboBox* bauds_;
    QProgressBar* progress_;
    QPushButton* autoDetect_;
    QCheckBox* showSimulated_;
    QStringList found_;
    QString oneShotPort_;
    int oneShotBaud_ = 0;
};

} // namespace trq
