#include "storage/database.h"

#include "core/debugtrace.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include <vector>

namespace trq {

namespace {

QString pathIn(const QString& folder, const QString& name) {
    return QDir(folder).filePath(name);
}

QVariantList rowOf(const QSqlQuery& q) {
    QVariantList row;
    for (int i = 0; i < q.record().count(); ++i)
        row << q.value(i);
    return row;
}

} // namespace

Database::~Database() {
    closeConnection();
}

QString Database::defaultFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString file = QString::fromLatin1(kFileName);
    if (QFileInfo::exists(pathIn(programFolder, file)))
        return programFolder;
    // An installed program (its fresh copy in <prefix>/share/powertrq) keeps
    // the user's data with the user, even when run by root.
    const bool installed = QFileInfo::exists(
        QDir(programFolder).filePath(QStringLiteral("../share/powertrq/")) + file);
    if (!installed && QFileInfo(programFolder).isWritable())
        return programFolder;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

bool Database::create(const QString& path, QString* error) {
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

QSqlDatabase Database::database() const {
    return QSqlDatabase::database(QString::fromLatin1(kConnection), false);
}

void Database::closeConnection() {
    if (!QSqlDatabase::contains(QString::fromLatin1(kConnection)))
        return;
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(kConnection));
}

QString Database::file() const {
    return pathIn(folder_, QString::fromLatin1(kFileName));
}

namespace {

// SQLite's result codes that mean the file's content is bad; every other
// failure (permissions, a lock, an I/O error) leaves the file as it is.
bool isDamage(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt();
    return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
}

QString reasonOf(const QSqlError& error) {
    return error.text().trimmed();
}

// The first of mtypeYYYYMMDD.mdb, mtypeYYYYMMDD-2.mdb, ... of which no file
// (nor its -wal or -shm) exists yet.
QString freeBackupName(const QString& folder) {
    const QString stem =
        QStringLiteral("mtype") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    for (int n = 1;; ++n) {
        const QString name =
            stem + (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + QStringLiteral(".mdb");
        const QString path = pathIn(folder, name);
        if (!QFileInfo::exists(path) && !QFileInfo::exists(path + QStringLiteral("-wal")) &&
            !QFileInfo::exists(path + QStringLiteral("-shm")))
            return name;
    }
}

const char* const kCompanions[] = {"", "-wal", "-shm"};

void removeWithCompanions(const QString& path) {
    for (const char* suffix : kCompanions)
        QFile::remove(path + QLatin1String(suffix));
}

// The backups in a folder, of any day: mtypeYYYYMMDD.mdb, mtypeYYYYMMDD-n.mdb.
QStringList backupsIn(const QString& folder, const QString& day = QStringLiteral("????????")) {
    QStringList names =
        QDir(folder).entryList({QStringLiteral("mtype") + day + QStringLiteral(".mdb"),
                                QStringLiteral("mtype") + day + QStringLiteral("-*.mdb")},
                               QDir::Files);
    return names;
}

QByteArray digestOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result();
}

// Whether two files hold the same bytes (both missing counts as the same).
bool sameContent(const QString& a, const QString& b) {
    const QFileInfo fa(a), fb(b);
    if (!fa.exists() || !fb.exists())
        return fa.exists() == fb.exists();
    return fa.size() == fb.size() && digestOf(a) == digestOf(b);
}

// The backup already kept of exactly this damaged file (with its -wal), if
// any: a file that fails at every start is copied once, not at every start.
QString backupOfSame(const QString& folder, const QString& source) {
    for (const QString& name : backupsIn(folder)) {
        const QString path = QDir(folder).filePath(name);
        if (sameContent(source, path) &&
            sameContent(source + QStringLiteral("-wal"), path + QStringLiteral("-wal")))
            return name;
    }
    return {};
}

} // namespace

Database::OpenResult Database::open(const QString& folder, Access access) {
    folder_ = folder;
    error_.clear();
    notice_.clear();
    access_ = access;
    const QString native = QDir::toNativeSeparators(folder);
    const QString nativeFile = QDir::toNativeSeparators(file());
    if (!QFileInfo::exists(file())) {
        error_ = tr("System cannot find [%1\\mtype.mdb].\n Please copy mtype.mdb to [%1\\] "
                    "directory.")
                     .arg(native);
        return OpenResult::Missing;
    }
    // An empty file (a copy that never got written, a full disk at its
    // first start) holds nothing to keep: it is made afresh, not repaired.
    if (access_ == Access::ReadWrite && QFileInfo(file()).size() == 0 &&
        QFileInfo(file() + QStringLiteral("-wal")).size() == 0 && QFileInfo(file()).isWritable()) {
        trace(QStringLiteral("mtype.mdb is empty: made afresh"));
        removeWithCompanions(file());
        QString error;
        if (!create(file(), &error))
            trace(QStringLiteral("mtype.mdb could not be made: ") + error);
    }
    if (!QFileInfo(file()).isReadable()) {
        error_ = tr("The database %1 cannot be opened: you have no permission to "
                    "read it.")
                     .arg(nativeFile);
        return OpenResult::CannotOpen;
    }
    Problem problem = tryOpen();
    if (problem == Problem::Damaged && access_ == Access::ReadWrite) {
        if (!openRepaired(nativeFile)) {
            closeConnection();
            return OpenResult::Failed;
        }
        problem = Problem::None;
    }
    switch (problem) {
    case Problem::None:
        break;
    case Problem::CannotOpen:
        error_ = tr("The database %1 cannot be opened (%2). It was left as it is.")
                     .arg(nativeFile, error_);
        closeConnection();
        return OpenResult::CannotOpen;
    case Problem::Damaged:
        error_ = tr("The database %1 is damaged (%2). Opened read-only, it was not "
                    "repaired.")
                     .arg(nativeFile, error_);
        closeConnection();
        return OpenResult::Failed;
    }
    if (access_ == Access::ReadWrite && !writable()) {
        error_ = tr("The database %1 cannot be written (%2).").arg(nativeFile, error_);
        closeConnection();
        return OpenResult::Unwritable;
    }
    if (access_ == Access::ReadWrite)
        upgrade();
    return OpenResult::Ok;
}

bool Database::openRepaired(const QString& nativeFile) {
    trace(QStringLiteral("mtype.mdb is damaged, repairing: ") + error_);
    const QString cause = error_;
    QString backup;
    if (repair(&backup) && tryOpen() == Problem::None) {
        notice_ = tr("The database %1 was damaged (%2) and has been repaired. The "
                     "damaged file was kept as %3.")
                      .arg(nativeFile, cause, backup);
        return true;
    }
    const QString kept = backup.isEmpty()
                             ? tr("It was left as it is; no copy of it could be made.")
                             : tr("It was left as it is; a copy was kept as %1.").arg(backup);
    error_ =
        tr("The database %1 is damaged and could not be repaired (%2). ").arg(nativeFile, error_) +
        kept;
    return false;
}

Database::Problem Database::tryOpen() {
    closeConnection();
    // Checked read-only first: a read-write open of a damaged file could
    // checkpoint its -wal into it before anything has been backed up.
    const Problem problem = check(file(), &error_);
    if (problem != Problem::None)
        return problem;
    QSqlDatabase db =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(kConnection));
    db.setDatabaseName(file());
    // A file another program keeps locked is reported after a second, not
    // waited for.
    db.setConnectOptions(access_ == Access::ReadOnly
                             ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000;QSQLITE_OPEN_READONLY")
                             : QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    if (!db.open()) {
        error_ = reasonOf(db.lastError());
        return Problem::CannotOpen;
    }
    if (access_ == Access::ReadWrite) {
        // One sync per committed write; writers never block the readers.
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        // Debian's SQLite zeroes every page rows are deleted from: clearing
        // the working table or deleting a record of weeks wrote them all
        // again. Zeroed now only where it costs no extra write.
        q.exec(QStringLiteral("PRAGMA secure_delete=FAST"));
    }
    return Problem::None;
}

Database::Problem Database::check(const QString& path, QString* error) {
    const QString name = QStringLiteral("mtype-check");
    Problem problem = Problem::None;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000;QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (!db.open()) {
            *error = reasonOf(db.lastError());
            problem = isDamage(db.lastError()) ? Problem::Damaged : Problem::CannotOpen;
        } else if (!q.exec(QStringLiteral("PRAGMA quick_check"))) {
            // quick_check finds damage that a plain read of one table would not.
            *error = reasonOf(q.lastError());
            problem = isDamage(q.lastError()) ? Problem::Damaged : Problem::CannotOpen;
        } else if (!q.next() || q.value(0).toString() != QLatin1String("ok")) {
            *error = q.value(0).toString();
            problem = Problem::Damaged;
        } else if (!q.exec(QStringLiteral("select count(*) from data1"))) {
            *error = reasonOf(q.lastError());
            // A database without the machine-type table is no mtype.mdb.
            problem = q.lastError().nativeErrorCode().toInt() == 1 || isDamage(q.lastError())
                          ? Problem::Damaged
                          : Problem::CannotOpen;
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

bool Database::writable() {
    // Without write access to the file or its folder (which takes the -wal
    // and -shm files) nothing could be saved; so with an immutable file.
    const QFileInfo info(file());
    if (!info.isWritable() || !QFileInfo(folder_).isWritable()) {
        error_ = tr("no permission to write the file or its folder");
        return false;
    }
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        error_ = reasonOf(q.lastError());
        return false;
    }
    // A write that touches the file: a read-only or immutable file fails it.
    const bool ok = q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS workhead_probe (x)")) &&
                    q.exec(QStringLiteral("DROP TABLE workhead_probe"));
    if (!ok)
        error_ = reasonOf(q.lastError());
    QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
    return ok;
}

void Database::addMissingColumns() {
    // Appended to the sample tables, so older readers never see them.
    static const char* const kTables[] = {"datatemp", "datadetail", "datacopy", "datawindow1"};
    static const char* const kColumns[][2] = {{"Gap", "INTEGER"}, {"Ah1", "REAL"}, {"Wh1", "REAL"},
                                              {"Ah2", "REAL"},    {"Wh2", "REAL"}, {"Ah3", "REAL"},
                                              {"Wh3", "REAL"},    {"Ah4", "REAL"}, {"Wh4", "REAL"}};
    QSqlQuery q(database());
    for (const char* table : kTables) {
        QStringList have;
        if (q.exec(QStringLiteral("PRAGMA table_info(") + QLatin1String(table) + QLatin1Char(')')))
            while (q.next())
                have << q.value(1).toString();
        for (const auto& [name, type] : kColumns)
            if (!have.isEmpty() && !have.contains(QLatin1String(name)) &&
                !q.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                            .arg(QLatin1String(table), QLatin1String(name), QLatin1String(type))))
                trace(QLatin1String(table) + QStringLiteral(": ") + reasonOf(q.lastError()));
    }
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS dataevent (RecNo TEXT, SeqNo INTEGER, "
                               "RecTime TEXT, Channel INTEGER, Quantity TEXT, Value REAL, "
                               "LimitValue REAL, Action TEXT)")) ||
        !q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS dataevent_recno ON dataevent (RecNo)")))
        trace(QStringLiteral("dataevent: ") + reasonOf(q.lastError()));
    // The graph's summaries of records; without one a record's rows are
    // read. The working table's points are read by ranges of samples.
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS datasummary (RecNo TEXT PRIMARY KEY, "
                               "Points INTEGER, FirstSeqNo INTEGER, LastSeqNo INTEGER, "
                               "LastTime TEXT, Summary BLOB, SameAs TEXT)")) ||
        !q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS datatemp_seqno ON datatemp (SeqNo)")))
        trace(QStringLiteral("datasummary: ") + reasonOf(q.lastError()));
    // A bench's supplies per record (RecNo '' the working table's). A
    // record's own start time tells its supplies from those of a record of
    // the same number that a program knowing one supply deleted.
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS datasupply (RecNo TEXT, Supply "
                               "INTEGER, StartTime TEXT, Name TEXT, Model TEXT, Serial TEXT, "
                               "Link TEXT, Channels INTEGER, PRIMARY KEY (RecNo, Supply))")))
        trace(QStringLiteral("datasupply: ") + reasonOf(q.lastError()));
}

bool Database::addSupplyTables(int supply) {
    if (supply < 2)
        return true;
    QSqlQuery q(database());
    const auto fail = [&] {
        error_ = reasonOf(q.lastError());
        return false;
    };
    for (const char* base : {"datatemp", "datadetail", "dataevent", "datasummary"}) {
        const QString name = QLatin1String(base);
        const QString table = QStringLiteral("%1_s%2").arg(name).arg(supply);
        q.prepare(
            QStringLiteral("select sql from sqlite_master where type = 'table' and name = ?"));
        q.addBindValue(name);
        if (!q.exec())
            return fail();
        if (!q.next()) {
            error_ = tr("the file has no table %1").arg(name);
            return false;
        }
        // The first supply's columns, as this file has them.
        QString ddl = q.value(0).toString();
        static const QRegularExpression head(QStringLiteral("^\\s*CREATE\\s+TABLE\\s+\"?\\w+\"?"),
                                             QRegularExpression::CaseInsensitiveOption);
        ddl.replace(head, QStringLiteral("CREATE TABLE IF NOT EXISTS ") + table);
        if (!q.exec(ddl))
            return fail();
    }
    const QString n = QString::number(supply);
    for (const QString& index :
         {QStringLiteral("CREATE INDEX IF NOT EXISTS datatemp_s%1_seqno ON datatemp_s%1 (SeqNo)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS datadetail_s%1_recno ON datadetail_s%1 "
                         "(RecNo, SeqNo)"),
          QStringLiteral(
              "CREATE INDEX IF NOT EXISTS dataevent_s%1_recno ON dataevent_s%1 (RecNo)")})
        if (!q.exec(index.arg(n)))
            return fail();
    return true;
}

void Database::upgrade() {
    // Files made by earlier versions: the working table's header, the later
    // sample columns and the events, and unique record numbers where the
    // file's own numbers allow it.
    addMissingColumns();
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS workhead (Id INTEGER PRIMARY KEY "
                               "CHECK (Id = 1), RecNo TEXT, StartTime TEXT, EndTime TEXT, "
                               "Comment TEXT, Unsaved INTEGER, RecStyle TEXT)")))
        trace(QStringLiteral("workhead: ") + reasonOf(q.lastError()));
    // A header kept without its scale takes the scale of the record it
    // came from, where there is one.
    QStringList header;
    if (q.exec(QStringLiteral("PRAGMA table_info(workhead)")))
        while (q.next())
            header << q.value(1).toString();
    if (!header.isEmpty() && !header.contains(QLatin1String("RecStyle")) &&
        (!q.exec(QStringLiteral("ALTER TABLE workhead ADD COLUMN RecStyle TEXT")) ||
         !q.exec(QStringLiteral("UPDATE workhead SET RecStyle = (SELECT RecStyle FROM datamain "
                                "WHERE datamain.RecNo = workhead.RecNo)"))))
        trace(QStringLiteral("workhead: ") + reasonOf(q.lastError()));
    if (q.exec(QStringLiteral(
            "select RecNo from datamain group by RecNo having count(*) > 1 limit 1")) &&
        q.next()) {
        trace(QStringLiteral("datamain holds record number ") + q.value(0).toString() +
              QStringLiteral(" twice; no unique index"));
        return;
    }
    if (!q.exec(
            QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS datamain_recno ON datamain (RecNo)")))
        trace(QStringLiteral("datamain_recno: ") + reasonOf(q.lastError()));
}

bool Database::repair(QString* backupName) {
    closeConnection();
    const QString source = file();
    QString backup = backupOfSame(folder_, source);
    if (!backup.isEmpty()) {
        trace(QStringLiteral("mtype.mdb: this damaged file was kept as %1 before").arg(backup));
    } else {
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        if (backupsIn(folder_, today).size() >= kBackupsPerDay) {
            error_ = tr("%1 copies of damaged files were kept today already, no more are made")
                         .arg(kBackupsPerDay);
            return false;
        }
        backup = freeBackupName(folder_);
        if (!backUp(source, pathIn(folder_, backup)))
            return false;
    }
    *backupName = backup;
    const QString compacted = pathIn(folder_, QStringLiteral("mtypenew.mdb"));
    removeWithCompanions(compacted);
    // Only a copy that passes the full check replaces the original.
    if (!compactInto(source, compacted) || !verify(compacted)) {
        removeWithCompanions(compacted);
        return false;
    }
    removeWithCompanions(source);
    if (!QFile::copy(compacted, source)) {
        error_ = tr("the repaired copy could not replace the file; the original is "
                    "in %1")
                     .arg(backup);
        return false;
    }
    return true;
}

bool Database::backUp(const QString& source, const QString& backupPath) {
    // The backup holds what the WAL holds too: all three files, or none.
    for (const char* suffix : kCompanions) {
        const QString from = source + QLatin1String(suffix);
        if (!QFileInfo::exists(from))
            continue;
        if (!QFile::copy(from, backupPath + QLatin1String(suffix))) {
            removeWithCompanions(backupPath);
            error_ =
                tr("the backup %1 could not be written").arg(QDir::toNativeSeparators(backupPath));
            return false;
        }
    }
    return true;
}

bool Database::compactInto(const QString& source, const QString& copy) {
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mtype-repair"));
        db.setDatabaseName(source);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_READONLY")); // the original stays as it is
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("VACUUM INTO ?"));
            q.addBindValue(QFileInfo(copy).absoluteFilePath());
            ok = q.exec();
            if (!ok)
                error_ = reasonOf(q.lastError());
        } else {
            error_ = reasonOf(db.lastError());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mtype-repair"));
    return ok;
}

bool Database::verify(const QString& path) {
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mtype-verify"));
        db.setDatabaseName(path);
        ok = db.open();
        if (ok) {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next() &&
                 q.value(0).toString() == QLatin1String("ok") &&
                 q.exec(QStringLiteral("select count(*) from data1"));
            if (!ok)
                error_ =
                    tr("the repaired copy failed its check: ") +
                    (q.lastError().isValid() ? reasonOf(q.lastError()) : q.value(0).toString());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mtype-verify"));
    return ok;
}

QList<QVariantList> Database::machineTypeRows() const {
    QList<QVariantList> rows;
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("select * from data1 order by rowid")))
        return rows;
    while (q.next())
        rows << rowOf(q);
    return rows;
}

std::optional<QVariantList> Database::machineTypeRow(const QString& model) const {
    QSqlQuery q(database());
    q.prepare(QStringLiteral("select * from data1 where MTYPE = ? order by rowid limit 1"));
    q.addBindValue(model);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return rowOf(q);
}

} // namespace trq
