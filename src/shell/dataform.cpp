#include "shell/dataform.h"

#include "shell/debugtrace.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

namespace trq {

namespace {

QString pathIn(const QString& folder, const QString& name) {
    return QDir(folder).filePath(name);
}

MachineTypeRecord recordOf(const QSqlQuery& q) {
    MachineTypeRecord r;
    r.model = q.value(0).toString();
    r.listed = q.value(1).toBool();
    r.layout = q.value(2).toInt();
    r.perChannel = q.value(3).toBool();
    r.maxVolt = q.value(4).toDouble();
    r.maxCurr = q.value(5).toDouble();
    r.maxOvp = q.value(6).toDouble();
    r.stepVolt = q.value(7).toDouble();
    r.stepCurr = q.value(8).toDouble();
    r.stepOvp = q.value(9).toDouble();
    r.fmtVolt = q.value(10).toString();
    r.fmtCurr = q.value(11).toString();
    r.fmtOvp = q.value(12).toString();
    return r;
}

} // namespace

DataForm::~DataForm() {
    closeConnection();
}

QString DataForm::defaultFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(pathIn(programFolder, QString::fromLatin1(kFileName))) ||
        QFileInfo(programFolder).isWritable())
        return programFolder;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

bool DataForm::create(const QString& path, QString* error) {
    const QString name = QStringLiteral("mtype-create");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        if (ok) {
            db.transaction();
            QSqlQuery q(db);
            const QStringList statements =
                QString::fromUtf8(kSchema).split(QStringLiteral(";\n"), Qt::SkipEmptyParts);
            for (QString statement : statements) {
                // Comment lines carry no statement of their own.
                QStringList lines = statement.split(QLatin1Char('\n'));
                lines.removeIf([](const QString& l) { return l.trimmed().startsWith("--"); });
                statement = lines.join(QLatin1Char('\n')).trimmed();
                if (statement.isEmpty())
                    continue;
                if (!q.exec(statement)) {
                    ok = false;
                    if (error)
                        *error = q.lastError().text();
                    break;
                }
            }
            ok = ok && db.commit();
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QSqlDatabase DataForm::database() const {
    return QSqlDatabase::database(QString::fromLatin1(kConnection), false);
}

void DataForm::closeConnection() {
    if (!QSqlDatabase::contains(QString::fromLatin1(kConnection)))
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(kConnection));
}

DataForm::OpenResult DataForm::open(const QString& folder) {
    folder_ = folder;
    error_.clear();
    const QString native = QDir::toNativeSeparators(folder);
    if (!QFileInfo::exists(pathIn(folder, QString::fromLatin1(kFileName)))) {
        error_ = QStringLiteral("System cannot find [") + native + QStringLiteral("\\mtype.mdb].") +
                 QLatin1Char('\n') + QStringLiteral(" Please copy mtype.mdb to [") + native +
                 QStringLiteral("\\] directory.");
        return OpenResult::Missing;
    }
    if (tryOpen())
        return OpenResult::Ok;
    printd(QStringLiteral("mtype.mdb cannot be opened, repairing: ") + error_);
    if (repair() && tryOpen())
        return OpenResult::Ok;
    error_ =
        QStringLiteral("The database %1 is damaged and could not be repaired (%2). A copy "
                       "was kept as %3.")
            .arg(QDir::toNativeSeparators(pathIn(folder, QString::fromLatin1(kFileName))), error_,
                 QStringLiteral("mtype") +
                     QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                     QStringLiteral(".mdb"));
    return OpenResult::Failed;
}

bool DataForm::tryOpen() {
    closeConnection();
    QSqlDatabase db =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(kConnection));
    db.setDatabaseName(pathIn(folder_, QString::fromLatin1(kFileName)));
    if (!db.open()) {
        error_ = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    // quick_check finds damage that a plain read of one table would not.
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
        q.value(0).toString() != QLatin1String("ok")) {
        error_ = q.lastError().isValid() ? q.lastError().text() : q.value(0).toString();
        return false;
    }
    if (!q.exec(QStringLiteral("select * from data1"))) {
        error_ = q.lastError().text();
        return false;
    }
    // One sync per committed write; writers never block the readers.
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    return true;
}

bool DataForm::repair() {
    closeConnection();
    const QString file = pathIn(folder_, QString::fromLatin1(kFileName));
    const QString backup =
        pathIn(folder_, QStringLiteral("mtype") +
                            QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                            QStringLiteral(".mdb"));
    const QString compacted = pathIn(folder_, QStringLiteral("mtypenew.mdb"));
    QFile::remove(backup);
    if (!QFile::copy(file, backup)) {
        error_ = QStringLiteral("cannot write the backup ") + QDir::toNativeSeparators(backup);
        return false;
    }
    QFile::remove(compacted);
    bool compactedOk = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mtype-repair"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("VACUUM INTO ?"));
            q.addBindValue(QFileInfo(compacted).absoluteFilePath());
            compactedOk = q.exec();
            if (!compactedOk)
                error_ = q.lastError().text();
        } else {
            error_ = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mtype-repair"));
    if (!compactedOk)
        return false;
    QFile::remove(file);
    QFile::remove(file + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
    return QFile::copy(compacted, file);
}

QList<MachineTypeRecord> DataForm::machineTypes() const {
    QList<MachineTypeRecord> rows;
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("select * from data1 order by rowid")))
        return rows;
    while (q.next())
        rows << recordOf(q);
    return rows;
}

std::optional<MachineTypeRecord> DataForm::find(const QString& model) const {
    QSqlQuery q(database());
    q.prepare(QStringLiteral("select * from data1 where MTYPE = ? order by rowid limit 1"));
    q.addBindValue(model);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return recordOf(q);
}

} // namespace trq
