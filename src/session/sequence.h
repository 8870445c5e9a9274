#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <tuple>
#include <variant>
#include <vector>

namespace trq {

// What a step sets on one channel; nothing: as it was.
struct ChannelSetting {
    int channel = 1; // 1..4
    std::optional<double> voltage, current;
    std::optional<bool> output;
    // Another supply of the bench by its name; empty: the one running it.
    QString supply{};
    bool operator==(const ChannelSetting&) const = default;
};

// What ends a step (or the whole sequence) before its dwell is over: a
// channel's measured voltage or current, the charge or energy delivered
// since the step (or the sequence) began, or the time since then, beyond a
// value; it counts once it has held for holdMs, so one noisy reading never
// trips it. One marked as a failure stops the run instead, output off.
struct EndCondition {
    enum class Quantity { Voltage, Current, Charge, Energy, Elapsed };
    Quantity quantity = Quantity::Voltage;
    int channel = 1;
    bool above = true;
    bool orEqual = false;
    double value = 0;
    qint64 holdMs = 1000;
    bool failure = false;
    QString supply{}; // whose channel; empty: the one running the sequence
    bool operator==(const EndCondition&) const = default;
    // As written in a file: "I1<0.05 for 30s", "V2>=4.2", "Ah1>1.5", "t>3600s",
    // "rail:V1>12.5" on another supply, "fail:V1<3 for 2s" for a failure.
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
    // The user's own upper limits, where set: a setting beyond one would
    // trip it.
    std::array<std::optional<double>, 4> userVolt{}, userCurr{};
};

// The pieces of a sequence's CSV form, shared by the file and the table
// that edits it.
namespace sequencecsv {
// The columns, in the order the program writes them.
enum Column {
    Step,
    Supply,
    Channel,
    Voltage,
    Current,
    Output,
    Dwell,
    Ramp,
    Block,
    Repeat,
    Until,
    SequenceUntil,
    ColumnCount
};
inline constexpr std::array<const char*, ColumnCount> kColumns{
    "step",    "supply", "channel", "voltage", "current", "output",
    "dwell_s", "ramp",   "block",   "repeat",  "until",   "sequence_until"};
// One line's fields, each trimmed; a field in double quotes may hold commas
// ("" for a quote).
QStringList fields(const QString& line);
// A field as written: quoted where it holds a comma or a quote.
QString written(const QString& field);
} // namespace sequencecsv

// A list of steps and the blocks that repeat them, as kept in a CSV file
// with a header line: channel,voltage,current,output,dwell_s (an empty value
// is unchanged; output is on, off or empty; each row one step), and, where
// wanted, step (rows of one step number set several channels at once),
// ramp (yes/no), block ("outer/inner", a block's steps in a row), repeat
// (how often the row's blocks run: "10/3" for outer and inner, or one
// count for the innermost), until (an end condition), supply (another
// supply of the bench the row sets) and sequence_until (conditions that end
// the whole run, one a row from the first).
class Sequence {
    Q_DECLARE_TR_FUNCTIONS(Sequence)
public:
    static constexpr int kMaxSteps = 100000;

    std::vector<SequenceStep> steps;
    // How often each block runs, by its path; a block not listed runs once.
    std::map<QString, int> repeats;
    // Conditions for the whole run: charge, energy and time count from its start.
    std::vector<EndCondition> endConditions;

    // The sequence of a file, or why it is refused (naming the line).
    static std::variant<Sequence, QString> fromCsv(const QByteArray& text);
    // Written so that reading it gives this sequence again; a file written
    // by this reads and writes back byte for byte.
    QByteArray toCsv() const;
    // Why the supply cannot run it (naming the step), or nothing.
    // limits by supply: "" the one running it, others by name.
    std::optional<QString> refusal(const std::map<QString, SequenceLimits>& limits) const;
    std::optional<QString> refusal(const SequenceLimits& limits) const;
    // The other supplies it sets or watches, by name.
    QStringList supplies() const;
    // What step's settings are, for a person: "CH1 5 V 1 A on, rail CH2 3 V".
    QString describe(int step) const;

    // How many steps a run takes, blocks repeated, and how long when no
    // condition ends a step early.
    qint64 runLength() const;
    qint64 plannedMs() const;
    // Whether a condition may end a step or the run before its time.
    bool conditional() const;

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
    // The blocks the step last given is in, outermost first.
    struct BlockPass {
        QString path;
        int pass = 1, passes = 1; // pass 1-based
        bool operator==(const BlockPass&) const = default;
    };
    std::vector<BlockPass> passes() const;

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
    QString supply{}; // another supply's name; empty: the one running it
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
    // The channels' set values as the run starts, for the first ramps, by
    // supply ("" the one running it).
    using ChannelValues = std::array<std::array<double, 2>, 4>; // volts, amps by channel
    using Values = std::map<QString, ChannelValues>;
    SequencePlan(const Sequence& sequence, qint64 tickMs, const Values& start);
    SequencePlan(Sequence&&, qint64, const Values&) = delete; // kept by reference

    // The next moment, not yet taken; none once every step has run (the
    // run ends at endMs() then).
    const PlannedMoment* peek();
    // The moment peeked has gone out.
    void take();
    std::optional<PlannedMoment> next();
    // The step whose moments were taken ends at atMs (no sooner than it
    // began): its ramp stops where it stood, the next step starts then.
    void endStepAt(qint64 atMs);
    qint64 endMs() const { return stepEnd_; }
    // The blocks of the step whose start was taken last.
    std::vector<SequenceCursor::BlockPass> passes() const { return passes_; }

private:
    std::optional<PlannedMoment> plan();

    const Sequence& sequence_;
    SequenceCursor cursor_;
    qint64 tickMs_;
    Values values_; // as the moments taken set them
    Values from_{};
    int step_ = -1;
    qint64 stepStart_ = 0, stepEnd_ = 0;
    qint64 rampAt_ = 0; // the next increment's time
    std::optional<PlannedMoment> pending_;
    std::vector<SequenceCursor::BlockPass> passes_, pendingPasses_;
};

class Clock;
class Waiter;

// Runs a sequence on a supply: each planned moment's settings go out at its
// time from the start, the step's end condition is watched on each new
// reading, and a run that does not complete (stopped, or the supply gone)
// leaves every output off, as does one that completes unless it is to hold
// its last values. It never resumes by itself.
class SequenceRunner : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, Running, Paused, Done, Stopped };
    struct Target {
        // Why it cannot take a step now ("is off line"); empty when it can.
        std::function<QString()> blocked;
        // Sends one setting; false when it cannot go out.
        std::function<bool(const PlannedSet&)> set;
        // A channel's measured voltage or current, or its charge or energy
        // since its counters' reset; nothing before the first reading.
        std::function<std::optional<double>(EndCondition::Quantity, const QString& supply,
                                            int channel)>
            reading;
        // Every output the sequence sets off.
        std::function<void()> allOff;
    };

    SequenceRunner(Target target, const Clock& clock, Waiter& waiter, QObject* parent = nullptr);

    // The sequence is the caller's until the run ends; it was checked
    // against the supply. start: the set values the first ramps start from.
    void run(const Sequence& sequence, qint64 tickMs, const SequencePlan::Values& start,
             bool holdAtEnd = false);
    void run(Sequence&&, qint64, const SequencePlan::Values&, bool = false) = delete;
    // Pausing keeps what is left of the step's dwell.
    void pause();
    void resume();
    void stop(const QString& why = {});
    // New readings: the running step's condition is looked at.
    void readingsArrived();

    State state() const { return state_; }
    // The running (or last) step's index in the sequence; -1 before one.
    int step() const { return step_; }

    struct Progress {
        qint64 stepsRun = 0;                           // steps begun, the running one included
        qint64 stepsTotal = 0;                         // in the whole run, blocks repeated
        std::vector<SequenceCursor::BlockPass> passes; // the running step's blocks
        qint64 elapsedMs = 0;
        std::optional<qint64> leftMs; // where no condition may end it sooner
    };
    Progress progress() const;

signals:
    void stepStarted(int step);
    void stateChanged(State state);
    // completed false: stopped (by stop(), with its reason, by a supply
    // that could not take a step, or by a condition marked as a failure).
    void finished(bool completed, const QString& message);

private:
    void next();
    void end(State state, const QString& message);
    qint64 elapsedMsec() const;
    // The conditions watched now: the running step's, then the run's.
    struct Watch {
        const EndCondition* condition;
        std::optional<qint64>* holdingSince;
        bool wholeRun;
    };
    std::vector<Watch> watched();
    // When a "t>…" condition ends the step or the run; none without one.
    std::optional<qint64> timeConditionAt();
    // Charge or energy since the step or the run began; a counter reset on
    // the way is carried over.
    std::optional<double> delivered(const EndCondition& c, bool wholeRun);
    // A condition held: the step ends, or the run.
    void conditionHeld(const EndCondition& c, bool wholeRun, qint64 now);

    Target target_;
    const Clock& clock_;
    Waiter& waiter_;
    const Sequence* sequence_ = nullptr;
    std::optional<SequencePlan> plan_;
    State state_ = State::Idle;
    bool holdAtEnd_ = false;
    int step_ = -1;
    double startMsec_ = 0; // the run's start, moved on by each pause
    double pausedAtMsec_ = 0;
    qint64 stepStartMsec_ = 0;
    qint64 stepsRun_ = 0, stepsTotal_ = 0;
    qint64 plannedMs_ = 0, endedMs_ = 0;
    bool conditional_ = false;
    std::vector<SequenceCursor::BlockPass> passes_;
    // A counter as a step or the run began, and what it had delivered
    // before it was reset since.
    struct Counter {
        std::optional<double> base, last;
        double carried = 0;
    };
    std::map<std::tuple<bool, int, QString, int>, Counter>
        counters_; // whole run, quantity, supply, channel
    std::optional<qint64> holdingSince_;
    std::vector<std::optional<qint64>> runHoldingSince_;
    quint64 run_ = 0; // a wait of an earlier run or pause does nothing
    bool sending_ = false;
};

} // namespace trq
