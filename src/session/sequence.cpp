#include "session/sequence.h"

#include "core/clock.h"
#include "core/numbers.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <functional>

namespace trq {

namespace {

// A number as a file has it: the shortest text that reads back the same.
QString numberText(double v) {
    return QString::number(v, 'g', 15);
}

// Seconds to whole milliseconds, rounded up: a step never holds shorter
// than it says.
std::optional<qint64> milliseconds(const QString& seconds) {
    const std::optional<double> s = parseNumber(seconds);
    if (!s || *s < 0 || *s > 1e9)
        return std::nullopt;
    return qint64(std::ceil(*s * 1000.0 - 1e-6));
}

QString secondsText(qint64 ms) {
    return numberText(double(ms) / 1000.0);
}

// One line's fields; a field in double quotes may hold commas.
QStringList fieldsOf(const QString& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('"')) {
            if (quoted && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"'))
                field += line.at(++i);
            else
                quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << field.trimmed();
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field.trimmed();
    return fields;
}

const char* const kColumns[] = {"step",    "channel", "voltage", "current", "output",
                                "dwell_s", "ramp",    "block",   "repeat",  "until"};
enum Column { Step, Channel, Voltage, Current, Output, Dwell, Ramp, Block, Repeat, Until };
constexpr int kRequired[] = {Channel, Voltage, Current, Output, Dwell};

} // namespace

std::variant<EndCondition, QString> EndCondition::parse(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*(V|I|Ah|Wh|t)\\s*([1-4]?)\\s*(<=|>=|<|>)\\s*([-+0-9.eE]+)\\s*(s?)"
                       "(?:\\s+for\\s+([0-9.]+)\\s*s)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    const std::optional<double> value = m.hasMatch() ? parseNumber(m.captured(4)) : std::nullopt;
    if (!value)
        return Sequence::tr("'%1' is not an end condition (e.g. \"I1<0.05 for 30s\").").arg(text);
    static const QStringList kNames{QStringLiteral("v"), QStringLiteral("i"), QStringLiteral("ah"),
                                    QStringLiteral("wh"), QStringLiteral("t")};
    EndCondition c;
    c.quantity = Quantity(kNames.indexOf(m.captured(1).toLower()));
    const bool timed = c.quantity == Quantity::Elapsed;
    if (timed == !m.captured(2).isEmpty() || (!timed && !m.captured(5).isEmpty()))
        return Sequence::tr("'%1': a channel belongs to V, I, Ah and Wh, seconds to t.").arg(text);
    c.channel = timed ? 1 : m.captured(2).toInt();
    c.above = m.captured(3).startsWith(QLatin1Char('>'));
    c.orEqual = m.captured(3).endsWith(QLatin1Char('='));
    c.value = *value;
    if (!m.captured(6).isEmpty()) {
        const std::optional<qint64> hold = milliseconds(m.captured(6));
        if (!hold)
            return Sequence::tr("'%1': the time it holds is not a number of seconds.").arg(text);
        c.holdMs = *hold;
    }
    return c;
}

QString EndCondition::text() const {
    static const char* const kNames[] = {"V", "I", "Ah", "Wh", "t"};
    QString t = QLatin1String(kNames[int(quantity)]);
    if (quantity != Quantity::Elapsed)
        t += QString::number(channel);
    t += QLatin1String(above ? ">" : "<") + QLatin1String(orEqual ? "=" : "") + numberText(value);
    if (quantity == Quantity::Elapsed)
        t += QLatin1Char('s');
    return t + QStringLiteral(" for %1s").arg(secondsText(holdMs));
}

int Sequence::repeatOf(const QString& block) const {
    const auto r = repeats.find(block);
    return r == repeats.end() ? 1 : r->second;
}

std::variant<Sequence, QString> Sequence::fromCsv(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xfeff))) // a spreadsheet's byte-order mark
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return tr("The file is empty: a sequence begins with a header line.");
    // Each column by name, in any order; a name not known is a typing error.
    std::array<int, std::size(kColumns)> at;
    at.fill(-1);
    const QStringList header = fieldsOf(lines.first());
    for (int i = 0; i < header.size(); ++i) {
        const QString name = header.at(i).toLower();
        const auto known = std::find_if(std::begin(kColumns), std::end(kColumns),
                                        [&](const char* c) { return name == QLatin1String(c); });
        if (known == std::end(kColumns) || at[std::size_t(known - std::begin(kColumns))] >= 0)
            return tr("Line 1: the column '%1' is unknown or twice.").arg(header.at(i));
        at[std::size_t(known - std::begin(kColumns))] = i;
    }
    for (int c : kRequired)
        if (at[std::size_t(c)] < 0)
            return tr("Line 1: the column '%1' is missing.").arg(QLatin1String(kColumns[c]));

    Sequence s;
    std::optional<QString> lastStep;
    QSet<QString> closed; // blocks left behind: one may not come back
    QString openBlock;
    std::map<QString, int> counted; // each block's count as first given
    for (int n = 1; n < lines.size(); ++n) {
        const QStringList fields = fieldsOf(lines.at(n));
        // Blank rows, also a spreadsheet's rows of commas, are no step.
        if (std::all_of(fields.begin(), fields.end(), [](const QString& f) { return f.isEmpty(); }))
            continue;
        auto field = [&](Column c) { return at[c] < 0 ? QString() : fields.value(at[c]); };
        auto refuse = [&](const QString& why) { return tr("Line %1: %2").arg(n + 1).arg(why); };
        ChannelSetting set;
        const std::optional<double> channel = parseNumber(field(Channel));
        if (!channel || *channel != std::floor(*channel) || *channel < 1 || *channel > 4)
            return refuse(tr("the channel is 1 to 4."));
        set.channel = int(*channel);
        for (auto [column, value] : {std::pair{Voltage, &set.voltage}, {Current, &set.current}})
            if (!field(column).isEmpty() && !(*value = parseNumber(field(column))))
                return refuse(tr("'%1' is not a number.").arg(field(column)));
        const QString output = field(Output).toLower();
        if (output == QLatin1String("on") || output == QLatin1String("off"))
            set.output = output == QLatin1String("on");
        else if (!output.isEmpty())
            return refuse(tr("the output is on, off or empty."));
        SequenceStep step;
        const std::optional<qint64> dwell = milliseconds(field(Dwell));
        if (!dwell)
            return refuse(tr("dwell_s is a number of seconds."));
        step.dwellMs = *dwell;
        const QString ramp = field(Ramp).toLower();
        if (!QStringList{"", "no", "0", "yes", "1"}.contains(ramp))
            return refuse(tr("ramp is yes or no."));
        step.ramp = ramp == QLatin1String("yes") || ramp == QLatin1String("1");
        step.block = field(Block);
        if (!field(Until).isEmpty()) {
            std::variant<EndCondition, QString> until = EndCondition::parse(field(Until));
            if (auto* why = std::get_if<QString>(&until))
                return refuse(*why);
            step.until = std::get<EndCondition>(until);
        }
        // Rows of one step number are one step: they agree on all but the
        // channel's values.
        const QString number = field(Step);
        if (at[Step] >= 0 && number.isEmpty())
            return refuse(tr("the step number is missing."));
        if (at[Step] >= 0 && lastStep == number) {
            SequenceStep& same = s.steps.back();
            if (same.dwellMs != step.dwellMs || same.ramp != step.ramp ||
                same.block != step.block || same.until != step.until)
                return refuse(
                    tr("the rows of step %1 differ in dwell, ramp, block or until.").arg(number));
            if (std::any_of(same.channels.begin(), same.channels.end(),
                            [&](const ChannelSetting& c) { return c.channel == set.channel; }))
                return refuse(tr("step %1 sets channel %2 twice.").arg(number).arg(set.channel));
            // The output is the supply's, one switch for every channel.
            if (set.output && std::any_of(same.channels.begin(), same.channels.end(),
                                          [&](const ChannelSetting& c) {
                                              return c.output && *c.output != *set.output;
                                          }))
                return refuse(tr("step %1 switches the output on and off: it is one switch for "
                                 "the supply.")
                                  .arg(number));
            same.channels.push_back(set);
        } else {
            if (int(s.steps.size()) == kMaxSteps)
                return refuse(tr("a sequence has at most %1 steps.").arg(kMaxSteps));
            // A block's steps stand together, inside its outer blocks'.
            if (step.block != openBlock) {
                QString left = openBlock;
                while (!left.isEmpty() &&
                       !(step.block + QLatin1Char('/')).startsWith(left + QLatin1Char('/'))) {
                    closed.insert(left);
                    left = left.section(QLatin1Char('/'), 0, -2);
                }
                for (QString b = step.block; !b.isEmpty(); b = b.section(QLatin1Char('/'), 0, -2))
                    if (closed.contains(b))
                        return refuse(tr("the block '%1' is not in one piece.").arg(b));
                openBlock = step.block;
            }
            step.channels.push_back(set);
            s.steps.push_back(step);
            lastStep = number;
        }
        if (!field(Repeat).isEmpty()) {
            const QStringList paths = step.block.split(QLatin1Char('/'));
            const QStringList counts = field(Repeat).split(QLatin1Char('/'));
            if (step.block.isEmpty() || (counts.size() != 1 && counts.size() != paths.size()))
                return refuse(tr("repeat gives a count for each of the row's blocks, or for the "
                                 "innermost."));
            for (qsizetype k = 0; k < counts.size(); ++k) {
                const QString path =
                    step.block.section(QLatin1Char('/'), 0, int(paths.size() - counts.size() + k));
                const std::optional<double> times = parseNumber(counts.at(k));
                if (!times || *times != std::floor(*times) || *times < 1 || *times > 1e6)
                    return refuse(tr("repeat is a whole number of times, 1 or more."));
                const auto [kept, first] = counted.emplace(path, int(*times));
                if (!first && kept->second != int(*times))
                    return refuse(tr("the block '%1' repeats %2 times, not %3.")
                                      .arg(path)
                                      .arg(kept->second)
                                      .arg(int(*times)));
                if (*times > 1)
                    s.repeats[path] = int(*times);
            }
        }
    }
    if (s.steps.empty())
        return tr("The file has no step.");
    return s;
}

QByteArray Sequence::toCsv() const {
    const bool many = std::any_of(steps.begin(), steps.end(),
                                  [](const SequenceStep& st) { return st.channels.size() > 1; });
    const bool ramps =
        std::any_of(steps.begin(), steps.end(), [](const SequenceStep& st) { return st.ramp; });
    const bool blocks = std::any_of(steps.begin(), steps.end(),
                                    [](const SequenceStep& st) { return !st.block.isEmpty(); });
    const bool untils = std::any_of(steps.begin(), steps.end(),
                                    [](const SequenceStep& st) { return st.until.has_value(); });
    QStringList header;
    for (int c = 0; c < int(std::size(kColumns)); ++c)
        if ((c != Step || many) && (c != Ramp || ramps) &&
            ((c != Block && c != Repeat) || blocks) && (c != Until || untils))
            header << QLatin1String(kColumns[c]);
    QStringList lines{header.join(QLatin1Char(','))};
    QSet<QString> repeated;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const SequenceStep& st = steps[i];
        for (const ChannelSetting& set : st.channels) {
            QStringList row;
            auto optional = [](const std::optional<double>& v) {
                return v ? numberText(*v) : QString();
            };
            // Each block's counts on its first row, outermost first.
            QStringList counts;
            bool other = false;
            for (int k = 0; !st.block.isEmpty() && k <= int(st.block.count(QLatin1Char('/')));
                 ++k) {
                const int times = repeatOf(st.block.section(QLatin1Char('/'), 0, k));
                counts << QString::number(times);
                other = other || times != 1;
            }
            const QString repeat =
                other && !repeated.contains(st.block) ? counts.join(QLatin1Char('/')) : QString();
            if (!st.block.isEmpty())
                repeated.insert(st.block);
            const QString values[] = {QString::number(i + 1),
                                      QString::number(set.channel),
                                      optional(set.voltage),
                                      optional(set.current),
                                      set.output ? QLatin1String(*set.output ? "on" : "off")
                                                 : QString(),
                                      secondsText(st.dwellMs),
                                      QLatin1String(st.ramp ? "yes" : "no"),
                                      st.block,
                                      repeat,
                                      st.until ? st.until->text() : QString()};
            for (const QString& name : header) {
                const auto c =
                    std::find_if(std::begin(kColumns), std::end(kColumns),
                                 [&](const char* k) { return name == QLatin1String(k); });
                row << values[c - std::begin(kColumns)];
            }
            lines << row.join(QLatin1Char(','));
        }
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

std::optional<QString> Sequence::refusal(const SequenceLimits& limits) const {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const SequenceStep& st = steps[i];
        auto refuse = [&](const QString& why) { return tr("Step %1: %2").arg(i + 1).arg(why); };
        for (const ChannelSetting& set : st.channels) {
            const auto c = std::size_t(set.channel - 1);
            if (set.channel > limits.channels)
                return refuse(tr("the supply has no channel %1.").arg(set.channel));
            if (set.voltage && (*set.voltage < 0 || *set.voltage > limits.maxVolt[c]))
                return refuse(tr("%1 V on channel %2 is beyond 0 to %3 V.")
                                  .arg(*set.voltage)
                                  .arg(set.channel)
                                  .arg(limits.maxVolt[c]));
            if (set.current && (*set.current < 0 || *set.current > limits.maxCurr[c]))
                return refuse(tr("%1 A on channel %2 is beyond 0 to %3 A.")
                                  .arg(*set.current)
                                  .arg(set.channel)
                                  .arg(limits.maxCurr[c]));
        }
        if (st.until && st.until->quantity != EndCondition::Quantity::Elapsed &&
            st.until->channel > limits.channels)
            return refuse(tr("the supply has no channel %1 to watch.").arg(st.until->channel));
        if (st.ramp && st.dwellMs == 0)
            return refuse(tr("a ramp needs a dwell to ramp over."));
    }
    return std::nullopt;
}

std::vector<int> Sequence::runOrder(std::size_t limit) const {
    std::vector<int> order;
    SequenceCursor cursor(*this);
    for (int step = cursor.next(); step >= 0 && order.size() < limit; step = cursor.next())
        order.push_back(step);
    return order;
}

SequenceCursor::SequenceCursor(const Sequence& sequence) : sequence_(sequence) {
    frames_.push_back({0, int(sequence.steps.size()), 0, 1, 0, 0});
}

int SequenceCursor::next() {
    while (!frames_.empty()) {
        Frame& f = frames_.back();
        if (f.at >= f.end) {
            if (++f.pass < f.passes) {
                f.at = f.first;
                continue;
            }
            frames_.pop_back();
            continue;
        }
        const QString& block = sequence_.steps[std::size_t(f.at)].block;
        if (block.isEmpty() || block.count(QLatin1Char('/')) < f.depth)
            return f.at++;
        // A block at this depth: its steps in a row, as often as it runs.
        const QString path = block.section(QLatin1Char('/'), 0, f.depth);
        int end = f.at;
        while (end < f.end && sequence_.steps[std::size_t(end)].block.section(QLatin1Char('/'), 0,
                                                                              f.depth) == path)
            ++end;
        const Frame inner{f.at, end, f.depth + 1, sequence_.repeatOf(path), 0, f.at};
        f.at = end;
        frames_.push_back(inner);
    }
    return -1;
}

SequencePlan::SequencePlan(const Sequence& sequence, qint64 tickMs, const Values& start)
    : sequence_(sequence), cursor_(sequence), tickMs_(std::max<qint64>(tickMs, 1)), values_(start) {
}

const PlannedMoment* SequencePlan::peek() {
    if (!pending_)
        pending_ = plan();
    return pending_ ? &*pending_ : nullptr;
}

void SequencePlan::take() {
    if (!pending_)
        return;
    for (const PlannedSet& set : pending_->sets)
        if (set.what != PlannedSet::What::Output)
            values_[std::size_t(set.channel - 1)][set.what == PlannedSet::What::Voltage ? 0 : 1] =
                set.value;
    pending_.reset();
}

std::optional<PlannedMoment> SequencePlan::next() {
    const PlannedMoment* m = peek();
    if (!m)
        return std::nullopt;
    PlannedMoment moment = *m;
    take();
    return moment;
}

std::optional<PlannedMoment> SequencePlan::plan() {
    // The running step's ramp: its next increment, while the step lasts.
    if (step_ >= 0 && rampAt_ > 0 && rampAt_ <= stepEnd_) {
        const SequenceStep& st = sequence_.steps[std::size_t(step_)];
        PlannedMoment m{rampAt_, step_, false, {}};
        const double share = double(rampAt_ - stepStart_) / double(stepEnd_ - stepStart_);
        for (const ChannelSetting& set : st.channels) {
            const auto c = std::size_t(set.channel - 1);
            for (auto [value, q] : {std::pair{set.voltage, 0}, {set.current, 1}}) {
                if (!value)
                    continue;
                // The last increment is the step's own value, not a sum.
                const double from = from_[c][std::size_t(q)];
                m.sets.push_back({set.channel,
                                  q == 0 ? PlannedSet::What::Voltage : PlannedSet::What::Current,
                                  share >= 1 ? *value : from + (*value - from) * share});
            }
        }
        rampAt_ = rampAt_ == stepEnd_ ? 0 : std::min(rampAt_ + tickMs_, stepEnd_);
        return m;
    }
    const int step = cursor_.next();
    if (step < 0)
        return std::nullopt;
    const SequenceStep& st = sequence_.steps[std::size_t(step)];
    step_ = step;
    stepStart_ = stepEnd_;
    stepEnd_ = stepStart_ + st.dwellMs;
    from_ = values_;
    PlannedMoment m{stepStart_, step, true, {}};
    // An output goes on after its new values and off before them: it is
    // never on with the values of the step before.
    std::vector<PlannedSet> on;
    for (const ChannelSetting& set : st.channels) {
        if (set.output && *set.output)
            on.push_back({set.channel, PlannedSet::What::Output, 1.0});
        else if (set.output)
            m.sets.push_back({set.channel, PlannedSet::What::Output, 0.0});
    }
    for (const ChannelSetting& set : st.channels) {
        if (st.ramp && st.dwellMs > 0)
            continue; // they ramp from here
        for (auto [value, q] : {std::pair{set.voltage, 0}, {set.current, 1}})
            if (value)
                m.sets.push_back({set.channel,
                                  q == 0 ? PlannedSet::What::Voltage : PlannedSet::What::Current,
                                  *value});
    }
    m.sets.insert(m.sets.end(), on.begin(), on.end());
    rampAt_ = st.ramp && st.dwellMs > 0 ? std::min(stepStart_ + tickMs_, stepEnd_) : 0;
    return m;
}

void SequencePlan::endStepAt(qint64 atMs) {
    if (pending_ && pending_->stepStarts) {
        // The next step's start is planned already: it moves to then.
        const qint64 at = std::min(atMs, stepStart_);
        stepEnd_ += at - stepStart_;
        if (rampAt_ > 0)
            rampAt_ += at - stepStart_;
        stepStart_ = at;
        pending_->atMs = at;
        return;
    }
    pending_.reset(); // the rest of the ramp is not sent
    stepEnd_ = std::clamp(atMs, stepStart_, stepEnd_);
    rampAt_ = 0;
}

SequenceRunner::SequenceRunner(Target target, const Clock& clock, Waiter& waiter, QObject* parent)
    : QObject(parent), target_(std::move(target)), clock_(clock), waiter_(waiter) {}

qint64 SequenceRunner::elapsedMsec() const {
    return qint64(std::floor(clock_.nowSec() * 1000.0 - startMsec_));
}

void SequenceRunner::run(const Sequence& sequence, qint64 tickMs, const SequencePlan::Values& start,
                         bool holdAtEnd) {
    ++run_;
    sequence_ = &sequence;
    plan_.emplace(sequence, tickMs, start);
    holdAtEnd_ = holdAtEnd;
    step_ = -1;
    holdingSince_.reset();
    startMsec_ = clock_.nowSec() * 1000.0;
    state_ = State::Running;
    emit stateChanged(state_);
    next();
}

void SequenceRunner::pause() {
    if (state_ != State::Running)
        return;
    ++run_;
    pausedAtMsec_ = clock_.nowSec() * 1000.0;
    state_ = State::Paused;
    emit stateChanged(state_);
}

void SequenceRunner::resume() {
    if (state_ != State::Paused)
        return;
    // The plan moves on by the pause: the step keeps what was left of it.
    startMsec_ += clock_.nowSec() * 1000.0 - pausedAtMsec_;
    holdingSince_.reset();
    state_ = State::Running;
    emit stateChanged(state_);
    next();
}

void SequenceRunner::stop(const QString& why) {
    if (state_ == State::Running || state_ == State::Paused)
        end(State::Stopped, why);
}

void SequenceRunner::end(State state, const QString& message) {
    ++run_;
    state_ = state;
    if (state == State::Stopped || !holdAtEnd_)
        target_.allOff();
    emit stateChanged(state_);
    emit finished(state == State::Done, message);
}

void SequenceRunner::next() {
    while (state_ == State::Running) {
        // The next moment, or after the last the last step's end.
        const PlannedMoment* due = plan_->peek();
        const qint64 at = due ? due->atMs : plan_->endMs();
        // A step that ends after a time needs no reading to end it (the
        // poll rests while the output is off).
        const std::optional<qint64> timed = timeConditionAt();
        const qint64 wait = std::min(at, timed.value_or(at)) - elapsedMsec();
        if (wait > 0) {
            const quint64 run = run_;
            waiter_.after(int(std::min<qint64>(wait, 1 << 30)), this, [this, run] {
                if (run != run_)
                    return;
                readingsArrived();
                if (run == run_)
                    next();
            });
            return;
        }
        if (timed && *timed <= elapsedMsec() && (!due || *timed < at)) {
            const quint64 run = run_;
            readingsArrived(); // ends the step, or starts the time it must hold
            if (run != run_)
                return;
            continue;
        }
        if (!due)
            return end(State::Done, {});
        if (const QString why = target_.blocked(); !why.isEmpty())
            return end(State::Stopped, tr("Step %1: the supply %2.").arg(due->step + 1).arg(why));
        // Taken before it goes out: what a setting sets off (readings
        // blanked by the output) finds the plan as it is.
        const PlannedMoment moment = *due;
        plan_->take();
        const quint64 run = run_;
        sending_ = true;
        for (const PlannedSet& set : moment.sets)
            if (!target_.set(set)) {
                sending_ = false;
                return end(State::Stopped,
                           tr("Step %1: the supply refused a setting.").arg(moment.step + 1));
            }
        sending_ = false;
        if (run != run_)
            return;
        if (moment.stepStarts) {
            step_ = moment.step;
            stepStartMsec_ = moment.atMs;
            holdingSince_.reset();
            const std::optional<EndCondition>& until = sequence_->steps[std::size_t(step_)].until;
            stepCounter_ = until && (until->quantity == EndCondition::Quantity::Charge ||
                                     until->quantity == EndCondition::Quantity::Energy)
                               ? target_.reading(until->quantity, until->channel)
                               : std::nullopt;
            emit stepStarted(step_);
            if (run != run_)
                return;
        }
    }
}

std::optional<qint64> SequenceRunner::timeConditionAt() const {
    if (step_ < 0 || !sequence_)
        return std::nullopt;
    const std::optional<EndCondition>& until = sequence_->steps[std::size_t(step_)].until;
    if (!until || until->quantity != EndCondition::Quantity::Elapsed || !until->above)
        return std::nullopt;
    // When the time first holds, then once it has held for its time.
    const qint64 holds =
        stepStartMsec_ + qint64(std::ceil(until->value * 1000.0)) + (until->orEqual ? 0 : 1);
    return holdingSince_ ? std::max(holds, *holdingSince_ + until->holdMs) : holds;
}

void SequenceRunner::readingsArrived() {
    if (state_ != State::Running || step_ < 0 || sending_)
        return;
    const std::optional<EndCondition>& until = sequence_->steps[std::size_t(step_)].until;
    if (!until)
        return;
    using Q = EndCondition::Quantity;
    const qint64 now = elapsedMsec();
    std::optional<double> value = until->quantity == Q::Elapsed
                                      ? std::optional<double>(double(now - stepStartMsec_) / 1000.0)
                                      : target_.reading(until->quantity, until->channel);
    // Charge and energy count from the step's beginning.
    if (value && (until->quantity == Q::Charge || until->quantity == Q::Energy))
        value = stepCounter_ ? std::optional<double>(*value - *stepCounter_) : std::nullopt;
    const bool holds =
        value && (until->above ? (until->orEqual ? *value >= until->value : *value > until->value)
                               : (until->orEqual ? *value <= until->value : *value < until->value));
    if (!holds) {
        holdingSince_.reset();
        return;
    }
    if (!holdingSince_)
        holdingSince_ = now;
    if (now - *holdingSince_ < until->holdMs)
        return;
    // It held long enough: the step ends now and the plan goes on from here.
    ++run_;
    plan_->endStepAt(now);
    next();
}

} // namespace trq
