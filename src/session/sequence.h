#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <optional>
#include <variant>
#include <vector>

namespace trq {

// What a step sets on one channel; nothing: as it was.
struct ChannelSetting {
    int channel = 1; // 1..4
    std::optional<double> voltage, current;
    std::optional<bool> output;
    bool operator==(const ChannelSetting&) const = default;
};

// What ends a step (or the whole sequence) before its dwell is over: a
// channel's measured voltage or current, the charge or energy delivered
// since the step began, or the time since it began, beyond a value; it
// counts once it has held for holdMs, so one noisy reading never trips it.
struct EndCondition {
    enum class Quantity { Voltage, Current, Charge, Energy, Elapsed };
    Quantity quantity = Quantity::Voltage;
    int channel = 1;
    bool above = true;
    bool orEqual = false;
    double value = 0;
    qint64 holdMs = 1000;
    bool operator==(const EndCondition&) const = default;
    // As written in a file: "I1<0.05 for 30s", "V2>=4.2", "Ah1>1.5", "t>3600s".
    static std::variant<EndCondition, QString> parse(const QString& text);
    QString text() const;
};

// One step: what it sets, then how long it holds (or ramps there from the
// values before it), within which blocks.
struct SequenceStep {
    std::vector<ChannelSetting> channels;
    qint64 dwellMs = 0;
    bool ramp = false;
    // The blocks it is in, outermost first ("cycle/inner"); empty: none.
    QString block;
    std::optional<EndCondition> until;
    bool operator==(const SequenceStep&) const = default;
};

// The most a supply's channels take, for checking a sequence before it runs.
struct SequenceLimits {
    int channels = 1;
    std::array<double, 4> maxVolt{}, maxCurr{};
};

// A list of steps and the blocks that repeat them, as kept in a CSV file
// with a header line: channel,voltage,current,output,dwell_s (an empty value
// is unchanged; output is on, off or empty; each row one step), and, where
// wanted, step (rows of one step number set several channels at once),
// ramp (yes/no), block ("outer/inner", a block's steps in a row), repeat
// (how often the row's blocks run: "10/3" for outer and inner, or one
// count for the innermost) and until (an end condition).
class Sequence {
    Q_DECLARE_TR_FUNCTIONS(Sequence)
public:
    static constexpr int kMaxSteps = 100000;

    std::vector<SequenceStep> steps;
    // How often each block runs, by its path; a block not listed runs once.
    std::map<QString, int> repeats;

    // The sequence of a file, or why it is refused (naming the line).
    static std::variant<Sequence, QString> fromCsv(const QByteArray& text);
    // Written so that reading it gives this sequence again; a file written
    // by this reads and writes back byte for byte.
    QByteArray toCsv() const;
    // Why the supply cannot run it (naming the step), or nothing.
    std::optional<QString> refusal(const SequenceLimits& limits) const;

    int repeatOf(const QString& block) const;
    // The steps in the order they run, blocks repeated; at most limit of them.
    std::vector<int> runOrder(std::size_t limit = std::size_t(-1)) const;

    bool operator==(const Sequence&) const = default;
};

// The steps in the order they run, one at a time, blocks repeated as they
// say, without writing the whole order out (a block of 100,000 steps may
// run a million times).
class SequenceCursor {
public:
    explicit SequenceCursor(const Sequence& sequence);
    // The next step's index, or -1 after the last.
    int next();

private:
    struct Frame {
        int first, end, depth, passes, pass, at;
    };
    const Sequence& sequence_;
    std::vector<Frame> frames_;
};

// What a channel is set to at a moment of a run.
struct PlannedSet {
    enum class What { Voltage, Current, Output };
    int channel = 1;
    What what = What::Voltage;
    double value = 0; // 1 or 0 for the output
    bool operator==(const PlannedSet&) const = default;
};
struct PlannedMoment {
    qint64 atMs = 0; // from the run's start
    int step = 0;    // the step's index in the sequence
    bool stepStarts = false;
    std::vector<PlannedSet> sets;
    bool operator==(const PlannedMoment&) const = default;
};

// A run's moments in time from its start, each planned from the start and
// not from the moment before, so lateness never adds up: a step's settings
// at its start, a ramp's increments one a tick (its last at the step's end,
// exactly the step's value). A step that ends early on its condition moves
// the plan on from then.
class SequencePlan {
public:
    // The channels' set values as the run starts, for the first ramps.
    using Values = std::array<std::array<double, 2>, 4>; // volts, amps by channel
    SequencePlan(const Sequence& sequence, qint64 tickMs, const Values& start);

    // The next moment, or nothing once every step has run; the run ends at
    // endMs() then.
    std::optional<PlannedMoment> next();
    // The step running now ends at atMs (no sooner than it began): its
    // ramp stops where it stood, the next step starts then.
    void endStepAt(qint64 atMs);
    qint64 endMs() const { return stepEnd_; }

private:
    const Sequence& sequence_;
    SequenceCursor cursor_;
    qint64 tickMs_;
    Values values_;
    Values from_{};
    int step_ = -1;
    qint64 stepStart_ = 0, stepEnd_ = 0;
    qint64 rampAt_ = 0; // the next increment's time
};

} // namespace trq
