#pragma once

#include "link/transport.h"

#include <functional>
#include <memory>

namespace trq {

// What stands at the other end of a simulated link: the answer to bytes as
// they arrive on a serial line, and to one whole GPIB message. The owner
// keeps whatever the two calls use alive as long as the link.
struct SimulatedInstrument {
    std::shared_ptr<void> owner;
    std::function<QByteArray(const QByteArray& bytes)> receive;
    std::function<QByteArray(const QString& message)> execute;
};

// A serial port with a simulated supply on the other end. Replies are ready
// as soon as a line has been written, as with a fast instrument.
class SimSerialPort final : public SerialPort {
    Q_OBJECT
public:
    explicit SimSerialPort(SimulatedInstrument instrument, QObject* parent = nullptr);
    ~SimSerialPort() override;

    void setPortName(const QString& name) override { name_ = name; }
    QString portName() const override { return name_; }
    void setBaudRate(qint32 baud) override { baud_ = baud; }
    bool open() override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString errorString() const override { return {}; }

    // Behaves as an unplugged adapter: closes and reports the loss.
    void unplug();

private:
    SimulatedInstrument instrument_;
    QString name_;
    qint32 baud_ = 9600;
    bool open_ = false;
    QByteArray input_;
};

// A GPIB board with a simulated supply at the configured address. Events
// arrive through the event loop, never inside the call that started them.
class SimGpibBoard final : public GpibBoard {
    Q_OBJECT
public:
    // GPIB error numbers used by the simulation (NI-488.2 iberr values).
    static constexpr int kEABO = 6; // I/O aborted: timeout

    explicit SimGpibBoard(SimulatedInstrument instrument, QObject* parent = nullptr);
    ~SimGpibBoard() override;

    bool configure(int board, int address) override;
    void writeAsync(const QByteArray& bytes) override;
    void readAsync() override;
    void reset() override { ++generation_; }
    QString errorString() const override { return {}; }

    // How long a read waits for an answer before it fails with kEABO.
    void setReadTimeoutMsec(int msec) { readTimeoutMsec_ = msec; }

private:
    void post(int delayMsec, std::function<void()> event);

    SimulatedInstrument instrument_;
    QByteArray output_;
    quint64 generation_ = 0;
    int readTimeoutMsec_ = 3000;
};

} // namespace trq
