#pragma once

#include <QElapsedTimer>

#include <functional>

class QObject;

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

// Runs work after a while without blocking anyone: a timer in the program;
// tests move a manual clock instead of waiting.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Nothing runs if context has gone meanwhile.
    virtual void after(int msec, QObject* context, std::function<void()> work) = 0;
};

class TimerWaiter final : public Waiter {
public:
    void after(int msec, QObject* context, std::function<void()> work) override;
};

} // namespace trq
