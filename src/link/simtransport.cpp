#include "link/simtransport.h"

#include <QTimer>

namespace trq {

SimSerialPort::SimSerialPort(SimulatedInstrument instrument, QObject* parent)
    : SerialPort(parent), instrument_(std::move(instrument)) {}

SimSerialPort::~SimSerialPort() = default;

bool SimSerialPort::open() {
    open_ = bool(instrument_.receive);
    input_.clear();
    return open_;
}

void SimSerialPort::write(const QByteArray& bytes) {
    if (!open_)
        return;
    const QByteArray answer = instrument_.receive(bytes);
    if (answer.isEmpty())
        return;
    input_ += answer;
    // The instrument's output buffer is finite too.
    if (input_.size() > 64 * 1024)
        input_ = input_.right(64 * 1024);
    // As a port does: told through the event loop, never inside the write.
    QMetaObject::invokeMethod(this, &SerialPort::readyRead, Qt::QueuedConnection);
}

QByteArray SimSerialPort::readAll() {
    if (!open_)
        return {};
    return std::exchange(input_, {});
}

void SimSerialPort::unplug() {
    if (!open_)
        return;
    open_ = false;
    emit lost(QStringLiteral("Simulated device removed"));
}

SimGpibBoard::SimGpibBoard(SimulatedInstrument instrument, QObject* parent)
    : GpibBoard(parent), instrument_(std::move(instrument)) {}

SimGpibBoard::~SimGpibBoard() = default;

bool SimGpibBoard::configure(int, int) {
    reset();
    output_.clear();
    return bool(instrument_.execute);
}

void SimGpibBoard::post(int delayMsec, std::function<void()> event) {
    QTimer::singleShot(delayMsec, this, [this, gen = generation_, event = std::move(event)] {
        if (gen == generation_)
            event();
    });
}

void SimGpibBoard::writeAsync(const QByteArray& bytes) {
    post(0, [this, bytes] {
        // A new message clears an unread answer, as a talker's output queue does.
        output_ = instrument_.execute(QString::fromLatin1(bytes));
        emit writeComplete();
    });
}

void SimGpibBoard::readAsync() {
    if (output_.isEmpty()) {
        post(readTimeoutMsec_, [this] {
            emit error(kEABO, QStringLiteral("EABO: I/O operation aborted (timeout)"));
        });
        return;
    }
    post(0, [this] { emit dataRead(std::exchange(output_, {})); });
}

} // namespace trq
