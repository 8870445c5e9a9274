#pragma once

#include <QElapsedTimer>

namespace trq {

// Monotonic time for the link's watchdog and waits. Monotonic on purpose: a
// time-of-day clock jumps back at midnight and would hide a hung operation.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double nowSec() const = 0;
};

class SteadyClock final : public Clock {
public:
    SteadyClock() { timer_.start(); }
    double nowSec() const override { return double(timer_.nsecsElapsed()) / 1e9; }

private:
    QElapsedTimer timer_;
};

// Waits of the synchronous serial exchange. The real one runs a local event
// loop so the user interface and the link's other timers keep running.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Sleep for msec while pending events run.
    virtual void wait(int msec) = 0;
    // Let pending events run once.
    virtual void letEventsRun() = 0;
};

class EventLoopWaiter final : public Waiter {
public:
    void wait(int msec) override;
    void letEventsRun() override;
};

} // namespace trq
