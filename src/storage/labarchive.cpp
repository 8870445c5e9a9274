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

// A record row's values as a save writes them.
struct RecordRow {
    qint64 number = 0;
    bool isNew = true;
    QVariantList fields;                      // as the statements name them, the number last
    QList<QVariantList> parts, notes, events; // each row's values
    QList<qint64> unanswered;                 // new records whose save had no answer
};

} // namespace

// What a record keeps of one supply's points: their run and span, the
// digits they were shown with, their row comments and events.
struct LabSpan {
    WorkingRun key;
    int table = 1;
    QString link;
    qint64 first = -1, last = -1;
    Digits digits;
    QList<std::pair<qint64, QString>> notes;
    QList<RecordEvent> events;
};

// A supply's part of a record as a load reads it.
struct LabPart {
    int table = 1;
    WorkingRun key; // its confirmed: the span's last point
    qint64 first = 0;
    QString decimals, link;
    QHash<qint64, QString> notes;
    QList<RecordEvent> events;
};

struct LabLoad {
    WorkingHeader header; // the working table's once loaded
    QList<LabPart> parts; // the record row's own first
};

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
        lastAnswered_ = [answer] {
            const std::lock_guard done(answer->m);
            return answer->done;
        };
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
    // The last question is done with, answered in time or not.
    bool answered() const { return !lastAnswered_ || lastAnswered_(); }

private:
    QThread* thread_;
    LabConnectionHolder* connection_; // lives in thread_
    bool stalled_ = false;
    std::function<bool()> lastAnswered_;
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
    stalled_ = line_->stalled();
    if (stalled_) {
        // The next question goes on a line of its own; this one is watched
        // till its question is done with.
        stalledLine_ = std::move(line_);
        stalledSince_.start();
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

std::optional<QList<ArchivedRecord>> LabArchive::allRecords() {
    return ask<QList<ArchivedRecord>>([](LabDatabase& db, QString* why) {
        QSqlQuery q(db.database());
        if (!exec(q,
                  QStringLiteral("select number, station, coalesce((select "
                                 "string_agg(p.supply, ' + ' order by p.part) from "
                                 "record_part p where p.number = r.number), supply), "
                                 "start_time, end_time, description, scale, time_length "
                                 "from record r order by number desc"),
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

std::optional<std::vector<RecordedSupply>> LabArchive::benchRun(bool whole) {
    if (!bench_ || !whole)
        return std::nullopt;
    std::vector<RecordedSupply> run = bench_->supplies(QString());
    return isPlainRun(run) ? std::nullopt : std::optional(run);
}

RecordStore& LabArchive::storeOf(int table) {
    return bench_ && table != working_.supply() ? *bench_->store(table) : working_;
}

std::optional<WorkingRun> LabArchive::workingRun(RecordStore& store, const RecordedSupply& supply) {
    if (std::optional<WorkingRun> r = store.workingRun())
        return r;
    // Points recorded without the lab (or loaded from the local file): a
    // run of their own, from their first point.
    QDateTime first;
    store.forEachWorkingRow(0, 1, [&](const SampleRow& row) {
        first = QDateTime::fromString(row.recTime, QLatin1String(kRecordTimeFormat));
    });
    const QDateTime now = QDateTime::currentDateTime();
    Source s = source_();
    if (&store != &working_) // another supply of the bench, as its run names it
        s = {s.station, supply.name.isEmpty() ? supply.model : supply.name, supply.model,
             supply.serial, supply.channels};
    // Runs made at one instant for several supplies stay apart by supply.
    const WorkingRun made{s.station,
                          s.supply,
                          s.model,
                          s.serial,
                          s.channels,
                          now.toMSecsSinceEpoch(),
                          first.isValid() ? first : now,
                          -1};
    if (!store.setWorkingRun(made)) {
        fail(store.systemErrorText());
        return std::nullopt;
    }
    return made;
}

std::optional<LabSpan> LabArchive::send(RecordStore& store, const WorkingRun& key,
                                        const SeqRange& range) {
    LabBatch head;
    head.station = key.station;
    head.supply = key.supply;
    head.model = key.model;
    head.serial = key.serial;
    head.run = key.run;
    head.started = key.started;
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
    LabSpan span;
    span.key = key;
    span.table = store.supply();
    span.digits.fill(-1);
    const bool read = store.forEachWorkingRow(RowOrder::BySeqNo, [&](const SampleRow& row) {
        if (row.seqNo < range.first || row.seqNo > range.last || !sent)
            return;
        if (span.first < 0)
            span.first = row.seqNo;
        span.last = row.seqNo;
        noteDigits(span.digits, row);
        if (!row.comment.isEmpty())
            span.notes.push_back({row.seqNo, row.comment});
        if (row.seqNo > key.confirmed) // the rest is there already
            batch->add(row, key.channels);
        if (batch->size() >= std::size_t(kBatchPoints))
            flush();
    });
    flush();
    if (!read) {
        fail(store.systemErrorText());
        return std::nullopt;
    }
    if (!sent)
        return std::nullopt;
    for (const RecordEvent& e : store.events())
        if (e.seqNo >= span.first && e.seqNo <= span.last + 1)
            span.events << e;
    return span;
}

bool LabArchive::write(const RecordHeader& h, const SeqRange& range, bool isNew) {
    error_.clear();
    // A save that had no answer may still be made: the next one waits for
    // it (a while at most), so that it can take its place.
    constexpr qint64 kLateSaveMsec = 120000;
    if (stalledLine_ && (stalledLine_->answered() || stalledSince_.hasExpired(kLateSaveMsec)))
        stalledLine_.reset();
    if (isNew && stalledLine_ && !unanswered_.isEmpty())
        return fail(tr("the last save has had no answer yet; try again once the server answers."));
    // A bench's run keeps each supply's table in its parts; the points of
    // one supply alone are a record as one supply's always was.
    const std::optional<std::vector<RecordedSupply>> run = benchRun(range.whole());
    RecordedSupply own;
    own.table = working_.supply();
    std::vector<LabSpan> spans;
    for (const RecordedSupply& supply : run.value_or(std::vector<RecordedSupply>{own})) {
        RecordStore& store = storeOf(supply.table);
        const std::optional<WorkingRun> key = workingRun(store, supply);
        if (!key)
            return false;
        std::optional<LabSpan> span = send(store, *key, range);
        if (!span)
            return false;
        span->link = supply.link;
        if (span->first >= 0) // a supply that recorded nothing has no part
            spans.push_back(std::move(*span));
    }
    if (spans.empty())
        return fail(tr("the working table holds no points to save."));
    RecordRow record;
    record.number = h.recNo.trimmed().toLongLong();
    record.isNew = isNew;
    if (isNew)
        record.unanswered = unanswered_;
    const LabSpan& first = spans.front();
    record.fields = {first.key.station,
                     first.key.supply,
                     first.key.run,
                     first.first,
                     first.last,
                     h.comment,
                     h.startTime,
                     h.endTime,
                     int(leadingNumber(h.recStyle)),
                     int(leadingNumber(h.showStyle)),
                     digitsText(first.digits),
                     record.number};
    for (const LabSpan& span : spans) {
        const int part = run ? span.table : 1;
        if (run)
            record.parts << QVariantList{
                record.number, part,      span.key.station,        span.key.supply, span.key.run,
                span.first,    span.last, digitsText(span.digits), span.link};
        for (const auto& [seq, comment] : span.notes)
            record.notes << QVariantList{record.number, part, seq, comment};
        for (const RecordEvent& e : span.events)
            record.events << QVariantList{record.number, part,    e.seqNo, e.recTime, e.channel,
                                          e.quantity,    e.value, e.limit, e.action};
    }
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
            // A save that got no answer may have been made after all: this
            // one takes its place rather than leave the points twice named.
            for (qint64 late : record.unanswered)
                ok = ok && exec(q,
                                QStringLiteral("delete from record where number = ? and "
                                               "(station, supply, run, first_seq) = (?,?,?,?)"),
                                {late, record.fields[0], record.fields[1], record.fields[2],
                                 record.fields[3]},
                                why);
            if (ok && !record.isNew && q.numRowsAffected() != 1) {
                *why = tr("record %1 is no longer there; save it as a new one.").arg(record.number);
                ok = false;
            }
            for (const QString& table :
                 {QStringLiteral("record_part"), QStringLiteral("record_note"),
                  QStringLiteral("record_event")})
                ok = ok && exec(q, QStringLiteral("delete from %1 where number = ?").arg(table),
                                number, why);
            const auto insert = [&](const QString& statement, const QList<QVariantList>& rows) {
                for (const QVariantList& row : rows)
                    ok = ok && exec(q, statement, row, why);
            };
            insert(QStringLiteral("insert into record_part (number, part, station, supply, run, "
                                  "first_seq, last_seq, decimals, link) "
                                  "values (?,?,?,?,?,?,?,?,?)"),
                   record.parts);
            insert(QStringLiteral("insert into record_note (number, part, seq, comment) "
                                  "values (?,?,?,?)"),
                   record.notes);
            insert(QStringLiteral("insert into record_event (number, part, seq, time, channel, "
                                  "quantity, value, bound, action) values (?,?,?,?,?,?,?,?,?)"),
                   record.events);
            if (ok && db.commit())
                return std::optional(true);
            if (ok)
                *why = db.lastError().text();
            db.rollback();
            return std::optional<bool>();
        }).has_value();
    if (!saved) {
        if (isNew && stalled_)
            unanswered_ << record.number;
        return false;
    }
    if (isNew)
        unanswered_.clear();
    // Each store's points up to the span's last are on the server now.
    for (const LabSpan& span : spans)
        if (range.first <= span.key.confirmed + 1 && span.last > span.key.confirmed) {
            WorkingRun confirmed = span.key;
            confirmed.confirmed = span.last;
            storeOf(span.table).setWorkingRun(confirmed);
        }
    // The bench's run is this record now, whichever supply's window saved
    // it: the first supply's tables keep the run's header.
    if (run) {
        RecordStore& head = *bench_->store(1);
        WorkingHeader wh = head.workingHeader().value_or(WorkingHeader{});
        wh.recNo = h.recNo.trimmed();
        wh.description = h.comment;
        wh.unsaved = false;
        if (!head.setWorkingHeader(wh))
            return fail(head.systemErrorText());
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

bool LabArchive::fetch(RecordStore& store, const LabLoad& load, const LabPart& part) {
    WorkingRun key = part.key;
    const QDateTime start =
        QDateTime::fromString(load.header.startTime, QLatin1String(kRecordTimeFormat));
    const Digits digits = digitsFrom(part.decimals);
    // A page of points at a time: a record of weeks never sits in memory.
    const auto fill = [&](const RecordStore::RowSink& append) {
        std::optional<SampleRow> row;
        qint64 lastTick = -1;
        const auto flush = [&] { return !row || append(*std::exchange(row, std::nullopt)); };
        for (qint64 from = part.first; from <= key.confirmed; from += kLoadRows) {
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
                    row->comment = part.notes.value(p.seq);
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
    if (!store.replaceWorking(fill, part.events))
        return error_.isEmpty() ? fail(store.systemErrorText()) : false;
    // Its points are the server's already: a save of them sends none again.
    return store.setWorkingRun(key) || fail(store.systemErrorText());
}

bool LabArchive::loadToWorking(const QString& recNo) {
    error_.clear();
    const qint64 number = recNo.trimmed().toLongLong();
    const std::optional<LabLoad> load = ask<LabLoad>([number](LabDatabase& db, QString* why) {
        QSqlQuery q(db.database());
        // The record row's span is its first part; a bench's record names
        // every supply's in its parts.
        if (!exec(q,
                  QStringLiteral(
                      "select s.part, s.station, s.supply, s.run, s.first_seq, s.last_seq, "
                      "s.decimals, s.link, u.model, u.serial, u.started, r.start_time, (select "
                      "max(channel) from point t where (t.station, t.supply, t.run) = "
                      "(s.station, s.supply, s.run) and t.seq between s.first_seq and "
                      "s.last_seq), r.end_time, r.description, r.scale from "
                      "record r cross join lateral (select part, station, supply, run, "
                      "first_seq, last_seq, decimals, link from record_part p where "
                      "p.number = r.number union all select 0, r.station, r.supply, r.run, "
                      "r.first_seq, r.last_seq, r.decimals, '' where not exists (select 1 from "
                      "record_part p where p.number = r.number)) s join run u on "
                      "(u.station, u.supply, u.run) = (s.station, s.supply, s.run) "
                      "where r.number = ? order by (s.station, s.supply, s.run) <> "
                      "(r.station, r.supply, r.run), s.part"),
                  {number}, why))
            return std::optional<LabLoad>();
        LabLoad found;
        QHash<int, qsizetype> byPart;
        while (q.next()) {
            LabPart p;
            p.table = std::clamp(q.value(0).toInt(), 0, 99); // 0: one supply's, no parts
            p.key = WorkingRun{q.value(1).toString(),
                               q.value(2).toString(),
                               q.value(8).toString(),
                               q.value(9).toString(),
                               std::clamp(q.value(12).toInt(), 1, 4),
                               q.value(3).toLongLong(),
                               q.value(10).toDateTime(),
                               q.value(5).toLongLong()};
            p.first = q.value(4).toLongLong();
            p.decimals = q.value(6).toString();
            p.link = q.value(7).toString();
            found.header = WorkingHeader{QString::number(number),
                                         q.value(11).toString(),
                                         q.value(13).toString(),
                                         q.value(14).toString(),
                                         false,
                                         q.value(15).toInt()};
            // Notes and events of a record of one supply are its part 1.
            byPart.insert(std::max(p.table, 1), found.parts.size());
            found.parts << p;
        }
        if (found.parts.isEmpty()) {
            *why = tr("there is no record %1.").arg(number);
            return std::optional<LabLoad>();
        }
        if (!exec(q, QStringLiteral("select part, seq, comment from record_note where number = ?"),
                  {number}, why))
            return std::optional<LabLoad>();
        while (q.next())
            if (const auto at = byPart.find(q.value(0).toInt()); at != byPart.end())
                found.parts[*at].notes.insert(q.value(1).toLongLong(), q.value(2).toString());
        if (!exec(q,
                  QStringLiteral("select part, seq, time, channel, quantity, value, bound, action "
                                 "from record_event where number = ? order by seq"),
                  {number}, why))
            return std::optional<LabLoad>();
        while (q.next())
            if (const auto at = byPart.find(q.value(0).toInt()); at != byPart.end())
                found.parts[*at].events << RecordEvent{
                    q.value(1).toLongLong(), q.value(2).toString(), q.value(3).toInt(),
                    q.value(4).toString(),   q.value(5).toDouble(), q.value(6).toDouble(),
                    q.value(7).toString()};
        return std::optional(found);
    });
    if (!load)
        return false;
    if (!bench_) // this supply's window: the record's first supply
        return fetch(working_, *load, load->parts.front());
    // On a bench the record is the run: its supplies' rows, every other
    // supply's emptied. A record of one supply goes to the asking one.
    LabLoad placed = *load;
    if (placed.parts.front().table == 0)
        placed.parts.front().table = working_.supply();
    std::vector<RecordedSupply> supplies;
    for (const LabPart& p : placed.parts)
        supplies.push_back(
            {p.table, p.key.supply, p.key.model, p.key.serial, p.link, p.key.channels});
    // The supplies are the parts, in their order.
    qsizetype next = 0;
    const bool loaded =
        bench_->replaceRun(supplies, placed.header, [&](const RecordedSupply&, RecordStore& store) {
            return fetch(store, placed, placed.parts.at(next++));
        });
    return loaded || (error_.isEmpty() ? fail(bench_->lastError()) : false);
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
