#pragma once

#include <QCoreApplication>

#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace trq {

class NumEdit;
struct EditLimits;

// A reading display: large digits on a dark ground.
QLineEdit* makeDisplay(QWidget* parent, const QString& colour, int pointSize);
// An on/off push button that shows its state.
QPushButton* makeSwitch(const QString& text, QWidget* parent);

// The controls of one channel: its readings and the edits of its settings.
struct ChannelControls {
    Q_DECLARE_TR_FUNCTIONS(ChannelControls)

public:
    QGroupBox* frame = nullptr;
    QLineEdit* voltage = nullptr;
    QLineEdit* current = nullptr;
    NumEdit* numVoltage = nullptr;
    NumEdit* numCurrent = nullptr;
    NumEdit* numOVP = nullptr;  // when the supply has protection
    QPushButton* ocp = nullptr; // likewise
    // Power, and charge and energy delivered; the channel's limits marker.
    QLabel* delivered = nullptr;
    QLabel* limitMarker = nullptr;

    // Builds the frame; withProtection adds the over-voltage edit and OCP.
    void build(QWidget* parent, const QString& caption, bool withProtection);
    // An edit's limits, step and format; value 0.
    static void configure(NumEdit* edit, const EditLimits& limits);
};

} // namespace trq
