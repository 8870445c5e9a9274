#include "ui/mqttdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace trq {

MqttDialog::MqttDialog(QWidget* parent)
    : QDialog(parent), enabled_(new QCheckBox(tr("Publish to the lab's broker"), this)),
      host_(new QLineEdit(this)), port_(new QSpinBox(this)), station_(new QLineEdit(this)),
      tls_(new QCheckBox(QStringLiteral("TLS"), this)), caFile_(new QLineEdit(this)),
      user_(new QLineEdit(this)), password_(new QLineEdit(this)),
      discovery_(
          new QCheckBox(tr("Announce the supplies to Home Assistant (MQTT discovery)"), this)) {
    discovery_->setObjectName(QStringLiteral("discovery"));
    setObjectName(QStringLiteral("MqttDialog"));
    setWindowTitle(tr("Lab feed (MQTT)"));
    port_->setRange(1, 65535);
    password_->setEchoMode(QLineEdit::Password);
    station_->setPlaceholderText(tr("this machine's name"));
    caFile_->setPlaceholderText(tr("the system's certificates"));
    auto* form = new QFormLayout;
    form->addRow(enabled_);
    form->addRow(tr("Broker:"), host_);
    form->addRow(tr("Port:"), port_);
    form->addRow(tr("Station:"), station_);
    form->addRow(tls_);
    form->addRow(tr("CA file:"), caFile_);
    form->addRow(tr("User:"), user_);
    form->addRow(tr("Password:"), password_);
    form->addRow(discovery_);
    auto* note = new QLabel(tr("Readings go to powertrq/<station>/<model>/<channel>/"
                               "{voltage,current,power}, the state and events beside "
                               "them. A broker that is away only costs retries."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

bool MqttDialog::run() {
    const MqttFeed::Options o = MqttFeed::Options::load();
    enabled_->setChecked(o.enabled);
    host_->setText(o.host);
    port_->setValue(o.port);
    station_->setText(o.station);
    tls_->setChecked(o.tls);
    caFile_->setText(o.caFile);
    user_->setText(o.user);
    password_->setText(o.password);
    discovery_->setChecked(o.discovery);
    if (exec() != QDialog::Accepted)
        return false;
    options().save();
    return true;
}

MqttFeed::Options MqttDialog::options() const {
    MqttFeed::Options o;
    o.enabled = enabled_->isChecked();
    o.host = host_->text().trimmed();
    o.port = port_->value();
    o.station = station_->text().trimmed();
    o.tls = tls_->isChecked();
    o.caFile = caFile_->text().trimmed();
    o.user = user_->text();
    o.password = password_->text();
    o.discovery = discovery_->isChecked();
    return o;
}

} // namespace trq
