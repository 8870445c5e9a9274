#pragma once

#include "core/reading.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "protocol/replies.h"
#include "session/limits.h"

#include <QObject>

#include <array>
#include <vector>

namespace trq {

class Clock;
class MachineTypes;

// The three settings of a channel the user edits.
enum class Setting { Voltage = 0, Current = 1, OverVoltage = 2 };

// An edit's limit, step and display format, from the machine-type record.
struct EditLimits {
    double maximum = 0;
    double step = 0;
    QString format;
};

// The last readings and settings of one output channel.
struct ChannelState {
    Reading voltage, current;           // the readings; empty when there is none
    QString voltageReply, currentReply; // the supply's last replies, as sent
    // When the last measured voltage and current came (the link's clock, in
    // milliseconds; -1: none yet).
    qint64 voltageAtMsec = -1, currentAtMsec = -1;
    // A voltage and a current have been read since the output or the
    // coupling last changed; until then what is kept is no measurement of
    // the present state (not recorded, not answered to scripts).
    bool voltageRead = false, currentRead = false;
    bool measured() const { return voltageRead && currentRead; }
    std::array<double, 3> settings{}; // by Setting
    bool overCurrentProtection = false;
    std::array<EditLimits, 3> limits;
};

// The automatic run's values as the supply replied them.
struct AutoRunValues {
    QString start, end, cycle, delay, memory;
};

// What is known of the supply on line: the readings and settings per channel
// as its replies came (or as they were set), the output, coupling and
// automatic run. It only decodes and keeps; the session decides what to send.
class SupplyState : public QObject {
    Q_OBJECT
public:
    explicit SupplyState(const Clock& clock, QObject* parent = nullptr);

    // The channels of a supply that came on line, with their edit limits;
    // nothing read yet.
    void setUp(const LayoutProfile& profile, const MachineTypes& types, const QString& model);
    // Off line: no channels.
    void clear() { channels_.clear(); }

    int channelCount() const { return int(channels_.size()); }
    const ChannelState& channel(int i) const { return channels_[std::size_t(i)]; }
    // Every channel has a reading of the present state.
    bool allMeasured() const;
    // Every channel has a voltage and a current read at or after sinceMsec.
    bool allReadSince(qint64 sinceMsec) const;
    // Measured replies received so far.
    quint64 readingCount() const { return readings_; }
    bool outputOn() const { return output_; }
    Coupling coupling() const { return coupling_; }
    bool autoRun() const { return autoRun_; }
    int sets() const { return sets_; }
    const AutoRunValues& autoRunValues() const { return autoValues_; }
    // The supply has replied what an edit of this setting waits for.
    bool repliedFor(int channel, Setting setting) const;

    // ---- Replies --------------------------------------------------------------
    // A measured value; measures false while it is no reading of the
    // present state yet.
    void readingReplied(int channel, bool voltage, const QString& reply, bool measures);
    void settingReplied(int channel, Setting setting, const QString& reply);
    void overCurrentReplied(int channel, const QString& reply);
    void autoValueReplied(Operation operation, const QString& reply);

    // ---- As set or seen ---------------------------------------------------------
    // The output, coupling, automatic run and sets are the session's to tell.
    void setOutput(bool on) { output_ = on; }
    void setCoupling(Coupling mode) { coupling_ = mode; }
    void setAutoRun(bool on) { autoRun_ = on; }
    void setSets(int sets) { sets_ = sets; }
    void setSetting(int channel, Setting setting, double value);
    void setOverCurrent(int channel, bool on);
    // Nothing read so far is a reading of the state from now on.
    void forgetMeasured();
    void blankReadings(int from, int to);

signals:
    // A measured voltage or current, as a reply brought it, once the
    // channel's readings are up to date: what observes readings (delivered
    // energy, limits, the recording) takes it from here.
    // By value: an observer's action (a limit switching the output off)
    // may blank the state before the next observer takes the reading.
    void readingTaken(int channel, trq::Quantity quantity, trq::Reading reading, qint64 msec);
    void readingsChanged(int channel);
    void settingChanged(int channel, trq::Setting setting, double value);
    void overCurrentChanged(int channel, bool on);
    void autoRunValuesChanged();

private:
    bool has(int channel) const { return channel >= 0 && channel < channelCount(); }

    const Clock& clock_;
    const LayoutProfile* profile_ = nullptr;
    std::vector<ChannelState> channels_;
    quint64 readings_ = 0;
    bool output_ = false;
    Coupling coupling_ = Coupling::Independent;
    bool autoRun_ = false;
    AutoRunValues autoValues_;
    int sets_ = 0;
    // The first replies seen: some layouts' edits wait for them.
    bool settingsSeen_ = false;
    std::vector<bool> voltageSeen_, currentSeen_;
};

} // namespace trq
