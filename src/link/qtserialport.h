#pragma once

#include "link/transport.h"

#include <QSerialPort>

#include <optional>

namespace trq {

// A real serial port (RS232 or USB adapter, or a pseudo-terminal).
class QtSerialPort final : public SerialPort {
    Q_OBJECT
public:
    // Bounds what an instrument that floods the line can make us hold.
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    explicit QtSerialPort(QObject* parent = nullptr);
    // Why a name cannot be a serial port (a path to a regular file or a
    // folder, say), or nothing.
    static QString unsuitable(const QString& name);
    // A USB adapter's latency timer (FTDI and alike show it in sysfs): how
    // long it holds a few received bytes back before passing them on.
    // Nothing where the driver shows none.
    static std::optional<int> latencyTimerMsec(const QString& name,
                                               const QString& sysRoot = QStringLiteral("/sys"));
    // What a user with the rights to do so types to lower it to 1 ms.
    static QString latencyTimerCommand(const QString& name);

    void setPortName(const QString& name) override;
    QString portName() const override { return port_.portName(); }
    void setBaudRate(qint32 baud) override;
    bool open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString errorString() const override { return error_.isEmpty() ? port_.errorString() : error_; }
    bool permissionDenied() const override { return port_.error() == QSerialPort::PermissionError; }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString name_;
    QString error_;
};

} // namespace trq
