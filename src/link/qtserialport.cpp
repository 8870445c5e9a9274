#include "link/qtserialport.h"

#include "core/debugtrace.h"

#include <QFile>
#include <QFileInfo>
#include <qplatformdefs.h>

namespace trq {

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent) {
    port_.setReadBufferSize(kReadBufferSize);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::readyRead);
}

// "COM3" on Windows; elsewhere a device path ("/dev/ttyUSB0") or name ("ttyS0").
void QtSerialPort::setPortName(const QString& name) {
    name_ = name.trimmed();
    port_.setPortName(name_);
}

void QtSerialPort::setBaudRate(qint32 baud) {
    port_.setBaudRate(baud);
}

QString QtSerialPort::unsuitable(const QString& name) {
    // A bare name ("COM3", "ttyS0") is the system's to resolve.
    if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')))
        return {};
    const QFileInfo info(name.trimmed());
    if (!info.exists())
        return {}; // said by the open, as for any port that is not there
    if (info.isDir())
        return tr("it is a folder, not a serial port");
    QT_STATBUF st;
    if (QT_STAT(QFile::encodeName(info.absoluteFilePath()).constData(), &st) == 0 &&
        !S_ISCHR(st.st_mode))
        return tr("it is a regular file, not a serial port");
    return {};
}

namespace {

// "/dev/serial/by-id/usb-FTDI...", "serial/by-id/usb-FTDI..." (as the port
// names it), "/dev/ttyUSB0", "ttyUSB0": "ttyUSB0".
QString deviceName(const QString& name) {
    const QString trimmed = name.trimmed();
    for (const QString& path : {trimmed, QStringLiteral("/dev/") + trimmed}) {
        const QFileInfo info(path);
        if (path.startsWith(QLatin1Char('/')) && info.exists())
            return QFileInfo(info.canonicalFilePath()).fileName();
    }
    return QFileInfo(trimmed).fileName();
}

QString latencyTimerPath(const QString& name, const QString& sysRoot) {
    return sysRoot + QStringLiteral("/class/tty/") + deviceName(name) +
           QStringLiteral("/device/latency_timer");
}

} // namespace

std::optional<int> QtSerialPort::latencyTimerMsec(const QString& name, const QString& sysRoot) {
    QFile file(latencyTimerPath(name, sysRoot));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const int msec = file.readAll().trimmed().toInt(&ok);
    return ok ? std::optional<int>(msec) : std::nullopt;
}

QString QtSerialPort::latencyTimerCommand(const QString& name) {
    return QStringLiteral("echo 1 | sudo tee ") + latencyTimerPath(name, QStringLiteral("/sys"));
}

bool QtSerialPort::open() {
    if (port_.isOpen())
        return true;
    error_ = unsuitable(name_);
    if (!error_.isEmpty())
        return false;
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
