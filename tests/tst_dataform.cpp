#include "shell/dataform.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QSqlQuery>

using trq::DataForm;

namespace {

QString freshFolder(const QString& name) {
    QDir().mkpath(name);
    return QDir(name).absolutePath();
}

QString todaysBackup() {
    return QStringLiteral("mtype") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".mdb");
}

} // namespace

class TestDataForm : public QObject {
    Q_OBJECT
private slots:
    void shippedDatabaseHasTheTablesAndModels() {
        const QString folder = freshFolder(QStringLiteral("shipped"));
        QVERIFY(DataForm::create(folder + QStringLiteral("/mtype.mdb")));
        DataForm form;
        QCOMPARE(form.open(folder), DataForm::OpenResult::Ok);
        QSqlQuery q(form.database());
        for (const char* table :
             {"data1", "datamain", "datadetail", "datatemp", "datacopy", "datawindow1"})
            QVERIFY2(q.exec(QStringLiteral("select count(*) from ") + QLatin1String(table)), table);

        QCOMPARE(form.find(QStringLiteral("TRQ-7206S"))->layout, 4);
        // Per-channel limits come from rows of their own.
        QVERIFY(form.find(QStringLiteral("PSQ-3323"))->perChannel);
        QCOMPARE(form.find(QStringLiteral("PSQ-3323#3"))->maxVolt, 6.0);
        QVERIFY(!form.find(QStringLiteral("NOSUCH")));
        QVERIFY(!form.find(QStringLiteral("' or '1'='1")));
    }

    void missingFileIsReportedNotCreated() {
        const QString folder = freshFolder(QStringLiteral("empty"));
        DataForm form;
        QCOMPARE(form.open(folder), DataForm::OpenResult::Missing);
        const QString native = QDir::toNativeSeparators(folder);
        QCOMPARE(form.errorMessage(),
                 QStringLiteral("System cannot find [") + native +
                     QStringLiteral("\\mtype.mdb].\n Please copy mtype.mdb to [") + native +
                     QStringLiteral("\\] directory."));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/mtype.mdb")));
    }

    void repairableDamageIsRepaired() {
        const QString folder = freshFolder(QStringLiteral("repairable"));
        const QString file = folder + QStringLiteral("/mtype.mdb");
        QVERIFY(DataForm::create(file));
        {
            // A freelist count in the header that the file does not have:
            // the check fails, while every table still reads.
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(36);
            f.write(QByteArray("\x00\x00\x00\x07", 4));
        }
        DataForm form;
        QCOMPARE(form.open(folder), DataForm::OpenResult::Ok);
        QVERIFY(QFile::exists(folder + QLatin1Char('/') + todaysBackup()));
        QVERIFY(QFile::exists(folder + QStringLiteral("/mtypenew.mdb")));
        QCOMPARE(form.find(QStringLiteral("TRQ-7206S"))->layout, 4);
    }

    void unrepairableFileFailsClearlyAndKeepsACopy() {
        const QString folder = freshFolder(QStringLiteral("garbage"));
        const QString file = folder + QStringLiteral("/mtype.mdb");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, '\x5a'));
        }
        DataForm form;
        QCOMPARE(form.open(folder), DataForm::OpenResult::Failed);
        QVERIFY(form.errorMessage().contains(QLatin1String("could not be repaired")));
        QVERIFY(form.errorMessage().contains(todaysBackup()));
        QFile backup(folder + QLatin1Char('/') + todaysBackup());
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QCOMPARE(backup.readAll(), QByteArray(8192, '\x5a')); // nothing lost
    }
};

TRQ_TEST_MAIN(TestDataForm)
#include "tst_dataform.moc"
