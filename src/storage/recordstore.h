#pragma once

#include "storage/pointsummary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

#include <array>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace trq {

// The times of rows and records as stored: files written by every earlier
// version hold them so, and the record lists and CSV exports show them.
inline constexpr char kRecordTimeFormat[] = "yyyy/MM/dd HH:mm:ss";

// One sample row of the working table (and of a saved record's details).
struct SampleRow {
    qint64 seqNo = 0;
    QString recTime;             // "YYYY/MM/DD HH:MM:SS"
    std::array<QString, 4> volt; // channel 1..4 as displayed; channel 4 may be empty
    std::array<QString, 4> curr;
    std::array<QString, 3> reason{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    QString comment;
    qint64 timeTick = 0;
    qint64 diffLastTime = 0;
    // The first point after seconds without readings (a lost link).
    bool gap = false;
    // Charge [Ah] and energy [Wh] delivered per channel since their reset;
    // empty where none was integrated.
    std::array<QString, 4> charge, energy;
    // The values as numbers where the row's maker has them (a recording
    // does), so no one reads them from the texts again.
    std::optional<PointValues> values;
};

// A row's values as numbers: as its maker gave them, or read from its texts.
PointValues valuesOf(const SampleRow& row);

// A limit that tripped, or a sequence's step that began, as kept with the
// recording.
struct RecordEvent {
    qint64 seqNo = 0; // the point it belongs to (the next one written)
    QString recTime;  // when it tripped
    int channel = 1;  // 1-based
    QString quantity; // "V", "A", "W", "Ah", "Wh"
    double value = 0; // what was read
    double limit = 0; // the bound it crossed
    QString action;   // what was done; a step's settings

    // A step is kept where limits are, as quantity "Step" with its number:
    // files stay readable by earlier versions, which show it as an event.
    static RecordEvent step(qint64 seqNo, const QString& recTime, int step, const QString& text) {
        return {seqNo, recTime, 0, QStringLiteral("Step"), double(step), 0, text};
    }
    bool isStep() const { return quantity == QLatin1String("Step"); }
};

// Rows as they were stored, or by sample number.
enum class RowOrder { Stored, BySeqNo };

// A range of points by sequence number, both ends included.
struct SeqRange {
    qint64 first = 0;
    qint64 last = std::numeric_limits<qint64>::max();
    // Every row, not a part of a recording.
    bool whole() const { return first == 0 && last == SeqRange{}.last; }
};

// One saved record.
struct RecordHeader {
    QString recNo;
    QString startTime;
    QString endTime;
    QString comment;
    QString recStyle;  // record scale index
    QString showStyle; // graph time-length index
};

// What the table and graph windows show about the working table: the saved
// record it came from (if any), its times and description, and whether it
// holds points or comments that no saved record has.
struct WorkingHeader {
    QString recNo;
    QString startTime;
    QString endTime;
    QString description;
    bool unsaved = false;
    int scale = 0; // the record scale its points were recorded with
    bool operator==(const WorkingHeader&) const = default;
};

// The working table's points in its sample order.
struct WorkingSpan {
    qint64 count = 0;
    qint64 firstSeqNo = 0, lastSeqNo = 0;
    // Row i is sequence number firstSeqNo + i.
    bool contiguous = true;
};

// The lab database's name for a run of points in the working table: the
// station, supply and run they go under there and the last one it has
// confirmed. Kept in the file beside the table, so a restart goes on where
// the last one stopped.
struct WorkingRun {
    QString station, supply, model, serial;
    int channels = 1;
    qint64 run = -1;
    QDateTime started;
    qint64 confirmed = -1; // the last sequence number the server has
    bool operator==(const WorkingRun&) const = default;
};

// Runs work in a savepoint: kept when it returns true, undone otherwise.
// Savepoints nest; the outermost one is a transaction.
bool inSavepoint(QSqlDatabase db, const std::function<bool()>& work, QString* error = nullptr,
                 int* errorNumber = nullptr);

// The record tables of mtype.mdb: the working table "datatemp", the saved
// records "datamain"/"datadetail" and the generated "datacopy". Every value
// is bound, never spliced into a statement, so any text is stored as it is.
// Record numbers are text that order and count by their numeric value.
class RecordStore {
    Q_DECLARE_TR_FUNCTIONS(RecordStore)

public:
    // How long a statement waits for a file another connection holds; a
    // recorded point only briefly.
    static constexpr int kBusyMsec = 1000;
    static constexpr int kAppendBusyMsec = 50;

    // Supply 1's rows are in the tables every version reads; a further
    // supply's in tables of its own (Database::addSupplyTables), so a
    // program that knows one supply sees a bench's record as its first
    // supply's.
    explicit RecordStore(QSqlDatabase db, int supply = 1) : db_(std::move(db)), supply_(supply) {}
    int supply() const { return supply_; }

    // Rows of the working table's lab run the server has not confirmed go
    // to the outbox first, so clearing never costs the lab a point.
    bool clearWorking();
    // Waits only briefly for a file another connection holds: the caller
    // keeps the point and tries again (see lastFailureWasBusy()).
    bool appendSample(const SampleRow& row);
    // The working table in sample order, all rows or those of one sampling
    // condition.
    QList<SampleRow> workingRows(QChar reason = QChar());
    // Working rows through a filter a page at a time: the sequence numbers
    // of every nth row and how many rows there are, and the rows from a
    // sequence number on. Nothing when the table cannot be read.
    std::optional<std::vector<qint64>> workingAnchors(QChar reason, int every, int* count);
    QList<SampleRow> workingPage(QChar reason, qint64 fromSeqNo, int limit);
    // Nothing when the count could not be taken (it is no "no data").
    std::optional<int> workingCount();
    // Every row of that second takes the comment.
    bool setComment(const QString& recTime, const QString& comment);
    // Nothing when the query failed: a save must not guess a number.
    std::optional<QString> nextRecordNumber();
    // The working table's header, kept beside it so a restart keeps both.
    // The working table as the rows fill hands to its sink (false: stop)
    // and these events, in one transaction: a record read from elsewhere,
    // a page at a time.
    using RowSink = std::function<bool(const SampleRow&)>;
    bool replaceWorking(const std::function<bool(const RowSink&)>& fill,
                        const QList<RecordEvent>& events);

    // The working table's lab run; none where its points go nowhere.
    std::optional<WorkingRun> workingRun();
    bool setWorkingRun(const std::optional<WorkingRun>& run);
    // Points of earlier runs the lab database has not confirmed: the first
    // run's (its name in run), up to limit in sample order.
    QList<SampleRow> outboxRows(int limit, WorkingRun* run);
    bool dropFromOutbox(const WorkingRun& run, qint64 upToSeqNo);
    std::optional<qint64> outboxCount();

    std::optional<WorkingHeader> workingHeader();
    bool setWorkingHeader(const WorkingHeader& header);
    // Opened without write access: every write fails.
    bool isReadOnly() const;
    // The header and a copy of the working table, in one transaction.
    bool saveNew(const RecordHeader& header, int window, const SeqRange& range = {});
    // The working table's limit events, or a saved record's.
    bool addEvent(const RecordEvent& event);
    QList<RecordEvent> events(const QString& recNo = {});
    // A new description and the working table over a saved record's rows,
    // in one transaction.
    bool replace(const QString& recNo, const QString& comment, int window);
    // The saved records, highest number first.
    QList<RecordHeader> records();
    std::optional<RecordHeader> record(const QString& recNo);
    // Replaces the working table with a saved record's rows.
    bool loadToWorking(const QString& recNo);
    bool deleteRecord(const QString& recNo);
    ChannelExtremes extremes(int channel);
    std::vector<ChannelExtremes> extremesUpTo(int channels);
    // What the graph draws of the working table, and its extremes: the
    // summary stored with it and extended by each point appended since, so
    // no row is read again; read from the rows once where the file holds
    // none (or one that another program left behind). Kept up to date by
    // each appended point; null when the table cannot be read.
    const PointSummary* workingSummary();
    // Changes whenever the kept summary is replaced rather than extended.
    quint64 workingVersion() const { return version_; }
    std::optional<WorkingSpan> workingSpan();
    // The graph's reading of the points of a range, one at a time in sample
    // order: each value the leading number of its text. False when the
    // table cannot be read.
    bool forEachPlotPoint(const std::function<void(const PlotPoint&)>& visit,
                          const SeqRange& range = {});
    // The working table in its own order, for the export.
    // Every row of the working table, one at a time; false when it cannot
    // be read.
    bool forEachWorkingRow(RowOrder order, const std::function<void(const SampleRow&)>& visit);
    // At most limit rows from a sequence number on, in sample order, one at
    // a time; false when the table cannot be read.
    bool forEachWorkingRow(qint64 fromSeqNo, int limit,
                           const std::function<void(const SampleRow&)>& visit);

    // Test data in "datacopy": re-times record 10019 minute by minute and
    // appends copies of record 10018 (repeat times, running index from 191).
    bool generate();
    bool generateCopies(int repeat);

    // The record list line: number, start time and description in columns;
    // the table window's start column is 14 wide, the graph window's 22.
    static QString listLine(const RecordHeader& header, int startWidth = 14);
    // The record number of a list line.
    static QString numberOfListLine(const QString& line);

    QString lastError() const { return error_; }
    // The last statement failed because another connection held the file
    // (busy or locked): trying again later may succeed.
    bool lastFailureWasBusy() const { return errorNumber_ == 5 || errorNumber_ == 6; }
    QString fileName() const { return db_.databaseName(); }
    // The message a failed statement shows: "System Error caused by N:text".
    QString systemErrorText() const;
    int lastErrorNumber() const { return errorNumber_; }

private:
    // A statement on this supply's tables.
    QString tables(const QString& sql) const;
    bool prepare(QSqlQuery& q, const QString& sql) const;
    // One statement; changed takes the number of rows it changed.
    bool exec(const QString& sql, const QVariantList& values = {}, qint64* changed = nullptr);
    bool inTransaction(const std::function<bool()>& work);
    bool makeLabTables();
    bool stashUnconfirmed();
    bool copyWorkingToDetail(const QString& recNo, int window, const SeqRange& range);
    // Runs a prepared select over sample rows and reads them all.
    QList<SampleRow> readRows(QSqlQuery& q);
    bool visitRows(QSqlQuery& q, const std::function<void(SampleRow&&)>& visit);
    // What the store keeps of the working table: the summary while known,
    // the time of its last point, and how many of its points the stored
    // copy holds.
    struct Kept {
        std::optional<PointSummary> summary;
        QString lastTime;
        qint64 storedCount = 0;
    };
    // A summary as the file holds it.
    struct Stored {
        PointSummary summary;
        QString lastTime;
    };
    std::optional<Stored> storedSummary(const QString& recNo);
    // Writes a record's summary (RecNo '' the working table's); only one of
    // more points than fit one bucket each is kept, a smaller one is read
    // from the rows. Its failure costs only a later read of the rows.
    void storeSummary(const QString& recNo, const Kept& kept);
    // The working table, just loaded from a record, takes the record's.
    void shareSummary(const QString& recNo);
    void forgetSummary(const QString& recNo);
    // With a record of copied rows just saved from the working table.
    bool storeRecordSummary(const QString& recNo, qint64 copied);
    // Reads the working table's summary: a stored one that still ends at
    // the table's rows and the points after it, or every row. asStored
    // says whether the stored one was the whole of it.
    bool readWorkingSummary(std::optional<Stored> stored, bool* asStored = nullptr);
    // Folds the working rows after a sequence number (or all) in, in sample
    // order.
    bool foldRows(Kept& kept, std::optional<qint64> afterSeqNo);
    static void foldIn(Kept& kept, const SampleRow& row);
    void keep(Kept kept);

    QSqlDatabase db_;
    int supply_ = 1;
    QString error_;
    int errorNumber_ = 0;
    Kept kept_;
    quint64 version_ = 0;
    std::optional<QSqlQuery> append_;
    bool labTables_ = false;
};

} // namespace trq
