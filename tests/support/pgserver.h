#pragma once

#include "storage/labdatabase.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace trq::test {

// A PostgreSQL server of a test's own: a cluster in a temporary folder on
// a free loopback port, trusting local users, stopped and removed at the
// end. As root it runs as the unprivileged "postgres" user, as the server
// requires.
class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // Why it is not running; empty when it is.
    const QString& error() const { return error_; }
    quint16 port() const { return port_; }
    // A database made for the test, and where it is.
    bool createDatabase(const QString& name);
    LabAddress address(const QString& database) const;
    // Runs SQL as the server's superuser; false with the reason in error().
    bool psql(const QString& database, const QString& sql);

    bool stop();
    bool start();
    // Every process of the cluster stopped (SIGSTOP) or let go on.
    bool freeze(bool frozen);

private:
    bool run(const QString& program, const QStringList& arguments, int msec = 60000);
    QString binary(const QString& name) const;

    QTemporaryDir dir_;
    QString bin_;
    quint16 port_ = 0;
    bool asRoot_ = false;
    bool started_ = false;
    QString error_;
};

} // namespace trq::test
