#pragma once

#include "storage/recordstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

class QThread;

namespace trq {

// How long a thread that talks to the server is waited for as it ends.
inline constexpr int kServerThreadEndMsec = 500;
// Ends such a thread: waited for waitMsec at most, as a server that does not
// answer holds it; then it is left to end alone (and be deleted) once the
// server answers, so the program goes on or exits without it.
void endServerThread(QThread* thread, int waitMsec);

// Where a lab's PostgreSQL server is, as a user writes it:
// postgresql://user@host:port/dbname?sslmode=require. A password is never
// part of it: libpq takes it from ~/.pgpass, PGPASSFILE or a service file.
struct LabAddress {
    Q_DECLARE_TR_FUNCTIONS(LabAddress)
public:
    QString user, host;
    int port = 5432;
    QString database;
    QString sslMode = QStringLiteral("prefer"); // libpq's own default

    static std::variant<LabAddress, QString> parse(const QString& uri);
    QString uri() const;
    bool operator==(const LabAddress&) const = default;
};

// One batch of a run's points as the lab database takes them, a row a
// point and channel.
struct LabBatch {
    QString station, supply, model, serial;
    qint64 run = 0;
    QDateTime started;
    std::vector<qint64> seq;
    std::vector<int> channel;
    std::vector<QDateTime> time;
    std::vector<std::optional<double>> voltage, current, charge, energy;
    std::vector<bool> gap;
    qint64 lastSeq = -1; // the last point it holds
    std::size_t size() const { return seq.size(); }
    // A working table's row, a row a channel of the first channels.
    void add(const SampleRow& row, int channels);
};

// A lab database: its schema made on first use and brought up to this
// program's version one numbered migration at a time, each in a
// transaction; a database newer than the program is refused, not touched.
//
// Every recorded point is kept once, keyed by station, supply, run and
// sequence number, so a batch sent again adds nothing; a saved record names a
// run's span of points rather than copying them. The view "readings" shows
// each point once with its station, supply and time, for a dashboard.
class LabDatabase {
    Q_DECLARE_TR_FUNCTIONS(LabDatabase)
public:
    static constexpr int kSchemaVersion = 4;

    // A connection of its own name, not yet open.
    LabDatabase(const LabAddress& address, const QString& connectionName);
    ~LabDatabase();
    LabDatabase(const LabDatabase&) = delete;
    LabDatabase& operator=(const LabDatabase&) = delete;

    // Why it cannot be opened (the server's words), or nothing.
    std::optional<QString> open(int connectSeconds = 5);
    // Made or migrated to kSchemaVersion (or to upTo, for a test of an
    // older one); why not, or nothing.
    std::optional<QString> prepare(int upTo = kSchemaVersion);
    // The schema's version; 0 for a database without one; nothing when it
    // cannot be read.
    std::optional<int> version();
    // The batch's points in one transaction, with their station and run;
    // points the server has already are left as they are. False with the
    // reason in lastError().
    bool store(const LabBatch& batch);
    // A record number no other writer gets, however many write at once.
    std::optional<qint64> nextRecordNumber();
    QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }
    QString lastError() const { return error_; }

private:
    bool exec(const QString& statement);

    QString name_;
    QString error_;
};

// A lab database as the one thread that uses it keeps it: opened and
// brought to this program's schema on first use, and opened afresh after a
// failure (drop()) or, where asked to check, a connection the server dropped
// (a restart).
class LabConnection {
public:
    LabConnection(const LabAddress& address, const QString& prefix, int connectSeconds,
                  bool checkEachUse);
    // The open database; nothing with why it cannot be opened.
    LabDatabase* ready(QString* why);
    void drop() { db_.reset(); }

private:
    LabAddress address_;
    QString prefix_;
    int connectSeconds_;
    bool checkEachUse_;
    std::unique_ptr<LabDatabase> db_;
};

} // namespace trq
