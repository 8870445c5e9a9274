#pragma once

#include "core/reading.h"
#include "link/taskscheduler.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "protocol/replies.h"
#include "session/delivered.h"
#include "session/limits.h"
#include "session/limitwatch.h"
#include "session/linkwait.h"
#include "session/machinetypes.h"
#include "session/portprobe.h"
#include "session/recordsetup.h"
#include "session/supplyconnection.h"
#include "session/supplycontrol.h"
#include "session/supplymemories.h"
#include "session/supplypoll.h"
#include "session/supplyreplies.h"
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
class RecordArchive;
class RecordStore;
class RecordingClock;
class SessionSequence;
class TransportFactory;
class Waiter;

// One connected supply, as a non-widget object, for the windows, the
// automation server and headless runs. It brings the parts together: the
// connection (SupplyConnection), what the supply replied (SupplyState), the
// actions on it (SupplyControl), its poll (SupplyPoll), and what observes
// every reading (DeliveredEnergy, LimitWatch, the recording); it runs the
// initial query and acts on tripped limits. It only tells, by signals, and
// asks through the prompter.
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
        // The recordings' clock; none: the wall clock.
        RecordingClock* recordingClock = nullptr;
    };

    explicit InstrumentSession(Services services, QObject* parent = nullptr);
    ~InstrumentSession() override;

    // ---- Connection --------------------------------------------------------
    // Opening, detection and reconnecting.
    SupplyConnection& connection() { return connection_; }
    const SupplyConnection& connection() const { return connection_; }
    bool isReady() const { return connection_.isReady(); }
    const LayoutProfile* profile() const { return profile_; }
    QStringList offeredModels() const { return machineTypes_.offeredModels(); }

    // While a supply is on line asks "Reset and open it?" and resets on
    // Yes; false on No.
    bool mayOpenAnother();
    // Back off line: the link, the panel state and the recording go; a
    // sequence running stops, saying why.
    void reset(const QString& why = {});

    // ---- Poll ----------------------------------------------------------------
    // The poll of the layout's cycle: its timer and position, whether the
    // readings are current, and the link's clocks it starts and stops.
    SupplyPoll& poll() { return poll_; }
    const SupplyPoll& poll() const { return poll_; }
    // The poll-cycle check, in seconds (0 switches it off).
    void setReadTime(int seconds);

    // ---- Readings and settings ---------------------------------------------
    // What the supply replied, per channel.
    SupplyState& supply() { return state_; }
    const SupplyState& supply() const { return state_; }
    // Charge and energy delivered per channel.
    DeliveredEnergy& energy() { return energy_; }
    const DeliveredEnergy& energy() const { return energy_; }

    // ---- Actions (silent unless on line) ------------------------------------
    // The output, coupling, protection and automatic run.
    SupplyControl& control() { return control_; }
    const SupplyControl& control() const { return control_; }
    // The memories and the automatic run's delay and range.
    SupplyMemories& memories() { return memories_; }

    // ---- Limits --------------------------------------------------------------
    const LimitMonitor& limits() const { return limits_.monitor(); }
    // The rules of the supply on line, kept and checked on every reading
    // from now on.
    void storeLimitRules(std::vector<LimitRule> rules);

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
    // Where this and every later recording of the session keep their
    // records; none: this computer's file.
    void setRecordArchive(RecordArchive* archive);
    // The sequence kept and run on this supply.
    SessionSequence& sequence() { return *sequence_; }

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

    // A limit's action: kept with the recording, the output off, the
    // recording stopped.
    void limitTrip(const LimitTrip& trip);

    TaskScheduler& link_;
    Database& database_;
    RecordStore& store_;
    Prompter& prompter_;
    MachineTypes machineTypes_;
    SupplyConnection connection_;

    const LayoutProfile* profile_ = nullptr;
    SupplyState state_;
    DeliveredEnergy energy_;
    LimitWatch limits_;

    LinkWait wait_;
    PortProbe probe_;
    RecordSetup recordSetup_;
    RecordingClock* recordingClock_ = nullptr;
    std::unique_ptr<Recording> recording_;
    RecordArchive* archive_ = nullptr;
    SupplyPoll poll_;
    SupplyControl control_;
    SupplyReplies replies_;
    SupplyMemories memories_;
    std::unique_ptr<SessionSequence> sequence_; // last: it uses the others
};

} // namespace trq
