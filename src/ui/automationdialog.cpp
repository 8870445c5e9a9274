#include "ui/automationdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace trq {

AutomationDialog::AutomationDialog(QWidget* parent)
    : QDialog(parent), enabled_(new QCheckBox(tr("Serve the supply to scripts"), this)),
      port_(new QSpinBox(this)),
      remote_(new QCheckBox(tr("Allow clients from other machines"), this)),
      idle_(new QSpinBox(this)) {
    setObjectName(QStringLiteral("AutomationDialog"));
    setWindowTitle(tr("Automation server"));
    port_->setRange(1, 65535);
    idle_->setRange(1, ScpiServer::kMaxIdleMinutes);
    idle_->setSuffix(QStringLiteral(" min"));
    auto* warning = new QLabel(tr("Anyone who can reach this computer over the "
                                  "network can then switch outputs."),
                               this);
    warning->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(enabled_);
    form->addRow(tr("Port (raw SCPI socket):"), port_);
    form->addRow(remote_);
    form->addRow(tr("Close clients idle for:"), idle_);
    form->addRow(warning);
    form->addRow(buttons);
    // The warning is shown while remote clients are allowed.
    warning->setVisible(false);
    connect(remote_, &QCheckBox::toggled, warning, &QLabel::setVisible);
    for (QWidget* w : {static_cast<QWidget*>(port_), static_cast<QWidget*>(remote_),
                       static_cast<QWidget*>(idle_)})
        connect(enabled_, &QCheckBox::toggled, w, &QWidget::setEnabled);
}

bool AutomationDialog::run(const ScpiServer* running) {
    bool on = false;
    ScpiServer::Options stored = ScpiServer::storedOptions(&on);
    if (running && running->isListening()) { // started from the command line, say
        on = true;
        stored = running->options();
        stored.port = running->port();
    }
    enabled_->setChecked(on);
    port_->setValue(stored.port);
    remote_->setChecked(stored.remote);
    idle_->setValue(stored.idleMinutes);
    port_->setEnabled(on);
    remote_->setEnabled(on);
    idle_->setEnabled(on);
    if (exec() != QDialog::Accepted)
        return false;
    // OK on what was shown changes nothing: a server started for this run
    // only is neither stored nor restarted (its clients stay connected).
    if (enabled() == on &&
        (!on || (options().port == stored.port && options().remote == stored.remote &&
                 options().idleMinutes == stored.idleMinutes)))
        return false;
    ScpiServer::storeOptions(options(), enabled());
    return true;
}

bool AutomationDialog::enabled() const {
    return enabled_->isChecked();
}

ScpiServer::Options AutomationDialog::options() const {
    return {quint16(port_->value()), remote_->isChecked(), idle_->value()};
}

} // namespace trq
