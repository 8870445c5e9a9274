// Opening a lost link again: the same port or address, with a backoff,
// checking that the same supply answers, then reading its state back without
// sending anything the user did not ask for.
#include "core/debugtrace.h"
#include "core/prompter.h"
#include "link/transport.h"
#include "link/transportfactory.h"
#include "session/instrumentsession.h"
#include "session/recording.h"

#include <QTimer>

namespace trq {

void InstrumentSession::setReconnect(bool on) {
    reconnect_ = on;
    // Nobody is to read a box about a link that comes back by itself.
    link_.setQuietFailures(on);
}

void InstrumentSession::startReconnecting() {
    state_ = ConnectionState::Reconnecting;
    attempt_ = 0;
    trace("Link lost, reconnecting");
    emit stateChanged(state_);
    emit statusText(tr("Link lost — reconnecting…"));
    retryLater();
}

void InstrumentSession::retryLater() {
    if (retryDelays_.empty())
        retryDelays_ = {10000};
    const std::size_t i = std::min(std::size_t(attempt_), retryDelays_.size() - 1);
    retry_.start(retryDelays_[i]);
}

bool InstrumentSession::reopenLink() {
    if (kind_ == InterfaceKind::Serial) {
        std::unique_ptr<SerialPort> port(transports_.createSerialPort(serialTarget_.port));
        port->setBaudRate(serialTarget_.baud);
        if (!port->open()) {
            trace(QStringLiteral("Reconnect: ") + serialTarget_.port + QStringLiteral(": ") +
                  port->errorString());
            return false;
        }
        link_.setSerialPort(port.release());
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

void InstrumentSession::attemptReconnect() {
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

void InstrumentSession::reidentified(const QString& answer) {
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
        reset();
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
            resumeAfterReconnect();
    });
}

void InstrumentSession::resumeAfterReconnect() {
    trace("Reconnected");
    // The next point follows the seconds without readings.
    if (recording_)
        recording_->engine().markGap();
    link_.setSerialTerminator(lineEnd(family_));
    link_.setTimeoutHandler(this, [this] { operationTimedOut(); });
    state_ = ConnectionState::Ready;
    emit stateChanged(state_);
    emit statusText(tr("Reconnected"));
    // The supply's state is read back and shown; nothing is sent back.
    const bool wasOn = output_;
    resyncing_ = true;
    queryInitialValues([this, wasOn](bool cancelled) {
        resyncing_ = false;
        if (cancelled || state_ != ConnectionState::Ready)
            return;
        checkOutput();
        afterInitialQuery();
        if (wasOn && !output_) {
            // Power-cycled, most likely: nobody switches it on unasked, but
            // the user must know that nothing is measured now.
            trace("Reconnected: the supply's output is off");
            emit statusText(tr("The supply came back with its output off"));
            emit cameBackWithOutputOff();
        }
    });
}

} // namespace trq
