#include "storage/labarchive.h"

#include "core/numbers.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>

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

// One statement with its values bound; false with the server's words.
bool exec(QSqlQuery& q, const QString& statement, const QVariantList& values, QString* why) {
    q.prepare(statement);
    for (const QVariant& v : values)
        // A text never given (an empty description) is no SQL null.
        q.addBindValue(v.userType() == QMetaType::QString && v.toString().isNull()
                           ? QVariant(QStringLiteral(""))
                           : v);
    if (q.exec())
        return true;
    *why = q.lastError().text().trimmed();
    return false;
}

// A point of a record as the server keeps it, a row a channel.
struct PointRow {
    qint64 seq = 0;
    int channel = 1;
    QDateTime time;
    QVariant voltage, current, charge, energy;
    bool gap = false;
};

// What a load needs besides the points.
struct LoadHead {
    WorkingRun key;
    qint64 first = 0;
    QString start, decimals;
    QHash<qint64, QString> notes;
    QList<RecordEvent> events;
};

// A record row's values as a save writes them.
struct RecordRow {
    qint64 number = 0;
    bool isNew = true;
    QVariantList fields; // as the statements name them, the number last
    QList<std::pair<qint64, QString>> notes;
    QList<RecordEvent> events;
};

} // namespace

// The line's connection, living in its thread. It checks the connection
// at each question: one the server dropped (a restart) is opened again
// rather than failing the question. It gives up connecting before the
// question's wait ends, so a server that lets no one in is said as such.
class LabConnectionHolder : public QObject {
public:
    explicit LabConnectionHolder(const LabAddress& address)
        : connection(address, QStringLiteral("trq-lab-line"), LabArchive::kAnswerMsec / 1000 - 1,
                     true) {}
    LabConnection connection;
};

// A thread asked one thing at a time, and waited for a while at most.
class LabLine {
public:
    explicit LabLine(const LabAddress& address)
        : thread_(new QThread), connection_(new LabConnectionHolder(address)) {
        connection_->moveToThread(thread_);
        // Its connection is closed in its own thread as that ends.
        QObject::connect(thread_, &QThread::finished, connection_, &QObject::deleteLater);
        thread_->start();
    }
    ~LabLine() { endServerThread(thread_, stalled_ ? 0 : kServerThreadEndMsec); }
    LabLine(const LabLine&) = delete;
    LabLine& operator=(const LabLine&) = delete;

    // unopened: the connection could not be opened (why says so whole).
    template <typename T>
    std::optional<T> ask(const std::function<std::optional<T>(LabDatabase&, QString*)>& work,
                         int msec, QString* why, bool* unopened) {
        struct Answer {
            std::mutex m;
            std::condition_variable cv;
            bool done = false, unopened = false;
            std::optional<T> value;
            QString why;
        };
        auto answer = std::make_shared<Answer>();
        LabConnectionHolder* c = connection_;
        QMetaObject::invokeMethod(
            c,
            [c, work, answer] {
                QString text;
                std::optional<T> value;
                LabDatabase* db = c->connection.ready(&text);
                if (db)
                    value = work(*db, &text);
                const std::lock_guard lock(answer->m);
                answer->value = std::move(value);
                answer->why = text;
                answer->unopened = !db;
                answer->done = true;
                answer->cv.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(answer->m);
        if (!answer->cv.wait_for(lock, std::chrono::milliseconds(msec),
                                 [&] { return answer->done; })) {
            stalled_ = true;
            return std::nullopt;
        }
        *why = answer->why;
        *unopened = answer->unopened;
        return std::move(answer->value);
    }
    bool stalled() const { return stalled_; }

private:
    QThread* thread_;
    LabConnectionHolder* connection_; // lives in thread_
    bool stalled_ = false;
};

LabArchive::LabArchive(const LabAddress& address, RecordStore& working,
                       std::function<Source()> source)
    : address_(address), working_(working), source_(std::move(source)) {}

LabArchive::~LabArchive() = default;

bool LabArchive::fail(const QString& why) {
    error_ = tr("The lab database: %1").arg(why.trimmed());
    return false;
}

template <typename T>
std::optional<T> LabArchive::ask(std::function<std::optional<T>(LabDatabase&, QString*)> work) {
    if (!line_)
        line_ = std::make_unique<LabLine>(address_);
    QString why;
    bool unopened = false;
    std::optional<T> value = line_->ask<T>(work, kAnswerMsec, &why, &unopened);
    if (line_->stalled()) {
        line_.reset(); // the next question goes on a line of its own
        fail(tr("no answer in %1 s; the server may be stalled. Try again once it answers.")
                 .arg(kAnswerMsec / 1000));
        return std::nullopt;
    }
    if (unopened)
        error_ = why; // said whole already
    else if (!value)
        fail(why);
    return value;
}

std::optional<QString> LabArchive::openNow() {
    if (ask<bool>([](LabDatabase&, QString*) { return std::optional<bool>(true); }))
        return std::nullopt;
    return error_;
}

std::optional<QList<ArchivedRecord>> LabArchive::records(const RecordFilter& filter) {
    const std::optional<QList<ArchivedRecord>> all =
        ask<QList<ArchivedRecord>>([](LabDatabase& db, QString* why) {
            QSqlQuery q(db.database());
            if (!exec(q,
                      QStringLiteral("select number, station, supply, start_time, end_time, "
                                     "description, scale, time_length from record "
                                     "order by number desc"),
                      {}, why))
                return std::optional<QList<ArchivedRecord>>();
            QList<ArchivedRecord> list;
            while (q.next())
                list << ArchivedRecord{{q.value(0).toString(), q.value(3).toString(),
                                        q.value(4).toString(), q.value(5).toString(),
                                        q.value(6).toString(), q.value(7).toString()},
                                       q.value(1).toString(),
                                       q.value(2).toString()};
            return std::optional(list);
        });
    if (!all)
        return std::nullopt;
    QList<ArchivedRecord> shown;
    for (const ArchivedRecord& r : *all)
        if (filter.matches(r))
            shown << r;
    return shown;
}

std::optional<RecordHeader> LabArchive::record(const QString& recNo) {
    const qint64 number = recNo.trimmed().toLongLong();
    return ask<RecordHeader>([number](LabDatabase& db, QString* why) {
        QSqlQuery q(db.database());
        if (!exec(q,
                  QStringLiteral("select number, start_time, end_time, description, scale, "
                                 "time_length from record where number = ?"),
                  {number}, why))
            return std::optional<RecordHeader>();
        if (!q.next()) {
            *why = tr("there is no record %1.").arg(number);
            return std::optional<RecordHeader>();
        }
        return std::optional(RecordHeader{q.value(0).toString(), q.value(1).toString(),
                                          q.value(2).toString(), q.value(3).toString(),
                                          q.value(4).toString(), q.value(5).toString()});
    });
}

std::optional<QString> LabArchive::nextRecordNumber() {
    const std::optional<qint64> n = ask<qint64>([](LabDatabase& db, QString* why) {
        const std::optional<qint64> next = db.nextRecordNumber();
        if (!next)
            *why = db.lastError();
        return next;
    });
    return n ? std::optional(QString::number(*n)) : std::nullopt;
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
    error_.clear();
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
    auto batch = std::make_shared<LabBatch>(head);
    bool sent = true;
    auto flush = [&] {
        if (batch->size() > 0 && sent)
            sent = ask<bool>([batch](LabDatabase& db, QString* why) {
                       if (db.store(*batch))
                           return std::optional(true);
                       *why = db.lastError();
                       return std::optional<bool>();
                   }).has_value();
        batch = std::make_shared<LabBatch>(head);
    };
    RecordRow record;
    record.number = h.recNo.trimmed().toLongLong();
    record.isNew = isNew;
    qint64 first = -1, last = -1;
    Digits digits;
    digits.fill(-1);
    const bool read = working_.forEachWorkingRow(RowOrder::BySeqNo, [&](const SampleRow& row) {
        if (row.seqNo < range.first || row.seqNo > range.last || !sent)
            return;
        if (first < 0)
            first = row.seqNo;
        last = row.seqNo;
        noteDigits(digits, row);
        if (!row.comment.isEmpty())
            record.notes.push_back({row.seqNo, row.comment});
        if (row.seqNo > key->confirmed) // the rest is there already
            batch->add(row, key->channels);
        if (batch->size() >= std::size_t(kBatchPoints))
            flush();
    });
    flush();
    if (!read)
        return fail(working_.systemErrorText());
    if (!sent)
        return false;
    if (first < 0)
        return fail(tr("the working table holds no points to save."));
    for (const RecordEvent& e : working_.events())
        if (e.seqNo >= first && e.seqNo <= last + 1)
            record.events << e;
    record.fields = {key->station,
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
                     record.number};
    const bool saved =
        ask<bool>([record](LabDatabase& lab, QString* why) {
            QSqlDatabase db = lab.database();
            if (!db.transaction()) {
                *why = db.lastError().text();
                return std::optional<bool>();
            }
            QSqlQuery q(db);
            const QVariantList number{record.number};
            bool ok = record.isNew
                          ? exec(q,
                                 QStringLiteral("insert into record (station, supply, run, "
                                                "first_seq, last_seq, description, start_time, "
                                                "end_time, scale, time_length, decimals, number) "
                                                "values (?,?,?,?,?,?,?,?,?,?,?,?)"),
                                 record.fields, why)
                          : exec(q,
                                 QStringLiteral("update record set station = ?, supply = ?, "
                                                "run = ?, first_seq = ?, last_seq = ?, "
                                                "description = ?, start_time = ?, end_time = ?, "
                                                "scale = ?, time_length = ?, decimals = ? "
                                                "where number = ?"),
                                 record.fields, why);
            if (ok && !record.isNew && q.numRowsAffected() != 1) {
                *why = tr("record %1 is no longer there; save it as a new one.").arg(record.number);
                ok = false;
            }
            ok = ok &&
                 exec(q, QStringLiteral("delete from record_note where number = ?"), number, why) &&
                 exec(q, QStringLiteral("delete from record_event where number = ?"), number, why);
            for (const auto& [seq, comment] : record.notes)
                ok = ok && exec(q,
                                QStringLiteral("insert into record_note (number, "
                                               "seq, comment) values (?,?,?)"),
                                {record.number, seq, comment}, why);
            for (const RecordEvent& e : record.events)
                ok = ok && exec(q,
                                QStringLiteral("insert into record_event (number, seq, time, "
                                               "channel, quantity, value, bound, action) "
                                               "values (?,?,?,?,?,?,?,?)"),
                                {record.number, e.seqNo, e.recTime, e.channel, e.quantity, e.value,
                                 e.limit, e.action},
                                why);
            if (ok && db.commit())
                return std::optional(true);
            if (ok)
                *why = db.lastError().text();
            db.rollback();
            return std::optional<bool>();
        }).has_value();
    if (!saved)
        return false;
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
        return false;
    h->comment = comment;
    return write(*h, {}, false);
}

bool LabArchive::loadToWorking(const QString& recNo) {
    error_.clear();
    const qint64 number = recNo.trimmed().toLongLong();
    const std::optional<LoadHead> head = ask<LoadHead>([number](LabDatabase& db, QString* why) {
        QSqlQuery q(db.database());
        if (!exec(q,
                  QStringLiteral("select r.station, r.supply, r.run, r.first_seq, r.last_seq, "
                                 "r.start_time, r.decimals, u.model, u.serial, u.started from "
                                 "record r join run u using (station, supply, run) "
                                 "where r.number = ?"),
                  {number}, why))
            return std::optional<LoadHead>();
        if (!q.next()) {
            *why = tr("there is no record %1.").arg(number);
            return std::optional<LoadHead>();
        }
        LoadHead h;
        h.key = WorkingRun{q.value(0).toString(),
                           q.value(1).toString(),
                           q.value(7).toString(),
                           q.value(8).toString(),
                           1,
                           q.value(2).toLongLong(),
                           q.value(9).toDateTime(),
                           q.value(4).toLongLong()};
        h.first = q.value(3).toLongLong();
        h.start = q.value(5).toString();
        h.decimals = q.value(6).toString();
        if (!exec(q, QStringLiteral("select seq, comment from record_note where number = ?"),
                  {number}, why))
            return std::optional<LoadHead>();
        while (q.next())
            h.notes.insert(q.value(0).toLongLong(), q.value(1).toString());
        if (!exec(q,
                  QStringLiteral("select seq, time, channel, quantity, value, bound, action "
                                 "from record_event where number = ? order by seq"),
                  {number}, why))
            return std::optional<LoadHead>();
        while (q.next())
            h.events << RecordEvent{q.value(0).toLongLong(), q.value(1).toString(),
                                    q.value(2).toInt(),      q.value(3).toString(),
                                    q.value(4).toDouble(),   q.value(5).toDouble(),
                                    q.value(6).toString()};
        return std::optional(h);
    });
    if (!head)
        return false;
    WorkingRun key = head->key;
    const QDateTime start = QDateTime::fromString(head->start, QLatin1String(kRecordTimeFormat));
    const Digits digits = digitsFrom(head->decimals);
    // A page of points at a time: a record of weeks never sits in memory.
    const auto fill = [&](const RecordStore::RowSink& append) {
        std::optional<SampleRow> row;
        qint64 lastTick = -1;
        const auto flush = [&] { return !row || append(*std::exchange(row, std::nullopt)); };
        for (qint64 from = head->first; from <= key.confirmed; from += kLoadRows) {
            const qint64 to = std::min(from + kLoadRows - 1, key.confirmed);
            const std::optional<QList<PointRow>> page =
                ask<QList<PointRow>>([key, from, to](LabDatabase& db, QString* why) {
                    QSqlQuery q(db.database());
                    q.setForwardOnly(true);
                    if (!exec(q,
                              QStringLiteral("select seq, channel, time, voltage, current, "
                                             "charge, energy, gap from point where station = ? "
                                             "and supply = ? and run = ? and seq between ? "
                                             "and ? order by seq, channel"),
                              {key.station, key.supply, key.run, from, to}, why))
                        return std::optional<QList<PointRow>>();
                    QList<PointRow> points;
                    while (q.next())
                        points << PointRow{q.value(0).toLongLong(),
                                           q.value(1).toInt(),
                                           q.value(2).toDateTime(),
                                           q.value(3),
                                           q.value(4),
                                           q.value(5),
                                           q.value(6),
                                           q.value(7).toBool()};
                    return std::optional(points);
                });
            if (!page)
                return false;
            for (const PointRow& p : *page) {
                if (!row || row->seqNo != p.seq) {
                    if (!flush())
                        return false;
                    row.emplace();
                    row->seqNo = p.seq;
                    const QDateTime at = p.time.toLocalTime();
                    row->recTime = at.toString(QLatin1String(kRecordTimeFormat));
                    row->comment = head->notes.value(p.seq);
                    row->gap = p.gap;
                    row->timeTick = start.isValid() ? std::max<qint64>(0, start.secsTo(at)) : 0;
                    row->diffLastTime = lastTick < 0 ? 0 : row->timeTick - lastTick;
                    lastTick = row->timeTick;
                }
                const int channel = std::clamp(p.channel, 1, 4);
                key.channels = std::max(key.channels, channel);
                const auto c = std::size_t(channel - 1);
                row->volt[c] = shown(p.voltage, digits[c * 4]);
                row->curr[c] = shown(p.current, digits[c * 4 + 1]);
                row->charge[c] = integrated(p.charge);
                row->energy[c] = integrated(p.energy);
            }
        }
        return flush();
    };
    if (!working_.replaceWorking(fill, head->events))
        return error_.isEmpty() ? fail(working_.systemErrorText()) : false;
    // Its points are the server's already: a save of them sends none again.
    return working_.setWorkingRun(key) || fail(working_.systemErrorText());
}

bool LabArchive::deleteRecord(const QString& recNo) {
    const qint64 number = recNo.trimmed().toLongLong();
    return ask<bool>([number](LabDatabase& db, QString* why) {
               QSqlQuery q(db.database());
               if (!exec(q, QStringLiteral("delete from record where number = ?"), {number}, why))
                   return std::optional<bool>();
               // The run's points stay: they are what was recorded, the
               // record only named them.
               if (q.numRowsAffected() == 1)
                   return std::optional(true);
               *why = tr("there is no record %1.").arg(number);
               return std::optional<bool>();
           })
        .has_value();
}

} // namespace trq
