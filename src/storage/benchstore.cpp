// A bench's recordings: each supply's rows in its own tables.
#include "storage/benchstore.h"

#include "core/debugtrace.h"
#include "storage/csvexport.h"
#include "storage/database.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <deque>

namespace trq {

namespace {

// The working table's rows are kept under '' (never null).
QString keyOf(const QString& recNo) {
    return recNo.isNull() ? QStringLiteral("") : recNo;
}

} // namespace

BenchStore::BenchStore(Database& database) : database_(database) {
    if (!database_.isReadOnly())
        dropOrphanedRows();
}

void BenchStore::dropOrphanedRows() {
    // A program that knows one supply deletes a record's first supply only,
    // and may save another under its number: what is left of the others is
    // no part of any record.
    QSqlQuery q(database_.database());
    if (!q.exec(QStringLiteral("delete from datasupply where RecNo <> '' and StartTime is not "
                               "(select StartTime from datamain m where m.RecNo = "
                               "datasupply.RecNo)")))
        trace(QStringLiteral("datasupply: ") + q.lastError().text());
    static const QRegularExpression further(
        QStringLiteral("^(datadetail|dataevent|datasummary)_s(\\d+)$"));
    std::vector<std::pair<QString, int>> tables;
    if (q.exec(QStringLiteral("select name from sqlite_master where type = 'table'")))
        while (q.next())
            if (const auto m = further.match(q.value(0).toString()); m.hasMatch())
                tables.emplace_back(m.captured(0), m.captured(2).toInt());
    for (const auto& [table, supply] : tables)
        if (!q.exec(QStringLiteral("delete from %1 where RecNo <> '' and not exists (select 1 from "
                                   "datasupply d where d.RecNo = %1.RecNo and d.Supply = %2)")
                        .arg(table)
                        .arg(supply)))
            trace(table + QStringLiteral(": ") + q.lastError().text());
}

BenchStore::~BenchStore() = default;

std::vector<int> BenchStore::furtherTables() {
    static const QRegularExpression working(QStringLiteral("^datatemp_s(\\d+)$"));
    std::vector<int> tables;
    QSqlQuery q(database_.database());
    if (q.exec(QStringLiteral("select name from sqlite_master where type = 'table'")))
        while (q.next())
            if (const auto m = working.match(q.value(0).toString()); m.hasMatch())
                tables.push_back(m.captured(1).toInt());
    return tables;
}

bool BenchStore::fail(const QString& error) {
    error_ = error;
    return false;
}

RecordStore* BenchStore::store(int table) {
    if (table < 1)
        return nullptr;
    if (std::size_t(table) > stores_.size())
        stores_.resize(std::size_t(table));
    std::unique_ptr<RecordStore>& slot = stores_[std::size_t(table - 1)];
    if (!slot) {
        if (!database_.addSupplyTables(table))
            trace(QStringLiteral("Supply %1's tables: ").arg(table) + database_.errorMessage());
        slot = std::make_unique<RecordStore>(database_.database(), table);
    }
    return slot.get();
}

QString BenchStore::startTimeOf(const QString& recNo) {
    if (recNo.isEmpty())
        return store(1)->workingHeader().value_or(WorkingHeader{}).startTime;
    return store(1)->record(recNo).value_or(RecordHeader{}).startTime;
}

bool BenchStore::writeSupplies(const QString& number, const QString& startTime,
                               const std::vector<RecordedSupply>& supplies) {
    const QString recNo = keyOf(number);
    QSqlQuery q(database_.database());
    q.prepare(QStringLiteral("delete from datasupply where RecNo = ?"));
    q.addBindValue(recNo);
    if (!q.exec())
        return fail(q.lastError().text());
    for (const RecordedSupply& s : supplies) {
        q.prepare(QStringLiteral("insert into datasupply (RecNo, Supply, StartTime, Name, Model, "
                                 "Serial, Link, Channels) values (?,?,?,?,?,?,?,?)"));
        for (const QVariant& v :
             QVariantList{recNo, s.table, startTime, s.name, s.model, s.serial, s.link, s.channels})
            q.addBindValue(v);
        if (!q.exec())
            return fail(q.lastError().text());
    }
    return true;
}

bool BenchStore::setSoloRun(const RecordedSupply& supply, const QString& startTime) {
    WorkingHeader header = store(1)->workingHeader().value_or(WorkingHeader{});
    header.startTime = startTime;
    return replaceRun({supply.table == 1 ? RecordedSupply{} : supply}, header,
                      [](const RecordedSupply&, RecordStore&) {
                          return true; // its rows are the recording's own
                      });
}

WorkingHeader BenchStore::startingHeader(const QString& startTime) {
    WorkingHeader header = store(1)->workingHeader().value_or(WorkingHeader{});
    header.startTime = startTime;
    header.unsaved = true;
    return header;
}

bool BenchStore::replaceRun(const std::vector<RecordedSupply>& supplies,
                            const WorkingHeader& header,
                            const std::function<bool(const RecordedSupply&, RecordStore&)>& fill) {
    const auto in = [&](int table) {
        return std::any_of(supplies.begin(), supplies.end(),
                           [table](const RecordedSupply& s) { return s.table == table; });
    };
    return inSavepoint(
        database_.database(),
        [&] {
            std::vector<int> others = furtherTables();
            others.push_back(1);
            for (int table : others)
                if (RecordStore& st = *store(table); !in(table) && !st.clearWorking())
                    return fail(st.lastError());
            for (const RecordedSupply& s : supplies)
                if (RecordStore& st = *store(s.table); !fill(s, st))
                    return fail(st.lastError());
            // Without it the run would read back as its first supply's alone.
            if (RecordStore& first = *store(1); !first.setWorkingHeader(header))
                return fail(first.lastError());
            return writeSupplies(QString(), header.startTime,
                                 isPlainRun(supplies) ? std::vector<RecordedSupply>{} : supplies);
        },
        &error_);
}

std::vector<RecordedSupply> BenchStore::supplies(const QString& recNo) {
    std::vector<RecordedSupply> found;
    QSqlQuery q(database_.database());
    q.prepare(QStringLiteral(
        "select Supply, Name, Model, Serial, Link, StartTime, Channels from datasupply "
        "where RecNo = ? order by Supply"));
    q.addBindValue(keyOf(recNo));
    // Rows of another start are left by a program that knows one supply:
    // its own recording or record holds the first supply only.
    const QString start = startTimeOf(recNo);
    if (q.exec())
        while (q.next())
            if (q.value(5).toString() == start)
                found.push_back({q.value(0).toInt(), q.value(1).toString(), q.value(2).toString(),
                                 q.value(3).toString(), q.value(4).toString(),
                                 std::clamp(q.value(6).toInt(), 1, 4)});
    if (found.empty())
        found.push_back({}); // a record of one supply, saved without a bench
    return found;
}

bool BenchStore::saveNew(const RecordHeader& header, int window) {
    const std::vector<RecordedSupply> all = supplies(QString());
    const bool plain = isPlainRun(all);
    return inSavepoint(
        database_.database(),
        [&] {
            // The first supply's tables hold the record's header, also when
            // that supply was not recorded (its working table is empty then).
            RecordStore& first = *store(1);
            if (!first.saveNew(header, window))
                return fail(first.lastError());
            for (const RecordedSupply& s : all) {
                if (s.table == 1)
                    continue;
                RecordStore& st = *store(s.table);
                // Rows a program that knows one supply left under this
                // number go first.
                if (!st.deleteRecord(header.recNo) || !st.saveNew(header, window))
                    return fail(st.lastError());
            }
            if (!plain && !writeSupplies(header.recNo, header.startTime, all))
                return false;
            // The working table's header names the record now, whichever
            // supply's record asked for the save.
            WorkingHeader h = first.workingHeader().value_or(WorkingHeader{});
            h.recNo = header.recNo;
            h.description = header.comment;
            h.unsaved = false;
            return first.setWorkingHeader(h) || fail(first.lastError());
        },
        &error_);
}

std::optional<QString> BenchStore::saveWorking(const QString& description, QString* error) {
    RecordStore& first = *store(1);
    const WorkingHeader h = first.workingHeader().value_or(WorkingHeader{});
    const std::optional<QString> number = first.nextRecordNumber();
    if (!number) {
        *error = first.lastError();
        return std::nullopt;
    }
    if (!saveNew({*number, h.startTime, h.endTime, description, QString::number(h.scale),
                  QStringLiteral("0")},
                 1)) {
        *error = error_;
        return std::nullopt;
    }
    return number;
}

bool BenchStore::replace(const QString& recNo, const QString& comment, int window) {
    const std::vector<RecordedSupply> all = supplies(QString());
    const bool plain = isPlainRun(all);
    return inSavepoint(
        database_.database(),
        [&] {
            if (RecordStore& first = *store(1); !first.replace(recNo, comment, window))
                return fail(first.lastError());
            // A supply the record had and the working run has not keeps
            // nothing of it.
            for (int table : furtherTables()) {
                RecordStore& st = *store(table);
                const bool recorded = std::any_of(
                    all.begin(), all.end(), [table](const auto& s) { return s.table == table; });
                if (!(recorded ? st.replace(recNo, comment, window) : st.deleteRecord(recNo)))
                    return fail(st.lastError());
            }
            return writeSupplies(recNo, startTimeOf(recNo),
                                 plain ? std::vector<RecordedSupply>{} : all);
        },
        &error_);
}

bool BenchStore::loadToWorking(const QString& recNo) {
    const std::vector<RecordedSupply> all = supplies(recNo);
    return inSavepoint(
        database_.database(),
        [&] {
            // A supply the record does not have holds no rows afterwards,
            // whichever tables the file has.
            for (int table : furtherTables())
                if (RecordStore& st = *store(table); !st.clearWorking())
                    return fail(st.lastError());
            for (const RecordedSupply& s : all) {
                RecordStore* st = store(s.table);
                if (!st || !st->loadToWorking(recNo))
                    return fail(st ? st->lastError() : error_);
            }
            // A record saved without a bench leaves the working table none.
            const bool plain = isPlainRun(all);
            return writeSupplies(QString(), startTimeOf(recNo),
                                 plain ? std::vector<RecordedSupply>{} : all);
        },
        &error_);
}

bool BenchStore::deleteRecord(const QString& recNo) {
    const std::vector<RecordedSupply> all = supplies(recNo);
    return inSavepoint(
        database_.database(),
        [&] {
            // The first supply's last: it holds the record's header.
            for (auto s = all.rbegin(); s != all.rend(); ++s) {
                RecordStore* st = store(s->table);
                if (!st || !st->deleteRecord(recNo))
                    return fail(st ? st->lastError() : error_);
            }
            return writeSupplies(recNo, QString(), {});
        },
        &error_);
}

namespace {

// A field as a CSV reader takes it: quoted where it holds a separator.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QStringList supplyHeadings(const ExportedSupply& s) {
    QStringList out;
    for (int c = 1; c <= s.channels; ++c)
        out << QStringLiteral("%1 CH%2 V").arg(s.name).arg(c)
            << QStringLiteral("%1 CH%2 A").arg(s.name).arg(c);
    for (int c = 1; c <= s.channels; ++c)
        out << QStringLiteral("%1 CH%2 Ah").arg(s.name).arg(c)
            << QStringLiteral("%1 CH%2 Wh").arg(s.name).arg(c);
    out << QStringLiteral("%1 Gap").arg(s.name);
    return out;
}

void appendFields(QStringList& fields, const ExportedSupply& s, const SampleRow* row) {
    const auto n = std::size_t(s.channels);
    for (std::size_t c = 0; c < n; ++c)
        fields << (row ? row->volt[c] : QString()) << (row ? row->curr[c] : QString());
    for (std::size_t c = 0; c < n; ++c)
        fields << (row ? row->charge[c] : QString()) << (row ? row->energy[c] : QString());
    fields << (row ? (row->gap ? QStringLiteral("1") : QStringLiteral("0")) : QString());
}

// One supply's working rows in sample order, a page at a time.
class RowCursor {
public:
    explicit RowCursor(const ExportedSupply& supply) : store_(*supply.store), tail_(supply.tail) {}
    // The next row, or null at the end; false in ok when a page failed.
    const SampleRow* peek(bool& ok) {
        if (rows_.empty() && !ended_) {
            const bool read = store_.forEachWorkingRow(
                next_, kPage, [this](const SampleRow& r) { rows_.push_back(r); });
            if (!read)
                ok = false;
            ended_ = !read || int(rows_.size()) < kPage;
            if (!rows_.empty())
                next_ = rows_.back().seqNo + 1;
            if (ended_ && read)
                rows_.insert(rows_.end(), tail_.begin(), tail_.end());
        }
        return rows_.empty() ? nullptr : &rows_.front();
    }
    void pop() { rows_.pop_front(); }

private:
    static constexpr int kPage = 2000;
    RecordStore& store_;
    const std::vector<SampleRow>& tail_;
    std::deque<SampleRow> rows_;
    qint64 next_ = std::numeric_limits<qint64>::min();
    bool ended_ = false;
};

} // namespace

std::vector<ExportedSupply> exportedSupplies(BenchStore& store, const QString& recNo) {
    std::vector<ExportedSupply> out;
    for (const RecordedSupply& s : store.supplies(recNo))
        out.push_back({s.name, s.channels, store.store(s.table), s.table, {}, s.model, s.link});
    return out;
}

QByteArray benchCsvHeader(const std::vector<ExportedSupply>& supplies) {
    QStringList headings{QStringLiteral("Time")};
    for (const ExportedSupply& s : supplies)
        headings << supplyHeadings(s);
    for (QString& h : headings)
        h = csvField(h);
    return headings.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

bool writeBenchExport(const QString& path, const std::vector<ExportedSupply>& supplies,
                      QString* error) {
    return writeAside(
        path,
        [&](QIODevice& file) -> std::optional<QString> {
            bool written = file.write(benchCsvHeader(supplies)) >= 0;
            std::vector<RowCursor> cursors;
            for (const ExportedSupply& s : supplies)
                cursors.emplace_back(s);
            bool read = true;
            // Every supply's point of one step has the same time: a row is
            // an instant, merged from the earliest time any supply has left.
            while (written && read) {
                QString instant;
                for (RowCursor& c : cursors)
                    if (const SampleRow* r = c.peek(read);
                        r && (instant.isNull() || r->recTime < instant))
                        instant = r->recTime;
                if (instant.isNull())
                    break;
                QStringList fields{instant};
                for (std::size_t i = 0; i < cursors.size(); ++i) {
                    const SampleRow* r = cursors[i].peek(read);
                    const bool here = r && r->recTime == instant;
                    appendFields(fields, supplies[i], here ? r : nullptr);
                    if (here)
                        cursors[i].pop();
                }
                written = file.write(fields.join(QLatin1Char(',')).toUtf8() + "\r\n") >= 0;
            }
            if (!written || read)
                return std::nullopt;
            for (const ExportedSupply& s : supplies)
                if (!s.store->lastError().isEmpty())
                    return s.store->lastError();
            return QString();
        },
        error);
}

} // namespace trq
