#pragma once

#include "core/reading.h"
#include "link/taskscheduler.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "protocol/replies.h"
#include "session/energy.h"
#include "session/limits.h"
#include "session/linkwait.h"
#include "session/machinetypes.h"
#include "session/portprobe.h"
#include "session/recordsetup.h"
#include "session/supplyconnection.h"
#include "session/supplycontrol.h"
#include "session/supplypoll.h"
#include "session/supplystate.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>
#include <vector>

namespace trq {

class Database;
class Prompter;
class Recording;
class RecordStore;
class RecordingClock;
class TransportFactory;
class Waiter;

// One connected supply, as a non-widget object, for the windows, the
// automation server and headless runs. It brings the parts together: the
// connection (SupplyConnection), what the supply replied (SupplyState), the
// actions on it (SupplyControl), the limits watched on every reading and the
// recording; it runs the initial query and the poll itself. It only tells,
// by signals, and asks through the prompter.
class InstrumentSession : public QObject, public LinkHost {
    Q_OBJECT
public:
    static constexpr int kPollMsec = SupplyPoll::kPollMsec;

    struct Services {
        TaskScheduler& link;
        Database& database;
        RecordStore& store;
        Prompter& prompter;
        TransportFactory& transports;
        Waiter& waiter;
    };

    explicit InstrumentSession(Services services, QObject* parent = nullptr);
    ~InstrumentSession() override;

    // ---- Connection --------------------------------------------------------
    // Opening, detection and reconnecting.
    SupplyConnection& connection() { return connection_; }
    ConnectionState state() const { return connection_.state(); }
    bool isReady() const { return state() == ConnectionState::Ready; }
    InterfaceKind interfaceKind() const { return connection_.interfaceKind(); }
    QString model() const { return connection_.model(); }
    CommandFamily family() const { return connection_.family(); }
    const LayoutProfile* profile() const { return profile_; }
    QString interfaceDescription() const { return connection_.interfaceDescription(); }
    QStringList offeredModels() const { return machineTypes_.offeredModels(); }

    // While a supply is on line asks "Reset and open it?" and resets on
    // Yes; false on No.
    bool mayOpenAnother();
    bool openSerial(const SerialSettings& settings) { return connection_.openSerial(settings); }
    bool openGpib(const GpibSettings& settings) { return connection_.openGpib(settings); }
    void openTestingMode(const QString& model) { connection_.openTestingMode(model); }
    // Back off line: the link, the panel state and the recording go.
    void reset();

    QString serialNumber() const { return connection_.serialNumber(); }

    // ---- Readings and settings ---------------------------------------------
    // What the supply replied, per channel.
    SupplyState& supply() { return state_; }
    const SupplyState& supply() const { return state_; }
    int channelCount() const { return state_.channelCount(); }
    const ChannelState& channel(int i) const { return state_.channel(i); }
    bool allMeasured() const { return state_.allMeasured(); }
    // Every channel's latest reading is younger than two poll cycles and a
    // second: the poll is running, however slow its cycle.
    bool readingsCurrent() const { return poll_.readingsCurrent(); }
    quint64 readingCount() const { return state_.readingCount(); }
    bool outputOn() const { return state_.outputOn(); }
    Coupling coupling() const { return state_.coupling(); }
    int sets() const { return state_.sets(); }
    ControlLocks locks() const { return control_.locks(); }
    // Where the poll is in its layout's cycle (see pollStepAt).
    int pollPosition() const { return poll_.position(); }

    // ---- Actions (silent unless on line) ------------------------------------
    // The output, coupling, protection, memories, delay and automatic run.
    SupplyControl& control() { return control_; }
    void setOutput(bool on) { control_.setOutput(on); }
    void toggleOutput() { control_.toggleOutput(); }
    void applyCoupling(Coupling mode) { control_.applyCoupling(mode); }
    void chooseCoupling(Coupling mode, bool askFirst = true) {
        control_.chooseCoupling(mode, askFirst);
    }
    void clearProtection() { control_.clearProtection(); }
    void setAutoRun(bool on) { control_.setAutoRun(on); }
    void toggleAutoRun() { control_.toggleAutoRun(); }
    bool setSetting(int channel, Setting setting, double value) {
        return control_.setSetting(channel, setting, value);
    }
    static constexpr int kEditDecimals = SupplyControl::kEditDecimals;
    void saveMemory(int memory) { control_.saveMemory(memory); }
    void recallMemory(int memory) { control_.recallMemory(memory); }
    void setDelay(int delay) { control_.setDelay(delay); }
    void setAutoRange(int start, int end, int cycle) { control_.setAutoRange(start, end, cycle); }
    // The poll-cycle check, in seconds (0 switches it off).
    void setReadTime(int seconds);
    // Starts or stops the link's clocks (the record setup's timer switches).
    void setLinkActivity(const LinkActivity& activity) { poll_.setLinkActivity(activity); }
    // The poll timer's period: a step of the layout's poll cycle each time.
    void setPollInterval(int msec) { poll_.timer().setInterval(msec); }
    // Charge and energy start again from zero on every channel.
    void resetDelivered() { state_.resetDelivered(); }

    // ---- Limits --------------------------------------------------------------
    const LimitMonitor& limits() const { return limits_; }
    // The rules checked on every reading from now on.
    void setLimitRules(std::vector<LimitRule> rules);
    // The same, and kept as the rules of the supply on line.
    void storeLimitRules(std::vector<LimitRule> rules);
    // One poll step (the poll timer's work), for a caller that paces the
    // poll itself.
    void pollTick() { poll_.tick(); }

    TaskScheduler& link() { return link_; }
    // The wait a window may show (and cancel) while the initial values are
    // read or the link goes quiet before a recall.
    LinkWait& linkWait() { return wait_; }
    // Looks for supplies on the serial ports (the settings' auto-detect).
    PortProbe& portProbe() { return probe_; }
    bool waiting() const { return wait_.active(); }

    // ---- Recording ---------------------------------------------------------
    RecordSetup& recordSetup() { return recordSetup_; }
    RecordStore& store() { return store_; }
    // The recording of the connection; none while off line.
    Recording* recording() const { return recording_.get(); }
    void setRecordingClock(RecordingClock* clock) { recordingClock_ = clock; }

    // LinkHost
    bool pollActive() const override { return poll_.active(); }
    void reportStatus(const QString& text, int msec) override;

signals:
    void stateChanged(ConnectionState state);
    // A model was accepted: its layout, channels and limits are known.
    void layoutChosen();
    // The initial query is done: the panel may be shown.
    void initialValuesRead();
    void readingsChanged(int channel);
    // A setting as the supply replied it, or as it was set through the session.
    void settingChanged(int channel, Setting setting, double value);
    void overCurrentChanged(int channel, bool on);
    void outputChanged(bool on);
    void couplingChanged(Coupling mode);
    void autoRunChanged(bool on);
    void autoRunValuesChanged();
    void setsChanged(int sets);
    // Charge and energy were integrated or reset.
    void deliveredChanged(int channel);
    // A limit tripped; its action has run already.
    void limitTripped(const trq::LimitTrip& trip);
    void limitsChanged();
    void locksChanged();
    // The link came back to a supply whose output is off now although it
    // was on: nothing is measured until it is switched on again.
    void cameBackWithOutputOff();
    // Texts for the status bar: at once, or for a while.
    void statusText(const QString& text);
    void statusReport(const QString& text, int msec);

private:
    void setUpLayout();
    // Asks the layout's initial queries and waits for their replies; then
    // runs with whether the user cancelled.
    void queryInitialValues(LinkWait::Then then);
    void initialValuesDone(bool cancelled);
    void afterInitialQuery();
    void linkFailed();
    void resumeAfterReconnect();

    // Every reading is checked against the limits, not only recorded points.
    void watchLimits(int channel, Quantity quantity, const Reading& reading, qint64 msec);
    void checkLimits(int channel, Quantity quantity, double value, qint64 msec);
    void limitTrip(const LimitTrip& trip);

    TaskScheduler& link_;
    Database& database_;
    RecordStore& store_;
    Prompter& prompter_;
    MachineTypes machineTypes_;
    SupplyConnection connection_;

    const LayoutProfile* profile_ = nullptr;
    SupplyState state_;

    LinkWait wait_;
    PortProbe probe_;
    LimitMonitor limits_;
    RecordSetup recordSetup_;
    RecordingClock* recordingClock_ = nullptr;
    std::unique_ptr<Recording> recording_;
    SupplyPoll poll_;
    SupplyControl control_;
};

} // namespace trq
