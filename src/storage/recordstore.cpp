#include "storage/recordstore.h"

#include "core/debugtrace.h"
#include "core/numbers.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>

namespace trq {

namespace {

QString text(const QVariant& v) {
    return v.isNull() ? QString() : v.toString();
}

// Positions of the sample columns in a result, found once per result.
struct SampleColumns {
    int seqNo, recTime, comment, timeTick, diffLastTime, gap;
    std::array<int, 4> volt, curr, charge, energy;
    std::array<int, 3> reason;

    explicit SampleColumns(const QSqlRecord& rec) {
        auto at = [&](const char* name) { return rec.indexOf(QLatin1String(name)); };
        seqNo = at("SeqNo");
        recTime = at("RecTime");
        comment = at("Comment");
        timeTick = at("TimeTick");
        diffLastTime = at("DiffLastTime");
        volt = {at("PVal"), at("PVal2"), at("PVal3"), at("PVal4")};
        curr = {at("SVal"), at("SVal2"), at("SVal3"), at("SVal4")};
        reason = {at("Reason"), at("Reason2"), at("Reason3")};
        gap = at("Gap");
        charge = {at("Ah1"), at("Ah2"), at("Ah3"), at("Ah4")};
        energy = {at("Wh1"), at("Wh2"), at("Wh3"), at("Wh4")};
    }
};

SampleRow sampleOf(const QSqlQuery& q, const SampleColumns& col) {
    SampleRow r;
    r.seqNo = q.value(col.seqNo).toLongLong();
    r.recTime = text(q.value(col.recTime));
    for (std::size_t i = 0; i < 4; ++i) {
        r.volt[i] = text(q.value(col.volt[i]));
        r.curr[i] = text(q.value(col.curr[i]));
    }
    for (std::size_t i = 0; i < 3; ++i)
        r.reason[i] = text(q.value(col.reason[i]));
    r.comment = text(q.value(col.comment));
    r.timeTick = q.value(col.timeTick).toLongLong();
    r.diffLastTime = q.value(col.diffLastTime).toLongLong();
    r.gap = col.gap >= 0 && q.value(col.gap).toInt() != 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (col.charge[i] >= 0)
            r.charge[i] = text(q.value(col.charge[i]));
        if (col.energy[i] >= 0)
            r.energy[i] = text(q.value(col.energy[i]));
    }
    return r;
}

// A lab run as labrun and laboutbox keep it: Station, Name, Model, Serial,
// Channels, Run, Started, and in labrun Confirmed.
WorkingRun runOf(const QSqlQuery& q, bool withConfirmed) {
    return WorkingRun{text(q.value(0)),
                      text(q.value(1)),
                      text(q.value(2)),
                      text(q.value(3)),
                      q.value(4).toInt(),
                      q.value(5).toLongLong(),
                      QDateTime::fromString(text(q.value(6)), Qt::ISODateWithMs),
                      withConfirmed ? q.value(7).toLongLong() : -1};
}

// Sample values are kept as the panel showed them.
QVariant value(const QString& s) {
    return s;
}

// Integrated values are numbers; none where nothing was integrated.
QVariant number(const QString& s) {
    bool ok = false;
    const double v = s.toDouble(&ok);
    return ok ? QVariant(v) : QVariant();
}

// The columns after DiffLastTime, PVal4 and SVal4 came later: older readers
// of the file never see them.
const QString kDetailColumns = QStringLiteral(
    "SeqNo, RecTime, PVal, SVal, Reason, PVal2, SVal2, Reason2, PVal3, SVal3, Reason3, "
    "Comment, TimeTick, DiffLastTime, PVal4, SVal4, Gap, Ah1, Wh1, Ah2, Wh2, Ah3, Wh3, Ah4, Wh4");
const QString kDetailPlaceholders =
    QStringLiteral("?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?");

QVariantList detailValues(const SampleRow& r) {
    QVariantList v{r.seqNo,
                   r.recTime,
                   value(r.volt[0]),
                   value(r.curr[0]),
                   r.reason[0],
                   value(r.volt[1]),
                   value(r.curr[1]),
                   r.reason[1],
                   value(r.volt[2]),
                   value(r.curr[2]),
                   r.reason[2],
                   r.comment,
                   r.timeTick,
                   r.diffLastTime,
                   r.volt[3].isEmpty() ? QVariant() : value(r.volt[3]),
                   r.curr[3].isEmpty() ? QVariant() : value(r.curr[3]),
                   r.gap ? 1 : 0};
    for (std::size_t c = 0; c < 4; ++c)
        v << number(r.charge[c]) << number(r.energy[c]);
    return v;
}

// Integrated values as stored: a number, or none (0 on the graph).
double storedNumber(const QString& s) {
    bool ok = false;
    const double v = s.toDouble(&ok);
    return ok ? v : 0.0;
}

// A reading the extremes take: a number and nothing else once trimmed of
// spaces (signs, digits, points and exponents only), as the database's
// conversion reads it.
std::optional<double> plainReading(const QString& text, double value) {
    qsizetype from = 0, to = text.size();
    while (from < to && text[from] == QLatin1Char(' '))
        ++from;
    while (to > from && text[to - 1] == QLatin1Char(' '))
        --to;
    if (from == to)
        return std::nullopt;
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = text[i].unicode();
        if (!((c >= u'0' && c <= u'9') || c == u'-' || c == u'+' || c == u'.' || c == u'e' ||
              c == u'E'))
            return std::nullopt;
    }
    return value;
}

// The key of a record's summary; '' (never null) the working table's.
QString keyOf(const QString& recNo) {
    return recNo.isNull() ? QStringLiteral("") : recNo;
}

// Summaries are stored once they hold more points than buckets, and again
// after as many points more: a file left by a crash has at most that many
// points read again.
constexpr qint64 kStoreEvery = PointSummary::kMaxBuckets;

} // namespace

bool inSavepoint(QSqlDatabase db, const std::function<bool()>& work, QString* error,
                 int* errorNumber) {
    // Savepoints nest where transactions do not: a bench's save is one
    // transaction around each supply's, and a recording step's transaction
    // may hold them. Each has a name of its own.
    static quint64 made = 0;
    const QString name = QStringLiteral("trq%1").arg(++made);
    QSqlQuery q(db);
    const auto failed = [&] {
        if (error)
            *error = q.lastError().text();
        if (errorNumber)
            *errorNumber = q.lastError().nativeErrorCode().toInt();
        return false;
    };
    if (!q.exec(QStringLiteral("SAVEPOINT ") + name))
        return failed();
    if (work() && q.exec(QStringLiteral("RELEASE ") + name))
        return true;
    if (!q.lastError().text().isEmpty())
        failed(); // the release (a commit) failed, not the work
    // Its own work goes, nothing before it; where even that cannot end (a
    // commit the file refuses), the whole transaction goes.
    QSqlQuery undo(db);
    if (!undo.exec(QStringLiteral("ROLLBACK TO ") + name) ||
        !undo.exec(QStringLiteral("RELEASE ") + name))
        undo.exec(QStringLiteral("ROLLBACK"));
    return false;
}

PointValues valuesOf(const SampleRow& r) {
    if (r.values)
        return *r.values;
    PointValues v;
    for (std::size_t c = 0; c < 4; ++c) {
        v.volt[c] = leadingNumber(r.volt[c]);
        v.curr[c] = leadingNumber(r.curr[c]);
        v.charge[c] = storedNumber(r.charge[c]);
        v.energy[c] = storedNumber(r.energy[c]);
    }
    return v;
}

QString RecordStore::tables(const QString& sql) const {
    if (supply_ == 1)
        return sql;
    // A further supply's rows live in tables of their own; the record list
    // and the working table's header are the bench's.
    static const QRegularExpression names(
        QStringLiteral("\\b(datatemp|datadetail|dataevent|datasummary)\\b"));
    QString out = sql;
    return out.replace(names, QStringLiteral("\\1_s%1").arg(supply_));
}

bool RecordStore::prepare(QSqlQuery& q, const QString& sql) const {
    return q.prepare(tables(sql));
}

bool RecordStore::exec(const QString& sql, const QVariantList& values, qint64* changed) {
    QSqlQuery q(db_);
    prepare(q, sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (q.exec()) {
        if (changed)
            *changed = q.numRowsAffected();
        return true;
    }
    error_ = q.lastError().text();
    errorNumber_ = q.lastError().nativeErrorCode().toInt();
    return false;
}

std::optional<std::vector<qint64>> RecordStore::workingAnchors(QChar reason, int every,
                                                               int* count) {
    const QString where = reason.isNull() ? QString() : QStringLiteral(" where reason = ?");
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    prepare(q, QStringLiteral("select count(*) from datatemp") + where);
    if (!reason.isNull())
        q.addBindValue(QString(reason));
    if (!q.exec() || !q.next()) {
        error_ = q.lastError().text();
        return std::nullopt;
    }
    *count = q.value(0).toInt();
    // Counted by SQLite itself: only the anchors come back.
    prepare(q, QStringLiteral("select SeqNo from (select SeqNo, row_number() over (order by "
                              "SeqNo) - 1 as r from datatemp") +
                   where + QStringLiteral(") where r % ? = 0 order by SeqNo"));
    if (!reason.isNull())
        q.addBindValue(QString(reason));
    q.addBindValue(every);
    if (!q.exec()) {
        error_ = q.lastError().text();
        return std::nullopt;
    }
    std::vector<qint64> anchors;
    while (q.next())
        anchors.push_back(q.value(0).toLongLong());
    return anchors;
}

QList<SampleRow> RecordStore::workingPage(QChar reason, qint64 fromSeqNo, int limit) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    prepare(q, QStringLiteral("select * from datatemp where SeqNo >= ?") +
                   (reason.isNull() ? QString() : QStringLiteral(" and reason = ?")) +
                   QStringLiteral(" order by SeqNo limit ?"));
    q.addBindValue(fromSeqNo);
    if (!reason.isNull())
        q.addBindValue(QString(reason));
    q.addBindValue(limit);
    return readRows(q);
}

bool RecordStore::inTransaction(const std::function<bool()>& work) {
    QString error;
    int number = 0;
    if (inSavepoint(db_, work, &error, &number))
        return true;
    // The work's own error is kept when it has one.
    if (!error.isEmpty()) {
        error_ = error;
        errorNumber_ = number;
    }
    kept_ = {}; // the table is as it was: read again when asked
    return false;
}

bool RecordStore::clearWorking() {
    // Stashed and emptied together: rows left behind would go to the lab
    // again under the next run's key.
    if (!inTransaction([this] {
            return stashUnconfirmed() && exec(QStringLiteral("delete from datatemp")) &&
                   exec(QStringLiteral("delete from dataevent where RecNo = ''"));
        }))
        return false;
    forgetSummary(QString());
    Kept empty;
    empty.summary.emplace();
    keep(std::move(empty));
    return true;
}

bool RecordStore::makeLabTables() {
    if (labTables_)
        return true;
    // Made on first use: files that never see a lab database never get them.
    labTables_ =
        exec(QStringLiteral("create table if not exists labrun (Supply integer primary key, "
                            "Station text, Name text, Model text, Serial text, Channels integer, "
                            "Run integer, Started text, Confirmed integer)")) &&
        exec(QStringLiteral("create table if not exists laboutbox as select '' as Station, '' as "
                            "Name, '' as Model, '' as Serial, 0 as Channels, 0 as Run, '' as "
                            "Started, ") +
             kDetailColumns + QStringLiteral(" from datatemp where 0")) &&
        exec(QStringLiteral("create unique index if not exists laboutbox_point on laboutbox "
                            "(Station, Name, Run, SeqNo)"));
    return labTables_;
}

std::optional<WorkingRun> RecordStore::workingRun() {
    if (!makeLabTables())
        return std::nullopt;
    QSqlQuery q(db_);
    prepare(q, QStringLiteral("select Station, Name, Model, Serial, Channels, Run, Started, "
                              "Confirmed from labrun where Supply = ?"));
    q.addBindValue(supply_);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return runOf(q, true);
}

bool RecordStore::setWorkingRun(const std::optional<WorkingRun>& r) {
    if (!makeLabTables())
        return false;
    if (!r)
        return exec(QStringLiteral("delete from labrun where Supply = ?"), {supply_});
    return exec(QStringLiteral("insert or replace into labrun (Supply, Station, Name, Model, "
                               "Serial, Channels, Run, Started, Confirmed) values "
                               "(?,?,?,?,?,?,?,?,?)"),
                {supply_, r->station, r->supply, r->model, r->serial, r->channels, r->run,
                 r->started.toString(Qt::ISODateWithMs), r->confirmed});
}

bool RecordStore::stashUnconfirmed() {
    if (!labTables_ && !db_.tables().contains(QLatin1String("labrun")))
        return true; // never a lab run here
    const std::optional<WorkingRun> r = workingRun();
    if (!r)
        return true;
    return exec(QStringLiteral("insert or ignore into laboutbox select ?,?,?,?,?,?,?, ") +
                    kDetailColumns + QStringLiteral(" from datatemp where SeqNo > ?"),
                {r->station, r->supply, r->model, r->serial, r->channels, r->run,
                 r->started.toString(Qt::ISODateWithMs), r->confirmed}) &&
           setWorkingRun(std::nullopt);
}

QList<SampleRow> RecordStore::outboxRows(int limit, WorkingRun* run) {
    if (!labTables_ && !db_.tables().contains(QLatin1String("laboutbox")))
        return {};
    QSqlQuery q(db_);
    if (!makeLabTables() ||
        !q.exec(QStringLiteral("select Station, Name, Model, Serial, Channels, Run, Started "
                               "from laboutbox order by rowid limit 1")) ||
        !q.next())
        return {};
    *run = runOf(q, false);
    QSqlQuery rows(db_);
    prepare(rows, QStringLiteral("select ") + kDetailColumns +
                      QStringLiteral(" from laboutbox where Station = ? and Name = ? and Run = ? "
                                     "order by SeqNo limit ?"));
    for (const QVariant& v : QVariantList{run->station, run->supply, run->run, limit})
        rows.addBindValue(v);
    return readRows(rows);
}

bool RecordStore::dropFromOutbox(const WorkingRun& r, qint64 upToSeqNo) {
    return exec(QStringLiteral("delete from laboutbox where Station = ? and Name = ? and Run = ? "
                               "and SeqNo <= ?"),
                {r.station, r.supply, r.run, upToSeqNo});
}

std::optional<qint64> RecordStore::outboxCount() {
    if (!labTables_ && !db_.tables().contains(QLatin1String("laboutbox")))
        return 0;
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("select count(*) from laboutbox")) || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

bool RecordStore::replaceWorking(const std::function<bool(const RowSink&)>& fill,
                                 const QList<RecordEvent>& events) {
    return inTransaction([&] {
        if (!clearWorking() || !fill([this](const SampleRow& r) { return appendSample(r); }))
            return false;
        for (const RecordEvent& e : events)
            if (!addEvent(e))
                return false;
        return true;
    });
}

bool RecordStore::addEvent(const RecordEvent& e) {
    return exec(QStringLiteral("insert into dataevent (RecNo, SeqNo, RecTime, Channel, Quantity, "
                               "Value, LimitValue, Action) values ('', ?,?,?,?,?,?,?)"),
                {e.seqNo, e.recTime, e.channel, e.quantity, e.value, e.limit, e.action});
}

QList<RecordEvent> RecordStore::events(const QString& recNo) {
    QList<RecordEvent> list;
    QSqlQuery q(db_);
    prepare(q, QStringLiteral("select SeqNo, RecTime, Channel, Quantity, Value, LimitValue, Action "
                              "from dataevent where RecNo = ? order by rowid"));
    q.addBindValue(recNo.isNull() ? QStringLiteral("") : recNo);
    if (!q.exec()) {
        error_ = q.lastError().text();
        return list;
    }
    while (q.next())
        list << RecordEvent{q.value(0).toLongLong(), text(q.value(1)),      q.value(2).toInt(),
                            text(q.value(3)),        q.value(4).toDouble(), q.value(5).toDouble(),
                            text(q.value(6))};
    return list;
}

bool RecordStore::appendSample(const SampleRow& r) {
    // Known before the point goes in, so it is folded in once.
    workingSummary();
    // Once a second: a busy file may hold the event loop for a moment only.
    QSqlQuery(db_).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kAppendBusyMsec));
    // Prepared once: a bench appends a point per supply every second.
    if (!append_) {
        append_.emplace(db_);
        prepare(*append_, QStringLiteral("insert into datatemp (") + kDetailColumns +
                              QStringLiteral(") values (") + kDetailPlaceholders +
                              QLatin1Char(')'));
    }
    const QVariantList values = detailValues(r);
    for (qsizetype i = 0; i < values.size(); ++i)
        append_->bindValue(int(i), values[i]);
    const bool ok = append_->exec();
    if (!ok) {
        error_ = append_->lastError().text();
        errorNumber_ = append_->lastError().nativeErrorCode().toInt();
        append_.reset(); // prepared again next time, after whatever went wrong
    }
    QSqlQuery(db_).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyMsec));
    if (ok && kept_.summary) {
        foldIn(kept_, r);
        const qint64 count = kept_.summary->count();
        if (count > PointSummary::kMaxBuckets && count - kept_.storedCount >= kStoreEvery) {
            storeSummary(QString(), kept_);
            kept_.storedCount = count; // stored or not: tried again after as many
        }
    }
    return ok;
}

QList<SampleRow> RecordStore::workingRows(QChar reason) {
    QSqlQuery q(db_);
    if (reason.isNull()) {
        prepare(q, QStringLiteral("select * from datatemp order by seqno asc"));
    } else {
        prepare(q, QStringLiteral("select * from datatemp where reason = ? order by seqno asc"));
        q.addBindValue(QString(reason));
    }
    return readRows(q);
}

std::optional<int> RecordStore::workingCount() {
    QSqlQuery q(db_);
    if (!q.exec(tables(QStringLiteral("select count(*) from datatemp"))) || !q.next()) {
        error_ = q.lastError().text();
        errorNumber_ = q.lastError().nativeErrorCode().toInt();
        return std::nullopt;
    }
    return q.value(0).toInt();
}

std::optional<WorkingHeader> RecordStore::workingHeader() {
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("select RecNo, StartTime, EndTime, Comment, Unsaved, RecStyle "
                               "from workhead where Id = 1")) ||
        !q.next())
        return std::nullopt;
    return WorkingHeader{text(q.value(0)), text(q.value(1)),        text(q.value(2)),
                         text(q.value(3)), q.value(4).toInt() != 0, q.value(5).toInt()};
}

bool RecordStore::setWorkingHeader(const WorkingHeader& h) {
    if (supply_ > 1)
        return true; // the bench's, kept by its first supply
    return exec(QStringLiteral("insert or replace into workhead (Id, RecNo, StartTime, EndTime, "
                               "Comment, Unsaved, RecStyle) values (1, ?, ?, ?, ?, ?, ?)"),
                {h.recNo, h.startTime, h.endTime, h.description, h.unsaved ? 1 : 0,
                 QString::number(h.scale)});
}

bool RecordStore::isReadOnly() const {
    return db_.connectOptions().contains(QLatin1String("QSQLITE_OPEN_READONLY"));
}

bool RecordStore::setComment(const QString& recTime, const QString& comment) {
    return exec(QStringLiteral("update datatemp set Comment = ? where rectime = ?"),
                {comment, recTime});
}

std::optional<QString> RecordStore::nextRecordNumber() {
    QSqlQuery q(db_);
    // The numeric largest, although numbers are kept as text.
    if (!q.exec(QStringLiteral("select max(cast(recno as integer)) from datamain"))) {
        error_ = q.lastError().text();
        errorNumber_ = q.lastError().nativeErrorCode().toInt();
        return std::nullopt;
    }
    if (!q.next() || q.value(0).isNull())
        return QStringLiteral("1");
    return QString::number(q.value(0).toLongLong() + 1);
}

bool RecordStore::copyWorkingToDetail(const QString& recNo, int window, const SeqRange& range) {
    const QString where = QStringLiteral(" where SeqNo between ? and ?");
    const QVariantList bounds{range.first, range.last};
    qint64 copied = 0;
    return exec(QStringLiteral("insert into datadetail (RecNo, SeqWindow, ") + kDetailColumns +
                    QStringLiteral(") select ?, ?, ") + kDetailColumns +
                    QStringLiteral(" from datatemp") + where,
                QVariantList{recNo, window} + bounds, &copied) &&
           storeRecordSummary(recNo, copied) &&
           exec(QStringLiteral("insert into dataevent (RecNo, SeqNo, RecTime, Channel, Quantity, "
                               "Value, LimitValue, Action) select ?, SeqNo, RecTime, Channel, "
                               "Quantity, Value, LimitValue, Action from dataevent where RecNo = "
                               "''") +
                    QStringLiteral(" and SeqNo between ? and ?"),
                QVariantList{recNo} + bounds);
}

bool RecordStore::saveNew(const RecordHeader& h, int window, const SeqRange& range) {
    return inTransaction([&] {
        return (supply_ > 1 ||
                exec(QStringLiteral("insert into datamain (RecNo, StartTime, EndTime, Comment, "
                                    "PUnit, SUnit, RecStyle, ShowStyle) values (?,?,?,?,?,?,?,?)"),
                     {h.recNo, h.startTime, h.endTime, h.comment, QStringLiteral("V"),
                      QStringLiteral("A"), h.recStyle, h.showStyle})) &&
               copyWorkingToDetail(h.recNo, window, range);
    });
}

bool RecordStore::replace(const QString& recNo, const QString& comment, int window) {
    return inTransaction([&] {
        return (supply_ > 1 ||
                exec(QStringLiteral("update datamain set comment = ? where recno = ?"),
                     {comment, recNo})) &&
               exec(QStringLiteral("delete from datadetail where recno = ?"), {recNo}) &&
               exec(QStringLiteral("delete from dataevent where recno = ?"), {recNo}) &&
               copyWorkingToDetail(recNo, window, {});
    });
}

QList<RecordHeader> RecordStore::records() {
    QList<RecordHeader> list;
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("select RecNo, StartTime, EndTime, Comment, RecStyle, ShowStyle "
                               "from datamain order by cast(recno as integer) desc"))) {
        error_ = q.lastError().text();
        return list;
    }
    while (q.next())
        list << RecordHeader{text(q.value(0)), text(q.value(1)), text(q.value(2)),
                             text(q.value(3)), text(q.value(4)), text(q.value(5))};
    return list;
}

std::optional<RecordHeader> RecordStore::record(const QString& recNo) {
    QSqlQuery q(db_);
    prepare(q, QStringLiteral("select RecNo, StartTime, EndTime, Comment, RecStyle, ShowStyle "
                              "from datamain where recno = ?"));
    q.addBindValue(recNo);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return RecordHeader{text(q.value(0)).trimmed(), text(q.value(1)), text(q.value(2)),
                        text(q.value(3)),           text(q.value(4)), text(q.value(5))};
}

bool RecordStore::loadToWorking(const QString& recNo) {
    return inTransaction([&] {
        qint64 copied = 0;
        if (!clearWorking() ||
            !exec(QStringLiteral("insert into datatemp (") + kDetailColumns +
                      QStringLiteral(") select ") + kDetailColumns +
                      QStringLiteral(" from datadetail where recno = ? order by seqno"),
                  {recNo}, &copied) ||
            !exec(QStringLiteral("insert into dataevent (RecNo, SeqNo, RecTime, Channel, "
                                 "Quantity, Value, LimitValue, Action) select '', SeqNo, "
                                 "RecTime, Channel, Quantity, Value, LimitValue, Action from "
                                 "dataevent where RecNo = ? order by rowid"),
                  {recNo}))
            return false;
        // The record's summary comes with its rows. One saved without it (by
        // an earlier version, or a part of a recording) is read from them,
        // once: it is stored with the record from now on.
        std::optional<Stored> stored = storedSummary(recNo);
        if (stored && stored->summary.count() != copied)
            stored.reset();
        bool asStored = false;
        if (!readWorkingSummary(std::move(stored), &asStored))
            return false;
        if (asStored)
            shareSummary(recNo);
        else if (kept_.summary->count() > PointSummary::kMaxBuckets)
            storeSummary(recNo, kept_);
        return true;
    });
}

bool RecordStore::deleteRecord(const QString& recNo) {
    return inTransaction([&] {
        if (!exec(QStringLiteral("delete from datadetail where recno = ?"), {recNo}) ||
            !exec(QStringLiteral("delete from dataevent where recno = ?"), {recNo}) ||
            (supply_ == 1 &&
             !exec(QStringLiteral("delete from datamain where recno = ?"), {recNo})))
            return false;
        forgetSummary(recNo);
        return true;
    });
}

ChannelExtremes RecordStore::extremes(int channel) {
    const std::vector<ChannelExtremes> all = extremesUpTo(std::clamp(channel, 1, 4));
    return all.back();
}

std::vector<ChannelExtremes> RecordStore::extremesUpTo(int channels) {
    std::vector<ChannelExtremes> all(std::size_t(std::clamp(channels, 1, 4)));
    if (const PointSummary* s = workingSummary())
        for (std::size_t c = 0; c < all.size(); ++c)
            all[c] = s->extremes(int(c));
    return all;
}

const PointSummary* RecordStore::workingSummary() {
    if (!kept_.summary && !readWorkingSummary(storedSummary(QString())))
        return nullptr;
    return &*kept_.summary;
}

std::optional<WorkingSpan> RecordStore::workingSpan() {
    const PointSummary* s = workingSummary();
    if (!s)
        return std::nullopt;
    return WorkingSpan{s->count(), s->firstSeqNo(), s->lastSeqNo(), s->isContiguous()};
}

void RecordStore::keep(Kept kept) {
    kept_ = std::move(kept);
    ++version_;
}

void RecordStore::foldIn(Kept& kept, const SampleRow& r) {
    PlotPoint p;
    static_cast<PointValues&>(p) = valuesOf(r);
    p.seqNo = r.seqNo;
    p.time = r.timeTick;
    p.gap = r.gap;
    kept.summary->add(p);
    for (std::size_t c = 0; c < 4; ++c)
        kept.summary->widen(int(c), plainReading(r.volt[c], p.volt[c]),
                            plainReading(r.curr[c], p.curr[c]));
    kept.lastTime = r.recTime;
}

bool RecordStore::foldRows(Kept& kept, std::optional<qint64> afterSeqNo) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    prepare(q, QStringLiteral("select SeqNo, Gap, RecTime, PVal, SVal, PVal2, SVal2, PVal3, SVal3, "
                              "PVal4, SVal4, Ah1, Wh1, Ah2, Wh2, Ah3, Wh3, Ah4, Wh4, TimeTick "
                              "from datatemp") +
                   (afterSeqNo ? QStringLiteral(" where SeqNo > ?") : QString()) +
                   QStringLiteral(" order by SeqNo"));
    if (afterSeqNo)
        q.addBindValue(*afterSeqNo);
    if (!q.exec()) {
        error_ = q.lastError().text();
        errorNumber_ = q.lastError().nativeErrorCode().toInt();
        return false;
    }
    SampleRow r;
    PointValues v;
    while (q.next()) {
        r.seqNo = q.value(0).toLongLong();
        r.gap = q.value(1).toInt() != 0;
        r.recTime = text(q.value(2));
        for (std::size_t c = 0; c < 4; ++c) {
            r.volt[c] = text(q.value(int(3 + 2 * c)));
            r.curr[c] = text(q.value(int(4 + 2 * c)));
            v.volt[c] = leadingNumber(r.volt[c]);
            v.curr[c] = leadingNumber(r.curr[c]);
            v.charge[c] = q.value(int(11 + 2 * c)).toDouble();
            v.energy[c] = q.value(int(12 + 2 * c)).toDouble();
        }
        r.timeTick = q.value(19).toLongLong();
        r.values = v;
        foldIn(kept, r);
    }
    return true;
}

bool RecordStore::readWorkingSummary(std::optional<Stored> stored, bool* asStored) {
    if (asStored)
        *asStored = false;
    Kept kept;
    kept.summary.emplace();
    if (stored) {
        // Still the table's own: its first point and its last, with that
        // point's time (another program may have recorded over it).
        QSqlQuery q(db_);
        prepare(q, QStringLiteral("select (select SeqNo from datatemp order by SeqNo limit 1), "
                                  "(select RecTime from datatemp where SeqNo = ? order by rowid "
                                  "desc limit 1)"));
        q.addBindValue(stored->summary.lastSeqNo());
        if (!q.exec() || !q.next() || q.value(0).isNull() ||
            q.value(0).toLongLong() != stored->summary.firstSeqNo() ||
            text(q.value(1)) != stored->lastTime)
            stored.reset();
    }
    const bool whole = !stored;
    if (stored) {
        kept.summary = std::move(stored->summary);
        kept.lastTime = stored->lastTime;
        kept.storedCount = kept.summary->count();
    }
    const qint64 before = kept.summary->count();
    if (!foldRows(kept, whole ? std::nullopt : std::optional(kept.summary->lastSeqNo())))
        return false;
    const qint64 count = kept.summary->count();
    if (!whole && count == before && asStored)
        *asStored = true;
    // Read from the rows: stored, so the next start reads only the summary.
    if (count > PointSummary::kMaxBuckets && count != kept.storedCount && !isReadOnly()) {
        storeSummary(QString(), kept);
        kept.storedCount = count;
    }
    keep(std::move(kept));
    return true;
}

std::optional<RecordStore::Stored> RecordStore::storedSummary(const QString& recNo) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    prepare(q, QStringLiteral("select Points, LastTime, Summary, SameAs from datasummary where "
                              "RecNo = ?"));
    q.addBindValue(keyOf(recNo));
    // None: a small one, or a file of an earlier version.
    if (!q.exec() || !q.next())
        return std::nullopt;
    const QString sameAs = text(q.value(3));
    if (q.value(2).isNull() && !sameAs.isEmpty() && !recNo.isEmpty())
        return std::nullopt;
    if (q.value(2).isNull() && !sameAs.isEmpty())
        return storedSummary(sameAs);
    std::optional<PointSummary> s = PointSummary::fromBytes(q.value(2).toByteArray());
    if (!s || s->count() != q.value(0).toLongLong())
        return std::nullopt;
    return Stored{std::move(*s), text(q.value(1))};
}

void RecordStore::storeSummary(const QString& recNo, const Kept& kept) {
    const PointSummary& s = *kept.summary;
    QSqlQuery q(db_);
    prepare(q, QStringLiteral("insert or replace into datasummary (RecNo, Points, FirstSeqNo, "
                              "LastSeqNo, LastTime, Summary) values (?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v : QVariantList{keyOf(recNo), s.count(), s.firstSeqNo(), s.lastSeqNo(),
                                          kept.lastTime, s.toBytes()})
        q.addBindValue(v);
    if (!q.exec())
        trace(QStringLiteral("Summary of record '%1' not stored: %2")
                  .arg(recNo, q.lastError().text()));
}

void RecordStore::shareSummary(const QString& recNo) {
    QSqlQuery q(db_);
    prepare(q, QStringLiteral("insert or replace into datasummary (RecNo, Points, FirstSeqNo, "
                              "LastSeqNo, LastTime, SameAs) select '', Points, FirstSeqNo, "
                              "LastSeqNo, LastTime, RecNo from datasummary where RecNo = ?"));
    q.addBindValue(recNo);
    if (!q.exec())
        trace(QStringLiteral("Summary of record '%1' not taken for the working table: %2")
                  .arg(recNo, q.lastError().text()));
}

void RecordStore::forgetSummary(const QString& recNo) {
    QSqlQuery q(db_);
    // The working table loaded from this record keeps a copy of it.
    if (!recNo.isEmpty()) {
        prepare(q, QStringLiteral("update datasummary set Summary = (select Summary from "
                                  "datasummary where RecNo = ?), SameAs = null where RecNo = '' "
                                  "and SameAs = ?"));
        q.addBindValue(recNo);
        q.addBindValue(recNo);
        q.exec();
    }
    prepare(q, QStringLiteral("delete from datasummary where RecNo = ?"));
    q.addBindValue(keyOf(recNo));
    if (!q.exec() && !isReadOnly())
        trace(QStringLiteral("Summary of record '%1' not removed: %2")
                  .arg(recNo, q.lastError().text()));
}

bool RecordStore::storeRecordSummary(const QString& recNo, qint64 copied) {
    // A record of the whole working table takes its summary along; a part
    // of it has its own read from its rows when it is loaded.
    const PointSummary* s = workingSummary();
    if (s && s->count() == copied && copied > PointSummary::kMaxBuckets)
        storeSummary(recNo, kept_);
    else
        forgetSummary(recNo);
    return true;
}

bool RecordStore::forEachPlotPoint(const std::function<void(const PlotPoint&)>& visit,
                                   const SeqRange& range) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // The database's cast reads the leading number of a text (0 when there
    // is none), as the graph wants, and hands over numbers, not texts.
    QStringList columns{QStringLiteral("SeqNo"), QStringLiteral("ifnull(Gap, 0)"),
                        QStringLiteral("ifnull(TimeTick, 0)")};
    for (const char* c : {"PVal", "SVal", "PVal2", "SVal2", "PVal3", "SVal3", "PVal4", "SVal4",
                          "Ah1", "Wh1", "Ah2", "Wh2", "Ah3", "Wh3", "Ah4", "Wh4"})
        columns << QStringLiteral("ifnull(cast(%1 as real), 0)").arg(QLatin1String(c));
    prepare(q, QStringLiteral("select ") + columns.join(QStringLiteral(", ")) +
                   QStringLiteral(" from datatemp where SeqNo between ? and ? order by SeqNo"));
    q.addBindValue(range.first);
    q.addBindValue(range.last);
    if (!q.exec()) {
        error_ = q.lastError().text();
        return false;
    }
    PlotPoint p;
    while (q.next()) {
        p.seqNo = q.value(0).toLongLong();
        p.gap = q.value(1).toInt() != 0;
        p.time = q.value(2).toLongLong();
        for (std::size_t c = 0; c < 4; ++c) {
            p.volt[c] = q.value(int(3 + 2 * c)).toDouble();
            p.curr[c] = q.value(int(4 + 2 * c)).toDouble();
            p.charge[c] = q.value(int(11 + 2 * c)).toDouble();
            p.energy[c] = q.value(int(12 + 2 * c)).toDouble();
        }
        visit(p);
    }
    return true;
}

namespace {

const QString kTimeFormat = QLatin1String(kRecordTimeFormat);

} // namespace

bool RecordStore::generateCopies(int repeat) {
    return inTransaction([&] {
        int index = 191;
        for (int n = 0; n < repeat; ++n) {
            QSqlQuery source(db_);
            if (!source.exec(QStringLiteral("select * from datadetail where recno='10018'"))) {
                error_ = source.lastError().text();
                return false;
            }
            const SampleColumns columns(source.record());
            while (source.next()) {
                const SampleRow r = sampleOf(source, columns);
                const QDateTime t = QDateTime::fromString(r.recTime, kTimeFormat);
                const QString shifted =
                    t.isValid() ? t.addSecs(5 * index).toString(kTimeFormat) : r.recTime;
                SampleRow copy = r;
                copy.seqNo = index;
                copy.recTime = shifted;
                copy.volt[3].clear();
                copy.curr[3].clear();
                if (!exec(QStringLiteral("insert into datacopy (RecNo, SeqWindow, ") +
                              kDetailColumns + QStringLiteral(") values ('10018', 1, ") +
                              kDetailPlaceholders + QLatin1Char(')'),
                          detailValues(copy)))
                    return false;
                ++index;
            }
        }
        return true;
    });
}

bool RecordStore::generate() {
    QSqlQuery base(db_);
    if (!base.exec(
            QStringLiteral("select RecTime from datacopy where recno='10019' and seqno=0"))) {
        error_ = base.lastError().text();
        return false;
    }
    int rows = 0;
    QDateTime start;
    while (base.next()) {
        if (rows++ == 0)
            start = QDateTime::fromString(base.value(0).toString(), kTimeFormat);
    }
    const bool timed = inTransaction([&] {
        for (int k = 1; k <= 1800 && start.isValid(); ++k)
            if (!exec(QStringLiteral("update datacopy set RecTime = ?, timetick = ? where "
                                     "recno='10019' and seqno = ?"),
                      {start.addSecs(60 * k).toString(kTimeFormat), 60 * k, k}))
                return false;
        return true;
    });
    return timed && generateCopies(rows);
}

bool RecordStore::forEachWorkingRow(RowOrder order,
                                    const std::function<void(const SampleRow&)>& visit) {
    QSqlQuery q(db_);
    prepare(q, order == RowOrder::Stored
                   ? QStringLiteral("select * from datatemp")
                   : QStringLiteral("select * from datatemp order by SeqNo asc"));
    return visitRows(q, visit);
}

bool RecordStore::forEachWorkingRow(qint64 fromSeqNo, int limit,
                                    const std::function<void(const SampleRow&)>& visit) {
    QSqlQuery q(db_);
    prepare(q, QStringLiteral("select * from datatemp where SeqNo >= ? order by SeqNo limit ?"));
    q.addBindValue(fromSeqNo);
    q.addBindValue(limit);
    return visitRows(q, visit);
}

bool RecordStore::visitRows(QSqlQuery& q, const std::function<void(SampleRow&&)>& visit) {
    q.setForwardOnly(true); // no row cache: a day of points is read once
    if (!q.exec()) {
        error_ = q.lastError().text();
        return false;
    }
    const SampleColumns columns(q.record());
    while (q.next())
        visit(sampleOf(q, columns));
    return true;
}

QList<SampleRow> RecordStore::readRows(QSqlQuery& q) {
    QList<SampleRow> rows;
    // Moved, not copied: a day of points is well over a million strings.
    visitRows(q, [&rows](SampleRow&& row) { rows.push_back(std::move(row)); });
    return rows;
}

QString RecordStore::listLine(const RecordHeader& h, int startWidth) {
    auto column = [](const QString& s, int width) {
        return (s + QString(width + 1, QLatin1Char(' '))).left(width);
    };
    return column(h.recNo, 6) + column(h.startTime, startWidth) + QLatin1Char(' ') +
           column(h.comment, 25);
}

QString RecordStore::systemErrorText() const {
    return tr("System Error caused by %1:%2").arg(errorNumber_).arg(error_);
}

QString RecordStore::numberOfListLine(const QString& line) {
    return line.left(6).trimmed();
}

} // namespace trq
