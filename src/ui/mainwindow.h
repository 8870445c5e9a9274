#pragma once

#include "automation/scpiserver.h"
#include "session/instrumentsession.h"
#include "session/labrecords.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace trq {

class SessionSequence;
class Bench;
class BenchPanels;
class FrontPanel;
class GpibSettingsDialog;
class GraphWindow;
class Prompter;
class RecordSetupDialog;
class SequenceWindow;
class SerialSettingsDialog;
class TableWindow;
class TraceWindow;
class TransportFactory;

// The main window: the menus, toolbar and status bar over one instrument
// session, and the panel, table and graph windows of its connection.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kStatusTimerMsec = 100;
    static constexpr int kRecallDelayMsec = 100;

    // The menu's commands and the toolbar's buttons.
    enum class Command {
        Exit,
        Gpib,
        Rs232,
        Usb,
        AddSupply,
        RemoveSupplyMenu,
        Reconnect,
        Automation,
        LabFeed,
        PollSpecified,
        PollFast,
        SaveMemory,
        RecallMemory,
        Delay,
        ReadTimes,
        CouplingMenu,
        Independent,
        Parallel,
        Tracking,
        AutoRange,
        Output,
        AutoRun,
        ClearProtection,
        BenchOn,
        BenchOff,
        PowerOrder,
        RecordMenu,
        RecordStart,
        RecordStop,
        RecordSetup,
        RecordSave,
        RecordLoad,
        Limits,
        Sequence,
        RecordStoreChoice,
        Control,
        Wave,
        TableData,
        Toolbar,
        ToolbarCaptions,
        StatusBar,
        NormalSize,
        About,
        Trace,
    };
    enum class Button {
        Gpib,
        Com,
        OnOffLine,
        SaveMemory,
        RecallMemory,
        Delay,
        ReadTimes,
        Output,
        AutoRun,
        ClearError,
        BenchOn,
        BenchOff,
        About,
    };

    struct Services {
        InstrumentSession& session;
        Prompter& prompter;
        TransportFactory& transports;
        ScpiServer* server = nullptr; // none: no automation
        // The session's bench, where further supplies may join it; none:
        // the one supply alone.
        Bench* bench = nullptr;
    };

    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    InstrumentSession& session() { return session_; }
    // Goes on line over an interface, after its dialog (unless direct, when
    // the stored settings are used); a model opens in testing mode.
    void goOnLine(InterfaceKind kind, const QString& model, bool direct);

    QAction* action(Command command) const { return actions_.value(command); }
    QAction* toolButton(Button button) const { return buttons_.value(button); }
    QList<QAction*> modelItems() const { return modelItems_; }
    QString statusText() const;
    // The poll's pace as the status bar shows it.
    QString rateText() const;
    bool showsOnLineImage() const { return onLineImage_; }
    void updateStatus();
    void reportStatus(const QString& text, int msec);
    QTimer& statusTimer() { return statusTimer_; }
    QTimer& recallTimer() { return recallTimer_; }

    // The connection's windows; none while off line.
    FrontPanel* panel() const;
    TableWindow* tableWindow() const;
    GraphWindow* graphWindow() const;
    // The sequence window, once opened.
    SequenceWindow* sequenceWindow() const;
    // The further supplies' windows; none without a bench.
    BenchPanels* benchPanels() const { return benchPanels_; }
    SerialSettingsDialog* serialDialog();
    GpibSettingsDialog* gpibDialog();
    RecordSetupDialog* recordSetupDialog();

    // Serves the supply to scripts as the command line says, else as the
    // settings keep it; a port that cannot be used is reported.
    void startServer(std::optional<ScpiServer::Options> commandLine);
    // The lab feed's state, beside the server's in the status bar.
    void showFeedStatus(const QString& text);
    QString feedStatus() const;
    // The lab database's state ("lab database: N points waiting"), beside
    // the feed's; empty while records stay on this computer.
    void showLabStatus(const QString& text);
    QString labStatus() const;
    // The record store this start uses where it is not the stored choice
    // (--database): Record store... shows it, so that what is confirmed
    // there is what was seen.
    void setRecordStoreInUse(const std::optional<LabRecords::Options>& options) {
        recordStoreInUse_ = options;
    }
    void setUpAutomation();
    void setUpLimits();
    // The notice of limits that tripped with a message; none before.
    QMessageBox* limitNotice() const { return limitNotice_; }
    // The notice of a supply that came back with its output off.
    QMessageBox* linkNotice() const { return linkNotice_; }

    // Commands with a dialog of their own.
    void saveMemory();
    void recallMemory();
    void setDelay();
    void setAutoRange();
    void setReadTime();
    void setUpRecording();
    void showControl();
    void showGraph();
    void showTable();
    void showSequence();

    // Runs a menu command as its item would.
    void run(Command command);
    // The sequence in control of this supply, or none.
    SessionSequence* sequenceInControl();

signals:
    // The lab feed's settings were changed in their dialog.
    void labFeedChanged();
    // Where records are kept was chosen anew in its dialog.
    void recordStoreChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct MenuItem {
        Command command;
        const char* caption;
        bool separatorBefore = false;
    };

    void connectSession();
    void buildMenus();
    QMenu* addMenu(QMenu* parentMenu, const QString& caption,
                   std::initializer_list<MenuItem> items);
    void buildLanguageMenu(QMenu* menu);
    void buildModelMenu();
    void buildToolbar();
    void applyToolbarCaptions();
    QAction* addCommand(QMenu* menu, Command command, const QString& caption);
    void runViewCommand(Command command);
    void goOnLineFromStore();
    void stateChanged(ConnectionState state);
    void openWindows();
    void closeWindows();
    void recallChosenMemory();
    void applyAvailability(const LayoutProfile* profile);
    void syncButtonChecks();
    void syncConnectionTicks();
    void showCouplingTicks(Coupling mode);
    void showPollTicks();
    // Record > Start only while nothing records; the others with the output.
    void syncRecordActions();
    bool isRecording() const;
    // More than the main window's supply: the bench's commands apply.
    bool hasBench() const;
    void startRecording();
    void stopRecording();
    void syncBenchCommands();
    // The status bar's line while a recording runs.
    QString recordingStatus() const;
    // Points waiting for a busy database ("" while none do).
    QString storeStatus_;
    void adjustWindowSize();
    void showTrace();
    void noticeLimit(const LimitTrip& trip);
    void noticeOutputOff();
    void addNotice(QPointer<QMessageBox>& box, const QString& title, const QString& name,
                   const QString& line);
    template <class Dialog> Dialog* dialog();

    InstrumentSession& session_;
    Prompter& prompter_;
    TransportFactory& transports_;
    ScpiServer* server_;
    Bench* bench_;
    BenchPanels* benchPanels_ = nullptr;
    bool usbDialog_ = false;

    QMdiArea* mdi_;
    QPointer<FrontPanel> panel_;
    QPointer<QMdiSubWindow> panelWindow_;
    QPointer<TableWindow> table_;
    QPointer<QMdiSubWindow> tableWindow_;
    QPointer<GraphWindow> graph_;
    QPointer<QMdiSubWindow> graphWindow_;
    QHash<Command, QAction*> actions_;
    QHash<Button, QAction*> buttons_;
    QMenu* modelMenu_ = nullptr;
    QList<QAction*> modelItems_;
    QToolBar* toolbar_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* serverLabel_ = nullptr;
    QLabel* feedLabel_ = nullptr;
    QLabel* labLabel_ = nullptr;
    std::optional<LabRecords::Options> recordStoreInUse_;
    QLabel* rateLabel_ = nullptr;
    QPointer<QMessageBox> limitNotice_;
    QPointer<QMessageBox> linkNotice_;
    bool onLineImage_ = false;
    int aliveNumber_ = 0;
    QString statusLine_;
    int statusLineMsec_ = 0;

    QTimer statusTimer_;
    QTimer recallTimer_;
    // Closing with a sequence running: its outputs-off leave the links first.
    QTimer closeDrain_;
    QElapsedTimer closeSince_;
    bool closing_ = false;

    SerialSettingsDialog* serialDialog_ = nullptr;
    GpibSettingsDialog* gpibDialog_ = nullptr;
    RecordSetupDialog* recordSetup_ = nullptr;
    QPointer<TraceWindow> trace_;
    QPointer<SequenceWindow> sequence_;
    QPointer<QDialog> waitDialog_;
};

} // namespace trq
