#include "support/testsupport.h"

#include "core/debugtrace.h"
#include "core/settings.h"
#include "sim/supply.h"
#include "transports.h"

#include <QDir>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTimer>

#include <sys/resource.h>

namespace trq::test {

IsolatedEnvironment::IsolatedEnvironment() {
    const QString base = dir_.path();
    for (const char* sub : {"home", "config", "runtime", "work"})
        QDir(base).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", (base + QStringLiteral("/home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (base + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("/runtime")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QDir::setCurrent(base + QStringLiteral("/work"));
}

DatabaseFixture::DatabaseFixture(Database::Access access) {
    static int count = 0;
    folder = QDir::current().absoluteFilePath(QStringLiteral("db%1").arg(++count));
    QDir().mkpath(folder);
    Database::create(folder + QStringLiteral("/mtype.mdb"));
    data.open(folder, access);
    store = std::make_unique<RecordStore>(data.database());
}

QString freshFolder(const QString& name) {
    const QString folder = QDir::current().absoluteFilePath(name);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QStringList sqlRows(const QSqlDatabase& db, const QString& statement) {
    QSqlQuery q(db);
    if (!q.exec(statement))
        return {q.lastError().text()};
    QStringList rows;
    while (q.next()) {
        QStringList columns;
        for (int c = 0; c < q.record().count(); ++c)
            columns << q.value(c).toString();
        rows << columns.join(QLatin1Char(' '));
    }
    return rows;
}

int sqlCount(const QSqlDatabase& db, const QString& statement) {
    QSqlQuery q(db);
    return q.exec(statement) && q.next() ? q.value(0).toInt() : -1;
}

void FastWaiter::after(int msec, QObject* context, std::function<void()> work) {
    if (frozen)
        return;
    QTimer::singleShot(0, context, [this, msec, work = std::move(work)] {
        // The time passes when the work runs, as a timer's would.
        if (clock_)
            clock_->advanceMsec(msec);
        work();
    });
}

Prompter::Answer ScriptedPrompter::ask(const QString& text, const QString&, Icon, Buttons buttons) {
    texts << text;
    if (onAsk)
        onAsk();
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

void clearSettings() {
    Settings::clear();
}

namespace {
QSettings settingsFile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QLatin1String(Settings::kApplication));
}
} // namespace

QString storedText(const QString& key) {
    return settingsFile().value(key).toString();
}

void storeText(const QString& key, const QString& text) {
    settingsFile().setValue(key, text);
}

std::shared_ptr<sim::Supply> simulatedSupply(const QString& model) {
    std::shared_ptr<sim::Supply> supply = sim::Supply::create(model);
    if (supply)
        supply->setNoise(0);
    return supply;
}

SimulatedInstrument instrumentOf(std::shared_ptr<sim::Supply> supply) {
    return AppTransports::instrumentOf(std::move(supply));
}

SimGpibBoard* simulatedBoard(std::shared_ptr<sim::Supply> supply) {
    auto* board = new SimGpibBoard(instrumentOf(std::move(supply)));
    board->setReadTimeoutMsec(0);
    board->configure(0, 1);
    return board;
}

QString ScriptedPrompter::saveFileName(const QString& folder, const QString& filter) {
    fileRequests << folder << filter;
    return fileName;
}

TraceCapture::TraceCapture() {
    auto& trace = DebugTrace::instance();
    connect(&trace, &QAbstractItemModel::rowsInserted, this,
            [this, &trace](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    lines << trace.lines().at(row);
            });
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace trq::test
