#include "core/debugtrace.h"
#include "support/testsupport.h"
#include "ui/tracewindow.h"

#include <QAbstractItemModelTester>
#include <QApplication>

using trq::DebugTrace;

namespace {

QStringList fileLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestDebugTrace : public QObject {
    Q_OBJECT
private slots:
    void listIsBoundedAndFileKeepsEverything() {
        DebugTrace trace(QStringLiteral("bounded.txt"));
        for (int i = 1; i <= DebugTrace::kMaxLines - 1; ++i)
            trace.print(QString::number(i));
        QCOMPARE(trace.rowCount(), DebugTrace::kMaxLines - 1);
        trace.print(QStringLiteral("20001"));
        QCOMPARE(trace.rowCount(), 0);
        trace.print(QStringLiteral("20002"));
        QCOMPARE(trace.lines(), QStringList{QStringLiteral("20002")});

        trace.flush();
        const QStringList lines = fileLines(QStringLiteral("bounded.txt"));
        QCOMPARE(lines.size(), 20003);
        QCOMPARE(lines.first(), QStringLiteral("Version: 1.1.0"));
        QCOMPARE(lines.at(20001), QStringLiteral("20001"));
        QCOMPARE(lines.last(), QStringLiteral("20002"));
    }

    // The list is a sound model, and filled even when no log can be written.
    void listModelIsConsistentWithoutALog() {
        DebugTrace trace(QStringLiteral("no/such/folder/log.txt"));
        QVERIFY(!trace.isLogOpen());
        QAbstractItemModelTester tester(&trace,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 50; ++i)
            trace.print(QString::number(i));
        QCOMPARE(trace.rowCount(), 50);
        QCOMPARE(trace.index(49, 0).data().toString(), QStringLiteral("49"));
    }

    // Each start replaces the log, which is current after one event-loop turn.
    void eachStartReplacesTheLog() {
        const QString path = QStringLiteral("DODaLog.txt");
        DebugTrace(path).print(QStringLiteral("first run"));
        DebugTrace second(path);
        second.print(QStringLiteral("second run"));
        QCoreApplication::processEvents();
        QCOMPARE(fileLines(path),
                 (QStringList{QStringLiteral("Version: 1.1.0"), QStringLiteral("second run")}));
    }

    // At the size limit the file starts again; the one before is kept, the
    // one before that dropped, and no line is lost across a rotation.
    void rotationKeepsTheCurrentAndOnePreviousFile() {
        DebugTrace trace(QStringLiteral("rotated.txt"));
        trace.setMaxLogBytes(1000);
        for (int i = 0; i < 300; ++i)
            trace.print(QStringLiteral("line %1").arg(i, 4, 10, QLatin1Char('0')));
        trace.flush();
        QCOMPARE(QFileInfo(trace.previousLogPath()).fileName(), QStringLiteral("rotated.1.txt"));
        const QStringList current = fileLines(QStringLiteral("rotated.txt"));
        const QStringList previous = fileLines(QStringLiteral("rotated.1.txt"));
        for (const QString& file : {QStringLiteral("rotated.txt"), QStringLiteral("rotated.1.txt")})
            QVERIFY(QFileInfo(file).size() <= 1000);
        QCOMPARE(current.value(0), QStringLiteral("Version: 1.1.0"));
        QCOMPARE(current.value(1), QStringLiteral("(continued from rotated.1.txt)"));
        QCOMPARE(current.last(), QStringLiteral("line 0299"));
        // The previous file ends where the current one goes on.
        const int firstCurrent = current.value(2).mid(5).toInt();
        QCOMPARE(previous.last(),
                 QStringLiteral("line %1").arg(firstCurrent - 1, 4, 10, QLatin1Char('0')));
        QCOMPARE(QDir::current().entryList({QStringLiteral("rotated*")}).size(), 2);
    }
};

TRQ_TEST_MAIN(TestDebugTrace)
#include "tst_debugtrace.moc"
