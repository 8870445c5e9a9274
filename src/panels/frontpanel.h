#pragma once

#include "panels/commandset.h"
#include "panels/panelwidgets.h"
#include "shell/dataform.h"

#include <QString>
#include <QWidget>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace trq {

class CommTasker;
class MDIForm1;

// What every front panel offers to the main window and the recorders, and
// the controls they all have: the three coupling options and the output
// button.
class FrontPanel : public QWidget {
    Q_OBJECT
public:
    FrontPanel(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent = nullptr);

    virtual int channelCount() const = 0;
    virtual void SetupLayout() = 0;
    virtual void DoQuery() = 0;
    // True when the user cancelled the initial query.
    virtual bool QueryInitialValues() = 0;
    virtual void AfterQueryInitialValuesBeforeShow();

    virtual void QuerySECMemory() {}
    virtual void QueryDelay() {}
    virtual void QueryMemory() {}

    virtual void SetAllEnabled() = 0;
    void SetAllDisabled() { setControlsEnabled(false); }
    virtual void SetParallelDisableMode() = 0;
    virtual void SetTrackDisableMode() = 0;
    virtual void SetAutoRunDisableMode() {}
    // Re-applies the selected coupling mode (and so sends its command).
    void SetOutputModeEnabled();
    virtual void SetOutputOffDisplay() = 0;

    // The controls the main window sets so the panel shows what an action
    // did; setting them does not run the panel's own handlers again.
    void setOutputButton(bool on);
    void setModeOption(Coupling mode);
    std::optional<Coupling> selectedMode() const;
    virtual void setAutoRunButton(bool) {}

    // Channel i's controls (from 0), and by their names in the panel contract.
    virtual const ChannelControls& controls(int i) const = 0;
    TextField* txtVoltage(int i) const { return controls(i).voltage; }
    TextField* txtCurrent(int i) const { return controls(i).current; }
    NumEdit* numVoltage(int i) const { return controls(i).numVoltage; }
    NumEdit* numCurrent(int i) const { return controls(i).numCurrent; }
    NumEdit* numOVP(int i) const { return controls(i).numOVP; }
    QPushButton* tbnOCP(int i) const { return controls(i).ocp; }

    // Measured values as displayed, for the recorders.
    QString measuredVoltage(int index) const;
    QString measuredCurrent(int index) const;
    // How many measured replies have arrived so far.
    quint64 readingCount() const { return readings_; }

    QRadioButton* optIndep() const { return optIndep_; }
    QRadioButton* optParal() const { return optParal_; }
    QRadioButton* optTrack() const { return optTrack_; }
    QPushButton* tbnOutput() const { return tbnOutput_; }

    // The state of the output button as last switched.
    bool IsOutput = false;

protected:
    static const QString kText;

    // The machine-type record of channel n: the model's own, or its row
    // "model#n" where the model keeps limits per channel.
    MachineTypeRecord channelRecord(int n) const;
    // A "MODE" group with the three options, and the output button; the
    // panel connects them.
    QGroupBox* buildModeGroup(const QString& trackCaption, bool vertical);
    QPushButton* buildOutputButton();
    QRadioButton* option(Coupling mode) const;
    // The main window's action for a coupling mode.
    void modeAction(Coupling mode);
    void setControlsEnabled(bool on);
    // A query whose reply goes to a field's text.
    void queryInto(const QString& text, QObject* field);
    // Counts the measured replies of every channel; called once the
    // channels exist.
    void watchReadings();
    // The error query's reply: an instrument error switches the output off
    // at once and then says so; anything unreadable is only traced.
    void errorReplyReceived(const QString& reply);

    MDIForm1& main_;
    CommTasker& tasker_;
    DataForm& data_;
    QRadioButton* optIndep_ = nullptr;
    QRadioButton* optParal_ = nullptr;
    QRadioButton* optTrack_ = nullptr;
    QPushButton* tbnOutput_ = nullptr;

private:
    bool errorShown_ = false;
    bool watching_ = false;
    quint64 readings_ = 0;
};

// A reply without its trailing unit letter ("12.000V" -> "12.000").
QString withoutUnit(QString text, QChar unit);

} // namespace trq
