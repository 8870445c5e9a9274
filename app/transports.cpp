#include "transports.h"

#include "link/ni488.h"
#include "link/qtserialport.h"
#include "sim/supply.h"

#include <QSerialPortInfo>

namespace trq {

SimulatedInstrument AppTransports::instrumentOf(std::shared_ptr<sim::Supply> supply) {
    sim::Supply* s = supply.get();
    return {std::move(supply), [s](const QByteArray& bytes) { return s->receive(bytes); },
            [s](const QString& message) { return s->execute(message); }};
}

std::shared_ptr<sim::Supply> AppTransports::makeSupply(const QString& model) {
    std::shared_ptr<sim::Supply> supply = sim::Supply::create(model);
    if (supply)
        supply->setNoise(0.0005);
    return supply;
}

SerialPort* AppTransports::createSerialPort(const QString& portName) {
    if (isSimulated(portName)) {
        if (auto supply = makeSupply(portName.mid(int(qstrlen(kSimPrefix))))) {
            auto* port = new SimSerialPort(instrumentOf(std::move(supply)));
            port->setPortName(portName);
            return port;
        }
    }
    auto* port = new QtSerialPort;
    port->setPortName(portName);
    return port;
}

GpibBoard* AppTransports::createGpibBoard(const QString& simulatedModel) {
    if (!simulatedModel.isEmpty())
        if (auto supply = makeSupply(simulatedModel))
            return new SimGpibBoard(instrumentOf(std::move(supply)));
    return new Ni488GpibBoard;
}

QStringList AppTransports::availablePortNames() const {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names.sort();
    for (const QString& extra : extraPorts_)
        if (!names.contains(extra))
            names << extra;
    return names;
}

QStringList AppTransports::simulatedPortNames() const {
    QStringList names;
    for (const QString& model : sim::simulatedModelNames())
        names << QLatin1String(kSimPrefix) + model;
    return names;
}

} // namespace trq
