// The poll of the supply on line.
#include "session/supplypoll.h"

#include "core/clock.h"
#include "core/debugtrace.h"
#include "link/qtserialport.h"
#include "link/transport.h"
#include "protocol/replies.h"
#include "session/supplyconnection.h"
#include "session/supplystate.h"

namespace trq {

SupplyPoll::SupplyPoll(TaskScheduler& link, SupplyConnection& connection, const SupplyState& state,
                       Handlers handlerFor, QObject* parent)
    : QObject(parent), link_(link), connection_(connection), state_(state),
      handlerFor_(std::move(handlerFor)) {
    timer_.setInterval(kPollMsec);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (mode_ == PollMode::Specified)
            tick();
    });
    link_.setFreeLineHandler([this] {
        if (mode_ == PollMode::Fast && timer_.isActive())
            tick();
    });
    rateTimer_.setInterval(1000);
    connect(&rateTimer_, &QTimer::timeout, this, &SupplyPoll::sampleRate);
}

SupplyPoll::~SupplyPoll() {
    link_.setFreeLineHandler({});
}

void SupplyPoll::setMode(PollMode mode) {
    mode_ = mode;
    link_.setPollMode(mode);
    checkAdapter();
}

void SupplyPoll::sampleRate() {
    const bool serial = link_.transport() == Transport::Serial;
    rate_.sample(qint64(link_.clock().nowSec() * 1000.0), state_.readingCount(),
                 link_.serialBytes(), serial ? link_.wire().baud() : 0);
    emit rateChanged(rate_.rate());
}

void SupplyPoll::checkAdapter() {
    if (mode_ != PollMode::Fast || !profile_ || link_.transport() != Transport::Serial ||
        !link_.serialPort())
        return;
    const QString port = link_.serialPort()->portName();
    const std::optional<int> latency = QtSerialPort::latencyTimerMsec(port);
    if (!latency || *latency <= 1 || port == adapterTold_)
        return;
    adapterTold_ = port;
    const QString text = tr("%1 holds answers back for up to %2 ms (its latency timer), which "
                            "halves the fast poll; lower it with: %3")
                             .arg(port)
                             .arg(*latency)
                             .arg(QtSerialPort::latencyTimerCommand(port));
    trace(text);
    emit slowAdapter(text);
}

void SupplyPoll::setUp(const LayoutProfile* profile) {
    profile_ = profile;
    rate_.clear();
    if (!profile) { // off line the position stays where it was
        rateTimer_.stop();
        emit rateChanged({});
        return;
    }
    counter_ = 0;
    // A panel in testing mode polls nothing.
    if (connection_.interfaceKind() == InterfaceKind::Serial ||
        connection_.interfaceKind() == InterfaceKind::Gpib)
        rateTimer_.start();
    checkAdapter();
}

QString SupplyPoll::query(const QueryStep& step) const {
    return queryText(connection_.family(), step.operation, step.channel);
}

bool SupplyPoll::ask(const QueryStep& step) {
    return link_.enqueueQuery(query(step), this, handlerFor_(step));
}

bool SupplyPoll::exchange(const QueryStep& step) {
    // The direct exchange hands over raw lines: a value must carry its unit
    // letter; the status goes whole.
    const bool voltage =
        step.operation == Operation::MeasuredVoltage || step.operation == Operation::Voltage;
    const QChar unit = voltage ? QLatin1Char('V') : QLatin1Char('A');
    const bool whole = step.operation == Operation::Status;
    ReplyHandler handler = handlerFor_(step);
    return link_.exchangeNow(query(step), this, [whole, unit, handler](const QString& reply) {
        if (whole) {
            handler(reply);
        } else if (const std::optional<QString> value = readingOf(reply, unit)) {
            handler(*value);
        }
    });
}

void SupplyPoll::tick() {
    if (!profile_ || connection_.state() != ConnectionState::Ready)
        return;
    const QueryStep& step = pollStepAt(*profile_, counter_);
    // A refused query (full queue) is tried again on the next tick. The
    // direct exchange is a serial line's; over GPIB the queue pairs the
    // replies.
    const bool direct =
        profile_->pollsByDirectExchange && connection_.interfaceKind() == InterfaceKind::Serial;
    if (direct ? exchange(step) : ask(step))
        counter_ = nextPollPosition(*profile_, counter_);
}

bool SupplyPoll::readingsCurrent() const {
    if (!profile_ || !timer_.isActive() || state_.channelCount() == 0)
        return false;
    const qint64 now = qint64(link_.clock().nowSec() * 1000.0);
    // Two cycles: a queue that lags behind the poll a little is no silence.
    const qint64 longest = 2 * qint64(profile_->pollCycle.size()) * kPollMsec + 1000;
    return state_.allReadSince(now - longest);
}

void SupplyPoll::setLinkActivity(const LinkActivity& activity) {
    const std::pair<QTimer*, bool> clocks[] = {{&timer_, activity.polling},
                                               {&link_.responseTimer(), activity.responseWait},
                                               {&link_.writerTimer(), activity.writing}};
    for (const auto& [timer, on] : clocks) {
        if (on)
            timer->start();
        else
            timer->stop();
    }
}

} // namespace trq
