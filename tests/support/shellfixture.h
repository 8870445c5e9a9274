#pragma once

#include "support/sessionfixture.h"
#include "support/uisupport.h"
#include "ui/frontpanel.h"
#include "ui/mainwindow.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>

namespace trq::test {

// A main window over a session fixture.
struct ShellFixture : SessionFixture {
    std::unique_ptr<MainWindow> main;

    ShellFixture() {
        main = std::make_unique<MainWindow>(MainWindow::Services{*session, prompter, factory});
        main->show();
    }

    // Goes on line with a simulated supply the way the toolbar's "On line"
    // does with stored settings.
    bool onLineSerial(const QString& model) {
        Settings::instance().setSerialPortName(QLatin1String(AppTransports::kSimPrefix) + model);
        main->goOnLine(InterfaceKind::Serial, {}, true);
        return settle() && main->panel() && main->panel()->isVisible();
    }
    bool onLineGpib(const QString& model) {
        Settings::instance().setGpibSimulatedModel(model);
        main->goOnLine(InterfaceKind::Gpib, {}, true);
        return settle() && main->panel() && main->panel()->isVisible();
    }
    FrontPanel* panel() const { return main->panel(); }
    // Types a value into an edit as the user does: select, type, Enter.
    static void type(QAbstractSpinBox* edit, const QString& text) {
        QLineEdit* line = edit->findChild<QLineEdit*>();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
    }
};

} // namespace trq::test

namespace trq::test {

// A main window whose supply heads a bench, as the program starts: further
// supplies join it through the Interface menu.
struct BenchShellFixture : BenchFixture {
    std::unique_ptr<ScpiServer> server; // the first supply's
    std::unique_ptr<MainWindow> main;

    BenchShellFixture() : BenchFixture({}) {
        InstrumentSession& first = bench.addChosen();
        first.link().writerTimer().setInterval(5);
        server = std::make_unique<ScpiServer>(first);
        main = std::make_unique<MainWindow>(
            MainWindow::Services{first, prompter, factory, server.get(), &bench});
        main->show();
    }
    InstrumentSession& first() { return bench.session(0); }
    // Interface > Add supply... on a simulated supply's port, with a name.
    void addSupply(const QString& model, const QString& name = {}) {
        onNextModal<QDialog>([model, name](QDialog* d) {
            d->findChild<QComboBox*>(QStringLiteral("port"))
                ->setCurrentText(QLatin1String(AppTransports::kSimPrefix) + model);
            d->findChild<QLineEdit*>(QStringLiteral("name"))->setText(name);
            d->accept();
        });
        main->action(MainWindow::Command::AddSupply)->trigger();
    }
};

} // namespace trq::test
