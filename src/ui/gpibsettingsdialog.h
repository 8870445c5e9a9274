#pragma once

#include "session/instrumentsession.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QListWidget;

namespace trq {

// GPIB board and primary address. A simulated supply can stand in for the
// instrument on the bus.
class GpibSettingsDialog : public QDialog {
    Q_OBJECT
public:
    GpibSettingsDialog(const QStringList& simulatedModels, QWidget* parent = nullptr);

    void load();
    void store();
    // Shows the dialog unless direct; true when confirmed (values stored).
    bool run(bool direct = false);
    // An instrument named on the command line: the next direct use takes it
    // (and keeps it, as the dialog's OK does).
    void setOneShot(const GpibSettings& settings) { oneShot_ = settings; }
    GpibSettings settings() const { return settings_; }

    QListWidget* boardList() const { return board_; }
    QListWidget* addressList() const { return address_; }
    QCheckBox* simulatedBox() const { return simulated_; }
    QComboBox* modelList() const { return model_; }

private:
    GpibSettings settings_;
    std::optional<GpibSettings> oneShot_;
    QListWidget* board_;
    QListWidget* address_;
    QCheckBox* simulated_;
    QComboBox* model_;
};

} // namespace trq
