#include "core/numbers.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "protocol/machinetype.h"
#include "protocol/replies.h"
#include "session/machinetypes.h"
#include "storage/database.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDir>

using namespace trq;

Q_DECLARE_METATYPE(trq::CommandFamily)
Q_DECLARE_METATYPE(trq::Operation)

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void parseMachineType_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("model");
        QTest::newRow("four fields") << "ZQ,PSQ-3323,SN20260001,V1.10"
                                     << "PSQ-3323";
        QTest::newRow("legacy four-channel") << "ZQ,TRQ-7206S,EN1,V2"
                                             << "TRQ-7206S";
        QTest::newRow("blank-separated words") << "ZQ POWER TRQ-3302 V1.0"
                                               << "TRQ-3302";
        QTest::newRow("blank inside the model field") << "ZQ,PSQ 3323,SN"
                                                      << "PSQ3323";
        QTest::newRow("not trimmed") << "ZQ, PSQ-3323,SN"
                                     << "PSQ-3323";
        QTest::newRow("two fields only") << "ZQ,PSQ-3323"
                                         << "";
        QTest::newRow("no commas, two blanks") << "ZQ POWER TRQ"
                                               << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("binary") << QString::fromLatin1(QByteArray("\x00\xff,\x01\x02,", 6))
                                << QString::fromLatin1(QByteArray("\x01\x02", 2));
        QTest::newRow("line end kept") << "ZQ,PSQ-3323\r\n,x"
                                       << "PSQ-3323\r\n";
    }
    void parseMachineType() {
        QFETCH(QString, answer);
        QFETCH(QString, model);
        QCOMPARE(parseModel(answer), model);
    }

    void parseMachineTypeOfAHugeAnswer() {
        const QString huge = QString(100000, QLatin1Char('x'));
        QCOMPARE(parseModel(huge), QString());
        QCOMPARE(parseModel(QStringLiteral("a,") + huge + QStringLiteral(",b")), huge);
    }

    void commandTexts_data() {
        QTest::addColumn<CommandFamily>("family");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        using F = CommandFamily;
        using O = Operation;
        QTest::newRow("legacy save has no blank")
            << F::Legacy << O::SaveMemory << 1 << "" << 3 << "SAV3";
        QTest::newRow("scpi save")
            << F::ThreeChannelScpi << O::SaveMemory << 1 << "" << 3 << "*SAV 3";
        QTest::newRow("single-channel parallel with sets")
            << F::SingleChannelScpi << O::Parallel << 1 << "" << 3 << "SYST:CONF:MSL 3";
        QTest::newRow("three-channel parallel")
            << F::ThreeChannelScpi << O::Parallel << 1 << "" << 0 << ":OUTP:COUP:TRAC 2";
        QTest::newRow("three-channel tracking")
            << F::ThreeChannelScpi << O::Tracking << 1 << "" << 0 << ":OUTP:COUP:TRAC 1";
        QTest::newRow("clear protection everywhere")
            << F::Legacy << O::ClearProtection << 1 << "" << 0 << ":OUTP:PROT:CLE";
        QTest::newRow("legacy voltage")
            << F::Legacy << O::Voltage << 2 << "12.5" << 0 << "VSET2:12.5";
        QTest::newRow("single-channel names no channel")
            << F::SingleChannelScpi << O::Voltage << 2 << "12.5" << 0 << ":VOLT 12.5";
        QTest::newRow("output off") << F::Legacy << O::Output << 1 << "" << 0 << "OUT0";
    }
    void commandTexts() {
        QFETCH(CommandFamily, family);
        QFETCH(Operation, operation);
        QFETCH(int, channel);
        QFETCH(QString, value);
        QFETCH(int, number);
        QFETCH(QString, text);
        QCOMPARE(commandText(family, operation, {channel, value, number}), text);
    }

    // The table holds one row per operation, at its own place; single-channel
    // texts name no channel; only the protection settings and the automatic
    // run's queries are missing from the legacy family.
    void operationTableIsComplete() {
        for (int o = 0; o < kOperationCount; ++o) {
            const OperationTexts& row = operationTexts(Operation(o));
            QCOMPARE(int(row.operation), o);
            bool any = false;
            for (int f = 0; f < 3; ++f) {
                for (const char* text : {row.query[f], row.command[f]}) {
                    any = any || *text;
                    if (f == int(CommandFamily::SingleChannelScpi))
                        QVERIFY2(!QByteArray(text).contains("{n}"), text);
                }
                // A query asks: it ends with "?" and carries no value.
                if (*row.query[f]) {
                    QVERIFY2(QByteArray(row.query[f]).endsWith('?'), row.query[f]);
                    QVERIFY2(!QByteArray(row.query[f]).contains("{v}"), row.query[f]);
                }
            }
            QVERIFY(any);
        }
    }

    // Every layout profile polls and queries only what the families of its
    // models can ask, within its channels.
    void layoutProfilesFitTheirModels() {
        Database db;
        QDir().mkpath(QStringLiteral("profiles"));
        QVERIFY(Database::create(QStringLiteral("profiles/mtype.mdb")));
        QCOMPARE(db.open(QStringLiteral("profiles")), Database::OpenResult::Ok);
        const MachineTypes types(db);
        QStringList layoutsSeen;
        for (const QString& model : types.offeredModels()) {
            const LayoutProfile* p = layoutProfile(types.find(model)->layout);
            QVERIFY2(p, qPrintable(model));
            layoutsSeen << QString::number(p->layout);
            const CommandFamily family = familyOf(model);
            QVERIFY(p->channels >= 1 && p->channels <= 4);
            QVERIFY(p->pollCounterWrap > 0 && p->cycleQueries > 0);
            QVERIFY(p->coupledChannel >= 0 && p->coupledChannel < p->channels);
            QVERIFY(p->parallelBlankChannel < p->channels);
            QVERIFY(p->couplingChangeBlanks <= p->channels);
            for (const auto& steps : {p->pollCycle, p->initialQueries}) {
                QVERIFY(!steps.empty());
                for (const QueryStep& step : steps) {
                    QVERIFY2(!queryText(family, step.operation, step.channel).isEmpty(),
                             qPrintable(model + QString::number(int(step.operation))));
                    QVERIFY(step.channel <= p->channels);
                }
            }
            for (const FixedLimit& limit : p->fixedLimits)
                QVERIFY(limit.channel >= 1 && limit.channel <= p->channels);
            // A channel with limits of its own has its row.
            if (types.find(model)->perChannel)
                for (int n = 1; n <= p->channels; ++n)
                    QVERIFY(types.find(MachineTypeRecord::channelRowName(model, n)));
        }
        layoutsSeen.removeDuplicates();
        QCOMPARE(layoutsSeen.size(), 4);
        QVERIFY(!layoutProfile(0) && !layoutProfile(5));
    }

    void formatNumber_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("c");
        QTest::addColumn<QString>("german");
        QTest::newRow("whole keeps its point") << 5.0 << "###0.###"
                                               << "5."
                                               << "5,";
        QTest::newRow("rounded to three") << 12.3456 << "###0.###"
                                          << "12.346"
                                          << "12,346";
        QTest::newRow("trailing zeros dropped") << 1.5 << "###0.###"
                                                << "1.5"
                                                << "1,5";
        QTest::newRow("one decimal at least") << 5.0 << "###0.0##"
                                              << "5.0"
                                              << "5,0";
        QTest::newRow("half away from zero") << 0.0625 << "###0.##"
                                             << "0.06"
                                             << "0,06";
        QTest::newRow("zero") << 0.0 << "###0.###"
                              << "0."
                              << "0,";
        QTest::newRow("display pattern") << 0.0 << "0.000"
                                         << "0.000"
                                         << "0,000";
        QTest::newRow("no grouping") << 12345.5 << "###0.###"
                                     << "12345.5"
                                     << "12345,5";
    }
    void formatNumber() {
        QFETCH(double, value);
        QFETCH(QString, pattern);
        QFETCH(QString, c);
        QFETCH(QString, german);
        QCOMPARE(trq::formatNumber(value, pattern, QLocale::c()), c);
        QCOMPARE(trq::formatNumber(value, pattern, QLocale(QLocale::German)), german);
        // What goes to an instrument has a point whatever the user's locale.
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(wireNumber(value, pattern), c);
        QLocale::setDefault(QLocale::c());
    }

    void generalNumberText() {
        QCOMPARE(generalNumber(5.0, QLocale::c()), QStringLiteral("5"));
        QCOMPARE(generalNumber(12.25, QLocale::c()), QStringLiteral("12.25"));
        QCOMPARE(generalNumber(12.25, QLocale(QLocale::German)), QStringLiteral("12,25"));
        QCOMPARE(generalNumber(1234567.5, QLocale::c()), QStringLiteral("1234567.5"));
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(wireNumber(12.25, {}), QStringLiteral("12.25"));
        QLocale::setDefault(QLocale::c());
    }

    void familyFromModel_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<CommandFamily>("family");
        QTest::newRow("legacy") << "TRQ-7206S" << CommandFamily::Legacy;
        QTest::newRow("single channel") << "SPQ-3610DNB" << CommandFamily::SingleChannelScpi;
        QTest::newRow("three channel") << "PSQ-3323" << CommandFamily::ThreeChannelScpi;
        QTest::newRow("both: TRQ wins") << "DNB-TRQ" << CommandFamily::Legacy;
        QTest::newRow("both, TRQ last") << "XDNBYTRQ" << CommandFamily::Legacy;
        QTest::newRow("case counts: trq") << "trq-3302" << CommandFamily::ThreeChannelScpi;
        QTest::newRow("case counts: dnb") << "SPQ-3610dnb" << CommandFamily::ThreeChannelScpi;
        QTest::newRow("empty") << "" << CommandFamily::ThreeChannelScpi;
    }
    void familyFromModel() {
        QFETCH(QString, model);
        QFETCH(CommandFamily, family);
        QCOMPARE(familyOf(model), family);
    }

    void errorReplies_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("kind");
        const int none = int(ErrorReply::NoError), error = int(ErrorReply::Error),
                  noise = int(ErrorReply::Unreadable);
        QTest::newRow("no error") << "0,\"No error\"" << none;
        QTest::newRow("zero, any text") << "0,anything" << none;
        QTest::newRow("signed zero") << "+0,x" << none;
        QTest::newRow("blank before") << " 0,No error" << none;
        QTest::newRow("range error") << "-222,\"Data out of range\"" << error;
        QTest::newRow("positive code") << "5,\"x\"" << error;
        QTest::newRow("empty") << "" << noise;
        QTest::newRow("a reading") << "12.000" << noise;
        QTest::newRow("line noise") << QString::fromLatin1("\x13\xfe#,1") << noise;
        QTest::newRow("no comma") << "-222" << noise;
        QTest::newRow("text first") << "error,-222" << noise;
    }
    void errorReplies() {
        QFETCH(QString, reply);
        QFETCH(int, kind);
        QCOMPARE(int(readErrorReply(reply)), kind);
    }

    void readingReplies() {
        QCOMPARE(parseNumber(QStringLiteral("12.345")), std::optional<double>(12.345));
        QCOMPARE(parseNumber(QStringLiteral(" 3 ")), std::optional<double>(3));
        QVERIFY(!parseNumber(QString()));
        QVERIFY(!parseNumber(QStringLiteral("abc")));
        QVERIFY(!parseNumber(QStringLiteral("12.0V")));
        QVERIFY(!parseNumber(QStringLiteral("nan")));
        QCOMPARE(leadingNumber(QStringLiteral("12.5V")), 12.5);
        QCOMPARE(leadingNumber(QStringLiteral("x")), 0.0);
        QCOMPARE(leadingNumber(QStringLiteral(" 7 ")), 7.0);
        QCOMPARE(leadingNumber(QStringLiteral("-1e3")), -1000.0);
        QCOMPARE(leadingNumber(QStringLiteral("nan")), 0.0);
        QCOMPARE(leadingNumber(QStringLiteral("inf")), 0.0);
        QCOMPARE(leadingNumber(QString()), 0.0);

        QCOMPARE(couplingFromReply(QStringLiteral("0")), Coupling::Independent);
        QCOMPARE(couplingFromReply(QStringLiteral("2")), Coupling::Parallel);
        QCOMPARE(couplingFromReply(QStringLiteral("1")), Coupling::Tracking);
        QCOMPARE(couplingFromReply(QStringLiteral("x")), Coupling::Tracking);
    }

    // The direct exchange takes a value with its unit letter only.
    void directReadings_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("reading"); // "-": none
        QTest::newRow("measured voltage") << "12.000V"
                                          << "12.000";
        QTest::newRow("shortest") << "1V"
                                  << "1";
        QTest::newRow("longest") << "12.345V"
                                 << "12.345";
        QTest::newRow("too long") << "123.456V"
                                  << "-";
        QTest::newRow("other unit") << "1.500A"
                                    << "-";
        QTest::newRow("no unit") << "12.000"
                                 << "-";
        QTest::newRow("unit alone") << "V"
                                    << "-";
        QTest::newRow("identity") << "ZQ,TRQ-7206S,SN1,V1"
                                  << "-";
    }
    void directReadings() {
        QFETCH(QString, reply);
        QFETCH(QString, reading);
        const std::optional<QString> r = readingOf(reply, QLatin1Char('V'));
        QCOMPARE(r.value_or(QStringLiteral("-")), reading);
    }

    void decodeStatus_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("coupling"); // -1 untouched
        QTest::addColumn<int>("output");   // -1 untouched
        QTest::newRow("independent, off") << "11011000" << int(Coupling::Independent) << 0;
        QTest::newRow("tracking, on") << "11111010" << int(Coupling::Tracking) << 1;
        QTest::newRow("parallel") << "11101010" << int(Coupling::Parallel) << 1;
        QTest::newRow("blanks between fields")
            << "1 1 0 1 1 0 1 0" << int(Coupling::Independent) << 1;
        QTest::newRow("empty") << "" << -1 << -1;
        QTest::newRow("short") << "1101" << -1 << -1;
        QTest::newRow("one byte dropped") << "0010010" << -1 << -1;
        QTest::newRow("one byte too many") << "001001000" << -1 << -1;
        QTest::newRow("a NUL inside") << QString::fromLatin1("0001\x00"
                                                             "0010",
                                                             9)
                                      << -1 << -1;
        QTest::newRow("not a flag") << "11011020" << -1 << -1;
        QTest::newRow("garbage") << "xxxxxxxx" << -1 << -1;
    }
    void decodeStatus() {
        QFETCH(QString, reply);
        QFETCH(int, coupling);
        QFETCH(int, output);
        const LegacyStatus s = trq::decodeStatus(reply);
        QCOMPARE(s.coupling ? int(*s.coupling) : -1, coupling);
        QCOMPARE(s.output ? int(*s.output) : -1, output);
    }
};

TRQ_TEST_MAIN(TestCommands)
#include "tst_commands.moc"
