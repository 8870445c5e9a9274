#pragma once

#include "session/supplyinterface.h"

#include <QDialog>

#include <variant>

class QComboBox;
class QLineEdit;
class QSpinBox;
class QStackedWidget;

namespace trq {

class TransportFactory;

// Interface > Add supply...: a further supply's link (a serial port at a
// rate, which lists the simulated supplies too, or a GPIB address) and the
// name the windows, the CSV and the server call it by.
class AddSupplyDialog : public QDialog {
    Q_OBJECT
public:
    AddSupplyDialog(TransportFactory& transports, QWidget* parent = nullptr);

    // The supply the fields describe, or why they describe none.
    std::variant<SupplyAddress, QString> address() const;

private:
    QComboBox* kind_;
    QStackedWidget* pages_;
    QComboBox* port_;
    QComboBox* baud_;
    QSpinBox* board_;
    QSpinBox* gpib_;
    QLineEdit* name_;
};

} // namespace trq
