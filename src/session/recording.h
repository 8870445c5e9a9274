#pragma once

#include "session/graphseries.h"
#include "session/limits.h"
#include "session/partsaver.h"
#include "session/recordingengine.h"
#include "session/workingrecord.h"

#include <QObject>

#include <optional>

namespace trq {

class InstrumentSession;
struct RecordSetup;

// What one connection records: the engine that samples the session's
// readings, the record the windows show, and the series the graph draws.
class Recording : public QObject {
    Q_OBJECT
public:
    Recording(InstrumentSession& session, RecordStore& store, Prompter& prompter, int channels,
              RecordingClock* clock = nullptr, QObject* parent = nullptr);

    RecordingEngine& engine() { return engine_; }
    WorkingRecord& record() { return record_; }
    GraphSeries& series() { return series_; }
    PartSaver& parts() { return parts_; }
    RecordStore& store() { return store_; }
    // Where its records and parts go: a lab database's archive, or none
    // for this computer's file.
    void setArchive(RecordArchive* archive);
    int channels() const { return engine_.channels(); }

    // The Record menu: starts when a length is armed, otherwise says so.
    void start();
    void stop();
    // Arms the engine with the record setup's length, scale and operation.
    void arm(const RecordSetup& setup);

    // A recording is running: nothing may be loaded over it (and it says so).
    bool refuseWhileRecording();
    // Loads a saved record into the working table, after asking before
    // unsaved points go; nothing when refused or failed.
    std::optional<RecordHeader> load(const QString& recNo);
    // Tells the windows that the working table holds a loaded record's rows
    // now, shown at the time length it was saved with.
    void announceLoaded(const RecordHeader& loaded);
    // Keeps a tripped limit with the recording, at the next point.
    void addEvent(const LimitTrip& trip);
    // Keeps a sequence's step beginning with the recording, at the next point.
    void addStepEvent(int step, const QString& text);

signals:
    // timeLength: the graph's time-length choice to show; -1: none.
    void workingTableReplaced(int timeLength);
    void eventAdded(const trq::RecordEvent& event);

private:
    RecordStore& store_;
    Prompter& prompter_;
    WorkingRecord record_;
    RecordingEngine engine_;
    GraphSeries series_;
    PartSaver parts_;
};

} // namespace trq
