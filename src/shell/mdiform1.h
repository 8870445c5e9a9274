#pragma once

#include "graph/frmgraphicrecord.h"
#include "graph/graphrecord.h"
#include "link/commtasker.h"
#include "panels/commandset.h"
#include "record/frmdatatable.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace trq {

class DataForm;
class FrontPanel;
class Prompter;
class TransportFactory;
class Waiter;
class dlgConfigRS232;
class dlgGPIB;
class dlgQueryInitial;
class dlgRecordLength;
class RecordStore;
class frmDebug;

// The main window: goes on line, identifies the supply, opens its front
// panel and carries the menus, toolbar, status bar and timers.
class MDIForm1 : public QMainWindow, public LinkHost {
    Q_OBJECT
public:
    enum State { kOffLine = 0, kDetecting = 1, kReady = 3 };
    static constexpr int kDetectionTimeoutMsec = 7500;
    static constexpr int kQueryTimerMsec = 166;
    static constexpr int kStatusTimerMsec = 100;

    struct Services {
        CommTasker& tasker;
        DataForm& data;
        Prompter& prompter;
        Waiter& waiter;
        TransportFactory& factory;
    };

    explicit MDIForm1(Services services, QWidget* parent = nullptr);
    ~MDIForm1() override;

    // Public values.
    QString CommType;
    QString MachineType;
    int MachineTypeCount = 0;
    bool IsSuspendOutput = false;
    int LayoutType = 0;
    QPointer<FrontPanel> OperatorForm;
    bool IsQueryInitialValues = false;
    int MainFormState = kOffLine;
    int iSet = 0;
    int AliveNumber = 0;
    QString StatusLine;
    int StatusLineLiveMsec = 0;

    // Going on line.
    void Setup(const QString& commType, const QString& model, bool direct);
    void BeginGetMachineType(const QString& commType, const QString& model);
    void DevSetupMachineType2();
    void FailGetMachineType();
    void OkGetMachineType();
    void EndGetMachineType();
    bool SetupMenuMachineTypes();
    void SetupLayout();
    bool QueryInitialValues();
    void AdjustWindowSize();
    void SetSettings();
    void ResetAll();
    void SetupCommTasker();

    // Output, coupling mode, protection and automatic run.
    void DoOutput(bool on);
    void ToggleOutput();
    void CheckOutput();
    void mnuIndep_Click();
    void mnuParallel_Click();
    void mnuTrack_Click();
    void SetMenuOutputModeAllUnchecked();
    void mnuClearErrorOfProtection_Click();
    void DoAutoRun(bool on);
    void ToggleAutoRun();
    // Memories, delay, automatic-run range and read time.
    void mnuSaveMemory_Click();
    void mnuRecallMemory_Click();
    void RecallMemory2();
    void mnuDelay_Click();
    void mnuAutoMode_Click();
    void mnuReadTimes_Click();
    // Record setup; the table and graph windows take its values once they exist.
    void mnuRecordPeriod_Click();
    void mnuRecordStart_Click();
    void mnuRecordStop_Click();
    void mnuTableData_Click();
    frmDataTable* tableWindow() const { return tableDataForm1; }
    GraphRecord* graph() const { return waveForm1; }
    frmGraphicRecord* graphWindow() const { return graphWindow_; }
    void mnuWave_Click();
    void mnuControl_Click();
    dlgRecordLength* recordSetupDialog();

    // Menus, toolbar and status bar.
    void ResetMenu();
    void ResetMenuLayout(int layout);
    void SetupMenu();
    void ResetToolbar();
    void ResetToolBarLayout(int layout);
    void SetupToolBar();
    void ReportStatus(const QString& text, int msec) override;
    bool isPollTimerEnabled() const override { return QueryTimer_.isActive(); }
    void StatusTimer_Timer();

    // For the front panels.
    const QueryTable& queryTable() const { return queryTable_; }
    QString interfaceDescription() const;
    bool runInitialQueryDialog();
    Prompter& prompter() { return prompter_; }
    CommTasker& tasker() { return tasker_; }
    void sendCommand(const QString& text);

    QAction* menuItem(const QString& name) const { return actions_.value(name); }
    QAction* toolButton(const QString& key) const { return toolButtons_.value(key); }
    QList<QAction*> modelItems() const { return modelItems_; }
    QString statusText() const;
    int onOffLineImage() const { return onOffLineImage_; }
    QTimer& QueryTimer() { return QueryTimer_; }
    QTimer& GetMachineTypeTimer() { return GetMachineTypeTimer_; }
    QTimer& StatusTimer() { return StatusTimer_; }
    QTimer& RecallTimer() { return RecallTimer_; }
    dlgQueryInitial* queryInitialDialog();
    dlgConfigRS232* rs232Dialog();
    dlgGPIB* gpibDialog();
    template <typename Dialog> Dialog* dialog() {
        auto* d = findChild<Dialog*>(QString(), Qt::FindDirectChildrenOnly);
        return d ? d : new Dialog(this);
    }

public slots:
    void DevSetupMachineType(const QString& answer);
    void DevGetMachineTypeTimeout();
    void OperationTimeout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    QAction* addItem(QMenu* menu, const QString& name, const QString& caption);
    void toolbarClicked(const QString& key);
    void modelChosen(QAction* item);
    // Interface and model ticks: only the connection that is open.
    void syncConnectionTicks();
    void setOnOffLine(bool pressed, int image, const QString& text);
    void setStatusText(const QString& text);
    void setModeChecks(Coupling mode);
    void selectMode(Coupling mode, SetCommand command);
    void newLayout(int layout);
    void ResetTableandWave();
    void NewTable1(int highestChannel);
    void NewWave1(int highestChannel);
    void showAbout();
    void showDebug();

    CommTasker& tasker_;
    DataForm& data_;
    Prompter& prompter_;
    Waiter& waiter_;
    TransportFactory& factory_;
    QueryTable queryTable_;
    int gpibAddress_ = 0;
    bool usbDialog_ = false;
    bool modelItemsCreated_ = false;

    QMdiArea* mdi_;
    QPointer<QMdiSubWindow> panelWindow_;
    QPointer<frmDataTable> tableDataForm1;
    QPointer<QMdiSubWindow> tableWindow_;
    std::unique_ptr<RecordStore> store_;
    QPointer<GraphRecord> waveForm1;
    QPointer<frmGraphicRecord> graphWindow_;
    QPointer<QMdiSubWindow> waveWindow_;
    bool tableOperation1 = false;
    bool waveOperation1 = false;
    QHash<QString, QAction*> actions_;
    QHash<QString, QAction*> toolButtons_;
    QMenu* modelMenu_ = nullptr;
    QList<QAction*> modelItems_;
    QToolBar* toolbar_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    int onOffLineImage_ = 3;

    QTimer QueryTimer_;
    QTimer StatusTimer_;
    QTimer RecallTimer_;
    QTimer GetMachineTypeTimer_;

    dlgQueryInitial* queryInitial_ = nullptr;
    dlgConfigRS232* rs232_ = nullptr;
    dlgGPIB* gpib_ = nullptr;
    dlgRecordLength* recordSetup_ = nullptr;
    QPointer<frmDebug> debug_;
};

} // namespace trq
