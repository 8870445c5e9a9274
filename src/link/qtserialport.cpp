#include "link/qtserialport.h"

#include "core/debugtrace.h"

namespace trq {

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent) {
    port_.setReadBufferSize(kReadBufferSize);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

// "COM3" on Windows; elsewhere a device path ("/dev/ttyUSB0") or name ("ttyS0").
void QtSerialPort::setPortName(const QString& name) {
    port_.setPortName(name.trimmed());
}

void QtSerialPort::setBaudRate(qint32 baud) {
    port_.setBaudRate(baud);
}

bool QtSerialPort::open() {
    if (port_.isOpen())
        return true;
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    port_.clearError();
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen())
        port_.close();
}

void QtSerialPort::write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return;
    port_.write(bytes);
    port_.flush();
}

QByteArray QtSerialPort::readAll() {
    if (!port_.isOpen())
        return {};
    return port_.readAll();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError:
        // On Linux a vanished device reports ReadError in a tight loop while
        // the port stays open: close it once and tell the link.
        if (port_.isOpen()) {
            const QString reason = port_.errorString();
            port_.close();
            port_.clearError();
            trace(QStringLiteral("Serial port lost: ") + reason);
            emit lost(reason);
        }
        break;
    default:
        break;
    }
}

} // namespace trq
