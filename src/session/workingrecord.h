#pragma once

#include "session/recordingengine.h"
#include "storage/benchstore.h"
#include "storage/recordarchive.h"
#include "storage/recordstore.h"

#include <QObject>

#include <functional>
#include <optional>

namespace trq {

class Prompter;

// The record the table and graph windows show: the saved record the working
// table came from (if any), its times and description, and whether it holds
// points or comments no saved record has. Kept in the database beside the
// working table, so a restart brings both back. Save and load exist once,
// here; the windows only word their questions differently.
class WorkingRecord : public QObject, public RecordingView {
    Q_OBJECT
public:
    // The texts of one window's save: the guard, the new-record question and
    // the replace question, and the window number stored with the rows.
    struct SaveWording {
        QString nothingRecorded;
        QString saveNew;
        QString replace;
        int window;
    };

    WorkingRecord(RecordStore& store, Prompter& prompter, QObject* parent = nullptr);

    const WorkingHeader& header() const { return header_; }
    // Reads the header kept with the working table.
    void restore();

    void setDescription(const QString& text);
    // The record scale of the points (a recording's, or a loaded record's).
    void setScale(int scale);
    // Where a recording that starts takes its scale from.
    void setScaleSource(std::function<int()> source) { scaleSource_ = std::move(source); }
    void setStartTime(const QString& text);
    void setEndTime(const QString& text);
    // Points or comments that no saved record holds.
    void markUnsaved();
    // New data: no record number, description or times.
    void clear();
    // The shown record was deleted from the saved ones.
    void forgetRecord(const QString& recNo);

    // Asks before unsaved points are thrown away; true when they may go.
    bool mayDiscard();
    // Saves the working table as a new record or over the one it came from,
    // with the scale of its points.
    bool save(const SaveWording& wording, int timeLength);
    // Saves the working table as a new record with this description, asking
    // nothing (scripts); the record number, or nothing with the reason.
    std::optional<QString> saveAsNew(const QString& description, int timeLength, QString* error);
    // A bench's records: saving, replacing, loading and deleting a record
    // then takes every supply's rows along, whichever window asks. None:
    // this store's rows alone.
    void setBenchRecords(BenchStore* records) { local_.setBench(records); }
    // Where records are saved, listed, loaded and deleted: a lab database's
    // archive, or none for this computer's file.
    void setArchive(RecordArchive* archive);
    RecordArchive& archive() { return *archive_; }
    // The working table's supplies as they are shown and exported: more
    // than one for a bench's run, none where this store holds it alone.
    std::vector<ExportedSupply> runSupplies();
    // Copies a saved record into the working table; the header takes the
    // record's only once the copy has succeeded. Nothing when there is no
    // such record or the copy failed (then it has said why).
    std::optional<RecordHeader> load(const QString& recNo);
    // Deletes a saved record (said when it fails); the working table is
    // then no saved record any more where it was that one.
    bool deleteRecord(const QString& recNo);

    // It follows the recording: its times, and points no record holds.
    void recordingStarted(const QDateTime& start, const QDateTime& plannedEnd) override;
    void recordingStopped(const QDateTime& lastPoint) override;
    void pointWritten(const SampleRow&) override { markUnsaved(); }
    void cleared() override {}
    void dataCleared() override { clear(); }

signals:
    void changed();
    // Records are kept elsewhere from now on.
    void archiveChanged();

private:
    void setHeader(const WorkingHeader& header);
    bool trapped(bool ok);
    // The failure of the last store operation, said.
    bool failed();
    static RecordHeader newRecord(const QString& number, const WorkingHeader& h, int timeLength);
    bool saveRows(const RecordHeader& record, int window, QString* error);

    RecordStore& store_;
    Prompter& prompter_;
    WorkingHeader header_;
    std::function<int()> scaleSource_;
    LocalArchive local_;
    RecordArchive* archive_ = &local_;
};

} // namespace trq
