#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

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
    void SetSettings();
    // Shows the dialog unless direct; true when confirmed (values stored).
    bool Execute(bool direct = false);
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
    QComboBox* Combo2() const { return bauds_; }
    QPushButton* AutoDetectButton() const { return autoDetect_; }
    QStringList foundPorts() const { return found_; }

private:
    void applySelection();
    void closeOwnPort();

    TransportFactory& factory_;
    CommTasker& tasker_;
    Waiter& waiter_;
    Prompter& prompter_;
    QComboBox* ports_;
    QComboBox* bauds_;
    QProgressBar* progress_;
    QPushButton* autoDetect_;
    QStringList found_;
    std::unique_ptr<SerialPort> own_;
};

} // namespace trq
