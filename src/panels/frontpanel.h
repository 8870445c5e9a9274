#pragma once

#include "panels/commandset.h"
#include "shell/dataform.h"

#include <QString>
#include <QWidget>

namespace trq {

class CommTasker;
class DataForm;
class MDIForm1;

// What every front panel offers to the main window and the recorders.
class FrontPanel : public QWidget {
    Q_OBJECT
public:
    FrontPanel(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent = nullptr)
        : QWidget(parent), main_(main), tasker_(tasker), data_(database) {}

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
    virtual void SetAllDisabled() = 0;
    virtual void SetParallelDisableMode() = 0;
    virtual void SetTrackDisableMode() = 0;
    virtual void SetAutoRunDisableMode() {}
    virtual void SetOutputModeEnabled() = 0;
    virtual void SetOutputOffDisplay() = 0;

    // The controls the main window sets so the panel shows what an action
    // did; setting them does not run the panel's own handlers again.
    virtual void setOutputButton(bool on) = 0;
    virtual void setModeOption(Coupling mode) = 0;
    virtual std::optional<Coupling> selectedMode() const = 0;
    virtual void setAutoRunButton(bool) {}

    // Measured values as displayed, for the recorders.
    virtual QString measuredVoltage(int index) const = 0;
    virtual QString measuredCurrent(int index) const = 0;

    // The state of the output button as last switched.
    bool IsOutput = false;

protected:
    // The machine-type record of channel n: the model's own, or its row
    // "model#n" where the model keeps limits per channel.
    MachineTypeRecord channelRecord(int n) const;

    MDIForm1& main_;
    CommTasker& tasker_;
    DataForm& data_;
};

} // namespace trq
