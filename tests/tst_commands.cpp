#include "core/numbers.h"
#include "core/reading.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "protocol/machinetype.h"
#include "protocol/replies.h"
#include "session/controlrules.h"
#include "session/machinetypes.h"
#include "support/testsupport.h"

using namespace trq;
using namespace trq::test;

Q_DECLARE_METATYPE(trq::CommandFamily)
Q_DECLARE_METATYPE(trq::Operation)

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    // A coupling locks its channel's edits (layout 0: off line, nothing);
    // parallel locks the over-current switch on the three-channel supply only.
    void controlLocksPerCoupling_data() {
        columns<int, Coupling, int, QString>("layout", "coupling", "channel", "locked");
        row("off line", 0, Coupling::Parallel, -1, QString());
        row("three-channel independent", 1, Coupling::Independent, 0, QString());
        row("three-channel tracking", 1, Coupling::Tracking, 0, QString("V P"));
        row("three-channel parallel", 1, Coupling::Parallel, 0, QString("V I P O"));
        row("single-channel parallel", 2, Coupling::Parallel, 0, QString("V I P"));
        row("two-channel parallel", 3, Coupling::Parallel, 1, QString("V I P"));
        row("four-channel tracking", 4, Coupling::Tracking, 1, QString("V P"));
    }
    void controlLocksPerCoupling() {
        auto [layout, coupling, channel, locked] =
            fetch<int, Coupling, int, QString>("layout", "coupling", "channel", "locked");
        const ControlLocks l = controlLocks(layout ? layoutProfile(layout) : nullptr,
                                            {.coupling = coupling, .autoRun = true});
        QStringList got;
        for (auto [on, name] : {std::pair{l.voltage, "V"},
                                {l.current, "I"},
                                {l.overVoltage, "P"},
                                {l.overCurrent, "O"}})
            if (on)
                got << QLatin1String(name);
        QCOMPARE(got.join(QLatin1Char(' ')), locked);
        QCOMPARE(l.channel, channel);
        QVERIFY(l.autoRun); // running automatically locks all but a few, whatever the layout
    }

    void parseMachineType_data() {
        columns<QString, QString>("answer", "model");
        row("four fields", "ZQ,PSQ-3323,SN20260001,V1.10", "PSQ-3323");
        row("legacy four-channel", "ZQ,TRQ-7206S,EN1,V2", "TRQ-7206S");
        row("blank-separated words", "ZQ POWER TRQ-3302 V1.0", "TRQ-3302");
        row("blank inside the model field", "ZQ,PSQ 3323,SN", "PSQ3323");
        row("not trimmed", "ZQ, PSQ-3323,SN", "PSQ-3323");
        row("two fields only", "ZQ,PSQ-3323", "");
        row("no commas, two blanks", "ZQ POWER TRQ", "");
        row("empty", "", "");
        row("binary", QString::fromLatin1(QByteArray("\x00\xff,\x01\x02,", 6)),
            QString::fromLatin1(QByteArray("\x01\x02", 2)));
        row("line end kept", "ZQ,PSQ-3323\r\n,x", "PSQ-3323\r\n");
        const QString huge(100000, QLatin1Char('x'));
        row("huge, one field", huge, "");
        row("huge model", QStringLiteral("a,") + huge + QStringLiteral(",b"), huge);
    }
    void parseMachineType() {
        auto [answer, model] = fetch<QString, QString>("answer", "model");
        QCOMPARE(parseModel(answer), model);
    }

    // What the panel sends is the golden traces'; these texts it never sends.
    void commandTexts_data() {
        columns<CommandFamily, Operation, int, QString, int, QString>(
            "family", "operation", "channel", "value", "number", "text");
        using F = CommandFamily;
        using O = Operation;
        row("legacy save has no blank", F::Legacy, O::SaveMemory, 1, "", 3, "SAV3");
        row("single-channel parallel with sets", F::SingleChannelScpi, O::Parallel, 1, "", 3,
            "SYST:CONF:MSL 3");
        row("single-channel names no channel", F::SingleChannelScpi, O::Voltage, 2, "12.5", 0,
            ":VOLT 12.5");
    }
    void commandTexts() {
        auto [family, operation, channel, value, number, text] =
            fetch<CommandFamily, Operation, int, QString, int, QString>(
                "family", "operation", "channel", "value", "number", "text");
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
        DatabaseFixture f;
        const MachineTypes types(f.data);
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

    // The poll counter wraps where the supplies have always seen it wrap:
    // mid-cycle for the four channels' 17 steps.
    void pollCounterWrapsMidCycle_data() {
        columns<int, QString, QStringList>("layout", "model", "aroundTheWrap");
        row("three-channel", 1, "PSQ-3323", QStringList{":SYST:ERR?", ":CHAN1:MEAS:VOLT?"});
        row("four-channel", 4, "TRQ-7206S", QStringList{"IOUT4?", "VOUT1?"});
    }
    void pollCounterWrapsMidCycle() {
        auto [layout, model, aroundTheWrap] =
            fetch<int, QString, QStringList>("layout", "model", "aroundTheWrap");
        const LayoutProfile& p = *layoutProfile(layout);
        QStringList asked;
        for (int position : {6999, nextPollPosition(p, 6999)})
            asked << queryText(familyOf(model), pollStepAt(p, position).operation,
                               pollStepAt(p, position).channel);
        QCOMPARE(asked, aroundTheWrap);
    }

    void formatNumber_data() {
        columns<double, QString, QString, QString>("value", "pattern", "c", "german");
        row("whole keeps its point", 5.0, "###0.###", "5.", "5,");
        row("rounded to three", 12.3456, "###0.###", "12.346", "12,346");
        row("trailing zeros dropped", 1.5, "###0.###", "1.5", "1,5");
        row("one decimal at least", 5.0, "###0.0##", "5.0", "5,0");
        row("half away from zero", 0.0625, "###0.##", "0.06", "0,06");
        row("zero", 0.0, "###0.###", "0.", "0,");
        row("display pattern", 0.0, "0.000", "0.000", "0,000");
        row("no grouping", 12345.5, "###0.###", "12345.5", "12345,5");
        // No pattern: the shortest text, without a point for a whole number.
        row("general, whole", 5.0, "", "5", "5");
        row("general", 12.25, "", "12.25", "12,25");
        row("general, no grouping", 1234567.5, "", "1234567.5", "1234567,5");
    }
    void formatNumber() {
        auto [value, pattern, c, german] =
            fetch<double, QString, QString, QString>("value", "pattern", "c", "german");
        const auto format = [&](const QLocale& locale) {
            return pattern.isEmpty() ? generalNumber(value, locale)
                                     : trq::formatNumber(value, pattern, locale);
        };
        QCOMPARE(format(QLocale::c()), c);
        QCOMPARE(format(QLocale(QLocale::German)), german);
        // What goes to an instrument has a point whatever the user's locale.
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(wireNumber(value, pattern), c);
        QLocale::setDefault(QLocale::c());
    }

    void familyFromModel_data() {
        columns<QString, CommandFamily>("model", "family");
        row("legacy", "TRQ-7206S", CommandFamily::Legacy);
        row("single channel", "SPQ-3610DNB", CommandFamily::SingleChannelScpi);
        row("three channel", "PSQ-3323", CommandFamily::ThreeChannelScpi);
        row("both: TRQ wins", "DNB-TRQ", CommandFamily::Legacy);
        row("both, TRQ last", "XDNBYTRQ", CommandFamily::Legacy);
        row("case counts: trq", "trq-3302", CommandFamily::ThreeChannelScpi);
        row("case counts: dnb", "SPQ-3610dnb", CommandFamily::ThreeChannelScpi);
        row("empty", "", CommandFamily::ThreeChannelScpi);
    }
    void familyFromModel() {
        auto [model, family] = fetch<QString, CommandFamily>("model", "family");
        QCOMPARE(familyOf(model), family);
    }

    void errorReplies_data() {
        columns<QString, int>("reply", "kind");
        const int none = int(ErrorReply::NoError), error = int(ErrorReply::Error),
                  noise = int(ErrorReply::Unreadable);
        row("no error", "0,\"No error\"", none);
        row("zero, any text", "0,anything", none);
        row("signed zero", "+0,x", none);
        row("blank before", " 0,No error", none);
        row("range error", "-222,\"Data out of range\"", error);
        row("positive code", "5,\"x\"", error);
        row("empty", "", noise);
        row("a reading", "12.000", noise);
        row("line noise", QString::fromLatin1("\x13\xfe#,1"), noise);
        row("no comma", "-222", noise);
        row("text first", "error,-222", noise);
    }
    void errorReplies() {
        auto [reply, kind] = fetch<QString, int>("reply", "kind");
        QCOMPARE(int(readErrorReply(reply)), kind);
    }

    void readingReplies() {
        QCOMPARE(parseNumber(QStringLiteral("12.345")), std::optional<double>(12.345));
        QCOMPARE(parseNumber(QStringLiteral(" 3 ")), std::optional<double>(3));
        for (const char* bad : {"", "abc", "12.0V", "nan"})
            QVERIFY2(!parseNumber(QString::fromLatin1(bad)), bad);
        const std::pair<const char*, double> leading[] = {{"12.5V", 12.5}, {"x", 0},   {" 7 ", 7},
                                                          {"-1e3", -1000}, {"nan", 0}, {"inf", 0},
                                                          {"", 0}};
        for (const auto& [text, value] : leading)
            QCOMPARE(leadingNumber(QString::fromLatin1(text)), value);
        // A reading keeps the text as sent and its number; power needs both.
        const Reading volts(QStringLiteral("12.5V")), amps(QStringLiteral("0.200"));
        QCOMPARE(volts.text(), QStringLiteral("12.5V"));
        QCOMPARE(power(volts, amps), std::optional<double>(2.5));
        QCOMPARE(power(volts, Reading(QStringLiteral("x"))), std::nullopt);
        QCOMPARE(power(Reading(), amps), std::nullopt);
        const std::pair<const char*, Coupling> couplings[] = {{"0", Coupling::Independent},
                                                              {"2", Coupling::Parallel},
                                                              {"1", Coupling::Tracking},
                                                              {"x", Coupling::Tracking}};
        for (const auto& [text, coupling] : couplings)
            QCOMPARE(couplingFromReply(QString::fromLatin1(text)), coupling);
    }

    // The direct exchange takes a value with its unit letter only.
    void directReadings_data() {
        columns<QString, QString>("reply", "reading"); // "-": none
        row("measured voltage", "12.000V", "12.000");
        row("shortest", "1V", "1");
        row("longest", "12.345V", "12.345");
        row("too long", "123.456V", "-");
        row("other unit", "1.500A", "-");
        row("no unit", "12.000", "-");
        row("unit alone", "V", "-");
        row("identity", "ZQ,TRQ-7206S,SN1,V1", "-");
    }
    void directReadings() {
        auto [reply, reading] = fetch<QString, QString>("reply", "reading");
        QCOMPARE(readingOf(reply, QLatin1Char('V')).value_or(QStringLiteral("-")), reading);
    }
    // Garbled replies at the wire: tst_session's fourChannelsFollowTheStatusReply.
    void decodeStatus_data() {
        // -1: coupling or output untouched
        columns<QString, int, int>("reply", "coupling", "output");
        row("independent, off", "11011000", int(Coupling::Independent), 0);
        row("tracking, on", "11111010", int(Coupling::Tracking), 1);
        row("parallel", "11101010", int(Coupling::Parallel), 1);
        row("blanks between fields", "1 1 0 1 1 0 1 0", int(Coupling::Independent), 1);
        row("empty", "", -1, -1);
        row("not a flag", "11011020", -1, -1);
        row("garbage", "xxxxxxxx", -1, -1);
    }
    void decodeStatus() {
        auto [reply, coupling, output] = fetch<QString, int, int>("reply", "coupling", "output");
        const LegacyStatus s = trq::decodeStatus(reply);
        QCOMPARE(s.coupling ? int(*s.coupling) : -1, coupling);
        QCOMPARE(s.output ? int(*s.output) : -1, output);
    }
};

TRQ_TEST_MAIN(TestCommands)
#include "tst_commands.moc"
