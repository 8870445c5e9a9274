#pragma once

#include "session/labrecords.h"
#include "session/powersequence.h"
#include "session/supplyinterface.h"

#include "session/recordingengine.h"
#include "session/recordingview.h"
#include "storage/benchstore.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <variant>
#include <vector>

namespace trq {

class SessionSequence;
class Clock;
class Database;
class InstrumentSession;
class Prompter;
class RecordingClock;
class TransportFactory;
class Waiter;

// Several supplies driven at once: each has its own link, session and poll,
// so one supply's lost link, timeout or message never holds up another's.
class Bench : public QObject {
    Q_OBJECT
public:
    struct Services {
        Clock& clock;
        Database& database;
        Prompter& prompter;
        TransportFactory& transports;
        Waiter& waiter;
        RecordingClock* recordingClock = nullptr;
    };

    explicit Bench(Services services, QObject* parent = nullptr);
    ~Bench() override;

    // Adds the supply and opens its link; it goes on line by itself.
    InstrumentSession& add(const SupplyAddress& address);
    // Adds a supply whose link the user chooses later, as with one supply:
    // nothing is opened, and what it goes on line with is the next start's
    // choice.
    InstrumentSession& addChosen();
    // That supply on an address for this start only: named as the address
    // says, and not the next start's choice.
    void openChosen(const SupplyAddress& address, int index = 0);
    // Its link closed, its output left as it is.
    void remove(int index);
    int size() const { return int(members_.size()); }
    InstrumentSession& session(int index);
    // As it was added, or for a chosen link the one it is on (no kind
    // while it has none a bench can keep).
    SupplyAddress address(int index) const;
    // The name it was given, else its model once known, else its link.
    QString name(int index) const;
    // Its name on the bench; empty: its model's.
    void rename(int index, const QString& name);
    QStringList names() const;

    // Keeps the bench's supplies under its name, as the next start's bench
    // (a supply without an address a bench can keep is left out; with none
    // left, the name is forgotten).
    void store(const QString& name) const;

    // Every supply on line is sent its output-off at once, each on its own
    // link; a power order running meanwhile stops.
    void allOutputsOff();
    // Every supply on line with its output on (one off line is no output
    // known on).
    bool allOutputsOn();
    // The sequence running on a supply of the bench that sets or watches
    // this one; none.
    SessionSequence* sequenceControlling(const InstrumentSession& session);
    // The bench as a power order runs over it.
    std::vector<PowerSequencer::Supply> sequencerSupplies();
    // The order a text gives over this bench's names, each supply in turn
    // when the text is empty, or why it is refused.
    std::variant<std::vector<PowerStep>, QString> orderOf(const QString& text) const;
    // Runs the order (on) or its reverse (off); empty when it started, else
    // why not. Its end is told by powerOrderFinished.
    QString runPowerOrder(const std::vector<PowerStep>& steps, bool on);
    // The order a text gives (each supply in turn when empty), run as above.
    QString runPowerOrder(const QString& text, bool on);
    bool powerOrderRunning() const { return sequencer_ && sequencer_->running(); }
    // No further step of it; what it switched stays as it is.
    void stopPowerOrder() {
        if (sequencer_)
            sequencer_->stop();
    }

    // ---- One recording of every supply on line ----------------------------
    // Each on-line supply's recording armed alike and started at one
    // instant; every step then makes one point per supply, all stamped with
    // one time from one clock. False when a supply refused (it said why) or
    // none is on line; none then records.
    bool startRecording(int ticks, int scale, int operation);
    void stopRecording();
    bool isRecording() const { return running_; }
    // The bench's records: each supply's rows, one record number for all.
    BenchStore& records() { return records_; }
    // The working table's run as it is exported, with the points a busy
    // file has not taken yet.
    std::vector<ExportedSupply> exportedRun();
    // The working table holds a run no record has.
    bool holdsUnsavedRun();

    // ---- A lab database as the record store ---------------------------------
    // Every supply's records kept there and its points sent on, also of a
    // supply that joins later; none: this computer's file again. The server
    // is reached at the first use.
    void setLab(const std::optional<LabRecords::Options>& options);
    // The status of every supply's points together (see LabRecords); empty
    // without a lab database.
    QString labStatus();
    // Each supply's lab records, in the bench's order (none without a lab
    // database).
    std::vector<LabRecords*> labs() const;

signals:
    // labStatus() changed.
    void labStatusChanged(const QString& text);
    // A supply went on line, off line, or is reconnecting.
    void supplyStateChanged(int index);
    // Every supply's recording has ended; failed: a point could not be
    // stored (said), so the run is not whole.
    void recordingStopped(bool failed);
    // Every supply's point of a recording's step is stored: windows that
    // show a supply read its new points (also while the first records none).
    void stepRecorded();
    // completed false: a step stopped it, and message says why.
    void powerOrderFinished(bool completed, const QString& message);

private:
    struct Member;
    // The recordings' clock, held still while every supply takes its point
    // of one step.
    class StepClock : public RecordingClock {
    public:
        explicit StepClock(RecordingClock* base) : base_(base ? base : &wall_) {}
        QDateTime now() const override { return held_ ? now_ : base_->now(); }
        qint64 monotonicMsec() const override { return held_ ? msec_ : base_->monotonicMsec(); }
        void hold() {
            now_ = base_->now();
            msec_ = base_->monotonicMsec();
            held_ = true;
        }
        void release() { held_ = false; }

    private:
        RecordingClock wall_;
        RecordingClock* base_;
        QDateTime now_;
        qint64 msec_ = 0;
        bool held_ = false;
    };
    void recordStep();
    void engineStopped(RecordingEngine::StopReason reason);
    // Every supply's recording stopped, once.
    void endRecording();
    int indexOf(const Member* member) const;
    InstrumentSession& addMember(const SupplyAddress& address);
    void openLab(Member& member);
    // Asked before a start throws the bench's unsaved run away.
    bool mayDiscard();
    // A supply's recording started by itself (its own Record menu or
    // script): the working table is its run alone from now on.
    void soloStarted(InstrumentSession& session);

    Services services_;
    StepClock stepClock_;
    BenchStore records_;
    QTimer recordTimer_;
    bool running_ = false;
    bool starting_ = false; // the bench's own start is starting the engines
    bool failed_ = false;   // a point of this run could not be stored
    std::vector<std::unique_ptr<Member>> members_;
    std::optional<LabRecords::Options> lab_;
    quint64 allOffs_ = 0; // how often every output was switched off
    std::unique_ptr<PowerSequencer> sequencer_;
};

// A kept bench's supplies, or why it cannot be opened (none of that name,
// or an entry that names no supply).
std::variant<std::vector<SupplyAddress>, QString> storedBench(const QString& name);

} // namespace trq
