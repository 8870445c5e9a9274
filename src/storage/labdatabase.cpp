#include "storage/labdatabase.h"

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

#include <array>
#include <utility>

namespace trq {

namespace {

// libpq's TLS modes.
const QStringList kSslModes{QStringLiteral("disable"),   QStringLiteral("allow"),
                            QStringLiteral("prefer"),    QStringLiteral("require"),
                            QStringLiteral("verify-ca"), QStringLiteral("verify-full")};

// Two stations starting at once take turns at the schema.
constexpr qint64 kSchemaLock = 0x54525131; // "TRQ1"

// Migration n brings version n-1 to n. Never edit one that has shipped:
// add the next.
const std::array<QStringList, 4> kMigrations{
    QStringList{
        QStringLiteral("create table station (name text primary key, "
                       "first_seen timestamptz not null default now())"),
        // A run: one supply's recording on a station, its points numbered.
        QStringLiteral("create table run (station text not null references station (name), "
                       "supply text not null, run bigint not null, model text not null, "
                       "serial text not null default '', started timestamptz not null, "
                       "primary key (station, supply, run))"),
        QStringLiteral("create table point (station text not null, supply text not null, "
                       "run bigint not null, seq bigint not null, channel smallint not null, "
                       "time timestamptz not null, voltage double precision, "
                       "current double precision, charge double precision, "
                       "energy double precision, "
                       "primary key (station, supply, run, seq, channel), "
                       "foreign key (station, supply, run) references run (station, supply, run) "
                       "on delete cascade)"),
        // Numbers from a sequence: unique however many stations save at once.
        QStringLiteral("create sequence record_number"),
        QStringLiteral(
            "create table record (number bigint primary key "
            "default nextval('record_number'), station text not null, "
            "supply text not null, run bigint not null, first_seq bigint not null, "
            "last_seq bigint not null, description text not null default '', "
            "saved timestamptz not null default now(), "
            "foreign key (station, supply, run) references run (station, supply, run))")},
    QStringList{
        // A time range of one supply's points, fast.
        QStringLiteral("create index point_supply_time on point (supply, time)"),
        QStringLiteral("create view readings as select station, supply, channel, time, voltage, "
                       "current, voltage * current as power, charge, energy from point")},
    QStringList{
        // Records as the program's windows show them: their times, scale,
        // the digits of their values, row comments and events.
        QStringLiteral("alter table point add column gap boolean not null default false"),
        QStringLiteral("alter table record add column start_time text not null default '', "
                       "add column end_time text not null default '', "
                       "add column scale integer not null default 0, "
                       "add column time_length integer not null default 0, "
                       "add column decimals text not null default ''"),
        QStringLiteral("create table record_note (number bigint not null references record "
                       "(number) on delete cascade, seq bigint not null, comment text not null, "
                       "primary key (number, seq))"),
        QStringLiteral("create table record_event (number bigint not null references record "
                       "(number) on delete cascade, seq bigint not null, time text not null, "
                       "channel smallint not null, quantity text not null, "
                       "value double precision not null, bound double precision not null, "
                       "action text not null)")},
    QStringList{
        // A bench's record: a span of each supply's run, by the table the
        // supply recorded into. The record's own row names its first
        // supply's span, as a record of one supply (which has no parts).
        QStringLiteral("create table record_part (number bigint not null references record "
                       "(number) on delete cascade, part smallint not null, "
                       "station text not null, supply text not null, run bigint not null, "
                       "first_seq bigint not null, last_seq bigint not null, "
                       "decimals text not null default '', link text not null default '', "
                       "primary key (number, part), foreign key (station, supply, run) "
                       "references run (station, supply, run))"),
        QStringLiteral("alter table record_note add column part smallint not null default 1, "
                       "drop constraint record_note_pkey, add primary key (number, part, seq)"),
        QStringLiteral("alter table record_event add column part smallint not null default 1")}};

// Arrays as PostgreSQL reads them, so a batch goes in one statement.
template <typename T, typename Text> QString arrayText(const std::vector<T>& values, Text text) {
    QStringList items;
    items.reserve(qsizetype(values.size()));
    for (const T& v : values)
        items << text(v);
    return QLatin1Char('{') + items.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString numbers(const std::vector<std::optional<double>>& values) {
    return arrayText(values, [](const std::optional<double>& v) {
        return v ? QString::number(*v, 'g', 17) : QStringLiteral("NULL");
    });
}

QString utc(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

void endServerThread(QThread* thread, int waitMsec) {
    thread->quit();
    if (thread->wait(waitMsec)) {
        delete thread;
        return;
    }
    // Kept in reach till then, as nothing else holds it.
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    static auto* left = new std::vector<QThread*>;
    left->push_back(thread);
}

void LabBatch::add(const SampleRow& row, int channels) {
    const QDateTime at = QDateTime::fromString(row.recTime, QLatin1String(kRecordTimeFormat));
    const PointValues v = valuesOf(row);
    auto value = [](const QString& text, double number) {
        return text.trimmed().isEmpty() ? std::nullopt : std::optional<double>(number);
    };
    for (int c = 0; c < std::clamp(channels, 1, 4); ++c) {
        const auto i = std::size_t(c);
        seq.push_back(row.seqNo);
        channel.push_back(c + 1);
        time.push_back(at);
        voltage.push_back(value(row.volt[i], v.volt[i]));
        current.push_back(value(row.curr[i], v.curr[i]));
        charge.push_back(value(row.charge[i], v.charge[i]));
        energy.push_back(value(row.energy[i], v.energy[i]));
        gap.push_back(row.gap);
    }
    lastSeq = row.seqNo;
}

std::variant<LabAddress, QString> LabAddress::parse(const QString& uri) {
    const QUrl url(uri, QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")))
        return tr("'%1' is no address of the form postgresql://user@host:port/database.").arg(uri);
    if (!url.password().isEmpty())
        return tr("A password does not belong in the address: keep it in ~/.pgpass (or the file "
                  "PGPASSFILE names), where only libpq reads it.");
    LabAddress a;
    a.user = url.userName();
    a.host = url.host();
    a.port = url.port(5432);
    a.database = url.path().mid(1);
    if (a.host.isEmpty() || a.database.isEmpty() || a.database.contains(QLatin1Char('/')))
        return tr("'%1' names no host and database (postgresql://user@host:port/database).")
            .arg(uri);
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key != QLatin1String("sslmode"))
            return tr("'%1' is not an option of the address; sslmode is.").arg(key);
        if (!kSslModes.contains(value))
            return tr("sslmode is one of %1.").arg(kSslModes.join(QStringLiteral(", ")));
        a.sslMode = value;
    }
    return a;
}

QString LabAddress::uri() const {
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(user);
    url.setHost(host);
    url.setPort(port);
    url.setPath(QLatin1Char('/') + database);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("sslmode"), sslMode);
    url.setQuery(query);
    return url.toString();
}

LabDatabase::LabDatabase(const LabAddress& address, const QString& connectionName)
    : name_(connectionName) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    db.setHostName(address.host);
    db.setPort(address.port);
    db.setDatabaseName(address.database);
    db.setUserName(address.user);
    db.setConnectOptions(QStringLiteral("sslmode=%1").arg(address.sslMode));
}

LabDatabase::~LabDatabase() {
    {
        QSqlDatabase db = database();
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

std::optional<QString> LabDatabase::open(int connectSeconds) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return error_ = tr("Qt's PostgreSQL driver is not installed (Debian: libqt6sql6-psql).");
    QSqlDatabase db = database();
    QString options = db.connectOptions();
    options.remove(QRegularExpression(QStringLiteral(";?connect_timeout=\\d+")));
    db.setConnectOptions(options + QStringLiteral(";connect_timeout=%1").arg(connectSeconds));
    if (!db.open())
        return error_ = tr("The lab database could not be opened: %1")
                            .arg(db.lastError().text().trimmed());
    return std::nullopt;
}

bool LabDatabase::exec(const QString& statement) {
    QSqlQuery q(database());
    if (q.exec(statement))
        return true;
    error_ = q.lastError().text().trimmed();
    return false;
}

std::optional<int> LabDatabase::version() {
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("select to_regclass('schema_version') is not null")) || !q.next()) {
        error_ = q.lastError().text().trimmed();
        return std::nullopt;
    }
    if (!q.value(0).toBool())
        return 0;
    if (!q.exec(QStringLiteral("select coalesce(max(version), 0) from schema_version")) ||
        !q.next()) {
        error_ = q.lastError().text().trimmed();
        return std::nullopt;
    }
    return q.value(0).toInt();
}

std::optional<QString> LabDatabase::prepare(int upTo) {
    QSqlDatabase db = database();
    for (;;) {
        if (!db.transaction())
            return error_ = db.lastError().text().trimmed();
        // Taken in turn, and read again under the lock: another station may
        // have moved it on meanwhile.
        std::optional<int> at;
        if (exec(QStringLiteral("select pg_advisory_xact_lock(%1)").arg(kSchemaLock)))
            at = version();
        if (at == 0 && !exec(QStringLiteral("create table if not exists schema_version "
                                            "(version integer not null)")))
            at.reset();
        if (!at) {
            db.rollback();
            return tr("The lab database's version could not be read: %1").arg(error_);
        }
        if (*at > kSchemaVersion) {
            db.rollback();
            return error_ = tr("The lab database is of version %1, newer than this program's "
                               "%2: it is left as it is. Use a newer program.")
                                .arg(*at)
                                .arg(kSchemaVersion);
        }
        if (*at >= upTo)
            return db.commit() ? std::nullopt : std::optional<QString>(db.lastError().text());
        const int next = *at + 1;
        bool done = true;
        for (const QString& statement : kMigrations[std::size_t(next - 1)])
            done = done && exec(statement);
        done =
            done &&
            (*at == 0 ? exec(QStringLiteral("insert into schema_version values (%1)").arg(next))
                      : exec(QStringLiteral("update schema_version set version = %1").arg(next)));
        if (!done || !db.commit()) {
            const QString why = error_;
            db.rollback();
            return error_ = tr("The lab database could not be brought to version %1: %2")
                                .arg(next)
                                .arg(why);
        }
    }
}

bool LabDatabase::store(const LabBatch& b) {
    QSqlDatabase db = database();
    QSqlQuery q(db);
    auto run = [&](const QString& statement, const QVariantList& values) {
        q.prepare(statement);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (q.exec())
            return true;
        error_ = q.lastError().text().trimmed();
        return false;
    };
    if (!db.transaction()) {
        error_ = db.lastError().text().trimmed();
        return false;
    }
    error_.clear();
    const bool stored =
        run(QStringLiteral("insert into station (name) values (?) on conflict do nothing"),
            {b.station}) &&
        run(QStringLiteral("insert into run (station, supply, run, model, serial, started) "
                           "values (?, ?, ?, ?, ?, ?::timestamptz) on conflict do nothing"),
            {b.station, b.supply, b.run, b.model, b.serial, utc(b.started)}) &&
        run(QStringLiteral("insert into point (station, supply, run, seq, channel, time, "
                           "voltage, current, charge, energy, gap) select ?, ?, ?, * from "
                           "unnest(?::bigint[], ?::smallint[], ?::timestamptz[], "
                           "?::float8[], ?::float8[], ?::float8[], ?::float8[], ?::bool[]) "
                           "on conflict do nothing"),
            {b.station, b.supply, b.run,
             arrayText(b.seq, [](qint64 s) { return QString::number(s); }),
             arrayText(b.channel, [](int c) { return QString::number(c); }),
             arrayText(
                 b.time,
                 [](const QDateTime& t) { return QLatin1Char('"') + utc(t) + QLatin1Char('"'); }),
             numbers(b.voltage), numbers(b.current), numbers(b.charge), numbers(b.energy),
             arrayText(b.gap,
                       [](bool g) { return g ? QStringLiteral("t") : QStringLiteral("f"); })});
    if (stored && db.commit())
        return true;
    if (error_.isEmpty())
        error_ = db.lastError().text().trimmed();
    db.rollback();
    return false;
}

LabConnection::LabConnection(const LabAddress& address, const QString& prefix, int connectSeconds,
                             bool checkEachUse)
    : address_(address), prefix_(prefix), connectSeconds_(connectSeconds),
      checkEachUse_(checkEachUse) {}

LabDatabase* LabConnection::ready(QString* why) {
    if (db_ && db_->database().isOpen()) {
        if (!checkEachUse_)
            return db_.get();
        QSqlQuery probe(db_->database());
        if (probe.exec(QStringLiteral("select 1")))
            return db_.get();
    }
    db_.reset();
    static QAtomicInt made;
    db_ = std::make_unique<LabDatabase>(
        address_, QStringLiteral("%1-%2").arg(prefix_).arg(made.fetchAndAddRelaxed(1)));
    std::optional<QString> failed = db_->open(connectSeconds_);
    if (!failed)
        failed = db_->prepare();
    if (!failed)
        return db_.get();
    *why = *failed;
    db_.reset();
    return nullptr;
}

std::optional<qint64> LabDatabase::nextRecordNumber() {
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("select nextval('record_number')")) || !q.next()) {
        error_ = q.lastError().text().trimmed();
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

} // namespace trq
