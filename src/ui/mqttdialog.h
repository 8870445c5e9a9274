#pragma once

#include "automation/mqttfeed.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace trq {

// "Lab feed (MQTT)...": the broker, the station's name in the topics, TLS
// and the account; kept in the settings.
class MqttDialog : public QDialog {
    Q_OBJECT
public:
    explicit MqttDialog(QWidget* parent = nullptr);
    // Shows the stored choice; true (and stored) when confirmed.
    bool run();
    MqttFeed::Options options() const;

    QCheckBox* enabledBox() const { return enabled_; }
    QLineEdit* hostBox() const { return host_; }
    QSpinBox* portBox() const { return port_; }
    QLineEdit* stationBox() const { return station_; }

private:
    QCheckBox* enabled_;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* station_;
    QCheckBox* tls_;
    QLineEdit* caFile_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* discovery_;
};

} // namespace trq
