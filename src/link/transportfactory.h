#pragma once

#include <QString>
#include <QStringList>

namespace trq {

class GpibBoard;
class SerialPort;

// Makes the link's transports. A port named "SIM:<model>" and a GPIB board
// with a simulated model carry a simulated supply; everything else is real.
class TransportFactory {
public:
    static constexpr const char* kSimPrefix = "SIM:";

    virtual ~TransportFactory() = default;

    virtual SerialPort* createSerialPort(const QString& portName);
    // An empty model gives the NI-488.2 board.
    virtual GpibBoard* createGpibBoard(const QString& simulatedModel);

    // Ports to offer and to auto-detect on: the system's serial devices and
    // ports named on the command line. Never a simulated one.
    virtual QStringList availablePortNames() const;
    // One simulated port per simulated model, offered apart.
    static QStringList simulatedPortNames();
    void addPortName(const QString& name) { extraPorts_ << name; }

    static bool isSimulated(const QString& portName);

private:
    QStringList extraPorts_;
};

} // namespace trq
