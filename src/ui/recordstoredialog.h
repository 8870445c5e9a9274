#pragma once

#include "session/labrecords.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace trq {

// "Record store...": where records are kept, this computer's file or a
// lab's PostgreSQL database (host, port, database, user, TLS mode and the
// station's name); kept in the settings, the password never.
class RecordStoreDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecordStoreDialog(QWidget* parent = nullptr);
    // Shows this choice (the one in use); true when confirmed, and then
    // stored as the choice from now on.
    bool run(const LabRecords::Options& shown);
    // The choice, or why it is none.
    std::variant<LabRecords::Options, QString> options() const;

    QRadioButton* labButton() const { return lab_; }
    QLineEdit* hostBox() const { return host_; }
    QSpinBox* portBox() const { return port_; }
    QLineEdit* databaseBox() const { return database_; }
    QLineEdit* userBox() const { return user_; }
    QComboBox* tlsBox() const { return tls_; }
    QLineEdit* stationBox() const { return station_; }

private:
    void confirm();

    QRadioButton* local_;
    QRadioButton* lab_;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QComboBox* tls_;
    QLineEdit* station_;
    QLabel* problem_;
};

} // namespace trq
