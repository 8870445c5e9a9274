#pragma once

#include "automation/scpiserver.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace trq {

// Whether the supply is served to scripts, on which port, whether clients
// from other machines are let in, and when idle clients are closed.
class AutomationDialog : public QDialog {
    Q_OBJECT
public:
    explicit AutomationDialog(QWidget* parent = nullptr);
    // Shows the stored choice; true when confirmed (and stored).
    // Shows the running server's state, else the stored one; true when the
    // user changed it (and it is stored).
    bool run(const ScpiServer* running = nullptr);
    bool enabled() const;
    ScpiServer::Options options() const;

    QCheckBox* enabledBox() const { return enabled_; }
    QSpinBox* portEdit() const { return port_; }
    QCheckBox* remoteBox() const { return remote_; }
    QSpinBox* idleEdit() const { return idle_; }

private:
    QCheckBox* enabled_;
    QSpinBox* port_;
    QCheckBox* remote_;
    QSpinBox* idle_;
};

} // namespace trq
