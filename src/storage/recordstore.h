#pragma once

#include <QCoreApplication>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

#include <array>
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
};

// A limit that tripped, as kept with the recording.
struct LimitEvent {
    qint64 seqNo = 0; // the point it belongs to (the next one written)
    QString recTime;  // when it tripped
    int channel = 1;  // 1-based
    QString quantity; // "V", "A", "W", "Ah", "Wh"
    double value = 0; // what was read
    double limit = 0; // the bound it crossed
    QString action;   // what was done
};

// Rows as they were stored, or by sample number.
enum class RowOrder { Stored, BySeqNo };

// A recorded point as numbers, as the graph draws it.
struct PlotPoint {
    qint64 seqNo = 0;
    bool gap = false;
    std::array<double, 4> volt{}, curr{}, charge{}, energy{};
};

// A range of points by sequence number, both ends included.
struct SeqRange {
    qint64 first = 0;
    qint64 last = std::numeric_limits<qint64>::max();
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

struct ChannelExtremes {
    std::optional<double> maxVolt, minVolt, maxCurr, minCurr;
    bool operator==(const ChannelExtremes&) const = default;
};

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

    explicit RecordStore(QSqlDatabase db) : db_(std::move(db)) {}

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
    std::optional<WorkingHeader> workingHeader();
    bool setWorkingHeader(const WorkingHeader& header);
    // Opened without write access: every write fails.
    bool isReadOnly() const;
    // The header and a copy of the working table, in one transaction.
    bool saveNew(const RecordHeader& header, int window, const SeqRange& range = {});
    // The working table's limit events, or a saved record's.
    bool addEvent(const LimitEvent& event);
    QList<LimitEvent> events(const QString& recNo = {});
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
    // Each channel's extremes, in one pass over the working table; kept
    // and widened by each appended point until anything else changes it.
    std::vector<ChannelExtremes> extremesUpTo(int channels);
    // The graph's reading, one point at a time in sample order: each value
    // the leading number of its text. Nothing is held: a recording of weeks
    // streams through. False when the table cannot be read.
    bool forEachPlotPoint(const std::function<void(const PlotPoint&)>& visit);
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
    bool exec(const QString& sql, const QVariantList& values = {});
    // The same without dropping what is kept of the working table.
    bool run(const QString& sql, const QVariantList& values);
    bool inTransaction(const std::function<bool()>& work);
    bool copyWorkingToDetail(const QString& recNo, int window, const SeqRange& range);
    // Runs a prepared select over sample rows and reads them all.
    QList<SampleRow> readRows(QSqlQuery& q);
    bool visitRows(QSqlQuery& q, const std::function<void(const SampleRow&)>& visit);
    // What the store keeps of the working table between reads: widened or
    // extended by each appended point, dropped by any other statement.
    struct Kept {
        std::optional<std::array<ChannelExtremes, 4>> extremes;
    };
    std::optional<std::array<ChannelExtremes, 4>> scanExtremes();
    bool foldIn(Kept& kept, const SampleRow& row);

    QSqlDatabase db_;
    QString error_;
    int errorNumber_ = 0;
    Kept kept_;
};

} // namespace trq
