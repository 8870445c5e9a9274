// The main window: menus, toolbar and status bar over the session, what
// they offer per layout, the interface dialogs, and the small dialogs of
// memories, delay, automatic run and read time.
#include "protocol/layoutprofile.h"
#include "session/sessionsequence.h"
#include "support/shellfixture.h"
#include "ui/automationdialog.h"
#include "ui/availability.h"
#include "ui/benchpanels.h"
#include "ui/graphwindow.h"
#include "ui/limitsdialog.h"
#include "ui/mqttdialog.h"
#include "ui/numberdialogs.h"
#include "ui/recordstoredialog.h"
#include "ui/serialsettingsdialog.h"
#include "ui/tablewindow.h"
#include "ui/waitdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolBar>
#include <qcustomplot.h>

using namespace trq;
using namespace trq::test;

using C = MainWindow::Command;
using B = MainWindow::Button;

namespace {

const QList<C> kItems{
    C::Gpib,         C::Rs232,           C::SaveMemory, C::RecallMemory, C::Delay,     C::ReadTimes,
    C::CouplingMenu, C::Independent,     C::Parallel,   C::Tracking,     C::AutoRange, C::AutoRun,
    C::Output,       C::ClearProtection, C::Control,    C::Wave,         C::TableData, C::Limits};

enum class Answer { Ok, Cancel, Typed };

// Answers the next number dialog: fills its edits and clicks OK or Cancel,
// or types the numbers as a user does (the first edit has the focus, Tab to
// the next, Enter at the end). The flag turns true once it has.
std::shared_ptr<bool> answerNextDialog(std::vector<int> values, Answer how = Answer::Ok) {
    auto answered = std::make_shared<bool>(false);
    onNextModal<NumberDialog>([values, how, answered](NumberDialog* dlg) {
        auto focus = [dlg] { return dlg->focusWidget() ? dlg->focusWidget() : dlg; };
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (how != Answer::Typed) {
                dlg->edit(int(i))->setValue(values[i]);
                continue;
            }
            if (i > 0)
                QTest::keyClick(focus(), Qt::Key_Tab);
            QTest::keyClicks(focus(), QString::number(values[i]));
        }
        *answered = true;
        if (how == Answer::Typed)
            QTest::keyClick(focus(), Qt::Key_Return);
        else
            (how == Answer::Ok ? dlg->okButton() : dlg->cancelButton())->click();
        if (dlg->isVisible())
            dlg->reject(); // a failed step must not leave the test waiting
    });
    return answered;
}

// The interface and model items that carry a tick.
QStringList ticks(MainWindow& m) {
    QStringList on;
    if (m.action(C::Gpib)->isChecked())
        on << QStringLiteral("GPIB");
    if (m.action(C::Rs232)->isChecked())
        on << QStringLiteral("RS232");
    for (QAction* model : m.modelItems())
        if (model->isChecked())
            on << model->text();
    return on;
}

// What the window shows of the link: on line exactly when something is ticked.
void expectLink(MainWindow& m, const QStringList& ticked) {
    const bool on = !ticked.isEmpty();
    QCOMPARE(m.toolButton(B::OnOffLine)->text(), on ? QStringLiteral("On line") : "Off line");
    QCOMPARE(m.showsOnLineImage(), on);
    QCOMPARE(ticks(m), ticked);
}

// A device the user may not open.
class DeniedPort final : public SerialPort {
public:
    void setPortName(const QString&) override {}
    QString portName() const override { return QStringLiteral("/dev/ttyUSB0"); }
    void setBaudRate(qint32) override {}
    bool open() override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    void write(const QByteArray&) override {}
    QByteArray readAll() override { return {}; }
    QString errorString() const override { return QStringLiteral("Permission denied"); }
    bool permissionDenied() const override { return true; }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // ---- What the menus and the toolbar offer, by layout and output ----------------

    // Layout 0: off line, where the read time stays as it is.
    void commandsAndButtonsPerLayout_data() {
        columns<int, QList<C>, QList<B>>("layout", "disabledItems", "enabledButtons");
        const QList<C> noMemories{C::SaveMemory,   C::RecallMemory, C::Delay,
                                  C::CouplingMenu, C::Independent,  C::Parallel,
                                  C::Tracking,     C::AutoRange,    C::AutoRun};
        const QList<C> legacy = noMemories + QList<C>{C::Gpib, C::ClearProtection};
        const QList<B> legacyButtons{B::Com, B::OnOffLine, B::Output, B::About};
        QList<C> offLine = kItems;
        offLine.removeAll(C::Gpib);
        offLine.removeAll(C::Rs232);
        offLine.removeAll(C::ReadTimes);
        row("off line", 0, offLine, QList<B>{B::Gpib, B::Com, B::OnOffLine, B::About});
        row("layout 1", 1, QList<C>(), kToolButtons);
        row("layout 2", 2, noMemories,
            QList<B>{B::Gpib, B::Com, B::OnOffLine, B::Output, B::ClearError, B::About});
        row("layout 3", 3, legacy, legacyButtons);
        row("layout 4", 4, legacy + QList<C>{C::Wave}, legacyButtons);
    }
    void commandsAndButtonsPerLayout() {
        auto [layout, disabledItems, enabledButtons] =
            fetch<int, QList<C>, QList<B>>("layout", "disabledItems", "enabledButtons");
        const LayoutProfile* profile = layout ? layoutProfile(layout) : nullptr;
        for (C item : kItems) {
            const std::optional<bool> on = commandAvailable(item, profile);
            if (!profile && item == C::ReadTimes)
                QCOMPARE(on, std::nullopt);
            else
                QCOMPARE(on, std::optional<bool>(!disabledItems.contains(item)));
        }
        for (B button : kToolButtons)
            QCOMPARE(buttonAvailable(button, profile), enabledButtons.contains(button));
    }

    void recordMenuFollowsTheOutput_data() {
        columns<bool, bool, bool, bool, bool>("outputOn", "recording", "start", "stop", "others");
        row("output off", false, false, false, false, false);
        row("output on", true, false, true, true, true);
        row("recording", true, true, false, true, true);
        // A bench records on after this supply's output went off.
        row("recording, output off", false, true, false, true, false);
    }
    void recordMenuFollowsTheOutput() {
        auto [outputOn, recording, start, stop, others] =
            fetch<bool, bool, bool, bool, bool>("outputOn", "recording", "start", "stop", "others");
        QCOMPARE(recordCommandAvailable(C::RecordStart, outputOn, recording), start);
        QCOMPARE(recordCommandAvailable(C::RecordStop, outputOn, recording), stop);
        for (C c : {C::RecordSetup, C::RecordSave, C::RecordLoad})
            QCOMPARE(recordCommandAvailable(c, outputOn, recording), others);
    }

    // ---- Going on line ------------------------------------------------------------

    // Only listed models of the family get an item; one opens in testing mode.
    void onlyModelsOfTheFamilyGetMenuItems() {
        ShellFixture f;
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("insert into data1 (MTYPE, Listed, Layout, PerChannel) "
                                      "values ('ABC-1000', 1, 1, 0), ('PSQ-HIDDEN', 0, 1, 0)")));
        MainWindow m({*f.session, f.prompter, f.factory});
        m.modelItems().at(2)->trigger();
        QCOMPARE(ticks(m), (QStringList{"TRQ-3302"}));
        QCOMPARE(m.windowTitle(), QStringLiteral("TRQ-3302"));
        QStringList items;
        for (QAction* item : m.modelItems())
            items << item->text();
        QCOMPARE(items, (QStringList{"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"}));
    }

    // On line over GPIB the window shows the connection; when a new detection
    // fails, it shows off line again (the serial path: below).
    void onLineShowsTheConnectionUntilItEnds() {
        ShellFixture f;
        MainWindow& m = *f.main;
        expectLink(m, {});
        QVERIFY(f.onLineGpib(QStringLiteral("PSQ-3323")));
        expectLink(m, {"GPIB", "PSQ-3323"});
        Settings::instance().setLastInterface(QStringLiteral("RS232"));
        f.factory.makeSerial = [](const QString& name) {
            return new ScriptedSerialPort(name, [](const QString&, int, const QByteArray&) {
                return QByteArray("ZQ,NOSUCH-1,SN1,V1\n");
            });
        };
        f.prompter.answers = {Prompter::Answer::Yes};
        m.toolButton(B::OnOffLine)->trigger();
        QTRY_COMPARE(f.prompter.texts.size(), 2);
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
        expectLink(m, {});
        QVERIFY(!m.action(C::Output)->isEnabled());
    }

    // Interface, model, output, automatic-run and coupling items are ticked,
    // and the on/off-line button shown released, only for the connection
    // that is open, whatever was clicked, cancelled or answered No, until an
    // operation timeout ends it. The button opens what the settings keep. The
    // window applies what the connection offers (the rules per layout are
    // commandsAndButtonsPerLayout's).
    void ticksShowOnlyTheOpenConnection() {
        ShellFixture f;
        MainWindow& m = *f.main;
        QAction* button = m.toolButton(B::OnOffLine);
        QVERIFY(m.action(C::Rs232)->isEnabled() && !m.toolButton(B::Output)->isEnabled());
        button->trigger(); // nothing stored
        QVERIFY(button->isChecked());
        for (C c : {C::Rs232, C::Gpib}) {
            onNextModal<QDialog>([](QDialog* d) { d->reject(); });
            m.action(c)->trigger();
        }
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
        QCOMPARE(ticks(m), QStringList());

        Settings::instance().setLastInterface(QStringLiteral("RS232"));
        Settings::instance().setSerialPortName(QStringLiteral("SIM:PSQ-3323"));
        button->trigger();
        QTRY_VERIFY(f.session->isReady());
        expectLink(m, {"RS232", "PSQ-3323"});
        QCOMPARE(m.windowTitle(), QStringLiteral("PSQ-3323"));
        m.updateStatus();
        QCOMPARE(m.statusText(), QStringLiteral("Ready"));
        QVERIFY(!button->isChecked());
        f.prompter.answers.assign(3, Prompter::Answer::No);
        button->trigger();
        m.action(C::Gpib)->trigger();
        m.modelItems().at(2)->trigger();
        QCOMPARE(f.prompter.texts, QStringList(3, QStringLiteral("Reset and open it?")));
        QVERIFY(f.session->isReady());
        QVERIFY(!button->isChecked());
        QCOMPARE(ticks(m), (QStringList{"RS232", "PSQ-3323"}));
        const QList<C> marks{C::Output, C::AutoRun, C::Parallel};
        QVERIFY(!m.action(C::RecordStart)->isEnabled()); // recording wants the output on
        for (C item : marks)
            m.action(item)->trigger();
        QVERIFY(m.action(C::RecordStart)->isEnabled());
        for (C item : marks)
            QVERIFY(m.action(item)->isChecked());
        QVERIFY(m.toolButton(B::AutoRun)->isChecked());
        f.link.timeOut();
        expectLink(m, {});
        QVERIFY(!m.action(C::Output)->isEnabled());
        for (C item : marks)
            QVERIFY(!m.action(item)->isChecked());
        QVERIFY(m.action(C::Independent)->isChecked());
        QVERIFY(!m.toolButton(B::Output)->isChecked() && !m.toolButton(B::AutoRun)->isChecked());
        QVERIFY(!m.panel() && !m.tableWindow() && !m.graphWindow());
        QCOMPARE(m.windowTitle(), QStringLiteral("POWER_TRQ"));

        // A two-channel supply reports no output state: its first Output
        // click after a reconnect switches it on.
        f.prompter.texts.clear();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        m.toolButton(B::Output)->trigger();
        f.session->reset();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QVERIFY(!m.action(C::Output)->isChecked() && !f.panel()->outputSwitch()->isChecked());
        f.takeReceived();
        m.toolButton(B::Output)->trigger();
        QVERIFY(f.quiet());
        QCOMPARE(f.takeReceived(), QStringList{"OUT1"});
    }

    // A reported message stays its time; detecting counts asterisks up to
    // 29 and starts again.
    void statusBarShowsMessagesForTheirTime() {
        ShellFixture f;
        MainWindow& m = *f.main;
        m.statusTimer().stop();
        m.reportStatus(QStringLiteral("Read Times Failed!"), 2000);
        for (int i = 0; i < 20; ++i) // 2 s of status ticks
            m.updateStatus();
        QCOMPARE(m.statusText(), QStringLiteral("Read Times Failed!"));
        m.updateStatus();
        QCOMPARE(m.statusText(), QStringLiteral("Setup"));
        f.factory.makeGpib = [](const QString&) {
            return simulatedBoard(simulatedSupply("PSQ-3323"));
        };
        f.session->connection().openGpib({0, 1, {}});
        QStringList seen;
        for (int i = 0; i < 31; ++i) {
            m.updateStatus();
            seen << m.statusText();
        }
        QVERIFY(seen.contains(QStringLiteral("Getting the machine type...") + QString(29, '*')));
        QVERIFY(seen.contains(QStringLiteral("Getting the machine type...")));
    }

    // The automation dialog turns the server on and off and keeps the choice;
    // the status bar says where it listens.
    void automationDialogServesScripts() {
        ShellFixture f;
        ScpiServer server(*f.session);
        MainWindow m({*f.session, f.prompter, f.factory, &server});
        m.startServer(std::nullopt); // nothing stored: nothing served
        QVERIFY(!server.isListening());
        QTcpServer taken; // a free port, let go until it is taken below
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        const quint16 port = taken.serverPort();
        taken.close();
        onNextModal<AutomationDialog>([port](AutomationDialog* d) {
            QTest::mouseClick(d->enabledBox(), Qt::LeftButton);
            d->portEdit()->setValue(port);
            d->idleEdit()->setValue(30);
            d->accept();
        });
        m.action(C::Automation)->trigger();
        QVERIFY(server.isListening());
        QCOMPARE(server.port(), port);
        QCOMPARE(server.options().idleMinutes, 30);
        const QList<QLabel*> labels = m.findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(),
                            [&](QLabel* l) { return l->text() == server.statusText(); }));
        // Kept for the next start.
        ScpiServer next(*f.session);
        MainWindow again({*f.session, f.prompter, f.factory, &next});
        server.stop();
        again.startServer(std::nullopt);
        QVERIFY(next.isListening());
        QCOMPARE(next.port(), port);
        QCOMPARE(next.options().idleMinutes, 30);
        onNextModal<AutomationDialog>([](AutomationDialog* d) {
            QTest::mouseClick(d->enabledBox(), Qt::LeftButton);
            d->accept();
        });
        again.action(C::Automation)->trigger();
        QVERIFY(!next.isListening());
        // One started from the command line shows as it runs, not as stored;
        // OK on it as shown neither stores it nor drops its clients.
        again.startServer(ScpiServer::Options{0, false});
        QVERIFY(next.isListening());
        QTcpSocket script;
        script.connectToHost(QHostAddress::LocalHost, next.port());
        QTRY_COMPARE(next.clientCount(), 1);
        bool shownOn = false;
        int shownPort = 0;
        onNextModal<AutomationDialog>([&](AutomationDialog* d) {
            shownOn = d->enabledBox()->isChecked();
            shownPort = d->portEdit()->value();
            d->accept();
        });
        again.action(C::Automation)->trigger();
        QVERIFY(shownOn);
        QCOMPARE(shownPort, int(next.port()));
        QCOMPARE(next.clientCount(), 1);
        bool storedOn = true;
        ScpiServer::storedOptions(&storedOn);
        QVERIFY(!storedOn);
        // A port already in use is said plainly.
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        again.startServer(ScpiServer::Options{taken.serverPort(), false});
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().contains(QStringLiteral("cannot listen")));
    }

    // Every toolbar button has an icon, its menu command the same; the
    // on/off-line button has one per state; captions beside the icons or
    // only as tooltips, as chosen in the View menu and kept.
    void toolbarIconsAndCaptions() {
        ShellFixture f;
        for (B b : kToolButtons)
            QVERIFY(!f.main->toolButton(b)->icon().isNull());
        QCOMPARE(f.main->action(C::Output)->icon().cacheKey(),
                 f.main->toolButton(B::Output)->icon().cacheKey());
        // Every menu command and submenu has one too; items that carry a
        // tick (toggles, choices) show the tick instead.
        std::function<void(QMenu*)> visit = [&](QMenu* menu) {
            for (QAction* a : menu->actions()) {
                if (a->isSeparator() || !a->isVisible() || (a->isCheckable() && !a->menu()))
                    continue;
                QVERIFY2(!a->icon().pixmap(16).isNull(), qPrintable(a->text()));
                if (a->menu() && a->menu() != menu)
                    visit(a->menu());
            }
        };
        for (QAction* top : f.main->menuBar()->actions())
            visit(top->menu());
        const QImage offLine = f.main->toolButton(B::OnOffLine)->icon().pixmap(24).toImage();
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QVERIFY(f.main->toolButton(B::OnOffLine)->icon().pixmap(24).toImage() != offLine);

        auto* toolbar = f.main->findChild<QToolBar*>(QStringLiteral("Toolbar"));
        QCOMPARE(toolbar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        f.main->action(C::ToolbarCaptions)->trigger();
        QCOMPARE(toolbar->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(!f.main->action(C::ToolbarCaptions)->isChecked());
        MainWindow again({*f.session, f.prompter, f.factory});
        QCOMPARE(again.findChild<QToolBar*>(QStringLiteral("Toolbar"))->toolButtonStyle(),
                 Qt::ToolButtonIconOnly);
    }

    // The lab feed's dialog: typed in, kept for the next start, and the
    // program told to apply it.
    void labFeedDialogKeepsItsChoice() {
        ShellFixture f;
        int changed = 0;
        connect(f.main.get(), &MainWindow::labFeedChanged, this, [&] { ++changed; });
        onNextModal<MqttDialog>([](MqttDialog* d) {
            QTest::mouseClick(d->enabledBox(), Qt::LeftButton, {},
                              QPoint(4, d->enabledBox()->height() / 2));
            QTest::keyClicks(d->hostBox(), QStringLiteral("broker.lab"));
            QLineEdit* port = d->portBox()->findChild<QLineEdit*>();
            port->selectAll();
            QTest::keyClicks(port, QStringLiteral("1884"));
            QTest::keyClicks(d->stationBox(), QStringLiteral("bench 7"));
            auto* discovery = d->findChild<QCheckBox*>(QStringLiteral("discovery"));
            QTest::mouseClick(discovery, Qt::LeftButton, {}, QPoint(4, discovery->height() / 2));
            d->accept();
        });
        f.main->action(C::LabFeed)->trigger();
        QCOMPARE(changed, 1);
        const MqttFeed::Options o = MqttFeed::Options::load();
        QCOMPARE(
            std::tuple(o.enabled, o.host, o.port, o.station, o.discovery),
            std::tuple(true, QStringLiteral("broker.lab"), 1884, QStringLiteral("bench 7"), true));
        // Cancelled: nothing changes.
        onNextModal<MqttDialog>([](MqttDialog* d) {
            QTest::keyClicks(d->hostBox(), QStringLiteral("x"));
            d->reject();
        });
        f.main->action(C::LabFeed)->trigger();
        QCOMPARE(changed, 1);
        QCOMPARE(MqttFeed::Options::load().host, QStringLiteral("broker.lab"));
    }

    // A lab database chosen in its dialog is kept as an address without a
    // password; one without a host is refused in the dialog, which stays.
    void recordStoreDialogKeepsItsChoice() {
        ShellFixture f;
        int changed = 0;
        connect(f.main.get(), &MainWindow::recordStoreChanged, this, [&] { ++changed; });
        QString refusal;
        onNextModal<RecordStoreDialog>([&](RecordStoreDialog* d) {
            QTest::mouseClick(d->labButton(), Qt::LeftButton, {},
                              QPoint(4, d->labButton()->height() / 2));
            QTest::keyClicks(d->databaseBox(), QStringLiteral("records"));
            auto* ok = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            QTest::mouseClick(ok, Qt::LeftButton);
            refusal = d->isVisible() ? d->findChild<QLabel*>(QStringLiteral("problem"))->text()
                                     : QString();
            QTest::keyClicks(d->hostBox(), QStringLiteral("db.lab"));
            QLineEdit* port = d->portBox()->findChild<QLineEdit*>();
            port->selectAll();
            QTest::keyClicks(port, QStringLiteral("5433"));
            QTest::keyClicks(d->userBox(), QStringLiteral("lab"));
            d->tlsBox()->setFocus();
            QTest::keyClick(d->tlsBox(), Qt::Key_Down); // prefer -> require
            QTest::keyClicks(d->stationBox(), QStringLiteral("bench-7"));
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        f.main->action(C::RecordStoreChoice)->trigger();
        QCOMPARE(refusal, QStringLiteral("A lab database needs its host and the database's name."));
        QCOMPARE(changed, 1);
        QCOMPARE(storedText(QStringLiteral("LabDatabase/Address")),
                 QStringLiteral("postgresql://lab@db.lab:5433/records?sslmode=require"));
        QCOMPARE(storedText(QStringLiteral("LabDatabase/Station")), QStringLiteral("bench-7"));
        QVERIFY(LabRecords::Options::load().enabled);
        // This computer again: the address stays for the next time.
        onNextModal<RecordStoreDialog>([](RecordStoreDialog* d) {
            QCOMPARE(d->hostBox()->text(), QStringLiteral("db.lab"));
            d->findChild<QRadioButton*>()->click();
            d->accept();
        });
        f.main->action(C::RecordStoreChoice)->trigger();
        QVERIFY(!LabRecords::Options::load().enabled);
        QCOMPARE(LabRecords::Options::load().address.host, QStringLiteral("db.lab"));
        // A start on another lab database (--database) shows that one.
        LabRecords::Options given{true, {}, QStringLiteral("bench-9")};
        given.address.host = QStringLiteral("cli.lab");
        f.main->setRecordStoreInUse(given);
        onNextModal<RecordStoreDialog>([](RecordStoreDialog* d) {
            QVERIFY(d->labButton()->isChecked());
            QCOMPARE(d->hostBox()->text(), QStringLiteral("cli.lab"));
            QCOMPARE(d->stationBox()->text(), QStringLiteral("bench-9"));
            d->reject();
        });
        f.main->action(C::RecordStoreChoice)->trigger();
        QCOMPARE(changed, 2);
    }

    // ---- The serial dialog --------------------------------------------------------------

    // A port that cannot be opened is named with the system's reason, and
    // one without permission with the group and the command that give it;
    // nothing goes to any other port and the stored port stays.
    void aPortThatCannotOpenIsReportedByName_data() {
        // said: a pattern
        columns<QString, bool, QString>("port", "commandLine", "said");
        const QString missing = QStringLiteral("/nonexistent/ttyUSB9");
        const QString cannotOpen = "^The serial port " + missing + " cannot be opened: \\S";
        QTest::newRow("stored port") << missing << false << cannotOpen;
        QTest::newRow("command line") << missing << true << cannotOpen;
        QTest::newRow("no permission")
            << "/dev/ttyUSB0" << false << "no permission.*\"dialout\".*sudo adduser ";
    }
    void aPortThatCannotOpenIsReportedByName() {
        auto [port, commandLine, said] =
            fetch<QString, bool, QString>("port", "commandLine", "said");
        QStringList opened; // outlives the fixture whose ports write to it
        ShellFixture f;
        f.factory.ports = {QStringLiteral("COM1")};
        f.factory.makeSerial = [&](const QString& name) -> SerialPort* {
            if (name == QLatin1String("/dev/ttyUSB0"))
                return new DeniedPort;
            if (name == port)
                return systemPort(name);
            return new ScriptedSerialPort(
                name, [](const QString&, int, const QByteArray&) { return QByteArray(); }, &opened);
        };
        Settings::instance().setSerialPortName(commandLine ? QStringLiteral("COM1") : port);
        if (commandLine)
            f.main->serialDialog()->setOneShotPort(port, 0);
        f.main->serialDialog(); // its list is made before
        opened.clear();
        f.main->goOnLine(InterfaceKind::Serial, {}, true);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY2(QRegularExpression(said, QRegularExpression::DotMatchesEverythingOption)
                     .match(f.prompter.texts.first())
                     .hasMatch(),
                 qPrintable(f.prompter.texts.first()));
        QCOMPARE(opened, QStringList());
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
        QCOMPARE(Settings::instance().serialPortName(),
                 commandLine ? QStringLiteral("COM1") : port);
    }

    // The serial dialog stores what the user chose once the port has opened,
    // the rate reaches the port, and Cancel leaves everything alone.
    void serialDialogStoresTheUsersChoice() {
        QStringList opened; // outlives the fixture whose ports write to it
        ShellFixture f;
        f.factory.ports = {QStringLiteral("COM1"), QStringLiteral("COM2")};
        f.factory.makeSerial = [&](const QString& name) {
            return new ScriptedSerialPort(
                name,
                [supply = simulatedSupply(QStringLiteral("TRQ-3302"))](const QString&, int,
                                                                       const QByteArray& bytes) {
                    return supply->receive(bytes);
                },
                &opened);
        };
        onNextModal<SerialSettingsDialog>([](SerialSettingsDialog* d) {
            d->portList()->setCurrentIndex(1);
            d->baudList()->setCurrentIndex(d->baudList()->findText(QStringLiteral("57600")));
            d->accept();
        });
        f.main->serialDialog(); // its list is made before
        opened.clear();
        f.main->action(C::Rs232)->trigger();
        QTRY_VERIFY(f.session->isReady());
        QCOMPARE(opened.first(), QStringLiteral("COM2@57600"));
        auto stored = [&] {
            QStringList values;
            for (const char* key :
                 {"PortName", "ComPort", "ComPortIndex", "BaudRate", "BaudRateIndex"})
                values << storedText(QStringLiteral("RS232/") + QLatin1String(key));
            return values;
        };
        const QStringList chosen{"COM2", "2", "1", "57600", "5"};
        QCOMPARE(stored(), chosen);

        f.session->reset();
        QString shown;
        onNextModal<SerialSettingsDialog>([&](SerialSettingsDialog* d) {
            shown = d->portList()->currentText() + '@' + d->baudList()->currentText();
            d->portList()->setCurrentIndex(0);
            d->baudList()->setCurrentIndex(0);
            d->reject();
        });
        opened.clear();
        f.main->action(C::Rs232)->trigger();
        QCOMPARE(shown, QStringLiteral("COM2@57600"));
        QCOMPARE(opened, QStringList()); // no connection
        QCOMPARE(f.session->connection().state(), ConnectionState::OffLine);
        QCOMPARE(stored(), chosen);
    }

    // Auto-detection tries every rate on every real port that opens, the
    // port listed last first, and takes the first that names a supply;
    // simulated supplies are listed only when asked for, and never tried.
    void autoDetect_data() {
        // answering: port@rate
        columns<QStringList, QString, bool, int, QString>("ports", "answering", "invalidFirst",
                                                          "attempts", "message");
        const QStringList two{"COM1", "COM2"};
        const QString fail = QStringLiteral(
            "Please recheck Line connection and Device Setting of your device!\nOr Please restart "
            "power device.\nAnd then Retry [Auto Detect] again");
        const QString found = QStringLiteral(
            "Detect Configuration Successfully!\nPorts: %1 ,Baud Rate:%2\nZQ,PSQ-3323,SN1,V1\n");
        QTest::newRow("nothing answers") << two << "" << false << 16 << fail;
        QTest::newRow("first port at 38400, found last")
            << two << "COM1@38400" << false << 16 << found.arg("COM1").arg(38400);
        QTest::newRow("leftovers rejected, asked again")
            << two << "COM2@9600" << true << 1 << found.arg("COM2").arg(9600);
        QTest::newRow("no port opens")
            << QStringList{"/nonexistent/COM7"} << "" << false << 0
            << "Your Device cannot find any connected device with Serial Port.";
    }
    void autoDetect() {
        auto [ports, answering, invalidFirst, attempts, message] =
            fetch<QStringList, QString, bool, int, QString>("ports", "answering", "invalidFirst",
                                                            "attempts", "message");
        // Declared before the fixture: its ports write to them until it goes.
        QStringList opened;
        int asked = 0;
        ShellFixture f;
        f.factory.ports = ports;
        f.factory.makeSerial = [&](const QString& name) -> SerialPort* {
            if (name.startsWith(QLatin1String("/nonexistent/")))
                return systemPort(name);
            return new ScriptedSerialPort(
                name,
                [&](const QString& p, int b, const QByteArray&) {
                    if (!TransportFactory::isSimulated(p) &&
                        QStringLiteral("%1@%2").arg(p).arg(b) != answering)
                        return QByteArray();
                    if (invalidFirst && asked++ == 0)
                        return QByteArray("Invalid Character.\n");
                    return QByteArray("ZQ,PSQ-3323,SN1,V1\n");
                },
                &opened);
        };
        QVERIFY(AppTransports().availablePortNames().filter(QStringLiteral("SIM:")).isEmpty());
        SerialSettingsDialog* dlg = f.main->serialDialog();
        opened.clear();
        dlg->autoDetect();
        QTRY_COMPARE(f.prompter.texts, QStringList{message});
        const QStringList probes = opened.mid(2); // after the listing opens each port
        QCOMPARE(probes.size(), attempts);
        if (attempts == 16) {
            QCOMPARE(probes.mid(0, 3), (QStringList{"COM2@9600", "COM1@9600", "COM2@4800"}));
            QCOMPARE(probes.last(), QStringLiteral("COM1@38400"));
        }
        if (!answering.isEmpty())
            QCOMPARE(dlg->portList()->currentText() + '@' + dlg->baudList()->currentText(),
                     answering);
        QCOMPARE(dlg->portList()->findText(QStringLiteral("SIM:PSQ-3323")), -1);
        QTest::mouseClick(dlg->showSimulated(), Qt::LeftButton);
        QVERIFY(dlg->portList()->findText(QStringLiteral("SIM:PSQ-3323")) > 0);
        dlg->autoDetect();
        QTRY_COMPARE(f.prompter.texts, QStringList(2, message));
    }

    // ---- Number dialogs -----------------------------------------------------------------

    void numberDialogsKeepTheirValues() {
        SaveMemoryDialog save;
        answerNextDialog({3});
        QVERIFY(save.run());
        RecallMemoryDialog recall;
        recall.load();
        QCOMPARE(recall.memory(), 3);
        answerNextDialog({2}, Answer::Cancel);
        QVERIFY(!recall.run()); // cancelled: nothing changes
        QCOMPARE(recall.memory(), 3);
        save.load();
        QCOMPARE(save.memory(), 3);

        // A cycle above the 16-bit range keeps the previous count.
        AutoRangeDialog dlg;
        answerNextDialog({1, 4, 12});
        QVERIFY(dlg.run());
        answerNextDialog({2, 5, 40000});
        QVERIFY(dlg.run());
        QCOMPARE(dlg.startMemory(), 2);
        QCOMPARE(dlg.cycle(), 12);
        // The edits cannot go past their ranges.
        answerNextDialog({500, -3, 99999});
        QVERIFY(dlg.run());
        QCOMPARE(dlg.startMemory(), 99);
        QCOMPARE(dlg.endMemory(), 0);
    }

    // Each dialog command reaches the supply with the numbers typed (the
    // first number has the focus, Enter confirms), and the panel's
    // automatic-run fields show what the supply then replies; a cancelled
    // one sends nothing. Recall waits until the click is over.
    void dialogCommandsReachTheSupply_data() {
        // Cancelled with the panel's button, or with the toolbar's if given;
        // field: the first field showing the values, if any.
        columns<C, QString, QList<B>, std::vector<int>, QStringList, int>(
            "command", "panelButton", "toolbar", "values", "sent", "field");
        QTest::newRow("save memory") << C::SaveMemory << "Save" << QList<B>() << std::vector<int>{2}
                                     << QStringList{"*SAV 2"} << 4;
        QTest::newRow("recall memory")
            << C::RecallMemory << "" << QList<B>{B::RecallMemory} << std::vector<int>{3}
            << QStringList{":OUTP:STAT 0",      "*RCL 3",
                           ":OUTP:STAT 0",      ":OUTP:COUP:TRAC 0",
                           ":SYST:AUTO:STAT 0", ":OUTP:COUP:TRAC 0"}
            << -1;
        QTest::newRow("delay") << C::Delay << "" << QList<B>{B::Delay} << std::vector<int>{15}
                               << QStringList{":SYST:AUTO:DEL 15"} << 3;
        QTest::newRow("automatic range")
            << C::AutoRange << "Change" << QList<B>() << std::vector<int>{1, 4, 12}
            << QStringList{":SYST:AUTO:STAR 1", ":SYST:AUTO:END 4", ":SYST:AUTO:CYCL 12"} << 0;
    }
    void dialogCommandsReachTheSupply() {
        auto [command, panelButton, toolbar, values, sent, field] =
            fetch<C, QString, QList<B>, std::vector<int>, QStringList, int>(
                "command", "panelButton", "toolbar", "values", "sent", "field");
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        std::shared_ptr<bool> answered = answerNextDialog(values, Answer::Cancel);
        if (toolbar.isEmpty()) {
            QAbstractButton* onPanel = buttonOf(f.panel(), panelButton);
            QVERIFY(onPanel);
            QTest::mouseClick(onPanel, Qt::LeftButton);
        } else {
            f.main->toolButton(toolbar.first())->trigger();
        }
        QCOMPARE(f.main->recallTimer().isActive(), command == C::RecallMemory);
        QTRY_VERIFY(*answered);
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        answered = answerNextDialog(values, Answer::Typed);
        f.main->action(command)->trigger();
        QTRY_VERIFY(*answered);
        QVERIFY(f.waitReceived());
        QCOMPARE(commandsOnly(f.takeReceived()), sent);
        for (std::size_t i = 0; field >= 0 && i < values.size(); ++i)
            QCOMPARE(f.panel()->autoRunField(field + int(i))->text(), QString::number(values[i]));
    }

    // Off line the commands open nothing and send nothing; only the read
    // time can be set, and beyond 32 s.
    void offLineOnlyTheReadTimeIsSet() {
        ShellFixture f;
        for (C c : {C::SaveMemory, C::AutoRange, C::Delay, C::AutoRun, C::Output, C::RecordSetup})
            f.main->run(c);
        f.main->recallMemory();
        QTRY_VERIFY(!f.main->recallTimer().isActive());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(f.link.pendingCommands(), 0);
        answerNextDialog({60});
        f.main->action(C::ReadTimes)->trigger();
        QCOMPARE(f.link.pollCycleLimitMsec(), 60000);
    }

    // While the initial values are read a window shows how far it has come;
    // its Cancel takes the program back off line. Slow replies keep it up.
    void theInitialQueryCanBeCancelled() {
        ShellFixture f;
        f.factory.rewrite = [](const QByteArray& written, const QByteArray& reply) {
            return written.contains("MEAS") ? QByteArray() : reply;
        };
        TraceCapture trace;
        f.session->connection().openSerial({QStringLiteral("SIM:PSQ-3323"), 9600});
        WaitDialog* wait = nullptr;
        QTRY_VERIFY((wait = qobject_cast<WaitDialog*>(QApplication::activeModalWidget())));
        QCOMPARE(wait->windowTitle(), QStringLiteral("Querying..."));
        QTRY_VERIFY(wait->progressBar()->value() > 0);
        QTest::mouseClick(wait->cancelButton(), Qt::LeftButton);
        QTRY_COMPARE(f.session->connection().state(), ConnectionState::OffLine);
        QVERIFY(trace.lines.contains(QStringLiteral("QueryInitialValues cancelled")));
        QVERIFY(!trace.lines.contains(QStringLiteral("Q Ini OK")));
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // Interface > Polling: the choice is kept for the next start, ticked,
    // and the status bar shows the pace it gives and the wire's limit.
    void pollingChoiceIsKeptAndItsPaceShown() {
        ShellFixture f;
        QVERIFY(f.main->action(C::PollSpecified)->isChecked());
        f.main->action(C::PollFast)->trigger();
        QCOMPARE(Settings::instance().pollMode(), PollMode::Fast);
        QCOMPARE(f.session->poll().mode(), PollMode::Fast);
        QVERIFY(f.main->action(C::PollFast)->isChecked());
        QVERIFY(!f.main->action(C::PollSpecified)->isChecked());
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->toolButton(B::Output)->trigger();
        static const QRegularExpression pace(QStringLiteral("^\\d+ readings/s, wire limit \\d+$"));
        QTRY_VERIFY((f.clock.advanceMsec(100), pace.match(f.main->rateText()).hasMatch()));
        f.main->action(C::PollSpecified)->trigger();
        QCOMPARE(Settings::instance().pollMode(), PollMode::Specified);
        QCOMPARE(f.session->poll().mode(), PollMode::Specified);
        f.session->reset();
        QTRY_COMPARE(f.main->rateText(), QString());
    }

    // A lost link with "Reconnect automatically": said in the status bar and
    // on the on/off-line button, the windows stay, the panel waits, and no
    // box is stacked while it tries.
    void lostLinkShowsReconnecting() {
        ShellFixture f;
        f.main->action(C::Reconnect)->trigger();
        QVERIFY(f.session->connection().reconnects());
        f.session->connection().setReconnectDelays(
            {1500, 1500, 1500, 1500}); // long enough to look at
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->toolButton(B::Output)->trigger();
        f.factory.lastSerial->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(f.session->connection().state(), ConnectionState::Reconnecting,
                                  30000);
        QTRY_VERIFY(f.main->statusText().startsWith(QStringLiteral("Link lost — reconnecting…")));
        QCOMPARE(f.main->toolButton(B::OnOffLine)->text(), QStringLiteral("Reconnecting…"));
        QVERIFY(f.panel() && f.panel()->isVisible() && !f.panel()->isEnabled());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        // The simulated port opens again with the same model: back, the
        // panel usable again, the output left as the supply reports it. It
        // came back switched off (a new simulated supply): one notice that
        // blocks nothing, and the status bar, say so.
        QTRY_VERIFY_WITH_TIMEOUT(f.session->isReady() && !f.session->waiting(), 10000);
        QVERIFY(f.panel()->isEnabled());
        QCOMPARE(f.main->toolButton(B::OnOffLine)->text(), QStringLiteral("On line"));
        QCOMPARE(f.prompter.texts, QStringList());
        QVERIFY(!f.session->supply().outputOn());
        QTRY_VERIFY(f.main->linkNotice() && f.main->linkNotice()->isVisible());
        QVERIFY(f.main->linkNotice()->text().contains(QStringLiteral("output off")));
        QVERIFY(f.main->statusText().contains(QStringLiteral("output off")));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // The link goes on while a dialog is open, on either link: a click that
    // comes in while a query is on the line opens its dialog from the event
    // loop, never from inside the link, and the poll goes on meanwhile.
    void theLinkGoesOnWhileADialogIsOpen_data() {
        columns<bool, B>("gpib", "button");
        QTest::newRow("Delay, serial") << false << B::Delay;
        QTest::newRow("About, serial") << false << B::About;
        QTest::newRow("Delay, GPIB") << true << B::Delay;
    }
    void theLinkGoesOnWhileADialogIsOpen() {
        auto [gpib, button] = fetch<bool, B>("gpib", "button");
        ShellFixture f;
        QWidget* target =
            f.main->findChild<QToolBar*>()->widgetForAction(f.main->toolButton(button));
        bool clicked = false;
        const auto click = [&] {
            if (std::exchange(clicked, true))
                return;
            const QPointF at = QRectF(target->rect()).center();
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(
                    target, new QMouseEvent(type, at, target->mapToGlobal(at), Qt::LeftButton,
                                            type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                             : Qt::NoButton,
                                            Qt::NoModifier));
        };
        f.overrideReplies(); // each write passes through here
        QVERIFY(gpib ? f.onLineGpib(QStringLiteral("PSQ-3323"))
                     : f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->control().setOutput(true);
        QVERIFY(f.waitReceived());
        quint64 during = 0;
        onNextModal<QDialog>([&](QDialog* d) {
            // A poll step every 166 ms, a query every 5 ms tick here: three
            // readings come in well within the wait unless polling stalls.
            const quint64 before = f.session->supply().readingCount();
            (void)QTest::qWaitFor([&] { return f.session->supply().readingCount() - before >= 3; },
                                  3000);
            during = f.session->supply().readingCount() - before;
            d->reject();
        });
        if (gpib) {
            click();
        } else {
            // Posted while the next query is being written.
            f.overrides = {};
            f.factory.rewrite = [&](const QByteArray&, const QByteArray& reply) {
                click();
                return reply;
            };
        }
        QTRY_VERIFY(clicked);
        QTRY_VERIFY_WITH_TIMEOUT(during > 0, 10000);
        QVERIFY2(during >= 3, qPrintable(QString::number(during)));
    }

    // Set in the dialog with mouse and keys, kept in the settings as the
    // supply's own, shown on the channel, and acted on: the output goes off
    // on the wire and one notice that blocks nothing says why.
    void limitsFromTheRecordMenu() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        FrontPanel* panel = f.panel();
        QVERIFY(!panel->limitMarker(0)->isVisible());
        bool firstTryRefused = false;
        QString title;
        onNextModal<LimitsDialog>([&](LimitsDialog* d) {
            title = d->windowTitle();
            QPushButton* ok = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            QTest::mouseClick(buttonOf(d, QStringLiteral("Add")), Qt::LeftButton);
            QTableWidget* table = d->table();
            QCOMPARE(table->rowCount(), 1);
            // No bound yet: refused with the row named, the dialog stays.
            QTest::mouseClick(ok, Qt::LeftButton);
            firstTryRefused = d->isVisible() && f.prompter.texts.size() == 1 &&
                              f.prompter.texts.at(0).startsWith(QStringLiteral("Row 1"));
            auto* upper = qobject_cast<QLineEdit*>(table->cellWidget(0, LimitsDialog::UpperColumn));
            QTest::mouseClick(upper, Qt::LeftButton);
            QTest::keyClicks(upper, QStringLiteral("4"));
            auto* action =
                qobject_cast<QComboBox*>(table->cellWidget(0, LimitsDialog::ActionColumn));
            action->setFocus();
            QTest::keyClick(action, Qt::Key_Down); // Message
            QTest::keyClick(action, Qt::Key_Down); // Output off
            QTest::mouseClick(ok, Qt::LeftButton);
            if (d->isVisible())
                d->reject(); // a failed step must not leave the test waiting
        });
        f.main->action(C::Limits)->trigger();
        QVERIFY(firstTryRefused);
        QCOMPARE(title, QStringLiteral("Limits of PSQ-3323, serial number SN20260001"));
        QCOMPARE(f.session->limits().rules().size(), std::size_t(1));
        QCOMPARE(
            LimitMonitor::load(QStringLiteral("PSQ-3323"), QStringLiteral("SN20260001")).size(),
            std::size_t(1));
        QVERIFY(panel->limitMarker(0)->isVisible());
        QVERIFY(!panel->limitMarker(1)->isVisible());

        // Channel 1's voltage above 4 V switches the output off.
        f.instrument().channel(1).vset = 6;
        f.instrument().channel(1).iset = 1;
        f.main->toolButton(B::Output)->trigger();
        QTRY_VERIFY(!f.session->supply().outputOn());
        QTRY_VERIFY(!f.instrument().output); // the off command is on its way
        QCOMPARE(panel->limitMarker(0)->text(), QStringLiteral("LIMIT TRIPPED"));
        QTRY_VERIFY(f.main->statusText().startsWith(QStringLiteral("Limit tripped: ")));
        QVERIFY(f.main->limitNotice() == nullptr); // the message action gives the notice

        // With a message action: one notice, never modal, growing by a line.
        const std::vector<LimitRule> fromDialog = f.session->limits().rules();
        LimitRule message = fromDialog.front();
        message.action = LimitAction::Message;
        f.session->storeLimitRules(
            {message, LimitRule{2, Quantity::Voltage, std::nullopt, 4.0, 0, LimitAction::Message}});
        f.instrument().channel(2).vset = 6;
        f.instrument().channel(2).iset = 1;
        f.main->toolButton(B::Output)->trigger();
        QTRY_VERIFY(f.main->limitNotice() && f.main->limitNotice()->text().count(u'\n') == 1);
        QVERIFY(f.main->limitNotice()->isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(f.session->supply().outputOn());
        // What was delivered is shown, and the panel's button starts it again.
        QTRY_VERIFY(!panel->deliveredLabel(0)->text().contains(QStringLiteral(" 0.0000 Ah")));
        f.session->control().setOutput(false); // nothing more comes in meanwhile
        QTest::mouseClick(panel->resetDeliveredButton(), Qt::LeftButton);
        QVERIFY2(panel->deliveredLabel(0)->text().endsWith(QStringLiteral("0.0000 Ah   0.0000 Wh")),
                 qPrintable(panel->deliveredLabel(0)->text()));
    }
    // Further supplies join the window's own as a bench: each gets its panel
    // and status entry, one port never twice (their servers are tst_app's
    // windowsServeScripts); Record > Start records them
    // all on one clock; the power order runs from the toolbar; the bench is
    // kept and opens again; Remove supply takes one off.
    void aBenchInTheWindows() {
        BenchShellFixture f;
        MainWindow& m = *f.main;
        QVERIFY(!m.toolButton(B::BenchOn)->isVisible());
        Settings::instance().setSerialPortName(QStringLiteral("SIM:PSQ-3323"));
        m.goOnLine(InterfaceKind::Serial, {}, true);
        QTRY_VERIFY(f.first().isReady() && m.panel());
        f.addSupply(QStringLiteral("TRQ-3302"), QStringLiteral("rail"));
        QVERIFY(f.allReady());
        QTRY_VERIFY(m.benchPanels()->panelWindow(1));
        QVERIFY(m.benchPanels()->panelWindow(1)->windowTitle().startsWith(
            QStringLiteral("rail — TRQ-3302 — SIM:TRQ-3302 — serial number ")));
        QCOMPARE(m.benchPanels()->statusEntry(1), QStringLiteral("rail: on line"));
        QCOMPARE(m.benchPanels()->statusEntry(0), QStringLiteral("PSQ-3323: on line"));
        QVERIFY(m.toolButton(B::BenchOn)->isVisible());
        // The feed publishes it under its name.
        MqttFeed::Options feed;
        feed.host = QStringLiteral("127.0.0.1");
        feed.port = freePort();
        feed.station = QStringLiteral("bench-1");
        feed.enabled = true;
        m.benchPanels()->setFeedOptions(feed);
        QCOMPARE(m.benchPanels()->feed(1)->prefix(), QStringLiteral("powertrq/bench-1/rail"));
        m.benchPanels()->setFeedOptions(std::nullopt);
        QVERIFY(!m.benchPanels()->feed(1));
        // The same port again is refused, said.
        f.addSupply(QStringLiteral("PSQ-3323"));
        QCOMPARE(f.prompter.texts.value(0), QStringLiteral("PSQ-3323 is on the bench already."));
        QCOMPARE(f.bench.size(), 2);
        QCOMPARE(Settings::instance().benchSupplies(QStringLiteral("bench")),
                 (QStringList{"sim:PSQ-3323", "rail=sim:TRQ-3302"}));

        // The order as the user writes it, kept with the bench, run from the
        // toolbar.
        onNextModal<QInputDialog>([](QInputDialog* d) {
            d->setTextValue(QStringLiteral("rail on, 100 ms, psq-3323 on"));
            d->accept();
        });
        m.action(C::PowerOrder)->trigger();
        QCOMPARE(Settings::instance().benchPowerOrder(QStringLiteral("bench")),
                 QStringLiteral("rail on, 100 ms, psq-3323 on"));
        QTest::mouseClick(m.findChild<QToolBar*>()->widgetForAction(m.toolButton(B::BenchOn)),
                          Qt::LeftButton);
        QTRY_VERIFY(f.instruments.at(0)->output && f.instruments.at(1)->output);
        QTRY_VERIFY(f.first().supply().outputOn() && f.bench.session(1).supply().outputOn());

        // A sequence on the first supply that sets rail keeps rail's panel
        // too: the click asks, Yes stops the run, every output it set off.
        f.waiter.frozen = true; // its step lasts
        QCOMPARE(f.first().sequence().run(std::get<Sequence>(Sequence::fromCsv(
                     "supply,channel,voltage,current,output,dwell_s\nrail,1,2,,,3600\n"))),
                 std::nullopt);
        auto* railPanel = qobject_cast<FrontPanel*>(m.benchPanels()->panelWindow(1)->widget());
        f.prompter.answers = {Prompter::Answer::Yes};
        QTest::mouseClick(railPanel->outputSwitch(), Qt::LeftButton);
        QCOMPARE(f.prompter.texts.last(),
                 QStringLiteral("A sequence is in control of the supply. Stop the sequence?"));
        QCOMPARE(f.first().sequence().runner().state(), SequenceRunner::State::Stopped);
        f.waiter.frozen = false;
        QTRY_VERIFY(!f.instruments.at(0)->output && !f.instruments.at(1)->output);
        QTest::mouseClick(m.findChild<QToolBar*>()->widgetForAction(m.toolButton(B::BenchOn)),
                          Qt::LeftButton);
        QTRY_VERIFY(f.first().supply().outputOn() && f.bench.session(1).supply().outputOn());

        // One recording of both, each point of a step stamped alike.
        RecordSetup& setup = f.first().recordSetup();
        setup.continuous = true;
        f.first().recording()->arm(setup);
        m.showGraph();
        m.action(C::RecordStart)->trigger();
        QVERIFY(f.bench.isRecording());
        QVERIFY(!m.action(C::RecordStart)->isEnabled());
        RecordStore& first = *f.bench.records().store(1);
        RecordStore& second = *f.bench.records().store(2);
        QTRY_VERIFY_WITH_TIMEOUT(first.workingCount() >= 2 && second.workingCount() >= 2, 5000);
        // The graph draws the other supply's points as the steps store them.
        QTRY_VERIFY(m.graphWindow()->plotCount() == 16 &&
                    m.graphWindow()->plot(8)->data()->size() >= 2);
        m.action(C::RecordStop)->trigger();
        QVERIFY(!f.bench.isRecording());
        QStringList times[2];
        for (int i = 0; i < 2; ++i)
            for (const SampleRow& r : f.bench.records().store(i + 1)->workingRows())
                times[i] << r.recTime;
        // A step without fresh readings of a supply has no point of it.
        const QSet<QString> firstTimes(times[0].begin(), times[0].end());
        QVERIFY(firstTimes.intersects(QSet<QString>(times[1].begin(), times[1].end())));
        QVERIFY(firstTimes.contains(QSet<QString>(times[1].begin(), times[1].end())) ||
                QSet<QString>(times[1].begin(), times[1].end()).contains(firstTimes));
        // The table shows one supply at a time, with its own channels.
        QComboBox* shown = m.tableWindow()->supplyList();
        QCOMPARE(shown->count(), 2);
        QCOMPARE(shown->itemText(1), QStringLiteral("rail"));
        m.showTable();
        shown->setFocus();
        QTest::keyClick(shown, Qt::Key_Down);
        QCOMPARE(m.tableWindow()->model().rowCount(), times[1].size());
        QCOMPARE(m.tableWindow()->model().channels(), f.bench.session(1).supply().channelCount());

        // Saved, loaded and deleted whole from the windows.
        QString recNo;
        auto saved = [&](const char* table) {
            return sqlCount(f.data.database(),
                            QStringLiteral("select count(*) from %1 where RecNo = '%2'")
                                .arg(QLatin1String(table), recNo));
        };
        f.prompter.answers = {Prompter::Answer::Yes, Prompter::Answer::Yes};
        m.action(C::RecordSave)->trigger();
        recNo = f.first().recording()->record().header().recNo;
        QCOMPARE(saved("datadetail"), times[0].size());
        QCOMPARE(saved("datadetail_s2"), times[1].size());
        QVERIFY(first.clearWorking() && second.clearWorking());
        m.tableWindow()->openRecordList();
        m.tableWindow()->chooseRecord(0);
        QCOMPARE(second.workingCount(), times[1].size());
        f.prompter.fileName = f.folder + QStringLiteral("/bench.csv");
        m.showGraph();
        m.graphWindow()->exportCsv();
        QFile csv(f.prompter.fileName);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray heading = csv.readLine();
        QVERIFY2(heading.startsWith("Time,PSQ-3323 CH1 V,") && heading.contains(",rail CH1 V,"),
                 heading.constData());
        // So does the graph: both supplies, their plots named by the
        // supply's, or one of them alone.
        GraphWindow& graph = *m.graphWindow();
        QCOMPARE(graph.plotCount(), 16);
        QCOMPARE(graph.plotBox(0)->text(), QStringLiteral("PSQ-3323 CH1 V"));
        int drawn = 0; // the points, not the breaks at gaps
        for (auto p = graph.plot(8)->data()->constBegin(); p != graph.plot(8)->data()->constEnd();
             ++p)
            drawn += qIsNaN(p->value) ? 0 : 1;
        QCOMPARE(drawn, times[1].size());
        graph.supplyList()->setFocus();
        QTest::keyClick(graph.supplyList(), Qt::Key_End);
        QCOMPARE(graph.plotBox(1)->text(), QStringLiteral("rail CH1 A"));
        QCOMPARE(graph.sampleCount(), times[1].size());
        // Its report names it, not the first supply.
        f.prompter.fileName = f.folder + QStringLiteral("/rail.pdf");
        graph.report();
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {f.prompter.fileName, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(20000));
        const QByteArray report = text.readAllStandardOutput();
        QVERIFY2(report.contains("TRQ-3302") && !report.contains("PSQ-3323"), report.constData());
        m.graphWindow()->openDeleteList();
        m.graphWindow()->deleteChosen(0);
        QCOMPARE(saved("datadetail_s2"), 0);

        QTest::mouseClick(m.findChild<QToolBar*>()->widgetForAction(m.toolButton(B::BenchOff)),
                          Qt::LeftButton);
        QTRY_VERIFY(!f.instruments.at(0)->output && !f.instruments.at(1)->output);

        // Not while a sequence sets it: its link would close with the
        // output on.
        QMenu* remove = m.action(C::RemoveSupplyMenu)->menu();
        f.waiter.frozen = true;
        QCOMPARE(f.first().sequence().run(std::get<Sequence>(Sequence::fromCsv(
                     "supply,channel,voltage,current,output,dwell_s\nrail,1,2,,on,3600\n"))),
                 std::nullopt);
        QTRY_VERIFY(f.instruments.at(1)->output);
        emit remove->aboutToShow();
        remove->actions().at(0)->trigger();
        QCOMPARE(
            f.prompter.texts.last(),
            QStringLiteral("rail cannot leave the bench while a sequence sets or watches it."));
        QCOMPARE(f.bench.size(), 2);
        f.first().sequence().runner().stop();
        f.waiter.frozen = false;
        QTRY_VERIFY(!f.instruments.at(1)->output);

        // Removed: its panel and entry go, its output as it was.
        emit remove->aboutToShow();
        QCOMPARE(remove->actions().size(), 1);
        remove->actions().at(0)->trigger();
        QCOMPARE(f.bench.size(), 1);
        QVERIFY(!m.toolButton(B::BenchOn)->isVisible());
        QCOMPARE(m.benchPanels()->statusEntry(0), QString()); // alone: the status line
        QCOMPARE(Settings::instance().benchSupplies(QStringLiteral("bench")),
                 (QStringList{"sim:PSQ-3323"}));
        // Alone again, its own run is the working table's alone: the bench
        // run's other supply goes with neither its save nor its CSV.
        QVERIFY(second.workingCount() > 0);
        f.first().control().setOutput(true);
        QTRY_VERIFY(f.first().supply().outputOn() && f.first().supply().allMeasured());
        f.prompter.answers = {Prompter::Answer::Yes};
        m.action(C::RecordStart)->trigger();
        QVERIFY(f.first().recording()->engine().isRecording());
        QVERIFY(f.first().recording()->record().runSupplies().empty());
        QCOMPARE(second.workingCount(), 0);
        m.action(C::RecordStop)->trigger();
        // A kept bench comes back at the next start, the first supply as
        // the window opens it.
        Settings::instance().setBenchSupplies(QStringLiteral("bench"),
                                              QStringList{"sim:PSQ-3323", "rail=sim:TRQ-3302"});
        m.benchPanels()->reopenKept();
        QCOMPARE(f.bench.names(), (QStringList{"PSQ-3323", "rail"}));
        QTRY_VERIFY(m.benchPanels()->panelWindow(1));
    }
};

TRQ_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
