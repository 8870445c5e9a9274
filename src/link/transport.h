#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace trq {

// The serial component of the link: RS232 and USB links that present
// themselves as serial ports, and the in-process simulated port.
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void setPortName(const QString& name) = 0;
    virtual QString portName() const = 0;
    // Line settings: the baud rate; the data format is always 8N1.
    virtual void setBaudRate(qint32 baud) = 0;
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes at once; errors are the caller's to ignore.
    virtual void write(const QByteArray& bytes) = 0;
    // Everything received so far, removed from the port's buffer.
    virtual QByteArray readAll() = 0;
    virtual QString errorString() const = 0;
    // The last open failed because the user may not use the device.
    virtual bool permissionDenied() const { return false; }

signals:
    // The device went away (unplugged adapter, closed other end); the port
    // has been closed.
    void lost(const QString& reason);
    // Characters have arrived.
    void readyRead();
};

// The GPIB component: asynchronous writes and reads that complete with events.
class GpibBoard : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Board number and primary address; applies them. False with
    // errorString() when the interface cannot be used.
    virtual bool configure(int board, int address) = 0;
    virtual void writeAsync(const QByteArray& bytes) = 0;
    virtual void readAsync() = 0;
    // Forgets outstanding operations; their events are not delivered.
    virtual void reset() = 0;
    virtual QString errorString() const = 0;

signals:
    void writeComplete();
    void dataRead(const QByteArray& bytes);
    void error(int number, const QString& description);
};

} // namespace trq
