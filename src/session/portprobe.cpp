#include "session/portprobe.h"

#include "core/clock.h"
#include "link/taskscheduler.h"
#include "link/transport.h"
#include "link/transportfactory.h"

namespace trq {

namespace {

bool endsWithLineEnd(const QByteArray& text) {
    return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r');
}

} // namespace

PortProbe::PortProbe(TransportFactory& factory, TaskScheduler& link, Waiter& waiter,
                     QObject* parent)
    : QObject(parent), factory_(factory), link_(link), waiter_(waiter) {}

PortProbe::~PortProbe() = default;

void PortProbe::releaseLink() {
    SerialPort* own = link_.serialPort();
    if (own && own->isOpen())
        own->close();
}

QStringList PortProbe::openable(const QStringList& names) {
    releaseLink();
    QStringList result;
    for (const QString& name : names) {
        std::unique_ptr<SerialPort> port(factory_.createSerialPort(name));
        if (port->open()) {
            result << name;
            port->close();
        }
    }
    return result;
}

void PortProbe::start(const QStringList& ports, const QList<qint32>& rates) {
    cancel();
    releaseLink();
    ports_ = ports;
    rates_ = rates;
    rate_ = 0;
    port_ = int(ports_.size()) - 1;
    done_ = 0;
    running_ = true;
    tryNext();
}

void PortProbe::cancel() {
    running_ = false;
    ++attempt_;
    closePort();
}

void PortProbe::closePort() {
    if (!serial_)
        return;
    if (serial_->isOpen())
        serial_->close();
    // Later: this may run inside the port's own readyRead.
    serial_.release()->deleteLater();
}

void PortProbe::tryNext() {
    if (!running_)
        return;
    closePort();
    if (port_ < 0) {
        ++rate_;
        port_ = int(ports_.size()) - 1;
    }
    if (rate_ >= rates_.size() || ports_.isEmpty()) {
        running_ = false;
        emit finished({});
        return;
    }
    serial_.reset(factory_.createSerialPort(ports_.at(port_)));
    serial_->setBaudRate(rates_.at(rate_));
    serial_->open();
    connect(serial_.get(), &SerialPort::readyRead, this, &PortProbe::collect);
    askedAgain_ = false;
    ask();
}

void PortProbe::ask() {
    answer_.clear();
    // Always LF here, whatever the family's line end.
    serial_->write("*IDN?\n");
    const quint64 attempt = ++attempt_;
    waiter_.after(kAnswerMsec, this, [this, attempt] { timeUp(attempt); });
}

void PortProbe::collect() {
    if (!running_ || !serial_)
        return;
    answer_ += serial_->readAll();
    if (!endsWithLineEnd(answer_))
        return;
    ++attempt_; // answered: its time-up is void
    answered();
}

void PortProbe::timeUp(quint64 attempt) {
    if (!running_ || attempt != attempt_)
        return;
    if (serial_)
        answer_ += serial_->readAll();
    if (endsWithLineEnd(answer_))
        answered();
    else
        conclude({});
}

void PortProbe::answered() {
    if (answer_.contains("Invalid Character.") && !askedAgain_) { // the supplies' own reply
        // The instrument rejected leftovers of an earlier attempt: ask again.
        askedAgain_ = true;
        ask();
        return;
    }
    conclude(answer_);
}

void PortProbe::conclude(const QByteArray& answer) {
    const QString text = QString::fromLatin1(answer);
    emit progressed(++done_, int(ports_.size() * rates_.size()));
    // Every supported family's *IDN? names its maker so.
    if (text.contains(QLatin1String("ZQ"))) {
        closePort();
        running_ = false;
        emit finished({true, port_, rate_, text});
        return;
    }
    --port_;
    QMetaObject::invokeMethod(this, &PortProbe::tryNext, Qt::QueuedConnection);
}

} // namespace trq
