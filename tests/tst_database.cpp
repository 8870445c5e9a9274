#include "session/machinetypes.h"
#include "storage/database.h"
#include "storage/datafolder.h"
#include "storage/recordstore.h"
#include "support/testsupport.h"

#include <QDate>
#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace trq;
using namespace trq::test;

namespace {

QString mdb(const QString& folder) {
    return folder + QStringLiteral("/mtype.mdb");
}

// A folder with a fresh shipped database in it.
QString withDatabase(const QString& name) {
    const QString folder = freshFolder(name);
    return Database::create(mdb(folder)) ? folder : QString();
}

bool writeGarbage(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, '\x5a')) == 8192;
}

QString todaysBackup(const QString& suffix = {}) {
    return QStringLiteral("mtype") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
           suffix + QStringLiteral(".mdb");
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Makes a file or folder immutable for the test's life (even root cannot
// write it); false where the file system or the user cannot.
class Immutable {
public:
    explicit Immutable(QString path) : path_(std::move(path)) {
        ok_ = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path_}) == 0;
    }
    ~Immutable() {
        if (ok_)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path_});
    }
    bool ok() const { return ok_; }

private:
    QString path_;
    bool ok_ = false;
};

// A database whose last writes are still in its -wal file, as after a crash.
void crashWithWal(const QString& folder) {
    const QString copy = mdb(freshFolder(folder + QStringLiteral("/running")));
    QVERIFY(Database::create(copy));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "crash");
        db.setDatabaseName(copy);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
        QVERIFY(q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0")));
        QVERIFY(q.exec(QStringLiteral("insert into datamain (RecNo) values ('41')")));
        for (const char* suffix : {"", "-wal", "-shm"})
            QVERIFY(QFile::copy(copy + QLatin1String(suffix), mdb(folder) + QLatin1String(suffix)));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("crash"));
}

// A freelist count in the header that the file does not have: the check
// fails, while every table still reads.
bool damageFreelist(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadWrite) && f.seek(36) &&
           f.write(QByteArray("\x00\x00\x00\x07", 4)) == 4;
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void shippedDatabaseHasTheTablesAndModels() {
        const QString folder = withDatabase(QStringLiteral("shipped"));
        Database form;
        QCOMPARE(form.open(folder), Database::OpenResult::Ok);
        QSqlQuery q(form.database());
        for (const char* table :
             {"data1", "datamain", "datadetail", "datatemp", "datacopy", "datawindow1"})
            QVERIFY2(q.exec(QStringLiteral("select count(*) from ") + QLatin1String(table)), table);

        const MachineTypes types(form);
        QCOMPARE(types.find(QStringLiteral("TRQ-7206S"))->layout, 4);
        // Per-channel limits come from rows of their own.
        QVERIFY(types.find(QStringLiteral("PSQ-3323"))->perChannel);
        QCOMPARE(types.find(QStringLiteral("PSQ-3323#3"))->maxVolt, 6.0);
        QVERIFY(!types.find(QStringLiteral("NOSUCH")) &&
                !types.find(QStringLiteral("' or '1'='1")));
    }

    void missingFileIsReportedNotCreated() {
        const QString folder = freshFolder(QStringLiteral("empty"));
        Database form;
        QCOMPARE(form.open(folder), Database::OpenResult::Missing);
        const QString native = QDir::toNativeSeparators(folder);
        QCOMPARE(form.errorMessage(),
                 QStringLiteral("System cannot find [") + native +
                     QStringLiteral("\\mtype.mdb].\n Please copy mtype.mdb to [") + native +
                     QStringLiteral("\\] directory."));
        QVERIFY(!QFile::exists(mdb(folder)));
    }

    // A damaged file is backed up with its -wal and -shm, under a name that
    // never overwrites an earlier backup, and left as it is when the repair
    // cannot produce a copy that passes the check. The same damaged file is
    // kept once however often it is opened; at most a few a day are kept.
    void backupsKeepTheWalOnceAndNeverOverwrite() {
        const QString folder = freshFolder(QStringLiteral("walbackup"));
        const QString file = mdb(folder);
        crashWithWal(folder);
        {
            QFile f(file); // no database header any more
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.write(QByteArray(16, '\x5a'));
        }
        const QByteArray damaged = contents(file);
        const QByteArray wal = contents(file + QStringLiteral("-wal"));
        QVERIFY(!wal.isEmpty());
        for (int start = 0; start < 3; ++start) {
            Database form;
            QCOMPARE(form.open(folder), Database::OpenResult::Failed);
            for (const QString& text : {QStringLiteral("could not be repaired"),
                                        QStringLiteral("left as it is"), todaysBackup()})
                QVERIFY2(form.errorMessage().contains(text), qPrintable(form.errorMessage()));
            QCOMPARE(contents(file), damaged); // never replaced by a copy that failed
        }
        QCOMPARE(QDir(folder).entryList({QStringLiteral("mtype2*")}),
                 (QStringList{todaysBackup(), todaysBackup() + QStringLiteral("-shm"),
                              todaysBackup() + QStringLiteral("-wal")}));
        QCOMPARE(contents(folder + QLatin1Char('/') + todaysBackup()), damaged);
        QCOMPARE(contents(folder + QLatin1Char('/') + todaysBackup() + QStringLiteral("-wal")),
                 wal);
        // Other damage is kept beside it, under the next name, up to the
        // day's limit; then it is left as it is and said so.
        QStringList said;
        for (char c : {'a', 'b', 'c'}) {
            QFile::remove(file + QStringLiteral("-wal"));
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(4096, c)) == 4096);
            f.close();
            Database form;
            QCOMPARE(form.open(folder), Database::OpenResult::Failed);
            said << form.errorMessage();
        }
        QVERIFY(said.at(0).contains(todaysBackup(QStringLiteral("-2"))));
        QVERIFY(said.at(1).contains(todaysBackup(QStringLiteral("-3"))));
        QVERIFY2(said.at(2).contains(QLatin1String("no copy of it could be made")) &&
                     said.at(2).contains(QLatin1String("copies of damaged files were kept today")),
                 qPrintable(said.at(2)));
        QCOMPARE(QDir(folder).entryList({QStringLiteral("mtype2*.mdb")}).size(),
                 Database::kBackupsPerDay);
    }

    // A repaired file replaces the original only after it passed the full
    // check, with a backup kept; the message says what happened. An empty
    // file is made afresh: nothing to keep, nothing to repair.
    void mendableFilesOpen_data() {
        columns<bool>("empty");
        row("repairable damage", false);
        row("empty file", true);
    }
    void mendableFilesOpen() {
        QFETCH(bool, empty);
        const QString folder = withDatabase(empty ? "zero" : "repairable");
        QVERIFY(empty ? QFile(mdb(folder)).open(QIODevice::WriteOnly)
                      : damageFreelist(mdb(folder)));
        Database form;
        QCOMPARE(form.open(folder), Database::OpenResult::Ok);
        QSqlQuery q(form.database());
        QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
        QCOMPARE(MachineTypes(form).find(QStringLiteral("TRQ-7206S"))->layout, 4);
        const QStringList kept =
            empty ? QStringList() : QStringList{todaysBackup(), QStringLiteral("mtypenew.mdb")};
        QCOMPARE(QDir(folder).entryList({QStringLiteral("mtype2*"), QStringLiteral("mtypenew*")}),
                 kept);
        QCOMPARE(form.notice().isEmpty(), empty);
        if (!empty)
            QVERIFY(form.notice().contains(QLatin1String("has been repaired")) &&
                    form.notice().contains(todaysBackup()));
    }

    // A file another program holds locked cannot be opened; it is not
    // damaged, so nothing is copied, repaired or replaced.
    void aLockedFileIsNoDamage() {
        const QString folder = withDatabase(QStringLiteral("locked"));
        const QString file = mdb(folder);
        const QByteArray before = contents(file);
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
            other.setDatabaseName(file);
            QVERIFY(other.open());
            QSqlQuery q(other);
            QVERIFY(q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            QVERIFY(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            QVERIFY(q.exec(QStringLiteral("insert into datamain (RecNo) values ('1')")));
            Database form;
            QCOMPARE(form.open(folder), Database::OpenResult::CannotOpen);
            QVERIFY(form.errorMessage().contains(QLatin1String("cannot be opened")));
            QVERIFY(form.errorMessage().contains(QLatin1String("left as it is")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QVERIFY(!QFile::exists(folder + QLatin1Char('/') + todaysBackup()));
        QCOMPARE(contents(file), before);
    }

    // A folder another copy of the program owns, or a database that cannot
    // be written, is found when it is opened; the user is told why and may go
    // on read-only, where nothing can be written.
    void offeredReadOnly_data() {
        columns<bool, QStringList>("frozen", "says");
        QTest::newRow("folder in use")
            << false
            << QStringList{"is in use by", QString::number(QCoreApplication::applicationPid())};
        QTest::newRow("file cannot be written") << true << QStringList{"read-only"};
    }
    void offeredReadOnly() {
        auto [frozen, says] = fetch<bool, QStringList>("frozen", "says");
        const QString folder = withDatabase(frozen ? "immutable" : "shared");
        std::optional<Immutable> immutable;
        QLockFile first(folder + QLatin1Char('/') + QLatin1String(DataFolder::kLockName));
        if (!frozen)
            QVERIFY(first.tryLock(0));
        else if (!immutable.emplace(mdb(folder)).ok())
            QSKIP("chattr +i is not available here");
        for (bool yes : {false, true}) {
            Database form;
            ScriptedPrompter prompter;
            prompter.answers = {yes ? Prompter::Answer::Yes : Prompter::Answer::No};
            QCOMPARE(DataFolder(folder).open(form, prompter, false),
                     yes ? DataFolder::Outcome::ReadOnly : DataFolder::Outcome::Quit);
            QCOMPARE(prompter.texts.size(), 1);
            for (const QString& text : says)
                QVERIFY2(prompter.texts.first().contains(text), qPrintable(prompter.texts.first()));
            QCOMPARE(form.isReadOnly(), yes);
            if (yes) {
                RecordStore store(form.database());
                QVERIFY(store.isReadOnly());
                QVERIFY(!store.clearWorking());
                QCOMPARE(MachineTypes(form).find(QStringLiteral("TRQ-7206S"))->layout, 4);
            }
        }
        if (frozen) {
            Database form;
            QCOMPARE(form.open(folder), Database::OpenResult::Unwritable);
            QVERIFY(form.errorMessage().contains(QLatin1String("cannot be written")));
        }
    }

    // A lock left by a crash is taken over without a question.
    void aStaleLockIsTakenOver() {
        const QString folder = withDatabase(QStringLiteral("stale"));
        {
            QFile stale(folder + QLatin1Char('/') + QLatin1String(DataFolder::kLockName));
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("999999\npowertrq\n\n");
        }
        Database form;
        ScriptedPrompter prompter;
        QCOMPARE(DataFolder(folder).open(form, prompter, false), DataFolder::Outcome::ReadWrite);
        QVERIFY(prompter.texts.isEmpty());
    }

    // A file that is no database, where no copy of it can be made, fails
    // clearly all the same.
    void unrepairableFileFailsClearly() {
        const QString folder = freshFolder(QStringLiteral("garbage"));
        QVERIFY(writeGarbage(mdb(folder)));
        Immutable immutable(folder);
        if (!immutable.ok())
            QSKIP("chattr +i is not available here");
        Database form;
        QCOMPARE(form.open(folder), Database::OpenResult::Failed);
        QVERIFY2(form.errorMessage().contains(QLatin1String("no copy of it could be made")),
                 qPrintable(form.errorMessage()));
    }
};

TRQ_TEST_MAIN(TestDatabase)
#include "tst_database.moc"
