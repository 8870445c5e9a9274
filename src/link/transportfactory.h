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

    virtual SerialPort* createSerialPort(const QString& portName) = 0;
    // An empty model gives the real GPIB board.
    virtual GpibBoard* createGpibBoard(const QString& simulatedModel) = 0;
    // Ports to offer and to auto-detect on: the system's serial devices and
    // ports named on the command line. Never a simulated one.
    virtual QStringList availablePortNames() const = 0;
    // One simulated port per simulated model, offered apart.
    virtual QStringList simulatedPortNames() const = 0;

    static bool isSimulated(const QString& portName) {
        return portName.startsWith(QLatin1String(kSimPrefix));
    }
};

} // namespace trq
