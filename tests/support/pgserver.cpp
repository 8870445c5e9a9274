#include "support/pgserver.h"

#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QList>
#include <QProcess>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace trq::test {

PgServer::PgServer() : dir_(QDir::tempPath() + QStringLiteral("/trq-pg-XXXXXX")) {
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (versions.isEmpty()) {
        error_ = QStringLiteral("PostgreSQL is not installed (scripts/deps.sh installs it)");
        return;
    }
    bin_ = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(versions.last());
    asRoot_ = ::geteuid() == 0;
    // The server's user writes the cluster beside the test's files.
    QFile::setPermissions(
        dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                         QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                         QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup);
    port_ = freePort();
    if (run(binary(QStringLiteral("initdb")),
            {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
             QStringLiteral("--auth=trust"), QStringLiteral("-U"), QStringLiteral("postgres"),
             QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")}))
        start();
}

PgServer::~PgServer() {
    if (started_) {
        freeze(false);
        stop();
    }
}

QString PgServer::binary(const QString& name) const {
    return bin_ + QLatin1Char('/') + name;
}

bool PgServer::run(const QString& program, const QStringList& arguments, int msec) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (asRoot_) {
        p.setProgram(QStringLiteral("runuser"));
        p.setArguments(QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                   QStringLiteral("--"), program} +
                       arguments);
    } else {
        p.setProgram(program);
        p.setArguments(arguments);
    }
    p.setWorkingDirectory(dir_.path());
    p.start();
    if (!p.waitForFinished(msec) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error_ = QStringLiteral("%1 failed: %2")
                     .arg(QFileInfo(program).fileName(), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    error_.clear();
    return true;
}

bool PgServer::start() {
    if (!run(binary(QStringLiteral("pg_ctl")),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
              dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-o"),
              QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                  .arg(port_)
                  .arg(dir_.path()),
              QStringLiteral("start")}))
        return false;
    started_ = true;
    return true;
}

bool PgServer::stop() {
    return run(binary(QStringLiteral("pg_ctl")),
               {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")});
}

bool PgServer::freeze(bool frozen) {
    QFile pid(dir_.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pid.open(QIODevice::ReadOnly))
        return false;
    const int postmaster = pid.readLine().trimmed().toInt();
    if (postmaster <= 0)
        return false;
    // The postmaster and its backends, each found by its parent.
    QList<int> pids{postmaster};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == postmaster)
            pids << entry.toInt();
    }
    bool all = true;
    for (int p : pids)
        all = ::kill(p, frozen ? SIGSTOP : SIGCONT) == 0 && all;
    return all;
}

bool PgServer::createDatabase(const QString& name) {
    return run(binary(QStringLiteral("createdb")),
               {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                QString::number(port_), QStringLiteral("-U"), QStringLiteral("postgres"), name});
}

bool PgServer::psql(const QString& database, const QString& sql) {
    return run(binary(QStringLiteral("psql")),
               {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                QString::number(port_), QStringLiteral("-U"), QStringLiteral("postgres"),
                QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                database, QStringLiteral("-c"), sql});
}

LabAddress PgServer::address(const QString& database) const {
    LabAddress a;
    a.user = QStringLiteral("postgres");
    a.host = QStringLiteral("127.0.0.1");
    a.port = port_;
    a.database = database;
    a.sslMode = QStringLiteral("disable");
    return a;
}

} // namespace trq::test
