#pragma once

#include "protocol/layoutprofile.h"
#include "session/linkwait.h"

#include <QObject>

#include <functional>

class QTimer;

namespace trq {

class SupplyConnection;
class SupplyControl;
class SupplyState;
class TaskScheduler;

// The supply's memories and its automatic run's delay and range: stored
// and recalled, and read back after each change. Silent unless on line.
class SupplyMemories : public QObject {
    Q_OBJECT
public:
    struct Parts {
        TaskScheduler& link;
        SupplyConnection& connection;
        SupplyState& state;
        SupplyControl& control;
        LinkWait& wait;
        QTimer& poll;
        // Queues a query whose reply comes back through the replies.
        std::function<bool(const QueryStep&)> ask;
        // Reads the layout's initial values again, then runs the callback.
        std::function<void(LinkWait::Then)> queryInitialValues;
    };

    explicit SupplyMemories(Parts parts, QObject* parent = nullptr);

    // A supply of this layout came on line; null: off line.
    void setUp(const LayoutProfile* profile) { profile_ = profile; }

    void saveMemory(int memory);
    // The output goes off, the link drains, the memory is recalled and
    // everything it holds is read back.
    void recallMemory(int memory);
    void setDelay(int delay);
    void setAutoRange(int start, int end, int cycle);

private:
    // Only layouts with memories and an automatic run are asked.
    void ask(std::initializer_list<Operation> operations);
    void recallDone();

    Parts parts_;
    const LayoutProfile* profile_ = nullptr;
};

} // namespace trq
