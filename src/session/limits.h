#pragma once

#include "core/settings.h"

#include <QString>

#include <optional>
#include <vector>

namespace trq {

// What a limit watches on a channel.
enum class Quantity { Voltage, Current, Power, Charge, Energy };
// What a limit does when it trips.
// Kept by number: a new action goes at the end.
enum class LimitAction {
    Log,
    Message,
    OutputOff,
    StopRecording,
    OutputOffAndStop,
    BenchOutputsOff // every supply of the bench, this one first
};
inline constexpr int kLimitActionCount = 6;

QString unitOf(Quantity quantity);       // "V", "A", "W", "Ah", "Wh"
QString textOf(LimitAction action);      // as stored and published
QString shownTextOf(LimitAction action); // in the user's language
// A stored action text in the user's language.
QString shownActionText(const QString& stored);

struct RecordEvent;
// What an event kept with a recording says, in the user's language: a
// limit that tripped and what was done, or a sequence's step.
QString eventText(const RecordEvent& event);

// A channel's quantity kept between bounds (either may be missing): out of
// them for the hold time, the action runs once, until the value has come
// back within them.
struct LimitRule {
    int channel = 1; // 1-based
    Quantity quantity = Quantity::Voltage;
    std::optional<double> lower, upper;
    int holdSeconds = 0;
    LimitAction action = LimitAction::Log;

    bool stopsOutput() const {
        return action == LimitAction::OutputOff || action == LimitAction::OutputOffAndStop ||
               action == LimitAction::BenchOutputsOff;
    }
    bool stopsRecording() const {
        return action == LimitAction::StopRecording || action == LimitAction::OutputOffAndStop;
    }
    // As kept in the settings: "channel,quantity,lower,upper,hold,action".
    QString toText() const;
    static std::optional<LimitRule> fromText(const QString& text);
};

// A limit that tripped: the rule, the value read and the bound it crossed.
struct LimitTrip {
    LimitRule rule;
    double value = 0;
    double bound = 0;
};

// Checks every new value against the rules, with their hold times.
class LimitMonitor {
public:
    static constexpr int kMaxRules = Settings::kMaxLimitRules;

    void setRules(std::vector<LimitRule> rules);
    const std::vector<LimitRule>& rules() const { return rules_; }
    // A new value of a channel's quantity at msec (any monotonic time): the
    // rules that trip with it.
    std::vector<LimitTrip> check(int channel, Quantity quantity, double value, qint64 msec);
    // Whether a rule of the channel has tripped (shown until the output is
    // switched on again or the rules change), and whether it has any.
    bool tripped(int channel) const;
    bool watches(int channel) const;
    // Every rule armed again (the output went off, a new connection); what
    // tripped stays shown.
    void rearm();
    // The user switched the output on again: the trips have been seen.
    void acknowledge();

    // Rules belong to a supply: its model and, where it gives one, its
    // serial number. A supply without rules of its own takes its model's,
    // and a model without any has none. At most kMaxRules are read.
    static std::vector<LimitRule> load(const QString& model, const QString& serial = {});
    static void store(const QString& model, const QString& serial,
                      const std::vector<LimitRule>& rules);
    // Rules kept before they belonged to a supply are
    // given once to the model of the last connection, unless it has rules
    // of its own; otherwise they are dropped. What was done, for the trace
    // (empty when there were none).
    static QString adoptUnassigned(const QString& lastModel);

private:
    struct State {
        qint64 outSince = -1;
        bool tripped = false;
        bool shown = false;
    };
    std::vector<LimitRule> rules_;
    std::vector<State> states_;
};

} // namespace trq
