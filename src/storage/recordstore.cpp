#include "storage/recordstore.h"

#include <QDateTime>
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

} // namespace

bool RecordStore::exec(const QString& sql, const QVariantList& values) {
    kept_ = {}; // whatever the statement changed, the next read rescans
    return run(sql, values);
}

bool RecordStore::run(const QString& sql, const QVariantList& values) {
    QSqlQuery q(db_);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (q.exec())
        return true;
    error_ = q.lastError().text();
    errorNumber_ = q.lastError().nativeErrorCode().toInt();
    return false;
}

std::optional<std::vector<qint64>> RecordStore::workingAnchors(QChar reason, int every,
                                                               int* count) {
    const QString where = reason.isNull() ? QString() : QStringLiteral(" where reason = ?");
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("select count(*) from datatemp") + where);
    if (!reason.isNull())
        q.addBindValue(QString(reason));
    if (!q.exec() || !q.next()) {
        error_ = q.lastError().text();
        return std::nullopt;
    }
    *count = q.value(0).toInt();
    // Counted by SQLite itself: only the anchors come back.
    q.prepare(QStringLiteral("select SeqNo from (select SeqNo, row_number() over (order by "
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
    q.prepare(QStringLiteral("select * from datatemp where SeqNo >= ?") +
              (reason.isNull() ? QString() : QStringLiteral(" and reason = ?")) +
              QStringLiteral(" order by SeqNo limit ?"));
    q.addBindValue(fromSeqNo);
    if (!reason.isNull())
        q.addBindValue(QString(reason));
    q.addBindValue(limit);
    return readRows(q);
}

bool RecordStore::inTransaction(const std::function<bool()>& work) {
    if (!db_.transaction()) {
        error_ = db_.lastError().text();
        return false;
    }
    if (work()) {
        if (db_.commit())
            return true;
        error_ = db_.lastError().text();
        errorNumber_ = db_.lastError().nativeErrorCode().toInt();
    }
    db_.rollback();
    return false;
}

bool RecordStore::clearWorking() {
    return exec(QStringLiteral("delete from datatemp")) &&
           exec(QStringLiteral("delete from dataevent where RecNo = ''"));
}

bool RecordStore::addEvent(const LimitEvent& e) {
    return exec(QStringLiteral("insert into dataevent (RecNo, SeqNo, RecTime, Channel, Quantity, "
                               "Value, LimitValue, Action) values ('', ?,?,?,?,?,?,?)"),
                {e.seqNo, e.recTime, e.channel, e.quantity, e.value, e.limit, e.action});
}

QList<LimitEvent> RecordStore::events(const QString& recNo) {
    QList<LimitEvent> list;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("select SeqNo, RecTime, Channel, Quantity, Value, LimitValue, Action "
                             "from dataevent where RecNo = ? order by rowid"));
    q.addBindValue(recNo.isNull() ? QStringLiteral("") : recNo);
    if (!q.exec()) {
        error_ = q.lastError().text();
        return list;
    }
    while (q.next())
        list << LimitEvent{q.value(0).toLongLong(), text(q.value(1)),      q.value(2).toInt(),
                           text(q.value(3)),        q.value(4).toDouble(), q.value(5).toDouble(),
                           text(q.value(6))};
    return list;
}

bool RecordStore::appendSample(const SampleRow& r) {
    Kept kept = kept_;
    // Once a second: a busy file may hold the event loop for a moment only.
    QSqlQuery(db_).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kAppendBusyMsec));
    const bool ok = exec(QStringLiteral("insert into datatemp (") + kDetailColumns +
                             QStringLiteral(") values (") + kDetailPlaceholders + QLatin1Char(')'),
                         detailValues(r));
    QSqlQuery(db_).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kBusyMsec));
    // A point only widens the extremes and extends the values: fold it in
    // instead of reading the whole table again once a second.
    if (ok && kept.extremes && foldIn(kept, r))
        kept_ = std::move(kept);
    return ok;
}

QList<SampleRow> RecordStore::workingRows(QChar reason) {
    QSqlQuery q(db_);
    if (reason.isNull()) {
        q.prepare(QStringLiteral("select * from datatemp order by seqno asc"));
    } else {
        q.prepare(QStringLiteral("select * from datatemp where reason = ? order by seqno asc"));
        q.addBindValue(QString(reason));
    }
    return readRows(q);
}

std::optional<int> RecordStore::workingCount() {
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("select count(*) from datatemp")) || !q.next()) {
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
    // Not through exec(): the header changes nothing the store keeps.
    return run(QStringLiteral("insert or replace into workhead (Id, RecNo, StartTime, EndTime, "
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
    return exec(QStringLiteral("insert into datadetail (RecNo, SeqWindow, ") + kDetailColumns +
                    QStringLiteral(") select ?, ?, ") + kDetailColumns +
                    QStringLiteral(" from datatemp") + where,
                QVariantList{recNo, window} + bounds) &&
           exec(QStringLiteral("insert into dataevent (RecNo, SeqNo, RecTime, Channel, Quantity, "
                               "Value, LimitValue, Action) select ?, SeqNo, RecTime, Channel, "
                               "Quantity, Value, LimitValue, Action from dataevent where RecNo = "
                               "''") +
                    QStringLiteral(" and SeqNo between ? and ?"),
                QVariantList{recNo} + bounds);
}

bool RecordStore::saveNew(const RecordHeader& h, int window, const SeqRange& range) {
    return inTransaction([&] {
        return exec(QStringLiteral("insert into datamain (RecNo, StartTime, EndTime, Comment, "
                                   "PUnit, SUnit, RecStyle, ShowStyle) values (?,?,?,?,?,?,?,?)"),
                    {h.recNo, h.startTime, h.endTime, h.comment, QStringLiteral("V"),
                     QStringLiteral("A"), h.recStyle, h.showStyle}) &&
               copyWorkingToDetail(h.recNo, window, range);
    });
}

bool RecordStore::replace(const QString& recNo, const QString& comment, int window) {
    return inTransaction([&] {
        return exec(QStringLiteral("update datamain set comment = ? where recno = ?"),
                    {comment, recNo}) &&
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
    q.prepare(QStringLiteral("select RecNo, StartTime, EndTime, Comment, RecStyle, ShowStyle "
                             "from datamain where recno = ?"));
    q.addBindValue(recNo);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return RecordHeader{text(q.value(0)).trimmed(), text(q.value(1)), text(q.value(2)),
                        text(q.value(3)),           text(q.value(4)), text(q.value(5))};
}

bool RecordStore::loadToWorking(const QString& recNo) {
    return inTransaction([&] {
        return clearWorking() &&
               exec(QStringLiteral("insert into datatemp (") + kDetailColumns +
                        QStringLiteral(") select ") + kDetailColumns +
                        QStringLiteral(" from datadetail where recno = ? order by seqno"),
                    {recNo}) &&
               exec(QStringLiteral("insert into dataevent (RecNo, SeqNo, RecTime, Channel, "
                                   "Quantity, Value, LimitValue, Action) select '', SeqNo, "
                                   "RecTime, Channel, Quantity, Value, LimitValue, Action from "
                                   "dataevent where RecNo = ? order by rowid"),
                    {recNo});
    });
}

bool RecordStore::deleteRecord(const QString& recNo) {
    return inTransaction([&] {
        return exec(QStringLiteral("delete from datadetail where recno = ?"), {recNo}) &&
               exec(QStringLiteral("delete from dataevent where recno = ?"), {recNo}) &&
               exec(QStringLiteral("delete from datamain where recno = ?"), {recNo});
    });
}

ChannelExtremes RecordStore::extremes(int channel) {
    const std::vector<ChannelExtremes> all = extremesUpTo(std::clamp(channel, 1, 4));
    return all.back();
}

namespace {

// Only numeric values take part; an empty reading is no extreme.
QString numeric(const QString& column) {
    return QStringLiteral("case when trim(%1) <> '' and trim(%1) not glob '*[^-+0-9.eE]*' then "
                          "cast(%1 as real) end")
        .arg(column);
}

std::optional<double> numberAt(const QSqlQuery& q, int i) {
    const QVariant v = q.value(i);
    bool ok = false;
    const double d = v.toDouble(&ok);
    return v.isNull() || !ok ? std::nullopt : std::optional<double>(d);
}

void widen(std::optional<double>& max, std::optional<double>& min, std::optional<double> v) {
    if (!v)
        return;
    max = max ? std::max(*max, *v) : *v;
    min = min ? std::min(*min, *v) : *v;
}

} // namespace

bool RecordStore::foldIn(Kept& kept, const SampleRow& r) {
    // The database's own conversions, on the point's values.
    QStringList columns, values;
    for (int i = 0; i < 8; ++i)
        columns << numeric(QStringLiteral("v%1").arg(i));
    for (int i = 0; i < 8; ++i) {
        columns << QStringLiteral("ifnull(cast(v%1 as real), 0)").arg(i);
        values << QStringLiteral("? as v%1").arg(i);
    }
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("select ") + columns.join(QStringLiteral(", ")) +
              QStringLiteral(" from (select ") + values.join(QStringLiteral(", ")) +
              QLatin1Char(')'));
    for (std::size_t c = 0; c < 4; ++c) {
        q.addBindValue(value(r.volt[c]));
        q.addBindValue(value(r.curr[c]));
    }
    if (!q.exec() || !q.next())
        return false;
    if (kept.extremes) {
        for (int c = 0; c < 4; ++c) {
            ChannelExtremes& e = (*kept.extremes)[std::size_t(c)];
            widen(e.maxVolt, e.minVolt, numberAt(q, 2 * c));
            widen(e.maxCurr, e.minCurr, numberAt(q, 2 * c + 1));
        }
    }
    return true;
}

std::vector<ChannelExtremes> RecordStore::extremesUpTo(int channels) {
    channels = std::clamp(channels, 1, 4);
    if (!kept_.extremes) {
        if (auto all = scanExtremes())
            kept_.extremes = all;
        else
            return std::vector<ChannelExtremes>(std::size_t(channels));
    }
    return {kept_.extremes->begin(), kept_.extremes->begin() + channels};
}

std::optional<std::array<ChannelExtremes, 4>> RecordStore::scanExtremes() {
    // One scan of the working table serves every channel; each value is
    // converted once (materialized), not once for its maximum and again for
    // its minimum.
    constexpr int channels = 4;
    QStringList converted, columns;
    int i = 0;
    for (const char* c : {"pval", "sval", "pval2", "sval2", "pval3", "sval3", "pval4", "sval4"}) {
        converted << numeric(QLatin1String(c)) + QStringLiteral(" as v%1").arg(i);
        columns << QStringLiteral("max(v%1), min(v%1)").arg(i++);
    }
    std::array<ChannelExtremes, 4> result;
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("with v as materialized (select ") +
                converted.join(QStringLiteral(", ")) + QStringLiteral(" from datatemp) select ") +
                columns.join(QStringLiteral(", ")) + QStringLiteral(" from v")) ||
        !q.next())
        return std::nullopt;
    for (int c = 0; c < channels; ++c) {
        ChannelExtremes& e = result[std::size_t(c)];
        e.maxVolt = numberAt(q, 4 * c);
        e.minVolt = numberAt(q, 4 * c + 1);
        e.maxCurr = numberAt(q, 4 * c + 2);
        e.minCurr = numberAt(q, 4 * c + 3);
    }
    return result;
}

bool RecordStore::forEachPlotPoint(const std::function<void(const PlotPoint&)>& visit) {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // The database's cast reads the leading number of a text (0 when there
    // is none), as the graph wants, and hands over numbers, not texts.
    QStringList columns{QStringLiteral("SeqNo"), QStringLiteral("ifnull(Gap, 0)")};
    for (const char* c : {"PVal", "SVal", "PVal2", "SVal2", "PVal3", "SVal3", "PVal4", "SVal4",
                          "Ah1", "Wh1", "Ah2", "Wh2", "Ah3", "Wh3", "Ah4", "Wh4"})
        columns << QStringLiteral("ifnull(cast(%1 as real), 0)").arg(QLatin1String(c));
    if (!q.exec(QStringLiteral("select ") + columns.join(QStringLiteral(", ")) +
                QStringLiteral(" from datatemp order by SeqNo asc"))) {
        error_ = q.lastError().text();
        return false;
    }
    PlotPoint p;
    while (q.next()) {
        p.seqNo = q.value(0).toLongLong();
        p.gap = q.value(1).toInt() != 0;
        for (std::size_t c = 0; c < 4; ++c) {
            p.volt[c] = q.value(int(2 + 2 * c)).toDouble();
            p.curr[c] = q.value(int(3 + 2 * c)).toDouble();
            p.charge[c] = q.value(int(10 + 2 * c)).toDouble();
            p.energy[c] = q.value(int(11 + 2 * c)).toDouble();
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
    q.prepare(order == RowOrder::Stored
                  ? QStringLiteral("select * from datatemp")
                  : QStringLiteral("select * from datatemp order by SeqNo asc"));
    return visitRows(q, visit);
}

bool RecordStore::forEachWorkingRow(qint64 fromSeqNo, int limit,
                                    const std::function<void(const SampleRow&)>& visit) {
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("select * from datatemp where SeqNo >= ? order by SeqNo limit ?"));
    q.addBindValue(fromSeqNo);
    q.addBindValue(limit);
    return visitRows(q, visit);
}

bool RecordStore::visitRows(QSqlQuery& q, const std::function<void(const SampleRow&)>& visit) {
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
    visitRows(q, [&rows](const SampleRow& row) { rows << row; });
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
