#pragma once

#include "link/taskscheduler.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "session/controlrules.h"
#include "session/linkwait.h"
#include "session/supplystate.h"

#include <QObject>

#include <functional>

class QTimer;

namespace trq {

class DeliveredEnergy;
class LimitMonitor;
class Prompter;
class SupplyConnection;

// What the user (or a script) can do with the supply on line: the output,
// coupling, protection, memories, delay and automatic run, with the
// layout's coupling rules and locks. All actions are silent unless on
// line.
class SupplyControl : public QObject {
    Q_OBJECT
public:
    struct Parts {
        TaskScheduler& link;
        SupplyConnection& connection;
        SupplyState& state;
        DeliveredEnergy& energy;
        LimitMonitor& limits;
        Prompter& prompter;
        QTimer& poll;
        // Queues a query whose reply comes back through the replies.
        std::function<bool(const QueryStep&)> ask;
    };
    static constexpr int kEditDecimals = 3;

    explicit SupplyControl(Parts parts, QObject* parent = nullptr);

    // A supply of this layout came on line, nothing chosen yet; null: off
    // line.
    void setUp(const LayoutProfile* profile);
    // The initial values are being read: replies are no measurement yet and
    // the output is not acted on.
    void setQuerying(bool on) { queryingInitial_ = on; }
    bool querying() const { return queryingInitial_; }
    // Counts output changes: a reading asked for before the last one is of
    // the state before it.
    quint64 outputEpoch() const { return outputEpoch_; }
    ControlLocks locks() const;
    // Polls while the output is on; with it off nothing is shown.
    void checkOutput();

    void setOutput(bool on);
    void toggleOutput();
    // The panel's output switch: as setOutput, and some panels blank
    // channels after it.
    void switchOutput(bool on);
    // The menu's coupling action.
    void applyCoupling(Coupling mode);
    // The panel's coupling choice, with its layout's rules; askFirst false
    // skips the single-channel warning (a script has read the manual).
    void chooseCoupling(Coupling mode, bool askFirst = true);
    void setSets(int sets);
    void clearProtection();
    void setAutoRun(bool on);
    void toggleAutoRun();
    // A user's edit, rounded as the panel's edits round; false when it was
    // not sent and the edit should go back.
    bool setSetting(int channel, Setting setting, double value);
    void setOverCurrentProtection(int channel, bool on);
    // A command of the supply's family, as it is.
    void send(Operation operation, const CommandArgs& args = {});

    // What the supply replied, read again after a reconnect: shown, nothing
    // sent back.
    void showOutput(bool on);
    void showCoupling(Coupling mode);
    void showAutoRun(bool on);
    // The single-channel unit's configuration (its number of sets) as it
    // replied: the panel, the menu and the coupling follow it.
    void unitReplied(const QString& reply);

signals:
    void outputChanged(bool on);
    void couplingChanged(trq::Coupling mode);
    void autoRunChanged(bool on);
    void setsChanged(int sets);
    void locksChanged();
    // What tripped before was acknowledged.
    void limitsChanged();

private:
    bool acceptWarning(bool askFirst);

    TaskScheduler& link_;
    SupplyConnection& connection_;
    SupplyState& state_;
    DeliveredEnergy& energy_;
    LimitMonitor& limits_;
    Prompter& prompter_;
    QTimer& poll_;
    std::function<bool(const QueryStep&)> ask_;

    const LayoutProfile* profile_ = nullptr;
    bool queryingInitial_ = false;
    quint64 outputEpoch_ = 0;
    // Layouts with a mode code of their own: -1 until the first status.
    int modeCode_ = 0;
    // Single-channel units: whether the number of units can be edited, the
    // warning before the first coupling choice, and the configuration the
    // unit reported.
    bool setsEditable_ = false;
    bool warningPending_ = true;
    bool couplingChoice_ = true;
};

} // namespace trq
