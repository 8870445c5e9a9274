#include "session/supplyconnection.h"

#include "core/debugtrace.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "link/taskscheduler.h"
#include "link/transport.h"
#include "link/transportfactory.h"
#include "protocol/machinetype.h"
#include "session/machinetypes.h"

#include <memory>

namespace trq {

SupplyConnection::SupplyConnection(TaskScheduler& link, Prompter& prompter,
                                   TransportFactory& transports, const MachineTypes& machineTypes,
                                   QObject* parent)
    : QObject(parent), link_(link), prompter_(prompter), transports_(transports),
      machineTypes_(machineTypes) {
    detection_.setInterval(kDetectionTimeoutMsec);
    detection_.setSingleShot(true);
    connect(&detection_, &QTimer::timeout, this, [this] {
        // Only a detection still running can time out.
        if (state_ == ConnectionState::Detecting)
            failDetection();
    });
    // The rest of a detection runs after the link's delivery has returned.
    handOver_.setInterval(kDetectionHandOverMsec);
    handOver_.setSingleShot(true);
    connect(&handOver_, &QTimer::timeout, this, &SupplyConnection::finishDetection);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &SupplyConnection::attemptReconnect);
}

QString SupplyConnection::interfaceDescription() const {
    switch (kind_) {
    case InterfaceKind::TestingMode:
        return tr("Testing mode");
    case InterfaceKind::Serial:
        return tr("RS-232 %1BPS / 8bits/None/1bits").arg(serialTarget_.baud);
    case InterfaceKind::Gpib:
        return tr("Interface: GPIB;Address:") +
               (gpibAddress_ >= 0 ? QStringLiteral(" ") : QString()) +
               QString::number(gpibAddress_);
    case InterfaceKind::None:
        break;
    }
    return {};
}

// ---- Going on line -----------------------------------------------------------

std::optional<SupplyAddress> SupplyConnection::address() const {
    if (state_ == ConnectionState::OffLine)
        return std::nullopt;
    SupplyAddress a;
    a.kind = kind_;
    if (kind_ == InterfaceKind::Serial)
        a.serial = serialTarget_;
    else if (kind_ == InterfaceKind::Gpib && gpibTarget_.simulatedModel.isEmpty())
        a.gpib = gpibTarget_;
    else
        return std::nullopt;
    return a;
}

bool SupplyConnection::openSerial(const SerialSettings& settings) {
    std::unique_ptr<SerialPort> port(transports_.createSerialPort(settings.port));
    port->setBaudRate(settings.baud);
    if (!port->open()) {
        // Nothing is sent anywhere else.
        const QString reason = port->errorString();
        trace(QStringLiteral("Cannot open ") + settings.port + QStringLiteral(": ") + reason);
        // The usual first-day problem on Linux: say what to do about it.
        const QString text =
            port->permissionDenied()
                ? tr("The serial port %1 cannot be opened: you have no permission to "
                     "use it. Serial ports belong to the group \"dialout\"; join it "
                     "with\n\n    sudo adduser %2 dialout\n\nthen log out and in "
                     "again.")
                      .arg(settings.port, qEnvironmentVariable("USER", QStringLiteral("$USER")))
                : tr("The serial port %1 cannot be opened: %2")
                      .arg(settings.port, reason.isEmpty() ? tr("unknown error") : reason);
        prompter_.message(text, {}, Prompter::Icon::Warning);
        return false;
    }
    link_.setSerialPort(port.release());
    link_.setLineRate(settings.baud);
    serialTarget_ = settings;
    beginDetection(InterfaceKind::Serial, {});
    return true;
}

bool SupplyConnection::openGpib(const GpibSettings& settings) {
    GpibBoard* board = transports_.createGpibBoard(settings.simulatedModel);
    link_.setGpibBoard(board);
    gpibAddress_ = settings.address;
    gpibTarget_ = settings;
    if (!board->configure(settings.board, settings.address)) {
        // Without a driver there is nothing to detect on.
        prompter_.message(board->errorString(), {}, Prompter::Icon::Warning);
        return false;
    }
    beginDetection(InterfaceKind::Gpib, {});
    return true;
}

void SupplyConnection::openTestingMode(const QString& model) {
    beginDetection(InterfaceKind::TestingMode, model);
}

void SupplyConnection::beginDetection(InterfaceKind kind, const QString& model) {
    link_.clearQueues();
    link_.clearTimeoutHandler();
    state_ = ConnectionState::Detecting;
    kind_ = kind;
    serialNumber_.clear(); // a model chosen by hand has none
    emit stateChanged(state_);
    if (kind == InterfaceKind::TestingMode) {
        model_ = model;
        accept();
        return;
    }
    link_.setTransport(kind == InterfaceKind::Gpib ? Transport::Gpib : Transport::Serial);
    // Identify with LF whatever the previous supply's family used.
    link_.setSerialTerminator(kIdentifyLineEnd);
    link_.setTimeoutHandler(this, [this] {
        failDetection();
        emit statusText(text(Text::Timeout));
    });
    link_.enqueueQuery(queryText(family_, Operation::Identify), this,
                       [this](const QString& answer) { identified(answer); });
    detection_.start();
    emit statusText(text(Text::GettingMachineType));
}

void SupplyConnection::identified(const QString& answer) {
    emit statusText(answer);
    link_.clearTimeoutHandler();
    model_ = parseModel(answer);
    serialNumber_ = parseSerialNumber(answer);
    handOver_.start();
}

void SupplyConnection::finishDetection() {
    // The detection may have failed meanwhile (its timer, or a reset).
    if (state_ != ConnectionState::Detecting)
        return;
    if (machineTypes_.offeredModels().contains(model_))
        accept();
    else
        failDetection();
}

void SupplyConnection::failDetection() {
    detection_.stop();
    prompter_.message(text(Text::DetectionTimedOut));
    emit dropped();
    endDetection();
}

void SupplyConnection::endDetection() {
    link_.clearQueues();
    link_.clearTimeoutHandler();
}

void SupplyConnection::accept() {
    detection_.stop();
    family_ = familyOf(model_);
    link_.setSerialTerminator(lineEnd(family_));
    state_ = ConnectionState::Ready;
    if (keepsChoice_) {
        Settings::instance().setLastInterface(interfaceText(kind_));
        Settings::instance().setLastModel(model_);
    }
    endDetection();
    link_.setTimeoutHandler(this, [this] { operationTimedOut(); });
    emit modelAccepted();
    // A model chosen by hand sends nothing.
    link_.setRejectsTasks(!talks());
    emit stateChanged(state_);
    emit onLine();
}

void SupplyConnection::close() {
    link_.reset();
    kind_ = InterfaceKind::None;
    state_ = ConnectionState::OffLine;
    handOver_.stop();
    retry_.stop();
}

void SupplyConnection::operationTimedOut() {
    if (reconnect_ && state_ == ConnectionState::Ready && talks()) {
        startReconnecting();
        return;
    }
    prompter_.message(text(Text::OperationTimedOut), text(Text::TimeoutTitle));
    emit dropped();
}

// ---- Reconnecting ----------------------------------------------------------------
// The same port or address, with a backoff, checking that the same supply
// answers; the session then reads its state back.

void SupplyConnection::setReconnect(bool on) {
    reconnect_ = on;
    // Nobody is to read a box about a link that comes back by itself.
    link_.setQuietFailures(on);
}

void SupplyConnection::startReconnecting() {
    state_ = ConnectionState::Reconnecting;
    attempt_ = 0;
    trace("Link lost, reconnecting");
    emit stateChanged(state_);
    emit statusText(tr("Link lost — reconnecting…"));
    retryLater();
}

void SupplyConnection::retryLater() {
    if (retryDelays_.empty())
        retryDelays_ = {10000};
    const std::size_t i = std::min(std::size_t(attempt_), retryDelays_.size() - 1);
    retry_.start(retryDelays_[i]);
}

bool SupplyConnection::reopenLink() {
    if (kind_ == InterfaceKind::Serial) {
        std::unique_ptr<SerialPort> port(transports_.createSerialPort(serialTarget_.port));
        port->setBaudRate(serialTarget_.baud);
        if (!port->open()) {
            trace(QStringLiteral("Reconnect: ") + serialTarget_.port + QStringLiteral(": ") +
                  port->errorString());
            return false;
        }
        link_.setSerialPort(port.release());
        link_.setLineRate(serialTarget_.baud);
        link_.setTransport(Transport::Serial);
        return true;
    }
    GpibBoard* board = transports_.createGpibBoard(gpibTarget_.simulatedModel);
    link_.setGpibBoard(board);
    if (!board->configure(gpibTarget_.board, gpibTarget_.address)) {
        trace(QStringLiteral("Reconnect: ") + board->errorString());
        return false;
    }
    link_.setTransport(Transport::Gpib);
    return true;
}

void SupplyConnection::attemptReconnect() {
    if (state_ != ConnectionState::Reconnecting)
        return;
    ++attempt_;
    trace(QStringLiteral("Reconnect attempt ") + QString::number(attempt_));
    link_.clearQueues();
    link_.setRejectsTasks(false);
    if (!reopenLink()) {
        retryLater();
        return;
    }
    // Identified as at first, with LF; no answer within the detection time
    // is a failed attempt.
    link_.setSerialTerminator(kIdentifyLineEnd);
    link_.setTimeoutHandler(this, [this] { retryLater(); });
    link_.enqueueQuery(queryText(family_, Operation::Identify), this,
                       [this](const QString& answer) { reidentified(answer); });
    retry_.start(detection_.interval());
}

void SupplyConnection::reidentified(const QString& answer) {
    if (state_ != ConnectionState::Reconnecting)
        return;
    retry_.stop();
    link_.clearTimeoutHandler();
    const QString model = parseModel(answer);
    const QString serial = parseSerialNumber(answer);
    if (model != model_ || (!serialNumber_.isEmpty() && serial != serialNumber_)) {
        // Another supply is not this session's: its settings and recording
        // are not to be mixed with this one's. What was recorded stays.
        trace(QStringLiteral("Reconnect refused: ") + answer);
        const QString was =
            model_ + (serialNumber_.isEmpty() ? QString() : QStringLiteral(" ") + serialNumber_);
        const QString now = model + (serial.isEmpty() ? QString() : QStringLiteral(" ") + serial);
        emit dropped();
        prompter_.message(tr("The link came back to another supply (%1, not %2); it "
                             "stays closed. What was recorded is kept.")
                              .arg(now.isEmpty() ? tr("unknown") : now, was),
                          {}, Prompter::Icon::Warning);
        return;
    }
    // The rest runs after the link's delivery has returned: the initial
    // query needs the link's consumer free.
    QTimer::singleShot(0, this, [this] {
        if (state_ == ConnectionState::Reconnecting)
            resume();
    });
}

void SupplyConnection::resume() {
    trace("Reconnected");
    link_.setSerialTerminator(lineEnd(family_));
    link_.setTimeoutHandler(this, [this] { operationTimedOut(); });
    state_ = ConnectionState::Ready;
    emit stateChanged(state_);
    emit statusText(tr("Reconnected"));
    emit cameBack();
}

} // namespace trq
