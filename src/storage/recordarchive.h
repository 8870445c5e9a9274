#pragma once

#include "storage/recordstore.h"

#include <QDate>

namespace trq {

class BenchStore;

// A saved record as a list shows it, with where it was recorded.
struct ArchivedRecord {
    RecordHeader header;
    QString station; // empty: this computer's own
    QString supply;
};

// Which records a list shows: each word found in the station's or the
// supply's name, the start day in the range; an empty part takes every
// record.
struct RecordFilter {
    QStringList words;
    QDate from, to; // both ends included
    bool matches(const ArchivedRecord& record) const;
    // As a user types it: words, and a day (2026-12-07) or a range of days
    // (2026-12-01..2026-12-07, either end may be left open).
    static RecordFilter parse(const QString& text);
};

// Where saved records are kept: this computer's file, or a lab's server.
// The working table is always the local file's: a save copies it into the
// archive and a load copies a record back, so the table, graph, export and
// report work the same on either.
class RecordArchive {
public:
    virtual ~RecordArchive() = default;

    // Newest first, those the filter takes; nothing when they cannot be
    // read (lastError() says why).
    std::optional<QList<ArchivedRecord>> records(const RecordFilter& filter = {});
    virtual std::optional<RecordHeader> record(const QString& recNo) = 0;
    virtual std::optional<QString> nextRecordNumber() = 0;
    // The working table's rows (those of range) under a new record.
    virtual bool saveNew(const RecordHeader& header, int window, const SeqRange& range = {}) = 0;
    // The record anew from the working table, with this description.
    virtual bool replace(const QString& recNo, const QString& comment, int window) = 0;
    virtual bool loadToWorking(const QString& recNo) = 0;
    virtual bool deleteRecord(const QString& recNo) = 0;
    // A recording began in the (emptied) working table.
    virtual void recordingStarted(const QDateTime& start) { Q_UNUSED(start) }
    // The last failure as the user is told it.
    virtual QString lastError() const = 0;

protected:
    // Every record, newest first.
    virtual std::optional<QList<ArchivedRecord>> allRecords() = 0;
};

// The records in this computer's file: one supply's tables, or a bench's
// across all of its supplies.
class LocalArchive : public RecordArchive {
    Q_DECLARE_TR_FUNCTIONS(LocalArchive)
public:
    explicit LocalArchive(RecordStore& store) : store_(store) {}
    void setBench(BenchStore* bench) { bench_ = bench; }
    BenchStore* bench() const { return bench_; }

    std::optional<RecordHeader> record(const QString& recNo) override;
    std::optional<QString> nextRecordNumber() override;
    bool saveNew(const RecordHeader& header, int window, const SeqRange& range = {}) override;
    bool replace(const QString& recNo, const QString& comment, int window) override;
    bool loadToWorking(const QString& recNo) override;
    bool deleteRecord(const QString& recNo) override;
    QString lastError() const override;

protected:
    std::optional<QList<ArchivedRecord>> allRecords() override;

private:
    RecordStore& store_;
    BenchStore* bench_ = nullptr;
    QString missing_; // a record asked for that is not there
};

} // namespace trq
