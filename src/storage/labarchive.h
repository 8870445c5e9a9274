#pragma once

#include "storage/benchstore.h"
#include "storage/labdatabase.h"
#include "storage/recordarchive.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>

namespace trq {

class LabLine;
struct LabLoad;
struct LabPart;
struct LabSpan;

// The records of a lab database, for every station. A record names a span
// of a run's points, which the server holds once; saving sends the working
// table's points it has not confirmed yet under the working table's run
// (one made for points recorded without the lab), so a dashboard never sees
// a point twice. A record's row comments, events, times and digits come
// with it, so loading one gives the working table it was saved from.
//
// The server is asked from a thread of its own and waited for kAnswerMsec
// at most: a stalled server costs a window that much once, then a message,
// never a hang.
class LabArchive : public RecordArchive {
    Q_DECLARE_TR_FUNCTIONS(LabArchive)
public:
    static constexpr int kAnswerMsec = 5000;

    // Who records here: the station and supply the working table's points
    // go under.
    struct Source {
        QString station, supply, model, serial;
        int channels = 1;
    };
    // The source is asked as a recording starts or points are saved: the
    // supply may change meanwhile.
    LabArchive(const LabAddress& address, RecordStore& working, std::function<Source()> source);
    ~LabArchive() override;

    // A bench's records: its run of several supplies is saved as one record
    // of all of them, and such a record loads into each supply's table.
    void setBench(BenchStore* bench) { bench_ = bench; }

    // Opens the connection now rather than at its first use; why it cannot
    // be, or nothing.
    std::optional<QString> openNow();

    std::optional<RecordHeader> record(const QString& recNo) override;
    std::optional<QString> nextRecordNumber() override;
    bool saveNew(const RecordHeader& header, int window, const SeqRange& range = {}) override;
    bool replace(const QString& recNo, const QString& comment, int window) override;
    bool loadToWorking(const QString& recNo) override;
    bool deleteRecord(const QString& recNo) override;
    void recordingStarted(const QDateTime& start) override;
    QString lastError() const override { return error_; }

protected:
    std::optional<QList<ArchivedRecord>> allRecords() override;

private:
    // What the server gives for work done with its open database in the
    // line's thread; nothing when it failed or did not answer in time (then
    // lastError() says why). work must own what it uses: it may outlive
    // the call.
    template <typename T>
    std::optional<T> ask(std::function<std::optional<T>(LabDatabase&, QString*)> work);
    bool write(const RecordHeader& header, const SeqRange& range, bool isNew);
    // The supplies of a bench's run a save takes; none where it takes this
    // store's points alone (a part of a run, or a run of one supply).
    std::optional<std::vector<RecordedSupply>> benchRun(bool whole);
    RecordStore& storeOf(int table);
    // The store's run, made where it has none.
    std::optional<WorkingRun> workingRun(RecordStore& store, const RecordedSupply& supply);
    // Sends the store's points of range that the server lacks; what the
    // record keeps of them, or nothing (said).
    std::optional<LabSpan> send(RecordStore& store, const WorkingRun& key, const SeqRange& range);
    // The store's working table anew from a part of a record.
    bool fetch(RecordStore& store, const LabLoad& load, const LabPart& part);
    bool fail(const QString& why);

    LabAddress address_;
    RecordStore& working_;
    BenchStore* bench_ = nullptr;
    std::function<Source()> source_;
    std::unique_ptr<LabLine> line_;
    std::unique_ptr<LabLine> stalledLine_; // the last that had no answer
    QElapsedTimer stalledSince_;
    QString error_;
    bool stalled_ = false; // the last question had no answer
    // New records whose save had no answer: the server may have made them
    // after all, and the next new record of the same points replaces them.
    QList<qint64> unanswered_;
};

} // namespace trq
