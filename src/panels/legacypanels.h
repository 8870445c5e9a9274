#pragma once

#include "link/replyfield.h"
#include "panels/frontpanel.h"
#include "panels/panelwidgets.h"

#include <vector>

class QLabel;
class QPushButton;
class QRadioButton;

namespace trq {

// The panels of the legacy supplies: voltage and current per channel,
// output and coupling mode. Replies carry a unit letter, which is dropped.
class LegacyPanel : public FrontPanel {
    Q_OBJECT
public:
    int channelCount() const override { return int(ch_.size()); }
    void SetupLayout() override;

    void SetAllEnabled() override;
    void SetParallelDisableMode() override;
    void SetTrackDisableMode() override;
    void SetOutputOffDisplay() override;

    const ChannelControls& controls(int i) const override { return ch_[std::size_t(i)].ui; }
    ReplyField* txtSetVolt(int i) { return &ch_[std::size_t(i)].setVolt; }
    ReplyField* txtSetCurr(int i) { return &ch_[std::size_t(i)].setCurr; }
    ReplyField* txtStatus() { return &txtStatus_; }
    int pollCounter() const { return counter_; }

protected:
    LegacyPanel(int channels, QString valuePattern, MDIForm1& main, CommTasker& tasker,
                DataForm& database, QWidget* parent);

    struct Channel {
        ChannelControls ui;
        ReplyField setVolt, setCurr;
    };

    // The user's click on a mode option (and layout 4's status reply).
    virtual void optionClicked(Coupling mode);
    // The output button switched by the user.
    virtual void outputSwitched(bool on);
    void queryChannelSettings(std::initializer_list<int> channels);
    void blankChannels(int from, int to);

    std::vector<Channel> ch_;
    ReplyField txtStatus_;
    QLabel* txtCommType_;
    int counter_ = 0;

private:
    void valueChanged(int i, SetCommand command, double v, double previous);
    void replyReceived(int i, bool voltage, const QString& text);
    void settingReceived(int i, bool voltage, const QString& text);

    QString valuePattern_;
};

// Two-channel legacy supplies.
class frmLayout3 : public LegacyPanel {
    Q_OBJECT
public:
    static constexpr int kPollCycle = 4;
    static constexpr int kCounterWrap = 7000;
    frmLayout3(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent = nullptr);
    void DoQuery() override;
    bool QueryInitialValues() override;
};

// Four-channel legacy supplies such as the TRQ-7206S: polled through the
// link's direct exchange, and following the instrument's status reply.
class frmLayout4 : public LegacyPanel {
    Q_OBJECT
public:
    static constexpr int kPollCycle = 17;
    static constexpr int kCounterWrap = 7000;
    frmLayout4(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent = nullptr);
    void SetupLayout() override;
    void DoQuery() override;
    bool QueryInitialValues() override;
    // No channel shows a reading with the output off.
    void SetOutputOffDisplay() override;
    int modeCode() const { return modeCode_; }
    void setPollCounter(int counter) { counter_ = counter; }

protected:
    void optionClicked(Coupling mode) override;
    void outputSwitched(bool on) override;

private:
    void txtStatus_Change(const QString& text);
    int modeCode_ = -1;
};

} // namespace trq
