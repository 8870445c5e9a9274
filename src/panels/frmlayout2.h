#pragma once

#include "link/replyfield.h"
#include "panels/frontpanel.h"
#include "panels/panelwidgets.h"

#include <array>

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace trq {

// The panel of the single-channel SCPI supplies: one channel with
// protection, output, and a coupling mode across several units ("sets").
class frmLayout2 : public FrontPanel {
    Q_OBJECT
public:
    static constexpr int kPollCycle = 3;
    static constexpr int kCounterWrap = 3000;

    frmLayout2(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent = nullptr);

    int channelCount() const override { return 1; }
    void SetupLayout() override;
    void DoQuery() override;
    bool QueryInitialValues() override;

    void SetAllEnabled() override;
    void SetParallelDisableMode() override;
    void SetTrackDisableMode() override;
    void SetOutputOffDisplay() override;

    const ChannelControls& controls(int) const override { return ch_; }
    QSpinBox* numSet() const { return numSet_; }
    ReplyField* txtSetVolt(int) { return &setVolt_; }
    ReplyField* txtSetCurr(int) { return &setCurr_; }
    ReplyField* txtOVP(int) { return &ovpReply_; }
    ReplyField* txtOCP(int) { return &ocpReply_; }
    ReplyField* txtSets() { return &txtSets_; }
    ReplyField* txtError() { return &txtError_; }
    int modeCode() const { return modeCode_; }

public slots:
    void SetupOutputOnOff(const QString& reply);

private:
    void send(SetCommand command, const QString& value, int number = 0);
    void valueChanged(NumEdit* edit, SetCommand command, double v, double previous);
    void settingReceived(NumEdit* edit, QChar unit, const QString& text);
    bool acceptWarning();
    void optIndep_Click();
    void optParal_Click();
    void optTrack_Click();
    void txtSets_Change(const QString& text);

    ChannelControls ch_;
    ReplyField setVolt_, setCurr_, ovpReply_, ocpReply_, txtSets_, txtError_;
    QSpinBox* numSet_;
    QPushButton* btnClear_;
    QLabel* txtCommType_;
    int counter_ = 0;
    bool settingsSeen_ = false; // the user's edits go out once a setting was replied
    std::array<bool, 3> voltageSeen_{}, currentSeen_{};
    bool warning_ = true;
    int modeCode_ = 0;
};

} // namespace trq
