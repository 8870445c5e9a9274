#pragma once

#include "storage/labdatabase.h"
#include "storage/recordarchive.h"

namespace trq {

// The records of a lab database, for every station. A record names a span
// of a run's points, which the server holds once; saving sends the working
// table's points that it does not have yet under the working table's run
// (one made for points recorded without the lab), so a dashboard never sees
// a point twice. A record's row comments, events, times and digits come
// with it, so loading one gives the working table it was saved from.
class LabArchive : public RecordArchive {
    Q_DECLARE_TR_FUNCTIONS(LabArchive)
public:
    // Who records here: the station and supply the working table's points
    // go under.
    struct Source {
        QString station, supply, model, serial;
        int channels = 1;
    };
    // The source is asked as a recording starts or points are saved: the
    // supply may change meanwhile.
    LabArchive(LabDatabase& lab, RecordStore& working, std::function<Source()> source);

    QList<ArchivedRecord> records(const RecordFilter& filter = {}) override;
    std::optional<RecordHeader> record(const QString& recNo) override;
    std::optional<QString> nextRecordNumber() override;
    bool saveNew(const RecordHeader& header, int window, const SeqRange& range = {}) override;
    bool replace(const QString& recNo, const QString& comment, int window) override;
    bool loadToWorking(const QString& recNo) override;
    bool deleteRecord(const QString& recNo) override;
    void recordingStarted(const QDateTime& start) override;
    QString lastError() const override { return error_; }

private:
    bool write(const RecordHeader& header, const SeqRange& range, bool isNew);
    // The working table's run, made where it has none.
    std::optional<WorkingRun> workingRun();
    bool run(QSqlQuery& q, const QString& statement, const QVariantList& values);
    bool fail(const QString& why);
    // The server answers, the connection opened again where it did not.
    bool reachable();

    LabDatabase& lab_;
    RecordStore& working_;
    std::function<Source()> source_;
    QString error_;
};

} // namespace trq
