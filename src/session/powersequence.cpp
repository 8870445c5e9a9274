// A bench's power order: parsed, reversed for switching off, and run on the
// clock.
#include "session/powersequence.h"

#include "core/clock.h"
#include "core/debugtrace.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace trq {

namespace {

// Longer waits are a mistake of units, not a power order.
constexpr int kLongestWaitMsec = 3600 * 1000;

} // namespace

std::variant<std::vector<PowerStep>, QString> parsePowerOrder(const QString& text,
                                                              const QStringList& supplies) {
    static const QRegularExpression wait(QStringLiteral("^(\\d+(?:\\.\\d+)?)\\s*(ms|s)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression turn(QStringLiteral("^(.+?)\\s+(on|off)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    std::vector<PowerStep> steps;
    const QStringList parts = text.split(QLatin1Char(','));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i).simplified();
        const auto refused = [&](const QString& why) {
            return PowerSequencer::tr("Step %1 (\"%2\") %3").arg(i + 1).arg(part, why);
        };
        if (const QRegularExpressionMatch m = wait.match(part); m.hasMatch()) {
            const double msec = m.captured(1).toDouble() *
                                (m.captured(2).toLower() == QLatin1String("s") ? 1000 : 1);
            if (msec > kLongestWaitMsec)
                return refused(PowerSequencer::tr("waits longer than an hour"));
            steps.push_back({{}, true, int(std::lround(msec))});
            continue;
        }
        const QRegularExpressionMatch m = turn.match(part);
        if (!m.hasMatch())
            return refused(
                PowerSequencer::tr("is neither \"NAME on\", \"NAME off\" nor a wait in ms or s"));
        const auto named = std::find_if(supplies.begin(), supplies.end(), [&](const QString& s) {
            return s.compare(m.captured(1), Qt::CaseInsensitive) == 0;
        });
        if (named == supplies.end())
            return refused(PowerSequencer::tr("names no supply of the bench (%1)")
                               .arg(supplies.join(QStringLiteral(", "))));
        steps.push_back({*named, m.captured(2).toLower() == QLatin1String("on"), 0});
    }
    if (std::none_of(steps.begin(), steps.end(),
                     [](const PowerStep& s) { return !s.supply.isEmpty(); }))
        return PowerSequencer::tr("A power order switches at least one supply");
    return steps;
}

QString powerOrderText(const std::vector<PowerStep>& steps) {
    QStringList parts;
    for (const PowerStep& s : steps)
        parts << (s.supply.isEmpty()
                      ? QStringLiteral("%1 ms").arg(s.waitMsec)
                      : s.supply + (s.on ? QStringLiteral(" on") : QStringLiteral(" off")));
    return parts.join(QStringLiteral(", "));
}

std::vector<PowerStep> reversedOff(const std::vector<PowerStep>& steps) {
    std::vector<PowerStep> off(steps.rbegin(), steps.rend());
    for (PowerStep& s : off)
        if (!s.supply.isEmpty())
            s.on = false;
    return off;
}

PowerSequencer::PowerSequencer(std::vector<Supply> supplies, const Clock& clock, Waiter& waiter,
                               QObject* parent)
    : QObject(parent), supplies_(std::move(supplies)), clock_(clock), waiter_(waiter) {}

const PowerSequencer::Supply* PowerSequencer::supplyNamed(const QString& name) const {
    const auto s = std::find_if(supplies_.begin(), supplies_.end(),
                                [&](const Supply& each) { return each.name == name; });
    return s == supplies_.end() ? nullptr : &*s;
}

void PowerSequencer::run(std::vector<PowerStep> steps) {
    ++run_;
    steps_ = std::move(steps);
    at_ = 0;
    switchedOn_.clear();
    running_ = true;
    startMsec_ = clock_.nowSec() * 1000.0;
    plannedMsec_ = 0;
    trace(QStringLiteral("Power order: ") + powerOrderText(steps_));
    next();
}

void PowerSequencer::stop() {
    if (!running_)
        return;
    ++run_;
    running_ = false;
    trace(QStringLiteral("Power order stopped"));
    emit finished(false, {});
}

void PowerSequencer::next() {
    // Steps due now are taken together; a wait moves the plan on, a last
    // wait too.
    while (running_) {
        const double late = clock_.nowSec() * 1000.0 - startMsec_ - plannedMsec_;
        if (late < 0) {
            const quint64 run = run_;
            waiter_.after(int(std::ceil(-late)), this, [this, run] {
                if (run == run_)
                    next();
            });
            return;
        }
        if (at_ == steps_.size())
            break;
        const PowerStep& step = steps_[at_];
        if (step.supply.isEmpty()) {
            plannedMsec_ += step.waitMsec;
        } else {
            // What this run switched on has to be there still.
            for (const QString& on : std::as_const(switchedOn_))
                if (const QString why = blockedWhy(on); !why.isEmpty())
                    return fail(QStringLiteral("%1 %2").arg(on, why));
            if (const QString why = blockedWhy(step.supply); !why.isEmpty())
                return fail(QStringLiteral("%1 %2").arg(step.supply, why));
            if (!supplyNamed(step.supply)->setOutput(step.on))
                return fail(tr("%1 refused to switch its output %2")
                                .arg(step.supply, step.on ? tr("on") : tr("off")));
            if (step.on && !switchedOn_.contains(step.supply))
                switchedOn_ << step.supply;
            else if (!step.on)
                switchedOn_.removeAll(step.supply);
        }
        const quint64 run = run_;
        emit stepTaken(int(at_));
        if (run != run_) // stopped or started again from the signal
            return;
        ++at_;
    }
    if (!running_)
        return;
    running_ = false;
    emit finished(true, {});
}

QString PowerSequencer::blockedWhy(const QString& name) const {
    const Supply* supply = supplyNamed(name);
    return !supply ? tr("is not on the bench") : supply->blocked();
}

void PowerSequencer::fail(const QString& why) {
    const int step = int(at_) + 1;
    running_ = false;
    ++run_;
    // Every supply the order names goes off, the latest step's first;
    // what cannot be reached is said if this run had switched it on.
    QStringList off, unreachable;
    for (auto s = steps_.crbegin(); s != steps_.crend(); ++s) {
        if (s->supply.isEmpty() || off.contains(s->supply) || unreachable.contains(s->supply))
            continue;
        const Supply* supply = supplyNamed(s->supply);
        if (supply && supply->setOutput(false))
            off << s->supply;
        else if (switchedOn_.contains(s->supply))
            unreachable << s->supply;
    }
    QString message = tr("The power order stopped at step %1: %2.").arg(step).arg(why);
    if (!off.isEmpty())
        message += tr(" Switched off: %1.").arg(off.join(QStringLiteral(", ")));
    if (!unreachable.isEmpty())
        message +=
            tr(" Could not be switched off: %1.").arg(unreachable.join(QStringLiteral(", ")));
    switchedOn_.clear();
    trace(message);
    emit finished(false, message);
}

} // namespace trq
