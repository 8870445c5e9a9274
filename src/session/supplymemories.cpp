#include "session/supplymemories.h"

#include "link/taskscheduler.h"
#include "session/supplyconnection.h"
#include "session/supplycontrol.h"
#include "session/supplystate.h"

#include <QTimer>

namespace trq {

SupplyMemories::SupplyMemories(Parts parts, QObject* parent)
    : QObject(parent), parts_(std::move(parts)) {}

void SupplyMemories::ask(std::initializer_list<Operation> operations) {
    if (!profile_ || !profile_->autoRunAndMemories)
        return;
    for (Operation op : operations)
        parts_.ask({op, 0});
}

void SupplyMemories::saveMemory(int memory) {
    if (!parts_.connection.isReady())
        return;
    parts_.control.send(Operation::SaveMemory, {1, {}, memory});
    ask({Operation::Memory});
}

void SupplyMemories::recallMemory(int memory) {
    if (!parts_.connection.isReady() || parts_.wait.active())
        return;
    // The output goes off first; what the memory holds is read back whole.
    parts_.control.setOutput(false);
    parts_.poll.stop();
    parts_.link.beginDrain();
    parts_.wait.start(
        tr("Recall"), tr("Waiting Last Response..."),
        [this]() -> std::optional<WaitProgress> {
            // Commands already asked for still go out (the output-off);
            // queued queries are dropped.
            return parts_.link.drained() ? std::nullopt
                                         : std::optional<WaitProgress>(WaitProgress{});
        },
        [this, memory](bool) {
            // The queues go whether it drained or was cancelled.
            parts_.link.endDrain();
            parts_.control.send(Operation::RecallMemory, {1, {}, memory});
            parts_.queryInitialValues([this](bool) { recallDone(); });
        });
}

void SupplyMemories::recallDone() {
    if (!parts_.connection.isReady()) // reset while the initial query ran
        return;
    if (parts_.state.outputOn())
        parts_.poll.start();
    else
        parts_.poll.stop();
    parts_.control.checkOutput();
    ask({Operation::Memory});
}

void SupplyMemories::setDelay(int delay) {
    if (!parts_.connection.isReady())
        return;
    parts_.control.send(Operation::AutoDelay, {1, {}, delay});
    ask({Operation::AutoDelay});
}

void SupplyMemories::setAutoRange(int start, int end, int cycle) {
    if (!parts_.connection.isReady())
        return;
    parts_.control.send(Operation::AutoStart, {1, {}, start});
    parts_.control.send(Operation::AutoEnd, {1, {}, end});
    parts_.control.send(Operation::AutoCycle, {1, {}, cycle});
    ask({Operation::AutoStart, Operation::AutoEnd, Operation::AutoCycle});
}

} // namespace trq
