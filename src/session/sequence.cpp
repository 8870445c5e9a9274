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

using sequencecsv::Column;
using sequencecsv::kColumns;
using enum sequencecsv::Column;
constexpr int kRequired[] = {Channel, Voltage, Current, Output, Dwell};

} // namespace

QStringList sequencecsv::fields(const QString& line) {
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

QString sequencecsv::written(const QString& field) {
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

std::variant<EndCondition, QString> EndCondition::parse(const QString& written) {
    // "fail:" first, then a supply's name, before the condition itself.
    QString text = written.trimmed();
    bool failure = false;
    if (text.startsWith(QLatin1String("fail:"), Qt::CaseInsensitive)) {
        failure = true;
        text = text.mid(5).trimmed();
    }
    QString supply;
    if (const qsizetype colon = text.indexOf(QLatin1Char(':')); colon >= 0) {
        supply = text.left(colon).trimmed();
        text = text.mid(colon + 1);
        if (supply.isEmpty())
            return Sequence::tr("'%1': a supply's name goes before the colon.").arg(written);
    }
    static const QRegularExpression form(
        QStringLiteral("^\\s*(V|I|Ah|Wh|t)\\s*([1-4]?)\\s*(<=|>=|<|>)\\s*([-+0-9.eE]+)\\s*(s?)"
                       "(?:\\s+for\\s+([0-9.]+)\\s*s)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    const std::optional<double> value = m.hasMatch() ? parseNumber(m.captured(4)) : std::nullopt;
    if (!value)
        return Sequence::tr("'%1' is not an end condition (e.g. \"I1<0.05 for 30s\").")
            .arg(written);
    static const QStringList kNames{QStringLiteral("v"), QStringLiteral("i"), QStringLiteral("ah"),
                                    QStringLiteral("wh"), QStringLiteral("t")};
    EndCondition c;
    c.failure = failure;
    c.supply = supply;
    c.quantity = Quantity(kNames.indexOf(m.captured(1).toLower()));
    const bool timed = c.quantity == Quantity::Elapsed;
    if (timed == !m.captured(2).isEmpty() || (!timed && !m.captured(5).isEmpty()))
        return Sequence::tr("'%1': a channel belongs to V, I, Ah and Wh, seconds to t.")
            .arg(written);
    c.channel = timed ? 1 : m.captured(2).toInt();
    c.above = m.captured(3).startsWith(QLatin1Char('>'));
    c.orEqual = m.captured(3).endsWith(QLatin1Char('='));
    c.value = *value;
    if (!m.captured(6).isEmpty()) {
        const std::optional<qint64> hold = milliseconds(m.captured(6));
        if (!hold)
            return Sequence::tr("'%1': the time it holds is not a number of seconds.").arg(written);
        c.holdMs = *hold;
    }
    return c;
}

QString EndCondition::text() const {
    static const char* const kNames[] = {"V", "I", "Ah", "Wh", "t"};
    QString t = QLatin1String(failure ? "fail:" : "");
    if (!supply.isEmpty())
        t += supply + QLatin1Char(':');
    t += QLatin1String(kNames[int(quantity)]);
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
    const QStringList header = sequencecsv::fields(lines.first());
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
        const QStringList fields = sequencecsv::fields(lines.at(n));
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
        set.supply = field(Supply);
        if (set.supply.contains(QLatin1Char(':')))
            return refuse(tr("a supply's name has no colon."));
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
        if (!field(SequenceUntil).isEmpty()) {
            std::variant<EndCondition, QString> until = EndCondition::parse(field(SequenceUntil));
            if (auto* why = std::get_if<QString>(&until))
                return refuse(*why);
            s.endConditions.push_back(std::get<EndCondition>(until));
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
                            [&](const ChannelSetting& c) {
                                return c.channel == set.channel && c.supply == set.supply;
                            }))
                return refuse(tr("step %1 sets channel %2 twice.").arg(number).arg(set.channel));
            // The output is the supply's, one switch for every channel.
            if (set.output && std::any_of(same.channels.begin(), same.channels.end(),
                                          [&](const ChannelSetting& c) {
                                              return c.supply == set.supply && c.output &&
                                                     *c.output != *set.output;
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
    const bool others = !supplies().isEmpty();
    QStringList header;
    for (int c = 0; c < int(std::size(kColumns)); ++c)
        if ((c != Step || many) && (c != Supply || others) && (c != Ramp || ramps) &&
            ((c != Block && c != Repeat) || blocks) && (c != Until || untils) &&
            (c != SequenceUntil || !endConditions.empty()))
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
            const std::size_t written = std::size_t(lines.size() - 1);
            const QString values[] = {
                QString::number(i + 1),
                set.supply,
                QString::number(set.channel),
                optional(set.voltage),
                optional(set.current),
                set.output ? QLatin1String(*set.output ? "on" : "off") : QString(),
                secondsText(st.dwellMs),
                QLatin1String(st.ramp ? "yes" : "no"),
                st.block,
                repeat,
                st.until ? st.until->text() : QString(),
                written < endConditions.size() ? endConditions[written].text() : QString()};
            for (const QString& name : header) {
                const auto c =
                    std::find_if(std::begin(kColumns), std::end(kColumns),
                                 [&](const char* k) { return name == QLatin1String(k); });
                row << sequencecsv::written(values[c - std::begin(kColumns)]);
            }
            lines << row.join(QLatin1Char(','));
        }
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

std::optional<QString> Sequence::refusal(const SequenceLimits& limits) const {
    return refusal(std::map<QString, SequenceLimits>{{QString(), limits}});
}

std::optional<QString> Sequence::refusal(const std::map<QString, SequenceLimits>& bench) const {
    // The supply's limits, or why it has none.
    auto limitsOf = [&](const QString& supply) -> std::variant<SequenceLimits, QString> {
        const auto l = bench.find(supply);
        if (l == bench.end())
            return tr("there is no supply '%1' on the bench.").arg(supply);
        return l->second;
    };
    auto watchable = [&](const EndCondition& c) -> std::optional<QString> {
        std::variant<SequenceLimits, QString> limits = limitsOf(c.supply);
        if (const QString* why = std::get_if<QString>(&limits))
            return *why;
        if (c.quantity != EndCondition::Quantity::Elapsed &&
            c.channel > std::get<SequenceLimits>(limits).channels)
            return tr("the supply has no channel %1 to watch.").arg(c.channel);
        return std::nullopt;
    };
    // Each supply's output as the steps before left it, where they switched it.
    std::map<QString, bool> outputs;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const SequenceStep& st = steps[i];
        auto refuse = [&](const QString& why) { return tr("Step %1: %2").arg(i + 1).arg(why); };
        for (const ChannelSetting& set : st.channels) {
            std::variant<SequenceLimits, QString> found = limitsOf(set.supply);
            if (const QString* why = std::get_if<QString>(&found))
                return refuse(*why);
            const SequenceLimits& limits = std::get<SequenceLimits>(found);
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
            for (auto [value, user, unit] : {std::tuple{set.voltage, limits.userVolt[c], "V"},
                                             std::tuple{set.current, limits.userCurr[c], "A"}})
                if (value && user && *value > *user)
                    return refuse(tr("%1 %2 on channel %3 is above the limit of %4 %2 set for it.")
                                      .arg(*value)
                                      .arg(QLatin1String(unit))
                                      .arg(set.channel)
                                      .arg(*user));
        }
        for (const ChannelSetting& set : st.channels)
            if (set.output)
                outputs[set.supply] = *set.output;
        if (st.until)
            if (std::optional<QString> why = watchable(*st.until))
                return refuse(*why);
        // With the output off nothing is measured or counted: such a
        // condition would never hold.
        if (st.until && st.until->quantity != EndCondition::Quantity::Elapsed &&
            outputs.contains(st.until->supply) && !outputs[st.until->supply])
            return refuse(
                tr("the output is off, so '%1' is never measured.").arg(st.until->text()));
        if (st.ramp && st.dwellMs == 0)
            return refuse(tr("a ramp needs a dwell to ramp over."));
    }
    for (const EndCondition& c : endConditions)
        if (std::optional<QString> why = watchable(c))
            return tr("The condition '%1': %2").arg(c.text(), *why);
    return std::nullopt;
}

QStringList Sequence::supplies() const {
    QStringList names;
    auto note = [&](const QString& name) {
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    };
    for (const SequenceStep& st : steps) {
        for (const ChannelSetting& set : st.channels)
            note(set.supply);
        if (st.until)
            note(st.until->supply);
    }
    for (const EndCondition& c : endConditions)
        note(c.supply);
    return names;
}

QString Sequence::describe(int step) const {
    QStringList parts;
    for (const ChannelSetting& set : steps[std::size_t(step)].channels) {
        QString part = set.supply.isEmpty() ? QString() : set.supply + QLatin1Char(' ');
        part += QStringLiteral("CH%1").arg(set.channel);
        if (set.voltage)
            part += QStringLiteral(" %L1 V").arg(*set.voltage);
        if (set.current)
            part += QStringLiteral(" %L1 A").arg(*set.current);
        if (set.output)
            part += QLatin1String(*set.output ? " on" : " off");
        parts << part;
    }
    return parts.join(QStringLiteral(", "));
}

namespace {

// Steps and planned time of steps [first, end) inside blocks of depth, each
// block as often as it runs.
std::pair<qint64, qint64> span(const Sequence& s, int first, int end, int depth) {
    qint64 count = 0, ms = 0;
    for (int at = first; at < end;) {
        const QString& block = s.steps[std::size_t(at)].block;
        if (block.isEmpty() || block.count(QLatin1Char('/')) < depth) {
            ++count;
            ms += s.steps[std::size_t(at)].dwellMs;
            ++at;
            continue;
        }
        const QString path = block.section(QLatin1Char('/'), 0, depth);
        int blockEnd = at;
        while (blockEnd < end &&
               s.steps[std::size_t(blockEnd)].block.section(QLatin1Char('/'), 0, depth) == path)
            ++blockEnd;
        const auto [c, t] = span(s, at, blockEnd, depth + 1);
        count += c * s.repeatOf(path);
        ms += t * s.repeatOf(path);
        at = blockEnd;
    }
    return {count, ms};
}

} // namespace

qint64 Sequence::runLength() const {
    return span(*this, 0, int(steps.size()), 0).first;
}

qint64 Sequence::plannedMs() const {
    return span(*this, 0, int(steps.size()), 0).second;
}

bool Sequence::conditional() const {
    return !endConditions.empty() ||
           std::any_of(steps.begin(), steps.end(),
                       [](const SequenceStep& st) { return st.until.has_value(); });
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

std::vector<SequenceCursor::BlockPass> SequenceCursor::passes() const {
    std::vector<BlockPass> blocks;
    for (std::size_t k = 1; k < frames_.size(); ++k) {
        const Frame& f = frames_[k];
        blocks.push_back(
            {sequence_.steps[std::size_t(f.first)].block.section(QLatin1Char('/'), 0, f.depth - 1),
             f.pass + 1, f.passes});
    }
    return blocks;
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
            values_[set.supply][std::size_t(set.channel - 1)]
                   [set.what == PlannedSet::What::Voltage ? 0 : 1] = set.value;
    if (pending_->stepStarts)
        passes_ = std::move(pendingPasses_);
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
                const double from = from_[set.supply][c][std::size_t(q)];
                m.sets.push_back(
                    {set.channel, q == 0 ? PlannedSet::What::Voltage : PlannedSet::What::Current,
                     share >= 1 ? *value : from + (*value - from) * share, set.supply});
            }
        }
        rampAt_ = rampAt_ == stepEnd_ ? 0 : std::min(rampAt_ + tickMs_, stepEnd_);
        return m;
    }
    const int step = cursor_.next();
    if (step < 0)
        return std::nullopt;
    const SequenceStep& st = sequence_.steps[std::size_t(step)];
    pendingPasses_ = cursor_.passes();
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
            on.push_back({set.channel, PlannedSet::What::Output, 1.0, set.supply});
        else if (set.output)
            m.sets.push_back({set.channel, PlannedSet::What::Output, 0.0, set.supply});
    }
    for (const ChannelSetting& set : st.channels) {
        if (st.ramp && st.dwellMs > 0)
            continue; // they ramp from here
        for (auto [value, q] : {std::pair{set.voltage, 0}, {set.current, 1}})
            if (value)
                m.sets.push_back({set.channel,
                                  q == 0 ? PlannedSet::What::Voltage : PlannedSet::What::Current,
                                  *value, set.supply});
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

namespace {

bool counts(const EndCondition& c) {
    return c.quantity == EndCondition::Quantity::Charge ||
           c.quantity == EndCondition::Quantity::Energy;
}

} // namespace

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
    stepsRun_ = 0;
    stepsTotal_ = sequence.runLength();
    plannedMs_ = sequence.plannedMs();
    conditional_ = sequence.conditional();
    passes_.clear();
    counters_.clear();
    holdingSince_.reset();
    runHoldingSince_.assign(sequence.endConditions.size(), std::nullopt);
    startMsec_ = clock_.nowSec() * 1000.0;
    // The run's charge and energy count from here.
    for (const EndCondition& c : sequence.endConditions)
        if (counts(c))
            delivered(c, true);
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
    std::fill(runHoldingSince_.begin(), runHoldingSince_.end(), std::nullopt);
    state_ = State::Running;
    emit stateChanged(state_);
    next();
}

void SequenceRunner::stop(const QString& why) {
    if (state_ == State::Running || state_ == State::Paused)
        end(State::Stopped, why);
}

SequenceRunner::Progress SequenceRunner::progress() const {
    Progress p{stepsRun_, stepsTotal_, passes_, 0, std::nullopt};
    switch (state_) {
    case State::Idle:
        return p;
    case State::Running:
        p.elapsedMs = std::max<qint64>(0, elapsedMsec());
        break;
    case State::Paused:
        p.elapsedMs = qint64(std::floor(pausedAtMsec_ - startMsec_));
        break;
    case State::Done:
    case State::Stopped:
        p.elapsedMs = endedMs_;
        break;
    }
    if (!conditional_)
        p.leftMs = state_ == State::Done || state_ == State::Stopped
                       ? 0
                       : std::max<qint64>(0, plannedMs_ - p.elapsedMs);
    return p;
}

void SequenceRunner::end(State state, const QString& message) {
    ++run_;
    endedMs_ =
        state_ == State::Paused ? qint64(std::floor(pausedAtMsec_ - startMsec_)) : elapsedMsec();
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
        for (const PlannedSet& set : moment.sets) {
            if (!target_.set(set)) {
                sending_ = false;
                return end(State::Stopped,
                           tr("Step %1: the supply refused a setting.").arg(moment.step + 1));
            }
            // Ended by what the setting set off: nothing after its outputs-off.
            if (state_ == State::Stopped || state_ == State::Done) {
                sending_ = false;
                return;
            }
        }
        sending_ = false;
        if (run != run_)
            return;
        if (moment.stepStarts) {
            step_ = moment.step;
            ++stepsRun_;
            passes_ = plan_->passes();
            stepStartMsec_ = moment.atMs;
            holdingSince_.reset();
            // The step's charge and energy count from here.
            std::erase_if(counters_, [](const auto& c) { return !std::get<0>(c.first); });
            const std::optional<EndCondition>& until = sequence_->steps[std::size_t(step_)].until;
            if (until && counts(*until))
                delivered(*until, false);
            emit stepStarted(step_);
            if (run != run_)
                return;
        }
    }
}

std::vector<SequenceRunner::Watch> SequenceRunner::watched() {
    std::vector<Watch> list;
    if (step_ >= 0)
        if (const std::optional<EndCondition>& until = sequence_->steps[std::size_t(step_)].until)
            list.push_back({&*until, &holdingSince_, false});
    for (std::size_t k = 0; k < sequence_->endConditions.size(); ++k)
        list.push_back({&sequence_->endConditions[k], &runHoldingSince_[k], true});
    return list;
}

std::optional<qint64> SequenceRunner::timeConditionAt() {
    if (!sequence_)
        return std::nullopt;
    std::optional<qint64> first;
    for (const Watch& w : watched()) {
        const EndCondition& c = *w.condition;
        if (c.quantity != EndCondition::Quantity::Elapsed || !c.above)
            continue;
        // When the time first holds, then once it has held for its time.
        const qint64 holds = (w.wholeRun ? 0 : stepStartMsec_) +
                             qint64(std::ceil(c.value * 1000.0)) + (c.orEqual ? 0 : 1);
        const qint64 at = *w.holdingSince ? std::max(holds, **w.holdingSince + c.holdMs) : holds;
        first = std::min(first.value_or(at), at);
    }
    return first;
}

std::optional<double> SequenceRunner::delivered(const EndCondition& c, bool wholeRun) {
    const std::optional<double> value = target_.reading(c.quantity, c.supply, c.channel);
    if (!value)
        return std::nullopt;
    Counter& k = counters_[{wholeRun, int(c.quantity), c.supply, c.channel}];
    if (!k.base)
        k.base = value; // counted from its first reading
    else if (*value < *k.last) {
        // Reset on the way: what it had counted is kept, it counts again from 0.
        k.carried += *k.last - *k.base;
        k.base = 0.0;
    }
    k.last = value;
    return k.carried + *value - *k.base;
}

void SequenceRunner::readingsArrived() {
    if (state_ != State::Running || sending_ || !sequence_)
        return;
    using Q = EndCondition::Quantity;
    const qint64 now = elapsedMsec();
    for (const Watch& w : watched()) {
        const EndCondition& c = *w.condition;
        if (!w.wholeRun && step_ < 0)
            continue;
        std::optional<double> value;
        switch (c.quantity) {
        case Q::Elapsed:
            value = double(now - (w.wholeRun ? 0 : stepStartMsec_)) / 1000.0;
            break;
        case Q::Charge:
        case Q::Energy:
            value = delivered(c, w.wholeRun);
            break;
        case Q::Voltage:
        case Q::Current:
            value = target_.reading(c.quantity, c.supply, c.channel);
            break;
        }
        const bool holds = value && (c.above ? (c.orEqual ? *value >= c.value : *value > c.value)
                                             : (c.orEqual ? *value <= c.value : *value < c.value));
        if (!holds) {
            w.holdingSince->reset();
            continue;
        }
        if (!*w.holdingSince)
            *w.holdingSince = now;
        if (now - **w.holdingSince < c.holdMs)
            continue;
        return conditionHeld(c, w.wholeRun, now);
    }
}

void SequenceRunner::conditionHeld(const EndCondition& c, bool wholeRun, qint64 now) {
    const QString where = wholeRun ? tr("The sequence") : tr("Step %1").arg(step_ + 1);
    if (c.failure)
        return end(State::Stopped, tr("%1: %2 held, a failure.").arg(where, c.text()));
    if (wholeRun)
        return end(State::Done, tr("%1: %2 held.").arg(where, c.text()));
    // The step ends now and the plan goes on from here.
    ++run_;
    plan_->endStepAt(now);
    next();
}

} // namespace trq
