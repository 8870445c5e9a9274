#pragma once

#include "link/simtransport.h"
#include "link/transportfactory.h"

#include <memory>

namespace trq {

namespace sim {
class Supply;
}

// The program's transports: QSerialPort, the NI-488.2 driver, and the
// simulated supplies behind the same serial and GPIB code paths.
class AppTransports : public TransportFactory {
public:
    SerialPort* createSerialPort(const QString& portName) override;
    GpibBoard* createGpibBoard(const QString& simulatedModel) override;
    QStringList availablePortNames() const override;
    QStringList simulatedPortNames() const override;
    void addPortName(const QString& name) { extraPorts_ << name; }

    // The simulated supply on the other end of a link.
    static SimulatedInstrument instrumentOf(std::shared_ptr<sim::Supply> supply);

protected:
    // A simulated supply of a model, or nothing for an unknown one.
    virtual std::shared_ptr<sim::Supply> makeSupply(const QString& model);

private:
    QStringList extraPorts_;
};

} // namespace trq
