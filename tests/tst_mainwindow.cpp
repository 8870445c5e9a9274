// The main window: menus, toolbar and status bar over the session, the
// interface dialogs, and the small dialogs of memories, delay, automatic run
// and read time.
#include "link/qtserialport.h"
#include "support/shellfixture.h"
#include "ui/automationdialog.h"
#include "ui/limitsdialog.h"
#include "ui/mqttdialog.h"
#include "ui/numberdialogs.h"
#include "ui/serialsettingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTcpServer>
#include <QToolBar>

using namespace trq;
using namespace trq::test;

using C = MainWindow::Command;
using B = MainWindow::Button;

namespace {

// Answers the next number dialog: fills its edits and clicks OK or Cancel.
void answerNextDialog(std::vector<int> values, bool ok = true) {
    onNextModal<NumberDialog>([values, ok](NumberDialog* dlg) {
        for (std::size_t i = 0; i < values.size(); ++i)
            dlg->edit(int(i))->setValue(values[i]);
        (ok ? dlg->okButton() : dlg->cancelButton())->click();
    });
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

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // ---- Going on line ------------------------------------------------------------

    void onlyModelsOfTheFamilyGetMenuItems() {
        ShellFixture f;
        QSqlQuery q(f.data.database());
        QVERIFY(q.exec(QStringLiteral("insert into data1 (MTYPE, Listed, Layout, PerChannel) "
                                      "values ('ABC-1000', 1, 1, 0), ('PSQ-HIDDEN', 0, 1, 0)")));
        MainWindow m({*f.session, f.prompter, f.waiter, f.factory});
        QStringList items;
        for (QAction* item : m.modelItems())
            items << item->text();
        QCOMPARE(items, (QStringList{"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"}));
        // A tick shows only a connection that is open.
        QVERIFY(!m.modelItems().at(2)->isChecked());
        m.modelItems().at(2)->trigger();
        QVERIFY(m.modelItems().at(2)->isChecked());
        QVERIFY(!m.modelItems().at(0)->isChecked());
        QCOMPARE(m.windowTitle(), QStringLiteral("TRQ-3302"));
    }

    void onLineShowsTheConnection_data() {
        QTest::addColumn<bool>("gpib");
        QTest::newRow("serial") << false;
        QTest::newRow("GPIB") << true;
    }
    void onLineShowsTheConnection() {
        QFETCH(bool, gpib);
        ShellFixture f;
        QAction* button = f.main->toolButton(B::OnOffLine);
        QCOMPARE(button->text(), QStringLiteral("Off line"));
        QVERIFY(!f.main->showsOnLineImage());
        QVERIFY(gpib ? f.onLineGpib(QStringLiteral("PSQ-3323"))
                     : f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(f.main->windowTitle(), QStringLiteral("PSQ-3323"));
        QCOMPARE(ticks(*f.main), (QStringList{gpib ? "GPIB" : "RS232", "PSQ-3323"}));
        QVERIFY(f.main->showsOnLineImage());
        QCOMPARE(button->text(), QStringLiteral("On line"));
        f.main->updateStatus();
        QCOMPARE(f.main->statusText(), QStringLiteral("Ready"));
        QVERIFY(f.main->tableWindow() && f.main->graphWindow());
    }

    void onLineButtonUsesTheStoredInterface() {
        ShellFixture f;
        QAction* button = f.main->toolButton(B::OnOffLine);
        button->trigger();
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        QVERIFY(button->isChecked()); // shown pressed again: still off line

        Settings::setValue(QStringLiteral("Common"), QStringLiteral("CommType"),
                           QStringLiteral("RS232"));
        Settings::setValue(QStringLiteral("RS232"), QStringLiteral("PortName"),
                           QStringLiteral("SIM:TRQ-3302"));
        button->trigger();
        QTRY_VERIFY(f.session->isReady());
        QCOMPARE(f.session->model(), QStringLiteral("TRQ-3302"));
        QVERIFY(f.main->showsOnLineImage());
        QVERIFY(!button->isChecked());
        // Clicked again while on line: the reset question.
        f.prompter.answers = {Prompter::Answer::No};
        button->trigger();
        QCOMPARE(f.prompter.texts, QStringList{"Reset and open it?"});
        QVERIFY(f.session->isReady());
        QVERIFY(!button->isChecked());
    }

    // Interface and model items are ticked only for the connection that is
    // open, whatever was clicked, cancelled or answered No.
    void ticksShowOnlyTheOpenConnection() {
        ShellFixture f;
        MainWindow& m = *f.main;
        onNextModal<QDialog>([](QDialog* d) { d->reject(); });
        m.action(C::Rs232)->trigger();
        onNextModal<QDialog>([](QDialog* d) { d->reject(); });
        m.action(C::Gpib)->trigger();
        QCOMPARE(ticks(m), QStringList());

        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        QCOMPARE(ticks(m), (QStringList{"RS232", "PSQ-3323"}));
        f.prompter.answers = {Prompter::Answer::No, Prompter::Answer::No};
        m.action(C::Gpib)->trigger();
        m.modelItems().at(2)->trigger();
        QCOMPARE(f.prompter.texts, (QStringList{"Reset and open it?", "Reset and open it?"}));
        QCOMPARE(ticks(m), (QStringList{"RS232", "PSQ-3323"}));
        f.session->reset();
        QCOMPARE(ticks(m), QStringList());
        QVERIFY(!m.panel() && !m.tableWindow() && !m.graphWindow());
        QCOMPARE(m.windowTitle(), QStringLiteral("POWER_TRQ"));
    }

    // The on/off-line button always shows the link state, also after a
    // connection ended by a timeout or a failed new detection.
    void onOffLineButtonShowsTheLinkState_data() {
        QTest::addColumn<bool>("newDetectionFails");
        QTest::newRow("operation timeout") << false;
        QTest::newRow("failed detection") << true;
    }
    void onOffLineButtonShowsTheLinkState() {
        QFETCH(bool, newDetectionFails);
        ShellFixture f;
        QAction* button = f.main->toolButton(B::OnOffLine);
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        Settings::setValue(QStringLiteral("Common"), QStringLiteral("CommType"),
                           QStringLiteral("RS232"));
        if (newDetectionFails) {
            f.factory.makeSerial = [](const QString& name) {
                return new ScriptedSerialPort(name, [](const QString&, int, const QByteArray&) {
                    return QByteArray("ZQ,NOSUCH-1,SN1,V1\n");
                });
            };
            f.prompter.answers = {Prompter::Answer::Yes};
            button->trigger();
            QTRY_COMPARE(f.prompter.texts.size(), 2);
        } else {
            f.link.timeOut();
        }
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        QCOMPARE(button->text(), QStringLiteral("Off line"));
        QVERIFY(!f.main->showsOnLineImage());
        QVERIFY(!f.main->action(C::Output)->isEnabled());
    }

    // Nothing of a connection's output, automatic-run or coupling state
    // survives a reset: the next connection starts from what the supply
    // reports.
    void resetClearsTheOutputAndCouplingMarks() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->action(C::Output)->trigger();
        f.main->action(C::AutoRun)->trigger();
        f.main->action(C::Parallel)->trigger();
        QVERIFY(f.main->action(C::Output)->isChecked());
        QVERIFY(f.main->toolButton(B::AutoRun)->isChecked());
        QVERIFY(f.main->action(C::Parallel)->isChecked());
        f.session->reset();
        for (C item : {C::Output, C::AutoRun, C::Parallel})
            QVERIFY(!f.main->action(item)->isChecked());
        QVERIFY(f.main->action(C::Independent)->isChecked());
        for (B button : {B::Output, B::AutoRun})
            QVERIFY(!f.main->toolButton(button)->isChecked());

        // A two-channel supply reports no output state: its first Output
        // click after a reconnect switches it on.
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        f.main->toolButton(B::Output)->trigger();
        f.session->reset();
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QVERIFY(!f.main->action(C::Output)->isChecked());
        QVERIFY(!f.panel()->outputSwitch()->isChecked());
        f.takeReceived();
        f.main->toolButton(B::Output)->trigger();
        f.session->pollTimer().stop();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList{"OUT1"});
    }

    // What the user can reach on line with each layout.
    void menusAndToolbarOnLine_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QList<C>>("disabledItems");
        QTest::addColumn<QList<B>>("enabledButtons");
        const QList<B> allButtons{B::Gpib,         B::Com,        B::OnOffLine, B::SaveMemory,
                                  B::RecallMemory, B::Delay,      B::ReadTimes, B::Output,
                                  B::AutoRun,      B::ClearError, B::About};
        const QList<C> noMemories{C::SaveMemory,   C::RecallMemory, C::Delay,
                                  C::CouplingMenu, C::Independent,  C::Parallel,
                                  C::Tracking,     C::AutoRange,    C::AutoRun};
        QTest::newRow("layout 1") << "PSQ-3323" << QList<C>() << allButtons;
        QTest::newRow("layout 2") << "SPQ-3610DNB" << noMemories
                                  << QList<B>{B::Gpib,   B::Com,        B::OnOffLine,
                                              B::Output, B::ClearError, B::About};
        const QList<B> legacyButtons{B::Com, B::OnOffLine, B::Output, B::About};
        QTest::newRow("layout 3") << "TRQ-3302"
                                  << noMemories + QList<C>{C::Gpib, C::ClearProtection}
                                  << legacyButtons;
        QTest::newRow("layout 4") << "TRQ-7206S"
                                  << noMemories + QList<C>{C::Gpib, C::ClearProtection, C::Wave}
                                  << legacyButtons;
    }
    void menusAndToolbarOnLine() {
        QFETCH(QString, model);
        QFETCH(QList<C>, disabledItems);
        QFETCH(QList<B>, enabledButtons);
        ShellFixture f;
        const QList<C> items{C::Gpib,     C::Rs232,           C::SaveMemory,   C::RecallMemory,
                             C::Delay,    C::ReadTimes,       C::CouplingMenu, C::Independent,
                             C::Parallel, C::Tracking,        C::AutoRange,    C::AutoRun,
                             C::Output,   C::ClearProtection, C::Control,      C::Wave,
                             C::TableData};
        // Off line only the interfaces, and the read time as it is.
        for (C item : items)
            QCOMPARE(f.main->action(item)->isEnabled(),
                     item == C::Gpib || item == C::Rs232 || item == C::ReadTimes);
        QVERIFY(f.onLineSerial(model));
        for (C item : items)
            QCOMPARE(f.main->action(item)->isEnabled(), !disabledItems.contains(item));
        for (B button : {B::Gpib, B::Com, B::OnOffLine, B::SaveMemory, B::RecallMemory, B::Delay,
                         B::ReadTimes, B::Output, B::AutoRun, B::ClearError, B::About})
            QCOMPARE(f.main->toolButton(button)->isEnabled(), enabledButtons.contains(button));
        // Recording follows the output; limits can be set before it goes on.
        QVERIFY(f.main->action(C::Limits)->isEnabled());
        QVERIFY(!f.main->action(C::RecordStart)->isEnabled());
        f.main->toolButton(B::Output)->trigger();
        QVERIFY(f.main->action(C::RecordStart)->isEnabled());
    }

    void statusBar() {
        ShellFixture f;
        MainWindow& m = *f.main;
        m.statusTimer().stop();
        m.reportStatus(QStringLiteral("Read Times Failed!"), 2000);
        for (int i = 0; i < 20; ++i) {
            m.updateStatus();
            QCOMPARE(m.statusText(), QStringLiteral("Read Times Failed!"));
        }
        m.updateStatus();
        QCOMPARE(m.statusText(), QStringLiteral("Setup"));
        // Detecting: asterisks count up to 29 and start again.
        f.factory.makeGpib = [](const QString&) {
            return simulatedBoard(simulatedSupply("PSQ-3323"));
        };
        f.session->openGpib({0, 1, {}});
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
        MainWindow m({*f.session, f.prompter, f.waiter, f.factory, &server});
        m.startServer(std::nullopt); // nothing stored: nothing served
        QVERIFY(!server.isListening());
        QTcpServer probe; // a free port
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        onNextModal<AutomationDialog>([port](AutomationDialog* d) {
            QTest::mouseClick(d->enabledBox(), Qt::LeftButton);
            d->portEdit()->setValue(port);
            d->accept();
        });
        m.action(C::Automation)->trigger();
        QVERIFY(server.isListening());
        QCOMPARE(server.port(), port);
        QVERIFY(m.findChildren<QLabel*>().size() > 0);
        bool shown = false;
        for (QLabel* label : m.findChildren<QLabel*>())
            shown = shown || label->text() == server.statusText();
        QVERIFY(shown);
        bool enabled = false;
        QCOMPARE(ScpiServer::storedOptions(&enabled).port, port);
        QVERIFY(enabled);
        // Kept for the next start.
        ScpiServer next(*f.session);
        MainWindow again({*f.session, f.prompter, f.waiter, f.factory, &next});
        server.stop();
        again.startServer(std::nullopt);
        QVERIFY(next.isListening());
        onNextModal<AutomationDialog>([](AutomationDialog* d) {
            QTest::mouseClick(d->enabledBox(), Qt::LeftButton);
            d->accept();
        });
        again.action(C::Automation)->trigger();
        QVERIFY(!next.isListening());
        // A port already in use is said plainly.
        QTcpServer taken;
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
        for (B b : {B::Gpib, B::Com, B::OnOffLine, B::SaveMemory, B::RecallMemory, B::Delay,
                    B::ReadTimes, B::Output, B::AutoRun, B::ClearError, B::About})
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
        MainWindow again({*f.session, f.prompter, f.waiter, f.factory});
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
            d->accept();
        });
        f.main->action(C::LabFeed)->trigger();
        QCOMPARE(changed, 1);
        const MqttFeed::Options o = MqttFeed::Options::load();
        QVERIFY(o.enabled);
        QCOMPARE(o.host, QStringLiteral("broker.lab"));
        QCOMPARE(o.port, 1884);
        QCOMPARE(o.station, QStringLiteral("bench 7"));
        // Cancelled: nothing changes.
        onNextModal<MqttDialog>([](MqttDialog* d) {
            QTest::keyClicks(d->hostBox(), QStringLiteral("x"));
            d->reject();
        });
        f.main->action(C::LabFeed)->trigger();
        QCOMPARE(changed, 1);
        QCOMPARE(MqttFeed::Options::load().host, QStringLiteral("broker.lab"));
    }

    // ---- The serial dialog --------------------------------------------------------------

    // No permission on the device: said in plain words, with the group and
    // the command that give it.
    void permissionDeniedNamesTheGroup() {
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
        ShellFixture f;
        f.factory.makeSerial = [](const QString&) -> SerialPort* { return new DeniedPort; };
        Settings::setValue(QStringLiteral("RS232"), QStringLiteral("PortName"),
                           QStringLiteral("/dev/ttyUSB0"));
        f.main->goOnLine(InterfaceKind::Serial, {}, true);
        QCOMPARE(f.prompter.texts.size(), 1);
        const QString text = f.prompter.texts.first();
        QVERIFY2(text.contains(QStringLiteral("no permission")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\"dialout\"")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("sudo adduser ")), qPrintable(text));
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
    }

    // A port that cannot be opened is named with the system's reason;
    // nothing goes to any other port and the stored port stays.
    void aPortThatCannotOpenIsReportedByName_data() {
        QTest::addColumn<bool>("commandLine");
        QTest::newRow("stored port") << false;
        QTest::newRow("command line") << true;
    }
    void aPortThatCannotOpenIsReportedByName() {
        QFETCH(bool, commandLine);
        ShellFixture f;
        const QString missing = QStringLiteral("/nonexistent/ttyUSB9");
        QStringList opened;
        f.factory.ports = {QStringLiteral("COM1")};
        f.factory.makeSerial = [&](const QString& name) -> SerialPort* {
            if (name == missing) {
                auto* port = new QtSerialPort;
                port->setPortName(name);
                return port;
            }
            return new ScriptedSerialPort(
                name, [](const QString&, int, const QByteArray&) { return QByteArray(); }, &opened);
        };
        Settings::setValue(QStringLiteral("RS232"), QStringLiteral("PortName"),
                           commandLine ? QStringLiteral("COM1") : missing);
        if (commandLine)
            f.main->serialDialog()->setOneShotPort(missing, 0);
        f.main->serialDialog(); // its list is made before
        opened.clear();
        f.main->goOnLine(InterfaceKind::Serial, {}, true);
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY2(f.prompter.texts.first().startsWith(QStringLiteral("The serial port ") + missing +
                                                     QStringLiteral(" cannot be opened: ")),
                 qPrintable(f.prompter.texts.first()));
        QVERIFY(f.prompter.texts.first().size() > missing.size() + 35); // with a reason
        QCOMPARE(opened, QStringList());
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        QCOMPARE(Settings::value(QStringLiteral("RS232"), QStringLiteral("PortName")),
                 commandLine ? QStringLiteral("COM1") : missing);
    }

    // Auto-detection tries real ports only; simulated supplies are listed
    // apart, and only when asked for.
    void autoDetectNeverPicksASimulatedSupply() {
        ShellFixture f;
        f.factory.ports = {QStringLiteral("COM7")};
        f.factory.makeSerial = [](const QString& name) -> SerialPort* {
            if (TransportFactory::isSimulated(name))
                return new ScriptedSerialPort(name, [](const QString&, int, const QByteArray&) {
                    return QByteArray("ZQ,PSQ-3323,SN1,V1\n");
                });
            return new ScriptedSerialPort(
                name, [](const QString&, int, const QByteArray&) { return QByteArray(); });
        };
        QVERIFY(AppTransports().availablePortNames().filter(QStringLiteral("SIM:")).isEmpty());
        SerialSettingsDialog* dlg = f.main->serialDialog();
        dlg->listPorts();
        QCOMPARE(dlg->portList()->findText(QStringLiteral("SIM:PSQ-3323")), -1);
        dlg->autoDetect();
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.first().startsWith(QStringLiteral("Please recheck")));
        QTest::mouseClick(dlg->showSimulated(), Qt::LeftButton);
        QVERIFY(dlg->portList()->findText(QStringLiteral("SIM:PSQ-3323")) > 0);
        dlg->autoDetect(); // still only COM7
        QVERIFY(f.prompter.texts.last().startsWith(QStringLiteral("Please recheck")));
    }

    // The serial dialog stores what the user chose once the port has opened,
    // the rate reaches the port, and Cancel leaves everything alone.
    void serialDialogStoresTheUsersChoice() {
        ShellFixture f;
        QStringList opened;
        f.factory.ports = {QStringLiteral("COM1"), QStringLiteral("COM2")};
        f.factory.makeSerial = [&](const QString& name) {
            std::shared_ptr<sim::Supply> supply = simulatedSupply(QStringLiteral("TRQ-3302"));
            return new ScriptedSerialPort(
                name,
                [supply](const QString&, int, const QByteArray& bytes) {
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
        const QString s = QStringLiteral("RS232");
        QCOMPARE(Settings::value(s, QStringLiteral("PortName")), QStringLiteral("COM2"));
        QCOMPARE(Settings::integer(s, QStringLiteral("ComPort"), 0), 2);
        QCOMPARE(Settings::integer(s, QStringLiteral("ComPortIndex"), 0), 1);
        QCOMPARE(Settings::integer(s, QStringLiteral("BaudRate"), 0), 57600);
        QCOMPARE(Settings::integer(s, QStringLiteral("BaudRateIndex"), 0), 5);

        f.session->reset();
        QString shownPort, shownRate;
        onNextModal<SerialSettingsDialog>([&](SerialSettingsDialog* d) {
            shownPort = d->portList()->currentText();
            shownRate = d->baudList()->currentText();
            d->portList()->setCurrentIndex(0);
            d->baudList()->setCurrentIndex(0);
            d->reject();
        });
        opened.clear();
        f.main->action(C::Rs232)->trigger();
        QCOMPARE(shownPort, QStringLiteral("COM2"));
        QCOMPARE(shownRate, QStringLiteral("57600"));
        QCOMPARE(opened, QStringList()); // no connection
        QCOMPARE(f.session->state(), ConnectionState::OffLine);
        QCOMPARE(Settings::value(s, QStringLiteral("PortName")), QStringLiteral("COM2"));
        QCOMPARE(Settings::integer(s, QStringLiteral("BaudRateIndex"), 0), 5);
    }

    void autoDetect_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("invalidFirst");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QString>("message");
        const QString fail = QStringLiteral(
            "Please recheck Line connection and Device Setting of your device!\nOr Please restart "
            "power device.\nAnd then Retry [Auto Detect] again");
        QTest::newRow("nothing answers") << "" << 0 << false << 12 << fail;
        QTest::newRow("first port at 57600, found last")
            << "COM1" << 57600 << false << 12
            << "Detect Configuration Successfully!\nPorts: COM1 ,Baud Rate:57600\n"
               "ZQ,PSQ-3323,SN1,V1\n";
        QTest::newRow("leftovers rejected, asked again")
            << "COM2" << 9600 << true << 1
            << "Detect Configuration Successfully!\nPorts: COM2 ,Baud Rate:9600\n"
               "ZQ,PSQ-3323,SN1,V1\n";
    }
    void autoDetect() {
        QFETCH(QString, port);
        QFETCH(int, baud);
        QFETCH(bool, invalidFirst);
        QFETCH(int, attempts);
        QFETCH(QString, message);
        ShellFixture f;
        QStringList opened;
        int asked = 0;
        f.factory.ports = {QStringLiteral("COM1"), QStringLiteral("COM2")};
        f.factory.makeSerial = [&](const QString& name) {
            return new ScriptedSerialPort(
                name,
                [&, port, baud, invalidFirst](const QString& p, int b, const QByteArray&) {
                    if (p != port || b != baud)
                        return QByteArray();
                    if (invalidFirst && asked++ == 0)
                        return QByteArray("Invalid Character.\n");
                    return QByteArray("ZQ,PSQ-3323,SN1,V1\n");
                },
                &opened);
        };
        SerialSettingsDialog* dlg = f.main->serialDialog();
        opened.clear();
        dlg->autoDetect();
        QCOMPARE(f.prompter.texts, QStringList{message});
        const QStringList probes = opened.mid(2); // after the two listing opens
        QCOMPARE(probes.size(), attempts);
        if (attempts == 12) {
            QCOMPARE(probes.mid(0, 3), (QStringList{"COM2@9600", "COM1@9600", "COM2@4800"}));
            QCOMPARE(probes.last(), QStringLiteral("COM1@57600"));
        }
        if (!port.isEmpty()) {
            QCOMPARE(dlg->portList()->currentText(), port);
            QCOMPARE(dlg->baudList()->currentText(), QString::number(baud));
        }
    }

    void noPortsFound() {
        ShellFixture f;
        f.factory.ports = {QStringLiteral("COM7")};
        f.factory.makeSerial = [](const QString& name) {
            auto* port = new QtSerialPort;
            port->setPortName(QStringLiteral("/nonexistent/") + name);
            return port;
        };
        f.main->serialDialog()->autoDetect();
        QCOMPARE(f.prompter.texts,
                 QStringList{"Your Device cannot find any connected device with Serial Port."});
    }

    // ---- Number dialogs -----------------------------------------------------------------

    void saveAndRecallShareTheMemoryNumber() {
        SaveMemoryDialog save;
        answerNextDialog({3});
        QVERIFY(save.run());
        RecallMemoryDialog recall;
        recall.load();
        QCOMPARE(recall.memory(), 3);
        answerNextDialog({2}, false);
        QVERIFY(!recall.run()); // cancelled: nothing changes
        QCOMPARE(recall.memory(), 3);
        save.load();
        QCOMPARE(save.memory(), 3);
    }

    void cycleAboveThe16BitRangeKeepsThePreviousCount() {
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

    // Each dialog command reaches the supply with the number entered, and a
    // cancelled one sends nothing.
    void dialogCommandsReachTheSupply_data() {
        QTest::addColumn<C>("command");
        QTest::addColumn<std::vector<int>>("values");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("save memory")
            << C::SaveMemory << std::vector<int>{4} << QStringList{"*SAV 4", ":SYST:MEM?"};
        QTest::newRow("delay") << C::Delay << std::vector<int>{15}
                               << QStringList{":SYST:AUTO:DEL 15", ":SYST:AUTO:DEL?"};
        QTest::newRow("automatic range")
            << C::AutoRange << std::vector<int>{1, 4, 12}
            << QStringList{":SYST:AUTO:STAR 1", ":SYST:AUTO:STAR?",   ":SYST:AUTO:END 4",
                           ":SYST:AUTO:END?",   ":SYST:AUTO:CYCL 12", ":SYST:AUTO:CYCLE?"};
    }
    void dialogCommandsReachTheSupply() {
        QFETCH(C, command);
        QFETCH(std::vector<int>, values);
        QFETCH(QStringList, sent);
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        answerNextDialog(values, false);
        f.main->action(command)->trigger();
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        answerNextDialog(values);
        f.main->action(command)->trigger();
        QVERIFY(f.waitReceived());
        QStringList got = f.takeReceived();
        got.sort();
        sent.sort();
        QCOMPARE(got, sent);
    }

    void recallRunsAfterTheClickAndCanBeCancelled() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.takeReceived();
        answerNextDialog({1}, false);
        f.main->toolButton(B::RecallMemory)->trigger();
        QVERIFY(f.main->recallTimer().isActive()); // not yet
        QTRY_VERIFY(!f.main->recallTimer().isActive() && !QApplication::activeModalWidget());
        QVERIFY(f.waitReceived());
        QCOMPARE(f.takeReceived(), QStringList());
        answerNextDialog({2});
        f.main->action(C::RecallMemory)->trigger();
        QTRY_VERIFY(!f.main->recallTimer().isActive() && !QApplication::activeModalWidget());
        QVERIFY(f.waitReceived());
        QVERIFY(f.takeReceived().contains(QStringLiteral("*RCL 2")));
    }

    void readTimeSetsThePollCycleLimit() {
        ShellFixture f;
        answerNextDialog({60}); // off line too, and beyond 32 s
        f.main->action(C::ReadTimes)->trigger();
        QCOMPARE(f.link.pollCycleLimitMsec(), 60000);
    }

    void dialogCommandsAreSilentOffLine() {
        ShellFixture f;
        for (C c : {C::SaveMemory, C::AutoRange, C::Delay, C::AutoRun, C::Output, C::RecordSetup})
            f.main->run(c);
        f.main->recallMemory();
        QTRY_VERIFY(!f.main->recallTimer().isActive());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(f.link.pendingCommands(), 0);
    }

    // A lost link with "Reconnect automatically": said in the status bar and
    // on the on/off-line button, the windows stay, the panel waits, and no
    // box is stacked while it tries.
    void lostLinkShowsReconnecting() {
        ShellFixture f;
        f.main->action(C::Reconnect)->trigger();
        QVERIFY(f.session->reconnects());
        f.session->setReconnectDelays({1500, 1500, 1500, 1500}); // long enough to look at
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.main->toolButton(B::Output)->trigger();
        f.factory.lastSerial->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(f.session->state(), ConnectionState::Reconnecting, 30000);
        QTRY_VERIFY(f.main->statusText().startsWith(QStringLiteral("Link lost — reconnecting…")));
        QCOMPARE(f.main->toolButton(B::OnOffLine)->text(), QStringLiteral("Reconnecting…"));
        QVERIFY(f.panel() && f.panel()->isVisible());
        QVERIFY(!f.panel()->isEnabled());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        // The simulated port opens again with the same model: back, the
        // panel usable again, the output left as the supply reports it.
        QTRY_COMPARE_WITH_TIMEOUT(f.session->state(), ConnectionState::Ready, 10000);
        QVERIFY(f.panel()->isEnabled());
        QCOMPARE(f.main->toolButton(B::OnOffLine)->text(), QStringLiteral("On line"));
        QCOMPARE(f.prompter.texts, QStringList());
    }

    // Set in the dialog with mouse and keys, kept in the settings, shown on
    // the channel, and acted on: the output goes off on the wire and one
    // notice that blocks nothing says why.
    void limitsFromTheRecordMenu() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        FrontPanel* panel = f.panel();
        QVERIFY(!panel->limitMarker(0)->isVisible());
        bool firstTryRefused = false;
        onNextModal<LimitsDialog>([&](LimitsDialog* d) {
            QPushButton* add = nullptr;
            for (QPushButton* b : d->findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("Add"))
                    add = b;
            QPushButton* ok = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            QTest::mouseClick(add, Qt::LeftButton);
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
        QCOMPARE(f.session->limits().rules().size(), std::size_t(1));
        const LimitRule rule = f.session->limits().rules().front();
        QCOMPARE(rule.channel, 1);
        QCOMPARE(rule.quantity, Quantity::Voltage);
        QCOMPARE(rule.upper, std::optional<double>(4.0));
        QCOMPARE(rule.action, LimitAction::OutputOff);
        QCOMPARE(LimitMonitor::load().size(), std::size_t(1));
        QVERIFY(panel->limitMarker(0)->isVisible());
        QVERIFY(!panel->limitMarker(1)->isVisible());

        f.instrument().channel(1).vset = 6;
        f.instrument().channel(1).iset = 1;
        f.main->toolButton(B::Output)->trigger();
        QTRY_VERIFY(!f.session->outputOn());
        QVERIFY(!f.instrument().output);
        QCOMPARE(panel->limitMarker(0)->text(), QStringLiteral("LIMIT TRIPPED"));
        QTRY_VERIFY(f.main->statusText().startsWith(QStringLiteral("Limit tripped: ")));
        QVERIFY(f.main->limitNotice() == nullptr); // the message action gives the notice

        // With a message action: one notice, never modal, growing by a line.
        LimitRule message = rule;
        message.action = LimitAction::Message;
        f.session->setLimitRules(
            {message, LimitRule{2, Quantity::Voltage, std::nullopt, 4.0, 0, LimitAction::Message}});
        f.instrument().channel(2).vset = 6;
        f.instrument().channel(2).iset = 1;
        f.main->toolButton(B::Output)->trigger();
        QTRY_VERIFY(f.main->limitNotice() && f.main->limitNotice()->text().count(u'\n') == 1);
        QVERIFY(f.main->limitNotice()->isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(f.session->outputOn());
        // What was delivered is shown, and the panel's button starts it again.
        QTRY_VERIFY(!panel->deliveredLabel(0)->text().contains(QStringLiteral(" 0.0000 Ah")));
        f.session->setOutput(false); // nothing more comes in meanwhile
        for (QPushButton* b : panel->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Reset Ah/Wh"))
                QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY2(panel->deliveredLabel(0)->text().endsWith(QStringLiteral("0.0000 Ah   0.0000 Wh")),
                 qPrintable(panel->deliveredLabel(0)->text()));
    }
};

TRQ_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
