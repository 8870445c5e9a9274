#pragma once

#include <QString>

class QGroupBox;
class QPushButton;
class QWidget;

namespace trq {

class NumEdit;
class TextField;
struct MachineTypeRecord;

// A measured-value display: large digits on a dark ground.
TextField* makeDisplay(QWidget* parent, const QString& colour, int pointSize);
// An on/off push button that shows its state.
QPushButton* makeSwitch(const QString& text, QWidget* parent);

// The controls of one channel that every panel has.
struct ChannelControls {
    QGroupBox* frame = nullptr;
    TextField* voltage = nullptr;
    TextField* current = nullptr;
    NumEdit* numVoltage = nullptr;
    NumEdit* numCurrent = nullptr;
    NumEdit* numOVP = nullptr;  // when the panel has protection
    QPushButton* ocp = nullptr; // likewise

    // Builds the frame; withProtection adds the over-voltage edit and OCP.
    void build(QWidget* parent, const QString& caption, bool withProtection);
    // Limits, steps and formats of the edits from a machine-type record;
    // values 0; the displays show 0 in their formats.
    void configure(const MachineTypeRecord& record);
    void blank();
};

} // namespace trq
