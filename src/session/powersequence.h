#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <variant>
#include <vector>

namespace trq {

class Clock;
class Waiter;

// One step of a bench's power order: a supply's output switched, or a wait.
struct PowerStep {
    QString supply; // empty: a wait
    bool on = true;
    int waitMsec = 0;
    bool operator==(const PowerStep&) const = default;
};

// The order as a user writes it, "logic on, 200 ms, rail B on": steps apart
// by commas, a supply by its name on the bench, waits in ms or s. The
// names as the bench spells them, or why the text is refused.
std::variant<std::vector<PowerStep>, QString> parsePowerOrder(const QString& text,
                                                              const QStringList& supplies);
QString powerOrderText(const std::vector<PowerStep>& steps);
// Off in reverse: the same steps backwards, each output switched off.
std::vector<PowerStep> reversedOff(const std::vector<PowerStep>& steps);

// Runs a power order over the bench's supplies, each step at its planned
// time from the start (waits add up on the clock, so a slow step does not
// push the later ones back). A step whose supply is off line or refuses, or
// a supply it switched on that has gone, stops the order, and every supply
// the order names is switched off: a failure leaves no output on.
class PowerSequencer : public QObject {
    Q_OBJECT
public:
    struct Supply {
        QString name;
        // Why no step may switch it now ("is off line"); empty when one may.
        std::function<QString()> blocked;
        // Sends the output command; false when it cannot go out.
        std::function<bool(bool on)> setOutput;
    };

    PowerSequencer(std::vector<Supply> supplies, const Clock& clock, Waiter& waiter,
                   QObject* parent = nullptr);

    void run(std::vector<PowerStep> steps);
    // No further step is taken; what was switched stays as it is.
    void stop();
    bool running() const { return running_; }

signals:
    void stepTaken(int index);
    // completed false: stopped by a step (message says which and why) or
    // by stop() (no message).
    void finished(bool completed, const QString& message);

private:
    void next();
    void fail(const QString& message);
    const Supply* supplyNamed(const QString& name) const;
    QString blockedWhy(const QString& name) const;

    std::vector<Supply> supplies_;
    const Clock& clock_;
    Waiter& waiter_;
    std::vector<PowerStep> steps_;
    std::size_t at_ = 0;
    double startMsec_ = 0;
    double plannedMsec_ = 0; // the next step's time from the start
    QStringList switchedOn_;
    bool running_ = false;
    quint64 run_ = 0; // a wait of an earlier run does nothing
};

} // namespace trq
