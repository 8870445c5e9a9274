#pragma once

#include "link/taskscheduler.h"
#include "protocol/commands.h"
#include "protocol/layoutprofile.h"
#include "session/readingrate.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace trq {

class SupplyConnection;
class SupplyState;

// Which of the link's clocks run: the poll, the wait for a response and the
// writer. Each keeps its period while stopped.
struct LinkActivity {
    bool polling = true;
    bool responseWait = true;
    bool writing = true;
    bool operator==(const LinkActivity&) const = default;
};

// The poll: a step of the layout's query cycle at each tick of its timer, or,
// polling fast, whenever the link is free; and the queries asked besides,
// each with the handling of its reply.
class SupplyPoll : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollMsec = 166;
    using Handlers = std::function<ReplyHandler(const QueryStep&)>;

    SupplyPoll(TaskScheduler& link, SupplyConnection& connection, const SupplyState& state,
               Handlers handlerFor, QObject* parent = nullptr);
    ~SupplyPoll() override;

    // A supply of this layout came on line: the cycle starts again; null:
    // off line, nothing is polled.
    void setUp(const LayoutProfile* profile);
    // The timer keeps running when polling fast (the link's activity is
    // switched as ever) but the link's free moments take the steps.
    void setMode(PollMode mode);
    PollMode mode() const { return mode_; }
    QTimer& timer() { return timer_; }
    bool active() const { return timer_.isActive(); }
    // Where the poll is in its layout's cycle (see pollStepAt).
    int position() const { return counter_; }
    // One poll step (the timer's work).
    void tick();
    // Queues a query; false when the queue refused it.
    bool ask(const QueryStep& step);
    // Every channel's latest reading is younger than two poll cycles and a
    // second: the poll is running, however slow its cycle.
    bool readingsCurrent() const;
    // Starts or stops the link's clocks.
    void setLinkActivity(const LinkActivity& activity);
    // The pace achieved over the last seconds (nothing while off line).
    PollRate rate() const { return rate_.rate(); }

signals:
    // Once a second on line.
    void rateChanged(const trq::PollRate& rate);
    // Polling fast on a USB adapter whose latency timer holds answers back.
    void slowAdapter(const QString& text);

private:
    bool exchange(const QueryStep& step);
    void sampleRate();
    void checkAdapter();
    QString query(const QueryStep& step) const;

    TaskScheduler& link_;
    SupplyConnection& connection_;
    const SupplyState& state_;
    Handlers handlerFor_;
    const LayoutProfile* profile_ = nullptr;
    int counter_ = 0;
    PollMode mode_ = PollMode::Specified;
    QTimer timer_;
    ReadingRate rate_;
    QTimer rateTimer_;
    QString adapterTold_; // the port whose latency timer was told of
};

} // namespace trq
