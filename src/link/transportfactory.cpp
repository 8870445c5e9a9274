#include "link/transportfactory.h"

#include "link/ni488.h"
#include "link/qtserialport.h"
#include "link/simlink.h"
#include "sim/supply.h"

#include <QSerialPortInfo>

namespace trq {

bool TransportFactory::isSimulated(const QString& portName) {
    return portName.startsWith(QLatin1String(kSimPrefix));
}

SerialPort* TransportFactory::createSerialPort(const QString& portName) {
    if (isSimulated(portName)) {
        auto supply = sim::Supply::create(portName.mid(int(qstrlen(kSimPrefix))));
        if (supply) {
            supply->setNoise(0.0005);
            auto* port = new SimSerialPort(std::move(supply));
            port->setPortName(portName);
            return port;
        }
    }
    auto* port = new QtSerialPort;
    port->setPortName(portName);
    return port;
}

GpibBoard* TransportFactory::createGpibBoard(const QString& simulatedModel) {
    if (!simulatedModel.isEmpty()) {
        if (auto supply = sim::Supply::create(simulatedModel)) {
            supply->setNoise(0.0005);
            return new SimGpibBoard(std::move(supply));
        }
    }
    return new Ni488GpibBoard;
}

QStringList TransportFactory::availablePortNames() const {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names.sort();
    for (const QString& extra : extraPorts_)
        if (!names.contains(extra))
            names << extra;
    return names;
}

QStringList TransportFactory::simulatedPortNames() {
    QStringList names;
    for (const QString& model : sim::simulatedModelNames())
        names << QLatin1String(kSimPrefix) + model;
    return names;
}

} // namespace trq
