#pragma once

#include "storage/recordstore.h"

#include <QCoreApplication>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace trq {

class Database;

// One supply of a bench's recording: the tables its rows are in (1 the
// first supply's, which every version reads) and what it was.
struct RecordedSupply {
    int table = 1;
    QString name, model, serial, link;
    int channels = 1;
    bool operator==(const RecordedSupply&) const = default;
};

// A run or record of the first supply alone, stored as one supply's always
// was: no supplies are kept for it.
inline bool isPlainRun(const std::vector<RecordedSupply>& supplies) {
    return supplies.size() == 1 && supplies.front() == RecordedSupply{};
}

// A bench's recordings: each supply's rows in its own tables, one record
// number and header for all of them, saved, loaded and deleted in one
// transaction. A record of one supply is stored exactly as before.
class BenchStore {
    Q_DECLARE_TR_FUNCTIONS(BenchStore)
public:
    // Opening it drops what is left of records deleted by a program that
    // knows one supply.
    explicit BenchStore(Database& database);
    ~BenchStore();

    // The tables of that supply, made when missing; where they cannot be
    // (a read-only file) its statements fail and say so.
    RecordStore* store(int table);

    // A run of one supply alone: the working table holds its points only,
    // every other supply's emptied; a run of the first is stored as a run
    // of one supply always was.
    bool setSoloRun(const RecordedSupply& supply, const QString& startTime);
    // The working table as a run of these supplies, each one's rows given
    // by fill, in one transaction; every other supply's emptied, and the
    // run's header (its start, a loaded record's number and description)
    // kept by the first supply's tables.
    bool replaceRun(const std::vector<RecordedSupply>& supplies, const WorkingHeader& header,
                    const std::function<bool(const RecordedSupply&, RecordStore&)>& fill);
    // The working table's header with this start and marked unsaved: a
    // run's as it starts.
    WorkingHeader startingHeader(const QString& startTime);
    // A record's supplies ('' the working table's); one supply, table 1,
    // for a record saved without a bench.
    std::vector<RecordedSupply> supplies(const QString& recNo);

    // Each supply's working rows under one new record.
    bool saveNew(const RecordHeader& header, int window);
    // The working table under the next record number with this description,
    // its header then naming that record; the number, or nothing (error).
    std::optional<QString> saveWorking(const QString& description, QString* error);
    // The record's rows anew from the working table's supplies, with this
    // description.
    bool replace(const QString& recNo, const QString& comment, int window);
    bool loadToWorking(const QString& recNo);
    bool deleteRecord(const QString& recNo);

    QString lastError() const { return error_; }

private:
    // Rows of further supplies whose record a program that knows one
    // supply deleted.
    void dropOrphanedRows();
    bool fail(const QString& error);
    // The supplies past the first whose tables the file has.
    std::vector<int> furtherTables();
    bool writeSupplies(const QString& recNo, const QString& startTime,
                       const std::vector<RecordedSupply>& supplies);
    QString startTimeOf(const QString& recNo);

    Database& database_;
    std::vector<std::unique_ptr<RecordStore>> stores_; // by table - 1
    QString error_;
};

// The bench's working table as comma-separated text: one time column, then
// each supply's channels (voltage and current per channel, then charge and
// energy, then its gap flag), every heading led by the supply's name; one
// row per instant, empty where a supply has no point. False with the reason
// when the file cannot be written or a table read.
struct ExportedSupply {
    QString name;
    int channels = 1;
    RecordStore* store = nullptr;
    int table = 1;
    // Points the table could not take (a busy file), after its rows.
    std::vector<SampleRow> tail;
    QString model, link; // as the run recorded them
};
// A record's supplies ('' the working table's) as they are exported.
std::vector<ExportedSupply> exportedSupplies(BenchStore& store, const QString& recNo = {});
QByteArray benchCsvHeader(const std::vector<ExportedSupply>& supplies);
bool writeBenchExport(const QString& path, const std::vector<ExportedSupply>& supplies,
                      QString* error = nullptr);

} // namespace trq
