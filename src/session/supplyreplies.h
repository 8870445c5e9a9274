#pragma once

#include "link/taskscheduler.h"
#include "protocol/layoutprofile.h"
#include "protocol/replies.h"

#include <QObject>

#include <functional>

namespace trq {

class Prompter;
class SupplyControl;
class SupplyState;

// Where each reply of the supply goes: readings and settings to the state,
// and the replies that call for an action (its output, coupling, automatic
// run, status, sets and errors) to the control. As first read, those
// actions are taken and sent back; read again after a reconnect, they are
// only shown.
class SupplyReplies : public QObject {
    Q_OBJECT
public:
    SupplyReplies(SupplyState& state, SupplyControl& control, Prompter& prompter,
                  std::function<bool(const QueryStep&)> ask, QObject* parent = nullptr);

    ReplyHandler handlerFor(const QueryStep& step);
    // Replies update the state without sending anything back.
    void setResyncing(bool on) { resyncing_ = on; }

private:
    void outputReplied(bool on);
    void couplingReplied(Coupling mode);
    void autoRunReplied(bool on);
    void errorReplied(const QString& reply);
    void statusReplied(const QString& reply);

    SupplyState& state_;
    SupplyControl& control_;
    Prompter& prompter_;
    std::function<bool(const QueryStep&)> ask_;
    bool resyncing_ = false;
    bool errorShown_ = false;
};

} // namespace trq
