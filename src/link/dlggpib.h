#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QListWidget;

namespace trq {

// GPIB board and primary address. A simulated supply can stand in for the
// instrument on the bus.
class dlgGPIB : public QDialog {
    Q_OBJECT
public:
    explicit dlgGPIB(QWidget* parent = nullptr);

    void GetSettings();
    void SetSettings();
    // Shows the dialog unless direct; true when confirmed (values stored).
    bool Execute(bool direct = false);

    int GPIBn = 0;
    int Address = 0;
    QString SimulatedModel; // empty: a real instrument

    QListWidget* lstBoard() const { return board_; }
    QListWidget* lstAddress() const { return address_; }
    QCheckBox* chkSimulated() const { return simulated_; }
    QComboBox* cmbModel() const { return model_; }

private:
    QListWidget* board_;
    QListWidget* address_;
    QCheckBox* simulated_;
    QComboBox* model_;
};

} // namespace trq
