#include "shell/mdiform1.h"

#include "link/dlgconfigrs232.h"
#include "link/dlggpib.h"
#include "link/dlgqueryinitial.h"
#include "link/transport.h"
#include "link/transportfactory.h"
#include "panels/frmlayout1.h"
#include "panels/frmlayout2.h"
#include "panels/legacypanels.h"
#include "panels/settingsdialogs.h"
#include "record/dlgrecordlength.h"
#include "record/frmdatatable.h"
#include "record/recordstore.h"
#include "shell/dataform.h"
#include "shell/debugtrace.h"
#include "shell/frmabout.h"
#include "shell/frmdebug.h"
#include "shell/machinetype.h"
#include "shell/prompter.h"
#include "shell/settings.h"
#include "shell/strings.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

namespace trq {

namespace {

const QString kGpib = QStringLiteral("GPIB");
const QString kRs232 = QStringLiteral("RS232");
const QString kMenu = QStringLiteral("Menu");

// Availability: E enabled, D disabled, K left as it is.
enum Avail : char { E = 'E', D = 'D', K = 'K' };

struct MenuRule {
    const char* item;
    Avail offLine, layout1, layout2, layout3, layout4;
};

constexpr MenuRule kMenuRules[] = {
    {"mnuGPIB", E, E, E, D, D},       {"mnuRS232", E, E, E, E, E},
    {"mnuSaveMemory", D, E, D, D, D}, {"mnuRecallMemory", D, E, D, D, D},
    {"mnuDelay", D, E, D, D, D},      {"mnuReadTimes", K, E, E, E, E},
    {"mnuOutMode", D, E, D, D, D},    {"mnuIndep", D, E, D, D, D},
    {"mnuParallel", D, E, D, D, D},   {"mnuTrack", D, E, D, D, D},
    {"mnuAutoMode", D, E, D, D, D},   {"mnuAutoRun", D, E, D, D, D},
    {"mnuOutput", D, E, E, E, E},     {"mnuClearErrorOfProtection", D, E, E, D, D},
    {"mnuControl", D, E, E, E, E},    {"mnuWave", D, E, E, E, E},
    {"mnuTableData", D, E, E, E, E},  {"mnuRecord", D, K, K, K, K},
};

struct ToolButton {
    const char* key;
    const char* text;
};

constexpr ToolButton kToolButtons[] = {
    {"GPIB", "GPIB"},
    {"RS232", "COM"},
    {"OnOffLine", "OnOffLine"},
    {"SaveMemory", "SaveMemory"},
    {"RecallMemory", "RecallMemory"},
    {"Delay", "Delay"},
    {"ReadTimes", "ReadTimes"},
    {"Output", "Output"},
    {"AutoRun", "AutoRun"},
    {"ClearError", "ClearError"},
    {"About", "About"},
};

// Buttons each toolbar state enables; an empty list enables all of them.
const QStringList& toolbarEnabled(int layout) {
    static const QStringList offLine{"GPIB", "RS232", "OnOffLine", "About"};
    static const QStringList all{};
    static const QStringList layout2{"GPIB", "RS232", "OnOffLine", "About", "Output", "ClearError"};
    static const QStringList legacy{"RS232", "OnOffLine", "About", "Output"};
    switch (layout) {
    case 1:
        return all;
    case 2:
        return layout2;
    case 3:
    case 4:
        return legacy;
    default:
        return offLine;
    }
}

} // namespace

MDIForm1::MDIForm1(Services s, QWidget* parent)
    : QMainWindow(parent), tasker_(s.tasker), data_(s.data), prompter_(s.prompter),
      waiter_(s.waiter), factory_(s.factory), mdi_(new QMdiArea(this)),
      store_(std::make_unique<RecordStore>(s.data.database())) {
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QStringLiteral("POWER_TRQ"));
    mdi_->setBackground(QColor(0x50, 0x58, 0x60));
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        if (window && window == waveWindow_ && graphWindow_)
            graphWindow_->Form_Activate();
    });
    setCentralWidget(mdi_);
    statusLabel_ = new QLabel(this);
    statusBar()->addWidget(statusLabel_, 1);
    buildMenus();
    buildToolbar();

    QueryTimer_.setInterval(kQueryTimerMsec);
    connect(&QueryTimer_, &QTimer::timeout, this, [this] {
        if (OperatorForm)
            OperatorForm->DoQuery();
    });
    StatusTimer_.setInterval(kStatusTimerMsec);
    connect(&StatusTimer_, &QTimer::timeout, this, &MDIForm1::StatusTimer_Timer);
    RecallTimer_.setInterval(100);
    RecallTimer_.setSingleShot(true);
    connect(&RecallTimer_, &QTimer::timeout, this, &MDIForm1::RecallMemory2);
    GetMachineTypeTimer_.setInterval(kDetectionTimeoutMsec);
    GetMachineTypeTimer_.setSingleShot(true);
    connect(&GetMachineTypeTimer_, &QTimer::timeout, this, [this] {
        // Only a detection still running can time out.
        if (MainFormState == kDetecting)
            FailGetMachineType();
    });
    connect(&tasker_.DevTimer(), &QTimer::timeout, this, &MDIForm1::DevSetupMachineType2);
    connect(&tasker_, &CommTasker::linkFailed, this, [this] {
        // Before any box: nothing may be recorded while the user reads it.
        QueryTimer_.stop();
        if (tableDataForm1)
            tableDataForm1->engine().EndRecordData();
    });

    // Start: nothing is sent until the user goes on line.
    tasker_.setSerialTerminator("\n");
    tasker_.setLinkHost(this);
    ResetMenu();
    ResetToolbar();
    SetupMenuMachineTypes();
    actions_.value(QStringLiteral("mnuDebug"))->setVisible(true);
    StatusTimer_.start();
    StatusTimer_Timer();
    resize(900, 640);
}

MDIForm1::~MDIForm1() {
    tasker_.setLinkHost(nullptr);
    tasker_.ResetTimeoutTask();
}

QAction* MDIForm1::addItem(QMenu* menu, const QString& name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    actions_.insert(name, a);
    return a;
}

void MDIForm1::buildMenus() {
    QMenuBar* bar = menuBar();
    auto menu = [&](const QString& name, const QString& caption, QMenu* parentMenu = nullptr) {
        QMenu* m = parentMenu ? parentMenu->addMenu(caption) : bar->addMenu(caption);
        m->setObjectName(name);
        m->menuAction()->setObjectName(name);
        actions_.insert(name, m->menuAction());
        return m;
    };
    auto on = [this](QAction* a, auto slot) { connect(a, &QAction::triggered, this, slot); };

    QMenu* file = menu(QStringLiteral("mnuFile"), QStringLiteral("&File"));
    on(addItem(file, QStringLiteral("mnuExit"), QStringLiteral("E&xit")), [this] { close(); });

    QMenu* iface = menu(QStringLiteral("mnuInterface"), QStringLiteral("&Interface"));
    // Ticks show the connection that is open, never the click itself.
    on(addItem(iface, QStringLiteral("mnuGPIB"), QStringLiteral("&GPIB...")), [this] {
        Setup(kGpib, {}, false);
        syncConnectionTicks();
    });
    on(addItem(iface, QStringLiteral("mnuRS232"), QStringLiteral("&RS232...")), [this] {
        usbDialog_ = false;
        Setup(kRs232, {}, false);
        syncConnectionTicks();
    });
    on(addItem(iface, QStringLiteral("mnuUSB"), QStringLiteral("&USB...")), [this] {
        usbDialog_ = true;
        Setup(kRs232, {}, false);
        usbDialog_ = false;
        syncConnectionTicks();
    });
    actions_.value(QStringLiteral("mnuGPIB"))->setCheckable(true);
    actions_.value(QStringLiteral("mnuRS232"))->setCheckable(true);

    QMenu* depart = menu(QStringLiteral("mnuDepart"), QStringLiteral("&Depart"));
    modelMenu_ = menu(QStringLiteral("mnuTRQ"), QStringLiteral("TRQ"), depart);
    QAction* first = modelMenu_->addAction(QStringLiteral("HCYItem"));
    first->setObjectName(QStringLiteral("mnuTRQItem"));
    first->setCheckable(true);
    modelItems_ << first;
    connect(first, &QAction::triggered, this, [this, first] { modelChosen(first); });

    QMenu* function = menu(QStringLiteral("mnuFunction"), QStringLiteral("F&unction"));
    on(addItem(function, QStringLiteral("mnuSaveMemory"), QStringLiteral("&Save Memory")),
       [this] { mnuSaveMemory_Click(); });
    on(addItem(function, QStringLiteral("mnuRecallMemory"), QStringLiteral("&Recall Memory")),
       [this] { mnuRecallMemory_Click(); });
    function->addSeparator();
    on(addItem(function, QStringLiteral("mnuDelay"), QStringLiteral("&Delay")),
       [this] { mnuDelay_Click(); });
    function->addSeparator();
    on(addItem(function, QStringLiteral("mnuReadTimes"), QStringLiteral("Read &Times")),
       [this] { mnuReadTimes_Click(); });

    QMenu* action = menu(QStringLiteral("mnuAction"), QStringLiteral("&Action"));
    QMenu* outMode = menu(QStringLiteral("mnuOutMode"), QStringLiteral("Out &Mode"), action);
    // Check marks follow the state the actions set, not the click itself.
    auto checkItem = [&](QMenu* m, const QString& name, const QString& caption, auto slot) {
        QAction* a = addItem(m, name, caption);
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, a, slot](bool checked) {
            a->setChecked(!checked);
            (this->*slot)();
        });
    };
    checkItem(outMode, QStringLiteral("mnuIndep"), QStringLiteral("&INDEP"),
              &MDIForm1::mnuIndep_Click);
    checkItem(outMode, QStringLiteral("mnuParallel"), QStringLiteral("&PARALLEL"),
              &MDIForm1::mnuParallel_Click);
    checkItem(outMode, QStringLiteral("mnuTrack"), QStringLiteral("&TRACK"),
              &MDIForm1::mnuTrack_Click);
    on(addItem(action, QStringLiteral("mnuAutoMode"), QStringLiteral("&Auto Mode...")),
       [this] { mnuAutoMode_Click(); });
    checkItem(action, QStringLiteral("mnuOutput"), QStringLiteral("&Output"),
              &MDIForm1::ToggleOutput);
    checkItem(action, QStringLiteral("mnuAutoRun"), QStringLiteral("Auto &Run"),
              &MDIForm1::ToggleAutoRun);
    on(addItem(action, QStringLiteral("mnuClearErrorOfProtection"),
               QStringLiteral("&Clear Error of Protection")),
       [this] { mnuClearErrorOfProtection_Click(); });
    actions_.value(QStringLiteral("mnuIndep"))->setChecked(true);

    QMenu* record = menu(QStringLiteral("mnuRecord"), QStringLiteral("&Record"));
    on(addItem(record, QStringLiteral("mnuRecordStart"), QStringLiteral("&Start")),
       [this] { mnuRecordStart_Click(); });
    on(addItem(record, QStringLiteral("mnuRecordStop"), QStringLiteral("S&top")),
       [this] { mnuRecordStop_Click(); });
    on(addItem(record, QStringLiteral("mnuRecordPeriod"), QStringLiteral("Set&up")),
       [this] { mnuRecordPeriod_Click(); });
    on(addItem(record, QStringLiteral("mnuRecordSave"), QStringLiteral("S&ave")), [this] {
        if (tableOperation1 && tableDataForm1)
            tableDataForm1->cmdSave_Click();
    });
    on(addItem(record, QStringLiteral("mnuRecordLoad"), QStringLiteral("&Load")), [this] {
        if (tableOperation1 && tableDataForm1)
            tableDataForm1->cmdLoadRecord_Click();
    });

    QMenu* view = menu(QStringLiteral("mnuView"), QStringLiteral("&View"));
    on(addItem(view, QStringLiteral("mnuControl"), QStringLiteral("&Control")),
       [this] { mnuControl_Click(); });
    on(addItem(view, QStringLiteral("mnuWave"), QStringLiteral("&Wave")),
       [this] { mnuWave_Click(); });
    on(addItem(view, QStringLiteral("mnuTableData"), QStringLiteral("T&abular Data")),
       [this] { mnuTableData_Click(); });
    QAction* toolbarItem = addItem(view, QStringLiteral("mnuToolbar"), QStringLiteral("&Toolbar"));
    QAction* statusItem =
        addItem(view, QStringLiteral("mnuStatusbar"), QStringLiteral("&Status Bar"));
    QAction* normal =
        addItem(view, QStringLiteral("mnuNormalSize"), QStringLiteral("&Normal Size"));
    normal->setVisible(false); // it has no action
    toolbarItem->setCheckable(true);
    toolbarItem->setChecked(true);
    statusItem->setCheckable(true);
    statusItem->setChecked(true);
    connect(toolbarItem, &QAction::triggered, this, [this](bool shown) {
        toolbar_->setVisible(shown);
        AdjustWindowSize();
    });
    connect(statusItem, &QAction::triggered, this, [this](bool shown) {
        statusBar()->setVisible(shown);
        AdjustWindowSize();
    });

    QMenu* help = menu(QStringLiteral("mnuHelp"), QStringLiteral("&Help"));
    on(addItem(help, QStringLiteral("mnuAboutDODa"), QStringLiteral("&About POWER_TRQ")),
       [this] { showAbout(); });
    QAction* debug = addItem(help, QStringLiteral("mnuDebug"), QStringLiteral("Debug"));
    debug->setVisible(false);
    on(debug, [this] { showDebug(); });
}

void MDIForm1::buildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolbar_->setMovable(false);
    for (const ToolButton& b : kToolButtons) {
        const QString key = QLatin1String(b.key);
        QAction* a = toolbar_->addAction(QLatin1String(b.text));
        a->setObjectName(key);
        toolButtons_.insert(key, a);
        connect(a, &QAction::triggered, this, [this, key] { toolbarClicked(key); });
    }
    for (const char* key : {"OnOffLine", "Output", "AutoRun"})
        toolButtons_.value(QLatin1String(key))->setCheckable(true);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

void MDIForm1::toolbarClicked(const QString& key) {
    if (key == QLatin1String("GPIB")) {
        Setup(kGpib, {}, false);
    } else if (key == QLatin1String("RS232")) {
        Setup(kRs232, {}, false);
    } else if (key == QLatin1String("OnOffLine")) {
        const QString comm =
            Settings::GetSetting(QStringLiteral("Common"), QStringLiteral("CommType"));
        const QString model =
            Settings::GetSetting(QStringLiteral("Common"), QStringLiteral("MType"));
        if (!comm.isEmpty())
            Setup(comm, model, true);
        // The button shows the link state, not the click.
        const bool online = MainFormState == kReady && (CommType == kGpib || CommType == kRs232);
        toolButtons_.value(key)->setChecked(!online);
    } else if (key == QLatin1String("Output")) {
        ToggleOutput();
        toolButtons_.value(key)->setChecked(
            actions_.value(QStringLiteral("mnuOutput"))->isChecked());
    } else if (key == QLatin1String("AutoRun")) {
        ToggleAutoRun();
        toolButtons_.value(key)->setChecked(
            actions_.value(QStringLiteral("mnuAutoRun"))->isChecked());
    } else if (key == QLatin1String("ClearError")) {
        mnuClearErrorOfProtection_Click();
    } else if (key == QLatin1String("About")) {
        showAbout();
    } else if (key == QLatin1String("SaveMemory")) {
        mnuSaveMemory_Click();
    } else if (key == QLatin1String("RecallMemory")) {
        mnuRecallMemory_Click();
    } else if (key == QLatin1String("Delay")) {
        mnuDelay_Click();
    } else if (key == QLatin1String("ReadTimes")) {
        mnuReadTimes_Click();
    }
}

void MDIForm1::setOnOffLine(bool pressed, int image, const QString& text) {
    QAction* b = toolButtons_.value(QStringLiteral("OnOffLine"));
    onOffLineImage_ = image;
    b->setChecked(pressed);
    b->setIcon(
        style()->standardIcon(image == 12 ? QStyle::SP_DialogApplyButton : QStyle::SP_BrowserStop));
    b->setText(text);
}

// ---- Going on line -------------------------------------------------------

void MDIForm1::Setup(const QString& commType, const QString& model, bool direct) {
    if (MainFormState >= 2) {
        if (prompter_.ask(LoadResString(103), LoadResString(104), Prompter::Icon::Question,
                          Prompter::Buttons::YesNo) == Prompter::Answer::Yes) {
            ResetAll();
            Setup(commType, model, direct);
        }
        return;
    }
    if (commType == kRs232) {
        dlgConfigRS232* dlg = rs232Dialog();
        dlg->setUsbTitle(usbDialog_);
        const bool ok = dlg->Execute(direct);
        dlg->setUsbTitle(false);
        if (!ok)
            return;
        const QString name =
            dlg->PortName.isEmpty() ? QStringLiteral("COM%1").arg(dlg->ComPort) : dlg->PortName;
        std::unique_ptr<SerialPort> port(factory_.createSerialPort(name));
        port->setBaudRate(dlg->BaudRate);
        if (!port->open()) {
            // Nothing is sent anywhere else, and the stored port stays.
            const QString reason = port->errorString();
            printd(QStringLiteral("Cannot open ") + name + QStringLiteral(": ") + reason);
            prompter_.message(
                QStringLiteral("The serial port %1 cannot be opened: %2")
                    .arg(name, reason.isEmpty() ? QStringLiteral("unknown error") : reason),
                {}, Prompter::Icon::Warning);
            return;
        }
        tasker_.setSerialPort(port.release());
        dlg->SetSettings();
        BeginGetMachineType(kRs232, {});
        setStatusText(LoadResString(105));
    } else if (commType == kGpib) {
        dlgGPIB* dlg = gpibDialog();
        if (!dlg->Execute(direct))
            return;
        GpibBoard* board = factory_.createGpibBoard(dlg->SimulatedModel);
        tasker_.setGpibBoard(board);
        gpibAddress_ = dlg->Address;
        if (!board->configure(dlg->GPIBn, dlg->Address)) {
            // Without a driver there is nothing to detect on.
            prompter_.message(board->errorString(), {}, Prompter::Icon::Warning);
            return;
        }
        BeginGetMachineType(kGpib, {});
        setStatusText(LoadResString(105));
    } else if (commType == kMenu) {
        BeginGetMachineType(kMenu, model);
    }
}

void MDIForm1::BeginGetMachineType(const QString& commType, const QString& model) {
    tasker_.ResetTasks();
    tasker_.ResetTimeoutTask();
    actions_.value(QStringLiteral("mnuGPIB"))->setEnabled(false);
    actions_.value(QStringLiteral("mnuRS232"))->setEnabled(false);
    MainFormState = kDetecting;
    CommType = commType;
    if (commType == kMenu) {
        MachineType = model;
        SetupMenuMachineTypes();
        OkGetMachineType();
    } else if (commType == kRs232 || commType == kGpib) {
        tasker_.setCommType(commType);
        // Identify with LF whatever the previous supply's family used.
        tasker_.setSerialTerminator("\n");
        tasker_.SetupTimeoutTask(this, QStringLiteral("DevGetMachineTypeTimeout"));
        tasker_.ExecQueryTask(QStringLiteral("*IDN?"), 5, this,
                              QStringLiteral("DevSetupMachineType"), CommTasker::CallProcedure);
        GetMachineTypeTimer_.start();
    }
}

void MDIForm1::DevSetupMachineType(const QString& answer) {
    setStatusText(answer);
    tasker_.ResetTimeoutTask();
    MachineType = ParseMachineType(answer);
    tasker_.DevTimer().start();
}

void MDIForm1::DevSetupMachineType2() {
    // The detection may have failed meanwhile (its timer, or a reset).
    if (MainFormState != kDetecting)
        return;
    if (SetupMenuMachineTypes() || SetupMenuMachineTypes())
        OkGetMachineType();
    else
        FailGetMachineType();
}

void MDIForm1::DevGetMachineTypeTimeout() {
    FailGetMachineType();
    setStatusText(LoadResString(107));
}

void MDIForm1::FailGetMachineType() {
    GetMachineTypeTimer_.stop();
    prompter_.message(LoadResString(101));
    ResetAll();
    EndGetMachineType();
}

void MDIForm1::EndGetMachineType() {
    actions_.value(QStringLiteral("mnuGPIB"))->setEnabled(true);
    actions_.value(QStringLiteral("mnuRS232"))->setEnabled(true);
    tasker_.ResetTasks();
    tasker_.ResetTimeoutTask();
}

void MDIForm1::OkGetMachineType() {
    GetMachineTypeTimer_.stop();
    actions_.value(QStringLiteral("mnuWave"))->setEnabled(true);
    setWindowTitle(MachineType);
    BuildQueries(queryTable_, MachineType);
    tasker_.setSerialTerminator(queryTable_.LineEnd);
    MainFormState = kReady;
    SetSettings();
    EndGetMachineType();
    SetupLayout();
    SetupCommTasker();
    SetupToolBar();
    SetupMenu();
    if (MachineType.contains(QLatin1String("TRQ-7206S")))
        actions_.value(QStringLiteral("mnuWave"))->setEnabled(false);
    if (QueryInitialValues()) {
        printd("QueryInitialValues cancelled");
        ResetAll();
        return;
    }
    // A timeout during the initial query has reset everything already.
    if (MainFormState != kReady || !OperatorForm)
        return;
    CheckOutput();
    OperatorForm->AfterQueryInitialValuesBeforeShow();
    if (panelWindow_)
        panelWindow_->show();
    printd("Q Ini OK");
}

bool MDIForm1::SetupMenuMachineTypes() {
    bool result = false;
    MachineTypeCount = 0;
    int index = 0;
    for (const MachineTypeRecord& r : data_.machineTypes()) {
        if (!r.listed)
            continue;
        ++MachineTypeCount;
        if (r.model.size() < 3 || r.model.at(2).toUpper() != QLatin1Char('Q'))
            continue;
        if (index >= modelItems_.size()) {
            if (modelItemsCreated_)
                continue;
            QAction* item = modelMenu_->addAction(QString());
            item->setObjectName(QStringLiteral("mnuTRQItem"));
            item->setCheckable(true);
            connect(item, &QAction::triggered, this, [this, item] { modelChosen(item); });
            modelItems_ << item;
        }
        QAction* item = modelItems_.at(index);
        item->setText(r.model);
        result = result || r.model == MachineType;
        ++index;
    }
    modelItemsCreated_ = true;
    syncConnectionTicks();
    return result;
}

void MDIForm1::modelChosen(QAction* item) {
    Setup(kMenu, item->text(), false);
    syncConnectionTicks();
}

void MDIForm1::syncConnectionTicks() {
    const bool ready = MainFormState == kReady;
    actions_.value(QStringLiteral("mnuRS232"))->setChecked(ready && CommType == kRs232);
    actions_.value(QStringLiteral("mnuGPIB"))->setChecked(ready && CommType == kGpib);
    for (QAction* item : std::as_const(modelItems_))
        item->setChecked(ready && item->text() == MachineType);
}

void MDIForm1::SetupLayout() {
    tasker_.SetupTimeoutTask(this, QStringLiteral("OperationTimeout"));
    const std::optional<MachineTypeRecord> record = data_.find(MachineType);
    const int layout = record ? record->layout : 0;
    if (layout < 1 || layout > 4)
        return;
    newLayout(layout);
    ResetMenuLayout(layout);
    ResetToolBarLayout(layout);
    OperatorForm->SetupLayout();
    AdjustWindowSize();
    panelWindow_->move(0, 0);
}

void MDIForm1::newLayout(int layout) {
    LayoutType = layout;
    FrontPanel* panel = nullptr;
    switch (layout) {
    case 1:
        panel = new frmLayout1(*this, tasker_, data_);
        break;
    case 2:
        panel = new frmLayout2(*this, tasker_, data_);
        break;
    case 3:
        panel = new frmLayout3(*this, tasker_, data_);
        break;
    case 4:
        panel = new frmLayout4(*this, tasker_, data_);
        break;
    default:
        return;
    }
    if (panelWindow_)
        panelWindow_->deleteLater();
    OperatorForm = panel;
    panelWindow_ = mdi_->addSubWindow(panel, Qt::SubWindow | Qt::WindowTitleHint);
    panelWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
    panelWindow_->hide();
    ResetTableandWave();
    static constexpr int kHighestChannel[] = {0, 2, 0, 1, 3};
    NewTable1(kHighestChannel[layout]);
    NewWave1(kHighestChannel[layout]);
}

void MDIForm1::NewWave1(int highestChannel) {
    waveForm1 = new GraphRecord(highestChannel + 1, this);
    if (tableDataForm1)
        tableDataForm1->engine().addView(waveForm1);
    auto limit = [this](double MachineTypeRecord::*field) {
        return OperatorForm ? data_.find(MachineType).value_or(MachineTypeRecord{}).*field : 0.0;
    };
    frmGraphicRecord::Host host{
        [limit] { return limit(&MachineTypeRecord::maxVolt); },
        [limit] { return limit(&MachineTypeRecord::maxCurr); },
        [this] { return recordSetupDialog()->RecScale; },
        [this](int scale) { recordSetupDialog()->RecScale = scale; },
        [this] { return actions_.value(QStringLiteral("mnuRecord"))->isEnabled(); },
        [this] { return tableDataForm1 ? tableDataForm1->engine().CountRecordCount : 0; },
        [this] { mnuRecordStart_Click(); },
        [this] { mnuRecordStop_Click(); },
        [this] { mnuRecordPeriod_Click(); },
        [this] { mnuControl_Click(); },
        [this]() -> frmDataTable* { return tableDataForm1; }};
    graphWindow_ = new frmGraphicRecord(*waveForm1, *store_, prompter_, std::move(host));
    graphWindow_->txtChannels()->setText(QString::number(highestChannel + 1));
    waveWindow_ = mdi_->addSubWindow(graphWindow_);
    waveWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
    waveWindow_->hide();
    if (tableDataForm1) {
        connect(tableDataForm1, &frmDataTable::recordLoaded, graphWindow_,
                &frmGraphicRecord::ReDraw);
        tableDataForm1->setScaleSource(
            [this] { return recordSetupDialog()->RecScale; },
            [this] { return graphWindow_ ? graphWindow_->cmbXLength()->currentIndex() : 0; });
    }
    waveOperation1 = true;
}

void MDIForm1::mnuWave_Click() {
    if (!waveWindow_ || !graphWindow_)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The graph with its controls needs more room than a front panel.
    const QSize room = QSize(1120, 780).boundedTo(screen()->availableGeometry().size());
    if (width() < room.width() || height() < room.height())
        resize(size().expandedTo(room));
    waveWindow_->showMaximized();
    waveWindow_->raise();
    mdi_->setActiveSubWindow(waveWindow_);
    // Its first activation clears the graph: it comes before the redraw,
    // not after it, so the first view is not empty.
    graphWindow_->Form_Activate();
    graphWindow_->ReDraw();
    if (tableWindow_)
        tableWindow_->hide();
    if (panelWindow_)
        panelWindow_->hide();
    QApplication::restoreOverrideCursor();
}

void MDIForm1::mnuControl_Click() {
    if (panelWindow_) {
        panelWindow_->show();
        panelWindow_->raise();
        mdi_->setActiveSubWindow(panelWindow_);
    }
    if (tableWindow_)
        tableWindow_->hide();
    if (waveWindow_)
        waveWindow_->hide();
}

void MDIForm1::NewTable1(int highestChannel) {
    RecordingEngine::Source source{
        [this] { return MainFormState; }, [this] { return OperatorForm && OperatorForm->IsOutput; },
        [this](int channel, bool voltage) {
            if (!OperatorForm || channel >= OperatorForm->channelCount())
                return QString();
            return voltage ? OperatorForm->measuredVoltage(channel)
                           : OperatorForm->measuredCurrent(channel);
        },
        [this]() -> quint64 { return OperatorForm ? OperatorForm->readingCount() : 0; }};
    tableDataForm1 = new frmDataTable(*store_, prompter_, std::move(source), highestChannel);
    tableWindow_ = mdi_->addSubWindow(tableDataForm1);
    tableWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
    tableWindow_->hide();
    tableOperation1 = true;
}

void MDIForm1::ResetTableandWave() {
    if (waveOperation1 && waveWindow_) {
        waveWindow_->hide();
        waveWindow_->deleteLater();
    }
    if (waveOperation1 && waveForm1)
        waveForm1->deleteLater(); // after the table window that reports to it
    if (tableOperation1 && tableWindow_) {
        tableDataForm1->engine().TimerRecordData().stop();
        tableWindow_->hide();
        tableWindow_->deleteLater();
    }
    waveOperation1 = false;
    tableOperation1 = false;
}

bool MDIForm1::QueryInitialValues() {
    if (CommType != kRs232 && CommType != kGpib)
        return false;
    IsSuspendOutput = true;
    IsQueryInitialValues = true;
    const QPointer<FrontPanel> panel = OperatorForm;
    const bool cancelled = panel ? panel->QueryInitialValues() : false;
    IsSuspendOutput = false;
    IsQueryInitialValues = false;
    return cancelled;
}

bool MDIForm1::runInitialQueryDialog() {
    return queryInitialDialog()->Execute();
}

void MDIForm1::AdjustWindowSize() {
    if (!panelWindow_ || !OperatorForm)
        return;
    // The panel is at least as wide as the toolbar, so no button is hidden.
    panelWindow_->setMinimumWidth(toolbar_->isVisible() ? toolbar_->sizeHint().width() : 0);
    panelWindow_->adjustSize();
    const QSize client = mdi_->viewport()->size();
    const QSize want = panelWindow_->size();
    resize(width() + want.width() - client.width(), height() + want.height() - client.height());
}

void MDIForm1::SetSettings() {
    Settings::SaveSetting(QStringLiteral("Common"), QStringLiteral("CommType"), CommType);
    Settings::SaveSetting(QStringLiteral("Common"), QStringLiteral("MType"), MachineType);
}

void MDIForm1::ResetAll() {
    tasker_.ResetAll();
    CommType.clear();
    MainFormState = kOffLine;
    QueryTimer_.stop();
    if (panelWindow_) {
        panelWindow_->hide();
        panelWindow_->deleteLater(); // a handler of the panel may be on the stack
    }
    OperatorForm = nullptr;
    ResetTableandWave();
    ResetMenu();
    ResetToolbar();
    setWindowTitle(QStringLiteral("POWER_TRQ"));
}

void MDIForm1::OperationTimeout() {
    prompter_.message(LoadResString(115), LoadResString(116));
    ResetAll();
}

void MDIForm1::SetupCommTasker() {
    tasker_.setIsRejectAnyTask(!(CommType == kRs232 || CommType == kGpib));
}

QString MDIForm1::interfaceDescription() const {
    if (CommType == kMenu)
        return QStringLiteral("Testing mode");
    if (CommType == kRs232)
        return QStringLiteral("RS-232 9600BPS / 8bits/None/1bits");
    if (CommType == kGpib)
        return QStringLiteral("Interface: GPIB;Address:") +
               (gpibAddress_ >= 0 ? QStringLiteral(" ") : QString()) +
               QString::number(gpibAddress_);
    return {};
}

void MDIForm1::sendCommand(const QString& text) {
    tasker_.ExecCmdTask(text, 0, this, {}, CommTasker::CallProcedure);
}

// ---- Output, coupling mode, protection, automatic run ---------------------

void MDIForm1::DoOutput(bool on) {
    if (MainFormState != kReady)
        return;
    const QString text = composeCommand(familyOf(MachineType),
                                        on ? SetCommand::OutputOn : SetCommand::OutputOff, {});
    actions_.value(QStringLiteral("mnuRecord"))->setEnabled(on);
    toolButtons_.value(QStringLiteral("Output"))->setChecked(on);
    if (OperatorForm)
        OperatorForm->setOutputButton(on);
    actions_.value(QStringLiteral("mnuOutput"))->setChecked(on);
    sendCommand(text);
    CheckOutput();
}

void MDIForm1::ToggleOutput() {
    DoOutput(!actions_.value(QStringLiteral("mnuOutput"))->isChecked());
}

void MDIForm1::CheckOutput() {
    if (MainFormState != kReady || IsSuspendOutput)
        return;
    if (CommType == kMenu) {
        if (OperatorForm)
            OperatorForm->SetOutputOffDisplay();
        return;
    }
    if (CommType != kRs232 && CommType != kGpib)
        return;
    if (actions_.value(QStringLiteral("mnuOutput"))->isChecked()) {
        QueryTimer_.start();
    } else {
        QueryTimer_.stop();
        tasker_.ResetQueryTasks();
        if (OperatorForm)
            OperatorForm->SetOutputOffDisplay();
    }
}

void MDIForm1::setModeChecks(Coupling mode) {
    actions_.value(QStringLiteral("mnuIndep"))->setChecked(mode == Coupling::Independent);
    actions_.value(QStringLiteral("mnuParallel"))->setChecked(mode == Coupling::Parallel);
    actions_.value(QStringLiteral("mnuTrack"))->setChecked(mode == Coupling::Tracking);
}

void MDIForm1::selectMode(Coupling mode, SetCommand command) {
    if (MainFormState != kReady)
        return;
    sendCommand(composeCommand(familyOf(MachineType), command, {1, {}, iSet}));
    if (!IsQueryInitialValues)
        tasker_.ResetQueryTasks();
    SetMenuOutputModeAllUnchecked();
    setModeChecks(mode);
    if (OperatorForm) {
        if (mode == Coupling::Parallel)
            OperatorForm->SetParallelDisableMode();
        else if (mode == Coupling::Tracking)
            OperatorForm->SetTrackDisableMode();
        OperatorForm->setModeOption(mode);
    }
}

void MDIForm1::mnuIndep_Click() {
    selectMode(Coupling::Independent, SetCommand::Independent);
}

void MDIForm1::mnuParallel_Click() {
    selectMode(Coupling::Parallel, SetCommand::Parallel);
}

void MDIForm1::mnuTrack_Click() {
    selectMode(Coupling::Tracking, SetCommand::Tracking);
}

void MDIForm1::SetMenuOutputModeAllUnchecked() {
    for (const char* name : {"mnuIndep", "mnuParallel", "mnuTrack"})
        actions_.value(QLatin1String(name))->setChecked(false);
    if (OperatorForm)
        OperatorForm->SetAllEnabled();
}

void MDIForm1::mnuClearErrorOfProtection_Click() {
    if (MainFormState == kReady)
        sendCommand(composeCommand(familyOf(MachineType), SetCommand::ClearProtection, {}));
}

void MDIForm1::DoAutoRun(bool on) {
    if (MainFormState != kReady)
        return;
    sendCommand(composeCommand(familyOf(MachineType),
                               on ? SetCommand::AutoRunOn : SetCommand::AutoRunOff, {}));
    if (OperatorForm) {
        if (on) {
            OperatorForm->SetAutoRunDisableMode();
        } else {
            OperatorForm->SetAllEnabled();
            OperatorForm->SetOutputModeEnabled();
        }
    }
    toolButtons_.value(QStringLiteral("AutoRun"))->setChecked(on);
    if (OperatorForm)
        OperatorForm->setAutoRunButton(on);
    actions_.value(QStringLiteral("mnuAutoRun"))->setChecked(on);
}

void MDIForm1::ToggleAutoRun() {
    DoAutoRun(!actions_.value(QStringLiteral("mnuAutoRun"))->isChecked());
}

// ---- Memories, delay, automatic-run range, read time -------------------------

void MDIForm1::mnuSaveMemory_Click() {
    if (MainFormState != kReady)
        return;
    auto* dlg = dialog<dlgSaveData>();
    if (!dlg->Execute())
        return;
    sendCommand(
        composeCommand(familyOf(MachineType), SetCommand::SaveMemory, {1, {}, dlg->Memory()}));
    if (OperatorForm)
        OperatorForm->QueryMemory();
}

void MDIForm1::mnuRecallMemory_Click() {
    // The recall runs after the click that asked for it has been handled.
    RecallTimer_.start();
}

void MDIForm1::RecallMemory2() {
    RecallTimer_.stop();
    if (MainFormState != kReady)
        return;
    auto* dlg = dialog<dlgRecallData>();
    if (!dlg->Execute())
        return;
    DoOutput(false);
    QueryTimer_.stop();
    if (tasker_.ClearAllTasks()) {
        sendCommand(composeCommand(familyOf(MachineType), SetCommand::RecallMemory,
                                   {1, {}, dlg->Memory()}));
        QueryInitialValues();
    }
    if (MainFormState != kReady) // reset while the initial query ran
        return;
    if (actions_.value(QStringLiteral("mnuOutput"))->isChecked())
        QueryTimer_.start();
    else
        QueryTimer_.stop();
    CheckOutput();
    if (OperatorForm)
        OperatorForm->QueryMemory();
}

void MDIForm1::mnuDelay_Click() {
    if (MainFormState != kReady)
        return;
    auto* dlg = dialog<dlgDelay>();
    if (!dlg->Execute())
        return;
    sendCommand(
        composeCommand(familyOf(MachineType), SetCommand::AutoDelay, {1, {}, dlg->Delay()}));
    if (OperatorForm)
        OperatorForm->QueryDelay();
}

void MDIForm1::mnuAutoMode_Click() {
    if (MainFormState != kReady)
        return;
    auto* dlg = dialog<dlgAutoMode>();
    if (!dlg->Execute())
        return;
    const CommandFamily family = familyOf(MachineType);
    sendCommand(composeCommand(family, SetCommand::AutoStart, {1, {}, dlg->StartMemory()}));
    sendCommand(composeCommand(family, SetCommand::AutoEnd, {1, {}, dlg->EndMemory()}));
    sendCommand(composeCommand(family, SetCommand::AutoCycle, {1, {}, dlg->Cycle()}));
    if (OperatorForm)
        OperatorForm->QuerySECMemory();
}

void MDIForm1::mnuRecordPeriod_Click() {
    if (MainFormState != kReady)
        return;
    dlgRecordLength* dlg = recordSetupDialog();
    if (!dlg->Execute())
        return;
    if (tableDataForm1)
        tableDataForm1->engine().RecordPeriod(dlg->Days, dlg->Hours, dlg->Miniutes, dlg->Seconds,
                                              dlg->RecScale, dlg->RecPointStyle);
    if (graphWindow_)
        graphWindow_->ChangeCursorColor(
            {dlg->ChColor[0], dlg->ChColor[1], dlg->ChColor[2], dlg->ChColor[3]});
}

void MDIForm1::mnuRecordStart_Click() {
    if (!tableOperation1 || !tableDataForm1)
        return;
    if (tableDataForm1->engine().CountRecordCount > 0)
        tableDataForm1->engine().BeginRecordData();
    else
        prompter_.message(QStringLiteral("Please Setup Record the period first."), {},
                          Prompter::Icon::Information);
}

void MDIForm1::mnuRecordStop_Click() {
    if (tableOperation1 && tableDataForm1)
        tableDataForm1->engine().EndRecordData();
}

void MDIForm1::mnuTableData_Click() {
    if (!tableWindow_)
        return;
    tableWindow_->showMaximized();
    tableWindow_->raise();
    if (panelWindow_)
        panelWindow_->hide();
    if (waveWindow_)
        waveWindow_->hide();
}

dlgRecordLength* MDIForm1::recordSetupDialog() {
    if (!recordSetup_)
        recordSetup_ = new dlgRecordLength(
            {&QueryTimer_, &tasker_.Timer1(), &tasker_.WriterTimer()}, prompter_, this);
    return recordSetup_;
}

void MDIForm1::mnuReadTimes_Click() {
    auto* dlg = dialog<dlgReadTimes>();
    if (dlg->Execute())
        tasker_.setQueryCmdMaxMsec(dlg->ReadTimes() * 1000);
}

// ---- Menus, toolbar, status bar --------------------------------------------

void MDIForm1::ResetMenu() {
    ResetMenuLayout(0);
}

void MDIForm1::ResetMenuLayout(int layout) {
    for (const MenuRule& rule : kMenuRules) {
        const Avail rules[] = {rule.offLine, rule.layout1, rule.layout2, rule.layout3,
                               rule.layout4};
        const Avail a = rules[std::clamp(layout, 0, 4)];
        if (a != K)
            actions_.value(QLatin1String(rule.item))->setEnabled(a == E);
    }
    // A new connection starts from what the supply reports, or from off:
    // nothing of the last connection's state survives.
    for (const char* name : {"mnuOutput", "mnuAutoRun"})
        actions_.value(QLatin1String(name))->setChecked(false);
    for (const char* key : {"Output", "AutoRun"})
        toolButtons_.value(QLatin1String(key))->setChecked(false);
    setModeChecks(Coupling::Independent);
    syncConnectionTicks();
}

void MDIForm1::SetupMenu() {
    syncConnectionTicks();
}

void MDIForm1::ResetToolbar() {
    ResetToolBarLayout(0);
}

void MDIForm1::ResetToolBarLayout(int layout) {
    const QStringList& enabled = toolbarEnabled(layout);
    for (auto it = toolButtons_.cbegin(); it != toolButtons_.cend(); ++it)
        it.value()->setEnabled(enabled.isEmpty() || enabled.contains(it.key()));
    setOnOffLine(true, 3, QStringLiteral("Off line"));
}

void MDIForm1::SetupToolBar() {
    if (LayoutType == 1 || LayoutType == 2) {
        for (QAction* b : std::as_const(toolButtons_))
            b->setEnabled(true);
        if (LayoutType == 2)
            for (const char* key : {"SaveMemory", "RecallMemory", "Delay", "ReadTimes", "AutoRun"})
                toolButtons_.value(QLatin1String(key))->setEnabled(false);
    }
    for (QAction* b : std::as_const(toolButtons_))
        b->setChecked(false);
    if (CommType == kRs232 || CommType == kGpib)
        setOnOffLine(false, 12, QStringLiteral("On line"));
    else
        setOnOffLine(true, 3, QStringLiteral("Off line"));
}

void MDIForm1::ReportStatus(const QString& text, int msec) {
    StatusLine = text;
    StatusLineLiveMsec = msec;
}

void MDIForm1::setStatusText(const QString& text) {
    statusLabel_->setText(text);
}

QString MDIForm1::statusText() const {
    return statusLabel_->text();
}

void MDIForm1::StatusTimer_Timer() {
    AliveNumber = (AliveNumber + 1) % 1000;
    QString text;
    switch (MainFormState) {
    case kOffLine:
        text = LoadResString(108);
        break;
    case kDetecting:
        text = LoadResString(109) + QString(AliveNumber % 30, QLatin1Char('*'));
        break;
    case 2:
        text = LoadResString(110);
        break;
    case kReady:
        text = LoadResString(111);
        break;
    default:
        break;
    }
    if (StatusLineLiveMsec > 0) {
        StatusLineLiveMsec = std::max(StatusLineLiveMsec - StatusTimer_.interval(), 0);
        text = StatusLine;
    }
    setStatusText(text);
}

// ---- Dialogs and windows ---------------------------------------------------

dlgQueryInitial* MDIForm1::queryInitialDialog() {
    if (!queryInitial_)
        queryInitial_ = new dlgQueryInitial(tasker_, this);
    return queryInitial_;
}

dlgConfigRS232* MDIForm1::rs232Dialog() {
    if (!rs232_)
        rs232_ = new dlgConfigRS232(factory_, tasker_, waiter_, prompter_, this);
    return rs232_;
}

dlgGPIB* MDIForm1::gpibDialog() {
    if (!gpib_)
        gpib_ = new dlgGPIB(this);
    return gpib_;
}

void MDIForm1::showAbout() {
    frmAbout about(prompter_, this);
    about.exec();
}

void MDIForm1::showDebug() {
    if (!debug_)
        debug_ = new frmDebug(DebugTrace::instance(), this);
    debug_->show();
    debug_->raise();
}

void MDIForm1::closeEvent(QCloseEvent* event) {
    QueryTimer_.stop();
    StatusTimer_.stop();
    tasker_.ResetAll();
    QMainWindow::closeEvent(event);
}

} // namespace trq
