#pragma once

#include "protocol/replies.h"
#include "ui/channelcontrols.h"

#include <QWidget>

#include <vector>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace trq {

class InstrumentSession;
class NumEdit;
struct LayoutProfile;

// The front panel of the supply on line: its channels' readings and
// settings, the coupling, the output and what else the supply offers, built
// from the layout profile. It shows the session's state and hands the
// user's edits to the session; it keeps no state of its own.
class FrontPanel : public QWidget {
    Q_OBJECT
public:
    FrontPanel(InstrumentSession& session, QWidget* parent = nullptr);

    int channelCount() const { return int(channels_.size()); }
    QLineEdit* voltageDisplay(int i) const { return channels_[std::size_t(i)].voltage; }
    QLineEdit* currentDisplay(int i) const { return channels_[std::size_t(i)].current; }
    NumEdit* voltageEdit(int i) const { return channels_[std::size_t(i)].numVoltage; }
    NumEdit* currentEdit(int i) const { return channels_[std::size_t(i)].numCurrent; }
    NumEdit* overVoltageEdit(int i) const { return channels_[std::size_t(i)].numOVP; }
    QPushButton* overCurrentSwitch(int i) const { return channels_[std::size_t(i)].ocp; }
    QRadioButton* option(Coupling mode) const;
    QPushButton* outputSwitch() const { return output_; }
    QPushButton* autoRunSwitch() const { return autoRun_; }
    QPushButton* clearProtectionButton() const { return clear_; }
    QSpinBox* setsEdit() const { return sets_; }
    QLineEdit* autoRunField(int i) const { return autoFields_[std::size_t(i)]; }
    QLabel* interfaceLabel() const { return interface_; }
    QLabel* deliveredLabel(int i) const { return channels_[std::size_t(i)].delivered; }
    QLabel* limitMarker(int i) const { return channels_[std::size_t(i)].limitMarker; }
    QPushButton* resetDeliveredButton() const { return resetDelivered_; }

signals:
    // Buttons whose dialogs belong to the main window.
    void autoRangeRequested();
    void saveMemoryRequested();
    void recallMemoryRequested();

private:
    QWidget* buildModeGroup(bool vertical);
    QWidget* buildAutoRunGroup();
    void arrange(const LayoutProfile& profile);
    void connectChannel(int i);
    void showReadings(int i);
    void showLocks();
    void showDelivered(int i);
    void showLimits();
    void showCoupling(Coupling mode);

    InstrumentSession& session_;
    std::vector<ChannelControls> channels_;
    QRadioButton* indep_ = nullptr;
    QRadioButton* parallel_ = nullptr;
    QRadioButton* track_ = nullptr;
    QPushButton* output_ = nullptr;
    QPushButton* autoRun_ = nullptr;
    QPushButton* clear_ = nullptr;
    QSpinBox* sets_ = nullptr;
    std::vector<QLineEdit*> autoFields_;
    QLabel* interface_ = nullptr;
    QPushButton* resetDelivered_ = nullptr;
};

} // namespace trq
