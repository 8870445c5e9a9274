// The main window's side of the session: going on and off line, the
// connection's windows and the commands that ask through a dialog first.
#include "core/prompter.h"
#include "core/settings.h"
#include "session/bench.h"
#include "session/recording.h"
#include "ui/automationdialog.h"
#include "ui/benchpanels.h"
#include "ui/frontpanel.h"
#include "ui/gpibsettingsdialog.h"
#include "ui/graphwindow.h"
#include "ui/limitsdialog.h"
#include "ui/mainwindow.h"
#include "ui/numberdialogs.h"
#include "ui/panelguard.h"
#include "ui/recordsetupdialog.h"
#include "ui/serialsettingsdialog.h"
#include "ui/tablewindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

namespace trq {

// ---- Going on line ------------------------------------------------------------

void MainWindow::goOnLine(InterfaceKind kind, const QString& model, bool direct) {
    if (!session_.mayOpenAnother())
        return;
    switch (kind) {
    case InterfaceKind::Serial: {
        SerialSettingsDialog* dlg = serialDialog();
        dlg->setUsbTitle(usbDialog_);
        const bool ok = dlg->run(direct);
        dlg->setUsbTitle(false);
        // A port that cannot be opened is never remembered.
        if (ok && session_.connection().openSerial(dlg->settings()))
            dlg->store();
        break;
    }
    case InterfaceKind::Gpib:
        if (gpibDialog()->run(direct))
            session_.connection().openGpib(gpibDialog()->settings());
        break;
    case InterfaceKind::TestingMode:
        session_.connection().openTestingMode(model);
        break;
    case InterfaceKind::None:
        break;
    }
}

void MainWindow::goOnLineFromStore() {
    const QString kind = Settings::instance().lastInterface();
    const QString model = Settings::instance().lastModel();
    if (!kind.isEmpty())
        goOnLine(interfaceFromText(kind), model, true);
}

void MainWindow::stateChanged(ConnectionState state) {
    switch (state) {
    case ConnectionState::OffLine:
        closeWindows();
        applyAvailability(nullptr);
        setWindowTitle(QStringLiteral("POWER_TRQ"));
        break;
    case ConnectionState::Detecting:
        action(Command::Gpib)->setEnabled(false);
        action(Command::Rs232)->setEnabled(false);
        break;
    case ConnectionState::Ready:
        applyAvailability(session_.profile());
        setWindowTitle(session_.connection().model());
        break;
    case ConnectionState::Reconnecting:
        // The windows stay; the panel waits for the supply to come back.
        break;
    }
    if (panel_)
        panel_->setEnabled(state != ConnectionState::Reconnecting);
    // A new connection starts from what the supply reports, or from off.
    action(Command::Output)->setChecked(session_.isReady() && session_.supply().outputOn());
    action(Command::AutoRun)->setChecked(session_.isReady() && session_.supply().autoRun());
    showCouplingTicks(session_.isReady() ? session_.supply().coupling() : Coupling::Independent);
    syncButtonChecks();
    syncConnectionTicks();
}

// ---- The connection's windows ----------------------------------------------------

FrontPanel* MainWindow::panel() const {
    return panel_;
}

TableWindow* MainWindow::tableWindow() const {
    return table_;
}

GraphWindow* MainWindow::graphWindow() const {
    return graph_;
}

void MainWindow::openWindows() {
    closeWindows();
    Recording* recording = session_.recording();
    if (!recording || !session_.profile())
        return;
    auto addWindow = [this](QWidget* widget, Qt::WindowFlags flags = {}) {
        QMdiSubWindow* w = mdi_->addSubWindow(widget, flags);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->hide();
        return w;
    };
    panel_ = new FrontPanel(session_);
    panelWindow_ = addWindow(panel_, Qt::SubWindow | Qt::WindowTitleHint);
    new PanelGuard(*panel_, [this] { return sequenceInControl(); }, prompter_,
                   {panel_->resetDeliveredButton()});
    connect(panel_, &FrontPanel::autoRangeRequested, this, &MainWindow::setAutoRange);
    connect(panel_, &FrontPanel::saveMemoryRequested, this, &MainWindow::saveMemory);
    connect(panel_, &FrontPanel::recallMemoryRequested, this, &MainWindow::recallMemory);

    table_ = new TableWindow(*recording, prompter_);
    tableWindow_ = addWindow(table_);
    graph_ = new GraphWindow(session_, *recording, prompter_,
                             {[this] { run(Command::RecordStart); },
                              [this] { run(Command::RecordStop); }, [this] { setUpRecording(); },
                              [this] { showControl(); }});
    graph_->setChannelCount(session_.supply().channelCount());
    graphWindow_ = addWindow(graph_);
    connect(table_, &TableWindow::reportRequested, graph_, &GraphWindow::report);
    if (bench_) {
        connect(bench_, &Bench::stepRecorded, graph_, &GraphWindow::benchStepRecorded);
        connect(bench_, &Bench::stepRecorded, table_, &TableWindow::benchStepRecorded);
    }
    // Parts of a long recording are saved unattended: said, never asked.
    connect(&recording->parts(), &PartSaver::partSaved, graph_,
            [this](const QString& recNo, const QString& description) {
                reportStatus(tr("Saved %1 as record %2").arg(description, recNo), 10000);
            });
    connect(&recording->parts(), &PartSaver::partFailed, graph_, [this](const QString& error) {
        reportStatus(tr("A record part could not be saved: ") + error, 30000);
    });
    connect(&recording->engine(), &RecordingEngine::started, this, &MainWindow::syncRecordActions);
    connect(&recording->engine(), &RecordingEngine::stopped, this, &MainWindow::syncRecordActions);
    connect(&recording->engine(), &RecordingEngine::storeStatus, this,
            [this](const QString& text) { storeStatus_ = text; });
    // A saved record keeps the graph's time length with it.
    table_->setTimeLengthSource(
        [graph = graph_] { return graph ? graph->timeLengthList()->currentIndex() : 0; });
    connect(graph_, &GraphWindow::sampleChosen, table_, &TableWindow::selectSample);
    adjustWindowSize();
    panelWindow_->move(0, 0);
    if (benchPanels_)
        benchPanels_->setFirstPanel(panelWindow_);
    syncBenchCommands();
}

void MainWindow::closeWindows() {
    // Later: a handler of one of them may be on the stack.
    for (QMdiSubWindow* w : {panelWindow_.data(), tableWindow_.data(), graphWindow_.data()}) {
        if (w) {
            w->hide();
            w->deleteLater();
        }
    }
    panel_ = nullptr;
    table_ = nullptr;
    graph_ = nullptr;
    panelWindow_ = tableWindow_ = graphWindow_ = nullptr;
}

void MainWindow::adjustWindowSize() {
    if (!panelWindow_)
        return;
    // The panel is at least as wide as the toolbar, so no button is hidden.
    panelWindow_->setMinimumWidth(toolbar_->isVisible() ? toolbar_->sizeHint().width() : 0);
    panelWindow_->adjustSize();
    const QSize client = mdi_->viewport()->size();
    const QSize want = panelWindow_->size();
    resize(width() + want.width() - client.width(), height() + want.height() - client.height());
}

void MainWindow::showControl() {
    if (panelWindow_) {
        panelWindow_->show();
        panelWindow_->raise();
        mdi_->setActiveSubWindow(panelWindow_);
    }
    if (tableWindow_)
        tableWindow_->hide();
    if (graphWindow_)
        graphWindow_->hide();
}

void MainWindow::showGraph() {
    if (!graphWindow_ || !graph_)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The graph with its controls needs more room than a front panel.
    const QSize room = QSize(1120, 780).boundedTo(screen()->availableGeometry().size());
    if (width() < room.width() || height() < room.height())
        resize(size().expandedTo(room));
    graphWindow_->showMaximized();
    graphWindow_->raise();
    mdi_->setActiveSubWindow(graphWindow_);
    // Its first activation clears the graph: it comes before the redraw, so
    // the first view is not empty.
    graph_->activate();
    graph_->redraw();
    if (tableWindow_)
        tableWindow_->hide();
    if (panelWindow_)
        panelWindow_->hide();
    QApplication::restoreOverrideCursor();
}

void MainWindow::showTable() {
    if (!tableWindow_)
        return;
    tableWindow_->showMaximized();
    tableWindow_->raise();
    if (panelWindow_)
        panelWindow_->hide();
    if (graphWindow_)
        graphWindow_->hide();
}

// ---- Automation ---------------------------------------------------------------

void MainWindow::showFeedStatus(const QString& text) {
    if (!feedLabel_) {
        feedLabel_ = new QLabel(this);
        statusBar()->addPermanentWidget(feedLabel_);
    }
    feedLabel_->setText(text);
}

QString MainWindow::feedStatus() const {
    return feedLabel_ ? feedLabel_->text() : QString();
}

void MainWindow::showLabStatus(const QString& text) {
    if (!labLabel_) {
        labLabel_ = new QLabel(this);
        labLabel_->setObjectName(QStringLiteral("labStatus"));
        statusBar()->addPermanentWidget(labLabel_);
    }
    labLabel_->setText(text);
    labLabel_->setVisible(!text.isEmpty());
}

QString MainWindow::labStatus() const {
    return labLabel_ ? labLabel_->text() : QString();
}

void MainWindow::startServer(std::optional<ScpiServer::Options> commandLine) {
    if (!server_)
        return;
    bool enabled = false;
    const ScpiServer::Options stored = ScpiServer::storedOptions(&enabled);
    if (!commandLine && !enabled)
        return;
    if (!server_->start(commandLine.value_or(stored)))
        prompter_.message(server_->errorString(), {}, Prompter::Icon::Warning);
}

void MainWindow::setUpAutomation() {
    if (!server_)
        return;
    AutomationDialog* d = dialog<AutomationDialog>();
    if (!d->run(server_))
        return;
    if (!d->enabled())
        server_->stop();
    else if (!server_->start(d->options()))
        prompter_.message(server_->errorString(), {}, Prompter::Icon::Warning);
}

void MainWindow::setUpLimits() {
    // Rules belong to a supply: without one there is nothing to set.
    if (!session_.profile())
        return;
    LimitsDialog d(session_.supply().channelCount(), prompter_, this);
    const QString serial = session_.connection().serialNumber();
    d.setSupply(serial.isEmpty()
                    ? session_.connection().model()
                    : tr("%1, serial number %2").arg(session_.connection().model(), serial));
    if (d.run(session_.limits().rules()))
        session_.storeLimitRules(d.rules());
}

// ---- Commands with a dialog ------------------------------------------------------

template <class Dialog> Dialog* MainWindow::dialog() {
    auto* d = findChild<Dialog*>(QString(), Qt::FindDirectChildrenOnly);
    return d ? d : new Dialog(this);
}

void MainWindow::saveMemory() {
    if (session_.isReady() && dialog<SaveMemoryDialog>()->run())
        session_.memories().saveMemory(dialog<SaveMemoryDialog>()->memory());
}

void MainWindow::recallMemory() {
    recallTimer_.start();
}

void MainWindow::recallChosenMemory() {
    if (session_.isReady() && dialog<RecallMemoryDialog>()->run())
        session_.memories().recallMemory(dialog<RecallMemoryDialog>()->memory());
}

void MainWindow::setDelay() {
    if (session_.isReady() && dialog<DelayDialog>()->run())
        session_.memories().setDelay(dialog<DelayDialog>()->delay());
}

void MainWindow::setAutoRange() {
    if (!session_.isReady())
        return;
    AutoRangeDialog* d = dialog<AutoRangeDialog>();
    if (d->run())
        session_.memories().setAutoRange(d->startMemory(), d->endMemory(), d->cycle());
}

void MainWindow::setReadTime() {
    if (dialog<ReadTimeDialog>()->run())
        session_.setReadTime(dialog<ReadTimeDialog>()->readTime());
}

void MainWindow::setUpRecording() {
    if (!session_.isReady() || !recordSetupDialog()->run(session_.recordSetup()))
        return;
    const RecordSetup& setup = session_.recordSetup();
    if (Recording* recording = session_.recording())
        recording->arm(setup);
    if (graph_)
        graph_->setChannelColours(QStringList(setup.colours.begin(), setup.colours.end()));
}

SerialSettingsDialog* MainWindow::serialDialog() {
    if (!serialDialog_)
        serialDialog_ =
            new SerialSettingsDialog(transports_, session_.portProbe(), prompter_, this);
    return serialDialog_;
}

GpibSettingsDialog* MainWindow::gpibDialog() {
    if (!gpibDialog_)
        gpibDialog_ = new GpibSettingsDialog(session_.offeredModels(), this);
    return gpibDialog_;
}

RecordSetupDialog* MainWindow::recordSetupDialog() {
    if (!recordSetup_)
        recordSetup_ = new RecordSetupDialog(
            [this](const LinkActivity& a) { session_.poll().setLinkActivity(a); }, prompter_, this);
    return recordSetup_;
}

} // namespace trq
