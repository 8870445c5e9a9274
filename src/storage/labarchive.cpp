#include "storage/labarchive.h"

#include "core/numbers.h"

#include <QSqlError>
#include <QSqlQuery>

#include <array>

namespace trq {

namespace {

// Points a batch of a save holds (rows times channels), and rows a page of
// a load.
constexpr int kBatchPoints = 20000;
constexpr qint64 kLoadRows = 5000;

// Digits after the point of each channel's voltage and current (and of its
// charge and energy, kept for whatever reads the record), as the rows show
// them: a loaded record shows them so again.
using Digits = std::array<int, 16>;

int digitsOf(const QString& text) {
    const QString t = text.trimmed();
    const qsizetype point = t.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : int(t.size() - point - 1);
}

void noteDigits(Digits& d, const SampleRow& r) {
    for (std::size_t c = 0; c < 4; ++c) {
        const std::array<const QString*, 4> texts{&r.volt[c], &r.curr[c], &r.charge[c],
                                                  &r.energy[c]};
        for (std::size_t q = 0; q < 4; ++q)
            if (d[c * 4 + q] < 0 && !texts[q]->trimmed().isEmpty())
                d[c * 4 + q] = digitsOf(*texts[q]);
    }
}

QString digitsText(const Digits& d) {
    QStringList parts;
    for (int n : d)
        parts << QString::number(n);
    return parts.join(QLatin1Char(','));
}

Digits digitsFrom(const QString& text) {
    Digits d;
    d.fill(3);
    const QStringList parts = text.split(QLatin1Char(','));
    for (std::size_t i = 0; i < d.size() && i < std::size_t(parts.size()); ++i)
        d[i] = std::max(0, parts[qsizetype(i)].toInt());
    return d;
}

QString shown(const QVariant& v, int digits) {
    return v.isNull() ? QString() : QString::number(v.toDouble(), 'f', digits);
}

// Charge and energy as the local file gives them back: numbers there, read
// as their shortest text.
QString integrated(const QVariant& v) {
    return v.isNull() ? QString() : QVariant(v.toDouble()).toString();
}

} // namespace

LabArchive::LabArchive(LabDatabase& lab, RecordStore& working, std::function<Source()> source)
    : lab_(lab), working_(working), source_(std::move(source)) {}

bool LabArchive::fail(const QString& why) {
    error_ = tr("The lab database: %1").arg(why.trimmed());
    return false;
}

bool LabArchive::run(QSqlQuery& q, const QString& statement, const QVariantList& values) {
    q.prepare(statement);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (q.exec())
        return true;
    return fail(q.lastError().text());
}

bool LabArchive::reachable() {
    // A connection the server dropped (a restart) stays "open": a statement
    // tells, and it is opened again once.
    QSqlQuery probe(lab_.database());
    if (lab_.database().isOpen() && probe.exec(QStringLiteral("select 1")))
        return true;
    lab_.database().close();
    std::optional<QString> why = lab_.open();
    if (!why)
        why = lab_.prepare();
    return !why || fail(*why);
}

QList<ArchivedRecord> LabArchive::records(const RecordFilter& filter) {
    QList<ArchivedRecord> list;
    QSqlQuery q(lab_.database());
    if (!reachable() ||
        !run(q,
             QStringLiteral("select number, station, supply, start_time, end_time, description, "
                            "scale, time_length from record order by number desc"),
             {}))
        return list;
    while (q.next()) {
        ArchivedRecord r{{q.value(0).toString(), q.value(3).toString(), q.value(4).toString(),
                          q.value(5).toString(), q.value(6).toString(), q.value(7).toString()},
                         q.value(1).toString(),
                         q.value(2).toString()};
        if (filter.matches(r))
            list << std::move(r);
    }
    return list;
}

std::optional<RecordHeader> LabArchive::record(const QString& recNo) {
    QSqlQuery q(lab_.database());
    if (!reachable() ||
        !run(q,
             QStringLiteral("select number, start_time, end_time, description, scale, "
                            "time_length from record where number = ?"),
             {recNo.trimmed().toLongLong()}) ||
        !q.next())
        return std::nullopt;
    return RecordHeader{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                        q.value(3).toString(), q.value(4).toString(), q.value(5).toString()};
}

std::optional<QString> LabArchive::nextRecordNumber() {
    if (!reachable())
        return std::nullopt;
    const std::optional<qint64> n = lab_.nextRecordNumber();
    if (!n) {
        fail(lab_.lastError());
        return std::nullopt;
    }
    return QString::number(*n);
}

void LabArchive::recordingStarted(const QDateTime& start) {
    const Source s = source_();
    working_.setWorkingRun(WorkingRun{s.station, s.supply, s.model, s.serial, s.channels,
                                      start.toMSecsSinceEpoch(), start, -1});
}

std::optional<WorkingRun> LabArchive::workingRun() {
    if (std::optional<WorkingRun> r = working_.workingRun())
        return r;
    // Points recorded without the lab (or loaded from the local file): a
    // run of their own, from their first point.
    QDateTime first;
    working_.forEachWorkingRow(0, 1, [&](const SampleRow& row) {
        first = QDateTime::fromString(row.recTime, QLatin1String(kRecordTimeFormat));
    });
    const QDateTime now = QDateTime::currentDateTime();
    const Source s = source_();
    const WorkingRun made{s.station,
                          s.supply,
                          s.model,
                          s.serial,
                          s.channels,
                          now.toMSecsSinceEpoch(),
                          first.isValid() ? first : now,
                          -1};
    if (!working_.setWorkingRun(made)) {
        fail(working_.systemErrorText());
        return std::nullopt;
    }
    return made;
}

bool LabArchive::write(const RecordHeader& h, const SeqRange& range, bool isNew) {
    if (!reachable())
        return false;
    const std::optional<WorkingRun> key = workingRun();
    if (!key)
        return false;
    LabBatch head;
    head.station = key->station;
    head.supply = key->supply;
    head.model = key->model;
    head.serial = key->serial;
    head.run = key->run;
    head.started = key->started;
    LabBatch batch = head;
    bool sent = true;
    auto flush = [&] {
        if (batch.size() > 0 && sent && !lab_.store(batch))
            sent = fail(lab_.lastError());
        batch = head;
    };
    qint64 first = -1, last = -1;
    Digits digits;
    digits.fill(-1);
    QList<std::pair<qint64, QString>> notes;
    const bool read = working_.forEachWorkingRow(RowOrder::BySeqNo, [&](const SampleRow& row) {
        if (row.seqNo < range.first || row.seqNo > range.last)
            return;
        if (first < 0)
            first = row.seqNo;
        last = row.seqNo;
        noteDigits(digits, row);
        if (!row.comment.isEmpty())
            notes.push_back({row.seqNo, row.comment});
        batch.add(row, key->channels);
        if (batch.size() >= std::size_t(kBatchPoints))
            flush();
    });
    flush();
    if (!read)
        return fail(working_.systemErrorText());
    if (!sent)
        return false;
    if (first < 0)
        return fail(tr("the working table holds no points to save."));

    QSqlDatabase db = lab_.database();
    if (!db.transaction())
        return fail(db.lastError().text());
    QSqlQuery q(db);
    const qint64 number = h.recNo.trimmed().toLongLong();
    const QVariantList fields{key->station,
                              key->supply,
                              key->run,
                              first,
                              last,
                              h.comment,
                              h.startTime,
                              h.endTime,
                              int(leadingNumber(h.recStyle)),
                              int(leadingNumber(h.showStyle)),
                              digitsText(digits),
                              number};
    bool ok =
        isNew ? run(q,
                    QStringLiteral("insert into record (station, supply, run, first_seq, "
                                   "last_seq, description, start_time, end_time, scale, "
                                   "time_length, decimals, number) values "
                                   "(?,?,?,?,?,?,?,?,?,?,?,?)"),
                    fields)
              : run(q,
                    QStringLiteral("update record set station = ?, supply = ?, run = ?, "
                                   "first_seq = ?, last_seq = ?, description = ?, start_time = ?, "
                                   "end_time = ?, scale = ?, time_length = ?, decimals = ? "
                                   "where number = ?"),
                    fields) &&
                    (q.numRowsAffected() == 1 ||
                     fail(tr("record %1 is no longer there; save it as a new one.").arg(number))) &&
                    run(q, QStringLiteral("delete from record_note where number = ?"), {number}) &&
                    run(q, QStringLiteral("delete from record_event where number = ?"), {number});
    for (const auto& [seq, comment] : notes)
        ok = ok && run(q,
                       QStringLiteral("insert into record_note (number, seq, comment) "
                                      "values (?,?,?)"),
                       {number, seq, comment});
    for (const RecordEvent& e : working_.events())
        if (e.seqNo >= first && e.seqNo <= last + 1)
            ok = ok && run(q,
                           QStringLiteral("insert into record_event (number, seq, time, channel, "
                                          "quantity, value, bound, action) "
                                          "values (?,?,?,?,?,?,?,?)"),
                           {number, e.seqNo, e.recTime, e.channel, e.quantity, e.value, e.limit,
                            e.action});
    if (!ok || !db.commit()) {
        if (ok)
            fail(db.lastError().text());
        db.rollback();
        return false;
    }
    // The whole working table is on the server now.
    if (range.first <= key->confirmed + 1 && last > key->confirmed) {
        WorkingRun confirmed = *key;
        confirmed.confirmed = last;
        working_.setWorkingRun(confirmed);
    }
    return true;
}

bool LabArchive::saveNew(const RecordHeader& header, int window, const SeqRange& range) {
    Q_UNUSED(window) // which window saved it: the local file's own column
    return write(header, range, true);
}

bool LabArchive::replace(const QString& recNo, const QString& comment, int window) {
    Q_UNUSED(window)
    std::optional<RecordHeader> h = record(recNo);
    if (!h)
        return error_.isEmpty() ? fail(tr("there is no record %1.").arg(recNo)) : false;
    h->comment = comment;
    return write(*h, {}, false);
}

bool LabArchive::loadToWorking(const QString& recNo) {
    error_.clear();
    const qint64 number = recNo.trimmed().toLongLong();
    QSqlQuery q(lab_.database());
    if (!reachable() ||
        !run(q,
             QStringLiteral("select r.station, r.supply, r.run, r.first_seq, r.last_seq, "
                            "r.start_time, r.decimals, u.model, u.serial, u.started from record r "
                            "join run u using (station, supply, run) where r.number = ?"),
             {number}))
        return false;
    if (!q.next())
        return fail(tr("there is no record %1.").arg(recNo));
    WorkingRun key{q.value(0).toString(),
                   q.value(1).toString(),
                   q.value(7).toString(),
                   q.value(8).toString(),
                   1,
                   q.value(2).toLongLong(),
                   q.value(9).toDateTime(),
                   q.value(4).toLongLong()};
    const qint64 first = q.value(3).toLongLong();
    const QDateTime start =
        QDateTime::fromString(q.value(5).toString(), QLatin1String(kRecordTimeFormat));
    const Digits digits = digitsFrom(q.value(6).toString());

    QHash<qint64, QString> notes;
    if (!run(q, QStringLiteral("select seq, comment from record_note where number = ?"), {number}))
        return false;
    while (q.next())
        notes.insert(q.value(0).toLongLong(), q.value(1).toString());

    QList<RecordEvent> events;
    if (!run(q,
             QStringLiteral("select seq, time, channel, quantity, value, bound, action from "
                            "record_event where number = ? order by seq"),
             {number}))
        return false;
    while (q.next())
        events << RecordEvent{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toInt(),
                              q.value(3).toString(),   q.value(4).toDouble(), q.value(5).toDouble(),
                              q.value(6).toString()};
    // A page of points at a time: a record of weeks never sits in memory.
    const auto fill = [&](const RecordStore::RowSink& append) {
        std::optional<SampleRow> row;
        qint64 lastTick = -1;
        const auto flush = [&] { return !row || append(*std::exchange(row, std::nullopt)); };
        for (qint64 from = first; from <= key.confirmed; from += kLoadRows) {
            QSqlQuery page(lab_.database());
            page.setForwardOnly(true);
            if (!run(page,
                     QStringLiteral("select seq, channel, time, voltage, current, charge, energy, "
                                    "gap from point where station = ? and supply = ? and run = ? "
                                    "and seq between ? and ? order by seq, channel"),
                     {key.station, key.supply, key.run, from,
                      std::min(from + kLoadRows - 1, key.confirmed)}))
                return false;
            while (page.next()) {
                const qint64 seq = page.value(0).toLongLong();
                if (!row || row->seqNo != seq) {
                    if (!flush())
                        return false;
                    row.emplace();
                    row->seqNo = seq;
                    const QDateTime at = page.value(2).toDateTime().toLocalTime();
                    row->recTime = at.toString(QLatin1String(kRecordTimeFormat));
                    row->comment = notes.value(seq);
                    row->gap = page.value(7).toBool();
                    row->timeTick = start.isValid() ? std::max<qint64>(0, start.secsTo(at)) : 0;
                    row->diffLastTime = lastTick < 0 ? 0 : row->timeTick - lastTick;
                    lastTick = row->timeTick;
                }
                const int channel = std::clamp(page.value(1).toInt(), 1, 4);
                key.channels = std::max(key.channels, channel);
                const auto c = std::size_t(channel - 1);
                row->volt[c] = shown(page.value(3), digits[c * 4]);
                row->curr[c] = shown(page.value(4), digits[c * 4 + 1]);
                row->charge[c] = integrated(page.value(5));
                row->energy[c] = integrated(page.value(6));
            }
        }
        return flush();
    };
    if (!working_.replaceWorking(fill, events))
        return error_.isEmpty() ? fail(working_.systemErrorText()) : false;
    // Its points are the server's already: a save of them sends none again.
    working_.setWorkingRun(key);
    return true;
}

bool LabArchive::deleteRecord(const QString& recNo) {
    QSqlQuery q(lab_.database());
    if (!reachable() || !run(q, QStringLiteral("delete from record where number = ?"),
                             {recNo.trimmed().toLongLong()}))
        return false;
    // The run's points stay: they are what was recorded, the record only
    // named them.
    return q.numRowsAffected() == 1 || fail(tr("there is no record %1.").arg(recNo));
}

} // namespace trq
