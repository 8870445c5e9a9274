#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;

namespace trq {

class CommTasker;
class Prompter;
class SerialPort;
class TransportFactory;
class Waiter;

// Serial port and baud rate of the RS232 or USB link, with an auto-detect
// that tries every listed port at every offered rate.
class dlgConfigRS232 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kProbeWaitMsec = 1500;

    dlgConfigRS232(TransportFactory& factory, CommTasker& tasker, Waiter& waiter,
                   Prompter& prompter, QWidget* parent = nullptr);
    ~dlgConfigRS232() override;

    void GetSettings();
    // Stores the values; the main window does it once the port has opened,
    // so a port that cannot be opened is never remembered.
    void SetSettings();
    // Shows the dialog unless direct; true when confirmed. Direct use takes
    // the port by its stored name, never another port of the list.
    bool Execute(bool direct = false);
    // A port named on the command line: the next direct use takes it
    // instead of the stored one.
    void setOneShotPort(const QString& name, int baudIndex);
    // The USB menu item shows the same dialog under another title.
    void setUsbTitle(bool usb);

    void ListSerialPorts();
    void cmdAutoConn_Click();
    bool AutoDetectSerial();
    QString SendProbe();

    int ComPort = 1;
    qint32 BaudRate = 9600;
    int ComPortIndex = 0;
    int BaudRateIndex = 0;
    QString PortName; // the port's own name where it is not "COMn"

    QComboBox* Combo1() const { return ports_; }
    QCheckBox* showSimulated() const { return showSimulated_; }
    QComboBox* Combo2() const { return bauds_; }
    QPushButton* AutoDetectButton() const { return autoDetect_; }
    QStringList foundPorts() const { return found_; }

private:
    void applySelection();
    void selectStoredPort();
    void closeOwnPort();

    TransportFactory& factory_;
    CommTasker& tasker_;
    Waiter& waiter_;
    Prompter& prompter_;
    QComboBox* ports_;
    QComboBox* bauds_;
    QProgressBar* progress_;
    QPushButton* autoDetect_;
    QCheckBox* showSimulated_;
    QStringList found_;
    QString oneShotPort_;
    int oneShotBaud_ = 0;
    std::unique_ptr<SerialPort> own_;
};

} // namespace trq
