#include "ui/mainwindow.h"
#include "ui/mqttdialog.h"
#include "ui/recordstoredialog.h"

#include "core/debugtrace.h"
#include "core/language.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "session/bench.h"
#include "session/recording.h"
#include "session/sequencestatus.h"
#include "session/sessionsequence.h"
#include "ui/aboutdialog.h"
#include "ui/availability.h"
#include "ui/benchpanels.h"
#include "ui/frontpanel.h"
#include "ui/graphwindow.h"
#include "ui/sequencewindow.h"
#include "ui/tablewindow.h"
#include "ui/tracewindow.h"
#include "ui/waitdialog.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QToolBar>

#include <optional>

namespace trq {

namespace {

using C = MainWindow::Command;
using B = MainWindow::Button;

// The toolbar: each button runs a menu command, except the on/off line one.
// Its icon is the desktop theme's (freedesktop names) where the theme has
// one, else the program's own; the menu command shows the same.
struct ToolbarButton {
    B button;
    const char* text;
    std::optional<C> command;
    const char* themeIcon; // "" where no standard name fits
    const char* ownIcon;
};

constexpr ToolbarButton kToolbar[] = {
    {B::Gpib, QT_TRANSLATE_NOOP("trq::MainWindow", "GPIB"), C::Gpib, "", "gpib"},
    {B::Com, QT_TRANSLATE_NOOP("trq::MainWindow", "COM"), C::Rs232, "", "com"},
    {B::OnOffLine, QT_TRANSLATE_NOOP("trq::MainWindow", "OnOffLine"), std::nullopt,
     "network-offline", "offline"},
    {B::SaveMemory, QT_TRANSLATE_NOOP("trq::MainWindow", "SaveMemory"), C::SaveMemory,
     "document-save", "save-memory"},
    {B::RecallMemory, QT_TRANSLATE_NOOP("trq::MainWindow", "RecallMemory"), C::RecallMemory,
     "document-open", "recall-memory"},
    {B::Delay, QT_TRANSLATE_NOOP("trq::MainWindow", "Delay"), C::Delay, "appointment-new", "delay"},
    {B::ReadTimes, QT_TRANSLATE_NOOP("trq::MainWindow", "ReadTimes"), C::ReadTimes, "view-refresh",
     "read-times"},
    {B::Output, QT_TRANSLATE_NOOP("trq::MainWindow", "Output"), C::Output, "system-shutdown",
     "output"},
    {B::AutoRun, QT_TRANSLATE_NOOP("trq::MainWindow", "AutoRun"), C::AutoRun,
     "media-playback-start", "auto-run"},
    {B::ClearError, QT_TRANSLATE_NOOP("trq::MainWindow", "ClearError"), C::ClearProtection,
     "edit-clear", "clear-error"},
    {B::BenchOn, QT_TRANSLATE_NOOP("trq::MainWindow", "BenchOn"), C::BenchOn, "go-up", "output"},
    {B::BenchOff, QT_TRANSLATE_NOOP("trq::MainWindow", "BenchOff"), C::BenchOff, "go-down", "stop"},
    {B::About, QT_TRANSLATE_NOOP("trq::MainWindow", "About"), C::About, "help-about", "about"},
};

QIcon iconOf(const char* themeName, const char* own) {
    const QIcon mine(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(own)));
    return *themeName ? QIcon::fromTheme(QLatin1String(themeName), mine) : mine;
}

} // namespace

MainWindow::MainWindow(Services s, QWidget* parent)
    : QMainWindow(parent), session_(s.session), prompter_(s.prompter), transports_(s.transports),
      server_(s.server), bench_(s.bench), mdi_(new QMdiArea(this)) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("POWER_TRQ"));
    mdi_->setBackground(QColor(0x50, 0x58, 0x60));
    // A bench's panels may reach past a small screen.
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (window && window == graphWindow_ && graph_)
            graph_->activate();
    });
    setCentralWidget(mdi_);
    statusLabel_ = new QLabel(this);
    statusBar()->addWidget(statusLabel_, 1);
    serverLabel_ = new QLabel(this);
    statusBar()->addPermanentWidget(serverLabel_);
    rateLabel_ = new QLabel(this);
    rateLabel_->setContentsMargins(12, 0, 0, 0); // apart from the server's text
    statusBar()->addPermanentWidget(rateLabel_);
    buildMenus();
    buildToolbar();
    if (bench_) {
        benchPanels_ = new BenchPanels(
            {*bench_, *mdi_, *statusBar(), prompter_, transports_, this, server_}, this);
        connect(benchPanels_, &BenchPanels::benchChanged, this, &MainWindow::syncBenchCommands);
        connect(bench_, &Bench::recordingStopped, this, &MainWindow::syncRecordActions);
    }
    syncBenchCommands();

    statusTimer_.setInterval(kStatusTimerMsec);
    connect(&statusTimer_, &QTimer::timeout, this, &MainWindow::updateStatus);
    // The recall runs after the click that asked for it has been handled.
    recallTimer_.setInterval(kRecallDelayMsec);
    recallTimer_.setSingleShot(true);
    connect(&recallTimer_, &QTimer::timeout, this, &MainWindow::recallChosenMemory);
    connectSession();

    action(C::Reconnect)->setChecked(session_.connection().reconnects());
    stateChanged(session_.connection().state());
    statusTimer_.start();
    updateStatus();
    resize(900, 640);
}

MainWindow::~MainWindow() = default;

void MainWindow::connectSession() {
    InstrumentSession* s = &session_;
    connect(s, &InstrumentSession::stateChanged, this, &MainWindow::stateChanged);
    connect(s, &InstrumentSession::layoutChosen, this, &MainWindow::openWindows);
    // The session's waits on the link, shown while they run.
    connect(&s->linkWait(), &LinkWait::started, this, [this] {
        delete waitDialog_;
        waitDialog_ = new WaitDialog(session_.linkWait(), this);
        waitDialog_->show();
    });
    connect(&s->linkWait(), &LinkWait::ended, this, [this] {
        if (waitDialog_) {
            waitDialog_->hide();
            waitDialog_->deleteLater();
        }
    });
    connect(s, &InstrumentSession::initialValuesRead, this, [this] {
        if (panelWindow_)
            panelWindow_->show();
        if (benchPanels_)
            benchPanels_->arrange();
    });
    connect(s, &InstrumentSession::outputChanged, this, [this](bool on) {
        action(C::Output)->setChecked(on);
        toolButton(B::Output)->setChecked(on);
        syncRecordActions();
    });
    connect(s, &InstrumentSession::autoRunChanged, this, [this](bool on) {
        action(C::AutoRun)->setChecked(on);
        toolButton(B::AutoRun)->setChecked(on);
    });
    connect(s, &InstrumentSession::couplingChanged, this, &MainWindow::showCouplingTicks);
    connect(s, &InstrumentSession::statusText, statusLabel_, &QLabel::setText);
    connect(s, &InstrumentSession::statusReport, this, &MainWindow::reportStatus);
    connect(s, &InstrumentSession::limitTripped, this, &MainWindow::noticeLimit);
    connect(s, &InstrumentSession::cameBackWithOutputOff, this, &MainWindow::noticeOutputOff);
    connect(&s->poll(), &SupplyPoll::rateChanged, this, [this](const PollRate& rate) {
        rateLabel_->setText(session_.isReady() ? pollRateText(rate) : QString());
    });
    connect(&s->poll(), &SupplyPoll::slowAdapter, this,
            [this](const QString& text) { reportStatus(text, 30000); });
    if (server_) {
        connect(server_, &ScpiServer::statusChanged, this,
                [this] { serverLabel_->setText(server_->statusText()); });
        // Kept on screen a while: anyone on the network can switch outputs.
        connect(server_, &ScpiServer::warning, this,
                [this](const QString& text) { reportStatus(text, 10000); });
    }
}

// ---- Menus and toolbar ------------------------------------------------------

QAction* MainWindow::addCommand(QMenu* menu, Command command, const QString& caption) {
    QAction* a = menu->addAction(caption);
    actions_.insert(command, a);
    connect(a, &QAction::triggered, this, [this, a, command] {
        // A tick shows the state the command leaves, not the click: the
        // session's signals set it.
        if (a->isCheckable() && command != C::Toolbar && command != C::StatusBar &&
            command != C::Reconnect && command != C::ToolbarCaptions)
            a->setChecked(!a->isChecked());
        run(command);
    });
    return a;
}

QMenu* MainWindow::addMenu(QMenu* parentMenu, const QString& caption,
                           std::initializer_list<MenuItem> items) {
    QMenu* m = parentMenu ? parentMenu->addMenu(caption) : menuBar()->addMenu(caption);
    for (const MenuItem& item : items) {
        if (item.separatorBefore)
            m->addSeparator();
        addCommand(m, item.command, tr(item.caption));
    }
    return m;
}

void MainWindow::buildMenus() {
    addMenu(nullptr, tr("&File"), {{C::Exit, QT_TR_NOOP("E&xit")}});
    QMenu* interfaceMenu = addMenu(nullptr, tr("&Interface"),
                                   {{C::Gpib, QT_TR_NOOP("&GPIB...")},
                                    {C::Rs232, QT_TR_NOOP("&RS232...")},
                                    {C::Usb, QT_TR_NOOP("&USB...")},
                                    {C::AddSupply, QT_TR_NOOP("Add &supply..."), true},
                                    {C::Reconnect, QT_TR_NOOP("Reconnect a&utomatically"), true},
                                    {C::Automation, QT_TR_NOOP("&Automation server..."), true},
                                    {C::LabFeed, QT_TR_NOOP("&Lab feed (MQTT)...")}});
    // Filled as it opens: the bench's further supplies by name.
    QMenu* removeMenu = new QMenu(tr("Re&move supply"), interfaceMenu);
    interfaceMenu->insertMenu(action(C::Reconnect), removeMenu);
    actions_.insert(C::RemoveSupplyMenu, removeMenu->menuAction());
    connect(removeMenu, &QMenu::aboutToShow, this, [this, removeMenu] {
        removeMenu->clear();
        for (int i = 1; bench_ && i < bench_->size(); ++i)
            connect(removeMenu->addAction(bench_->name(i)), &QAction::triggered, this,
                    [this, i] { benchPanels_->remove(i); });
    });
    interfaceMenu->addSeparator();
    addMenu(interfaceMenu, tr("&Polling"),
            {{C::PollSpecified, QT_TR_NOOP("&Specified cadence")},
             {C::PollFast, QT_TR_NOOP("&Fast, as the wire allows")}})
        ->menuAction()
        ->setIcon(iconOf("", "read-times"));
    QMenu* depart = menuBar()->addMenu(tr("&Depart"));
    modelMenu_ = depart->addMenu(QStringLiteral("TRQ"));
    buildModelMenu();
    addMenu(nullptr, tr("F&unction"),
            {{C::SaveMemory, QT_TR_NOOP("&Save Memory")},
             {C::RecallMemory, QT_TR_NOOP("&Recall Memory")},
             {C::Delay, QT_TR_NOOP("&Delay"), true},
             {C::ReadTimes, QT_TR_NOOP("Read &Times"), true}});
    QMenu* actionMenu = menuBar()->addMenu(tr("&Action"));
    QMenu* coupling = addMenu(actionMenu, tr("Out &Mode"),
                              {{C::Independent, QT_TR_NOOP("&INDEP")},
                               {C::Parallel, QT_TR_NOOP("&PARALLEL")},
                               {C::Tracking, QT_TR_NOOP("&TRACK")}});
    actions_.insert(C::CouplingMenu, coupling->menuAction());
    addCommand(actionMenu, C::AutoRange, tr("&Auto Mode..."));
    addCommand(actionMenu, C::Output, tr("&Output"));
    addCommand(actionMenu, C::AutoRun, tr("Auto &Run"));
    addCommand(actionMenu, C::ClearProtection, tr("&Clear Error of Protection"));
    actionMenu->addSeparator();
    addCommand(actionMenu, C::BenchOn, tr("&Bench on in order"));
    addCommand(actionMenu, C::BenchOff, tr("Bench o&ff in reverse"));
    addCommand(actionMenu, C::PowerOrder, tr("&Power order..."));
    QMenu* record = addMenu(nullptr, tr("&Record"),
                            {{C::RecordStart, QT_TR_NOOP("&Start")},
                             {C::RecordStop, QT_TR_NOOP("S&top")},
                             {C::RecordSetup, QT_TR_NOOP("Set&up")},
                             {C::RecordSave, QT_TR_NOOP("S&ave")},
                             {C::RecordLoad, QT_TR_NOOP("&Load")},
                             {C::Limits, QT_TR_NOOP("Li&mits..."), true},
                             {C::Sequence, QT_TR_NOOP("Se&quence...")},
                             {C::RecordStoreChoice, QT_TR_NOOP("Record st&ore...")}});
    actions_.insert(C::RecordMenu, record->menuAction());
    QMenu* view = addMenu(nullptr, tr("&View"),
                          {{C::Control, QT_TR_NOOP("&Control")},
                           {C::Wave, QT_TR_NOOP("&Wave")},
                           {C::TableData, QT_TR_NOOP("T&abular Data")},
                           {C::Toolbar, QT_TR_NOOP("&Toolbar")},
                           {C::ToolbarCaptions, QT_TR_NOOP("Toolbar &Captions")},
                           {C::StatusBar, QT_TR_NOOP("&Status Bar")},
                           {C::NormalSize, QT_TR_NOOP("&Normal Size")}});
    buildLanguageMenu(view->addMenu(tr("&Language")));
    addMenu(nullptr, tr("&Help"),
            {{C::About, QT_TR_NOOP("&About POWER_TRQ")}, {C::Trace, QT_TR_NOOP("Debug")}});

    // Ticks show the state the commands leave, never the click itself.
    for (C c : {C::Gpib, C::Rs232, C::Independent, C::Parallel, C::Tracking, C::Output, C::AutoRun,
                C::Toolbar, C::ToolbarCaptions, C::StatusBar, C::Reconnect, C::PollSpecified,
                C::PollFast})
        action(c)->setCheckable(true);
    showPollTicks();
    action(C::Toolbar)->setChecked(true);
    action(C::StatusBar)->setChecked(true);
    action(C::NormalSize)->setVisible(false); // it has no action
}

// The system's language, or one chosen for good; the choice takes effect at
// the next start, when every window is built in it.
void MainWindow::buildLanguageMenu(QMenu* menu) {
    menu->setObjectName(QStringLiteral("languageMenu"));
    menu->menuAction()->setIcon(iconOf("preferences-desktop-locale", "language"));
    auto* group = new QActionGroup(menu);
    auto add = [&](const QString& caption, std::optional<Language> language) {
        QAction* a = menu->addAction(caption);
        a->setCheckable(true);
        a->setChecked(Settings::instance().language() == language);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, language] {
            if (Settings::instance().language() == language)
                return;
            Settings::instance().setLanguage(language);
            if (configuredLanguage() == currentLanguage())
                return; // already speaking it
            prompter_.message(
                tr("The language changes to %1 at the next start of POWER_TRQ.")
                    .arg(QLatin1String(
                        languageInfo(language ? *language : configuredLanguage()).nativeName)));
        });
    };
    add(tr("&System language"), std::nullopt);
    menu->addSeparator();
    for (const LanguageInfo& l : languages())
        add(QLatin1String(l.nativeName), l.language);
}

void MainWindow::buildModelMenu() {
    QStringList models = session_.offeredModels();
    // Until models are listed the menu holds one placeholder.
    if (models.isEmpty())
        models << QStringLiteral("HCYItem");
    for (const QString& model : std::as_const(models)) {
        QAction* item = modelMenu_->addAction(model);
        item->setCheckable(true);
        connect(item, &QAction::triggered, this, [this, item] {
            item->setChecked(!item->isChecked());
            goOnLine(InterfaceKind::TestingMode, item->text(), false);
        });
        modelItems_ << item;
    }
}

void MainWindow::buildToolbar() {
    toolbar_ = addToolBar(tr("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("Toolbar"));
    toolbar_->setMovable(false);
    for (const ToolbarButton& b : kToolbar) {
        const QIcon icon = iconOf(b.themeIcon, b.ownIcon);
        QAction* a = toolbar_->addAction(icon, tr(b.text));
        buttons_.insert(b.button, a);
        if (b.command)
            action(*b.command)->setIcon(icon);
        connect(a, &QAction::triggered, this, [this, &b] {
            if (b.command)
                run(*b.command);
            else
                goOnLineFromStore();
            // Checkable buttons show the state, not the click.
            syncButtonChecks();
        });
    }
    for (B b : {B::OnOffLine, B::Output, B::AutoRun})
        toolButton(b)->setCheckable(true);
    // Menu commands without a button of their own.
    action(C::Exit)->setIcon(iconOf("application-exit", "exit"));
    action(C::Usb)->setIcon(iconOf("drive-removable-media", "usb"));
    modelMenu_->menuAction()->setIcon(iconOf("", "panel"));
    action(C::Automation)->setIcon(iconOf("", "automation"));
    action(C::LabFeed)->setIcon(iconOf("", "feed"));
    action(C::CouplingMenu)->setIcon(iconOf("", "coupling"));
    action(C::AutoRange)->setIcon(iconOf("", "auto-mode"));
    action(C::RecordSetup)->setIcon(iconOf("document-properties", "setup"));
    action(C::Control)->setIcon(iconOf("", "panel"));
    action(C::Wave)->setIcon(iconOf("utilities-system-monitor", "graph"));
    action(C::TableData)->setIcon(iconOf("x-office-spreadsheet", "table"));
    action(C::Trace)->setIcon(iconOf("utilities-terminal", "trace"));
    action(C::RecordStart)->setIcon(iconOf("media-record", "record"));
    action(C::RecordStop)->setIcon(iconOf("media-playback-stop", "stop"));
    action(C::RecordSave)->setIcon(iconOf("document-save-as", "save-memory"));
    action(C::RecordLoad)->setIcon(iconOf("document-open", "recall-memory"));
    action(C::Limits)->setIcon(iconOf("dialog-warning", "clear-error"));
    action(C::Sequence)->setIcon(iconOf("", "sequence"));
    action(C::RecordStoreChoice)->setIcon(iconOf("network-server-database", "database"));
    // Captions beside the icons, or only as tooltips: the user's choice.
    action(C::ToolbarCaptions)->setChecked(Settings::instance().toolbarCaptions());
    applyToolbarCaptions();
}

void MainWindow::applyToolbarCaptions() {
    toolbar_->setToolButtonStyle(action(C::ToolbarCaptions)->isChecked()
                                     ? Qt::ToolButtonTextBesideIcon
                                     : Qt::ToolButtonIconOnly);
}

SessionSequence* MainWindow::sequenceInControl() {
    // One on another supply of the bench may set this one.
    if (bench_)
        if (SessionSequence* s = bench_->sequenceControlling(session_))
            return s;
    return session_.sequence().running() ? &session_.sequence() : nullptr;
}

void MainWindow::run(Command command) {
    // A sequence in control of the supply is asked first, as on the panel.
    static const QSet<C> kChanges{C::Independent, C::Parallel,        C::Tracking,  C::Output,
                                  C::AutoRun,     C::ClearProtection, C::AutoRange, C::RecallMemory,
                                  C::BenchOn,     C::BenchOff};
    if (kChanges.contains(command) &&
        !SequenceStatus::userMayChange(sequenceInControl(), prompter_))
        return;
    switch (command) {
    case C::Exit:
        close();
        break;
    case C::Gpib:
        goOnLine(InterfaceKind::Gpib, {}, false);
        break;
    case C::Rs232:
        goOnLine(InterfaceKind::Serial, {}, false);
        break;
    case C::Automation:
        setUpAutomation();
        break;
    case C::LabFeed:
        if (MqttDialog(this).run())
            emit labFeedChanged();
        break;
    case C::RecordStoreChoice:
        if (RecordStoreDialog(this).run(recordStoreInUse_.value_or(LabRecords::Options::load())))
            emit recordStoreChanged();
        break;
    case C::Reconnect:
        // Kept for the next start as well.
        session_.connection().setReconnect(action(C::Reconnect)->isChecked());
        Settings::instance().setReconnect(action(C::Reconnect)->isChecked());
        break;
    case C::PollSpecified:
    case C::PollFast: {
        // Kept for the next start as well.
        const PollMode mode = command == C::PollFast ? PollMode::Fast : PollMode::Specified;
        Settings::instance().setPollMode(mode);
        session_.poll().setMode(mode);
        showPollTicks();
        break;
    }
    case C::Usb:
        usbDialog_ = true;
        goOnLine(InterfaceKind::Serial, {}, false);
        usbDialog_ = false;
        break;
    case C::SaveMemory:
        saveMemory();
        break;
    case C::RecallMemory:
        recallMemory();
        break;
    case C::Delay:
        setDelay();
        break;
    case C::ReadTimes:
        setReadTime();
        break;
    case C::Independent:
        session_.control().applyCoupling(Coupling::Independent);
        break;
    case C::Parallel:
        session_.control().applyCoupling(Coupling::Parallel);
        break;
    case C::Tracking:
        session_.control().applyCoupling(Coupling::Tracking);
        break;
    case C::AutoRange:
        setAutoRange();
        break;
    case C::Output:
        session_.control().toggleOutput();
        break;
    case C::AutoRun:
        session_.control().toggleAutoRun();
        break;
    case C::ClearProtection:
        session_.control().clearProtection();
        break;
    case C::AddSupply:
        if (benchPanels_)
            benchPanels_->addSupply();
        break;
    case C::BenchOn:
    case C::BenchOff:
        if (benchPanels_)
            benchPanels_->runPowerOrder(command == C::BenchOn);
        break;
    case C::PowerOrder:
        if (benchPanels_)
            benchPanels_->editPowerOrder();
        break;
    default:
        runViewCommand(command);
        break;
    }
}

void MainWindow::runViewCommand(Command command) {
    switch (command) {
    case C::RecordStart:
        startRecording();
        break;
    case C::RecordStop:
        stopRecording();
        break;
    case C::RecordSetup:
        setUpRecording();
        break;
    case C::RecordSave:
        if (table_)
            table_->save();
        break;
    case C::RecordLoad:
        if (table_)
            table_->openRecordList();
        break;
    case C::Limits:
        setUpLimits();
        break;
    case C::Sequence:
        showSequence();
        break;
    case C::Control:
        showControl();
        break;
    case C::Wave:
        showGraph();
        break;
    case C::TableData:
        showTable();
        break;
    case C::ToolbarCaptions:
        Settings::instance().setToolbarCaptions(action(C::ToolbarCaptions)->isChecked());
        applyToolbarCaptions();
        adjustWindowSize();
        break;
    case C::Toolbar:
        toolbar_->setVisible(action(C::Toolbar)->isChecked());
        adjustWindowSize();
        break;
    case C::StatusBar:
        statusBar()->setVisible(action(C::StatusBar)->isChecked());
        adjustWindowSize();
        break;
    case C::About:
        AboutDialog(prompter_, this).exec();
        break;
    case C::Trace:
        showTrace();
        break;
    default:
        break;
    }
}

void MainWindow::applyAvailability(const LayoutProfile* profile) {
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it)
        if (const std::optional<bool> on = commandAvailable(it.key(), profile))
            it.value()->setEnabled(*on);
    for (const ToolbarButton& b : kToolbar)
        toolButton(b.button)->setEnabled(buttonAvailable(b.button, profile));
}

void MainWindow::syncButtonChecks() {
    const bool ready = session_.isReady();
    toolButton(B::Output)->setChecked(ready && session_.supply().outputOn());
    toolButton(B::AutoRun)->setChecked(ready && session_.supply().autoRun());
    // Pressed while off line; a supply on line shows the on-line image, a
    // lost link being opened again an image of its own.
    const bool onLine = ready && (session_.connection().interfaceKind() == InterfaceKind::Serial ||
                                  session_.connection().interfaceKind() == InterfaceKind::Gpib);
    const bool reconnecting = session_.connection().state() == ConnectionState::Reconnecting;
    QAction* b = toolButton(B::OnOffLine);
    onLineImage_ = onLine;
    b->setChecked(!onLine && !reconnecting);
    b->setIcon(onLine         ? iconOf("network-transmit-receive", "online")
               : reconnecting ? iconOf("view-refresh", "reconnecting")
                              : iconOf("network-offline", "offline"));
    b->setText(onLine ? tr("On line") : reconnecting ? tr("Reconnecting…") : tr("Off line"));
}

void MainWindow::syncConnectionTicks() {
    const bool ready = session_.isReady();
    const InterfaceKind kind = session_.connection().interfaceKind();
    action(C::Rs232)->setChecked(ready && kind == InterfaceKind::Serial);
    action(C::Gpib)->setChecked(ready && kind == InterfaceKind::Gpib);
    for (QAction* item : std::as_const(modelItems_))
        item->setChecked(ready && item->text() == session_.connection().model());
}

void MainWindow::syncRecordActions() {
    const bool on = session_.isReady() && session_.supply().outputOn();
    for (C c : {C::RecordStart, C::RecordStop, C::RecordSetup, C::RecordSave, C::RecordLoad})
        action(c)->setEnabled(recordCommandAvailable(c, on, isRecording()));
}

bool MainWindow::isRecording() const {
    Recording* recording = session_.recording();
    return (recording && recording->engine().isRecording()) || (bench_ && bench_->isRecording());
}

bool MainWindow::hasBench() const {
    return bench_ && bench_->size() > 1;
}

void MainWindow::startRecording() {
    Recording* recording = session_.recording();
    if (!recording)
        return;
    // With further supplies on line every one records, on one clock, as
    // this supply's setup says.
    if (!hasBench() || isRecording() || !recording->engine().isArmed()) {
        recording->start();
        return;
    }
    const RecordSetup& setup = session_.recordSetup();
    bench_->startRecording(setup.continuous ? RecordingEngine::kContinuous : setup.lengthSeconds(),
                           setup.scale, setup.operation);
    syncRecordActions();
}

void MainWindow::stopRecording() {
    if (bench_ && bench_->isRecording())
        bench_->stopRecording();
    else if (Recording* recording = session_.recording())
        recording->stop();
}

void MainWindow::syncBenchCommands() {
    const bool bench = hasBench();
    // Beside others, the panel says whose it is.
    if (panelWindow_ && session_.isReady())
        panelWindow_->setWindowTitle(
            bench ? supplyTitle(bench_->name(0), session_.connection().model(), bench_->address(0),
                                session_.connection().serialNumber())
                  : panel_->windowTitle());
    for (C c : {C::RemoveSupplyMenu, C::BenchOn, C::BenchOff, C::PowerOrder})
        action(c)->setVisible(bench);
    action(C::AddSupply)->setVisible(bench_ != nullptr);
    for (B b : {B::BenchOn, B::BenchOff})
        toolButton(b)->setVisible(bench);
}

void MainWindow::showCouplingTicks(Coupling mode) {
    action(C::Independent)->setChecked(mode == Coupling::Independent);
    action(C::Parallel)->setChecked(mode == Coupling::Parallel);
    action(C::Tracking)->setChecked(mode == Coupling::Tracking);
}

// ---- Status bar -------------------------------------------------------------

void MainWindow::reportStatus(const QString& text, int msec) {
    statusLine_ = text;
    statusLineMsec_ = msec;
}

void MainWindow::showPollTicks() {
    action(C::PollSpecified)->setChecked(session_.poll().mode() == PollMode::Specified);
    action(C::PollFast)->setChecked(session_.poll().mode() == PollMode::Fast);
}

QString MainWindow::rateText() const {
    return rateLabel_->text();
}

QString MainWindow::statusText() const {
    return statusLabel_->text();
}

void MainWindow::updateStatus() {
    aliveNumber_ = (aliveNumber_ + 1) % 1000;
    QString line;
    switch (session_.connection().state()) {
    case ConnectionState::OffLine:
        line = text(Text::StateOffLine);
        break;
    case ConnectionState::Detecting:
        line = text(Text::StateDetecting) + QString(aliveNumber_ % 30, QLatin1Char('*'));
        break;
    case ConnectionState::Ready: {
        line = isRecording() ? recordingStatus() : text(Text::StateReady);
        // A sequence in control says so, beside a recording.
        const QString sequence = SequenceStatus::statusLine(session_.sequence().runner());
        if (!sequence.isEmpty())
            line = isRecording() ? line + QStringLiteral(" — ") + sequence : sequence;
        break;
    }
    case ConnectionState::Reconnecting:
        line = tr("Link lost — reconnecting…") + QString(aliveNumber_ % 30, QLatin1Char('*'));
        break;
    }
    if (statusLineMsec_ > 0) {
        statusLineMsec_ = std::max(statusLineMsec_ - statusTimer_.interval(), 0);
        line = statusLine_;
    }
    statusLabel_->setText(line);
}

QString MainWindow::recordingStatus() const {
    RecordingEngine& engine = session_.recording()->engine();
    const qint64 seconds = std::max<qint64>(engine.startTime().secsTo(engine.now()), 0);
    const QString elapsed = QStringLiteral("%1:%2:%3")
                                .arg(seconds / 3600)
                                .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const QString line = tr("Recording %1, points: %2").arg(elapsed).arg(engine.pointCount());
    return storeStatus_.isEmpty() ? line : line + QStringLiteral(" — ") + storeStatus_;
}

// ---- Windows --------------------------------------------------------------

void MainWindow::noticeLimit(const LimitTrip& trip) {
    const LimitRule& r = trip.rule;
    const QString line = tr("%1  CH%2: %L3 %4 beyond %L5 %4 (%6)")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")))
                             .arg(r.channel)
                             .arg(trip.value)
                             .arg(unitOf(r.quantity))
                             .arg(trip.bound)
                             .arg(shownTextOf(r.action));
    reportStatus(tr("Limit tripped: ") + line, 10000);
    if (r.action == LimitAction::Message)
        addNotice(limitNotice_, tr("Limits"), QStringLiteral("limitNotice"), line);
}

void MainWindow::noticeOutputOff() {
    const QString line = tr("%1  The supply came back with its output off: nothing is measured "
                            "until it is switched on again. A running recording goes on and "
                            "marks the time as a gap.")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    reportStatus(tr("The supply came back with its output off"), 30000);
    addNotice(linkNotice_, tr("Link"), QStringLiteral("linkNotice"), line);
}

// One notice per kind that never blocks anything: later events add a line.
void MainWindow::addNotice(QPointer<QMessageBox>& box, const QString& title, const QString& name,
                           const QString& line) {
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, title, {}, QMessageBox::Ok, this);
        box->setWindowModality(Qt::NonModal);
        box->setObjectName(name);
    }
    const QString shown = box->isVisible() ? box->text() : QString();
    box->setText(shown.isEmpty() ? line : shown + QLatin1Char('\n') + line);
    box->show();
    box->raise();
}

void MainWindow::showTrace() {
    if (!trace_)
        trace_ = new TraceWindow(DebugTrace::instance(), this);
    trace_->show();
    trace_->raise();
}

SequenceWindow* MainWindow::sequenceWindow() const {
    return sequence_;
}

void MainWindow::showSequence() {
    if (!sequence_)
        sequence_ = new SequenceWindow(session_, prompter_, this);
    sequence_->show();
    sequence_->raise();
    sequence_->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A sequence ends with every output it set off, and the off commands
    // leave the links before they close (a few seconds at most).
    std::vector<InstrumentSession*> sessions{&session_};
    if (bench_) {
        sessions.clear();
        for (int i = 0; i < bench_->size(); ++i)
            sessions.push_back(&bench_->session(i));
    }
    bool stopped = false;
    for (InstrumentSession* s : sessions)
        if (s->sequence().running()) {
            s->sequence().runner().stop(tr("The program was closed."));
            stopped = true;
        }
    if (stopped && !closing_) {
        closing_ = true;
        event->ignore();
        constexpr int kOffMsec = 3000;
        closeDrain_.setInterval(20);
        closeSince_.start();
        connect(&closeDrain_, &QTimer::timeout, this, [this, sessions] {
            const bool idle =
                std::all_of(sessions.begin(), sessions.end(), [](InstrumentSession* s) {
                    const TaskScheduler& link = s->link();
                    return !s->isReady() || (link.pendingCommands() == 0 &&
                                             !link.commandInFlight() && !link.serialExchangeOpen());
                });
            if (!idle && closeSince_.elapsed() < kOffMsec)
                return;
            closeDrain_.stop();
            close();
        });
        closeDrain_.start();
        return;
    }
    statusTimer_.stop();
    recallTimer_.stop();
    // A running recording ends with its end time; nothing more is sent.
    session_.reset();
    QMainWindow::closeEvent(event);
}

} // namespace trq
