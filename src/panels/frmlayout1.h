#pragma once

#include "link/replyfield.h"
#include "panels/frontpanel.h"
#include "panels/panelwidgets.h"

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace trq {

class NumEdit;
class TextField;

// The panel of the three-channel SCPI supplies: voltage, current and
// over-voltage per channel, over-current protection, coupling mode, output,
// automatic run, memories and delay.
class frmLayout1 : public FrontPanel {
    Q_OBJECT
public:
    static constexpr int kChannels = 3;
    static constexpr int kPollCycle = 7;
    static constexpr int kCounterWrap = 7000;

    frmLayout1(MDIForm1& main, CommTasker& tasker, DataForm& data, QWidget* parent = nullptr);

    int channelCount() const override { return kChannels; }
    void SetupLayout() override;
    void DoQuery() override;
    bool QueryInitialValues() override;
    void QuerySECMemory() override;
    void QueryDelay() override;
    void QueryMemory() override;

    void SetAllEnabled() override;
    void SetParallelDisableMode() override;
    void SetTrackDisableMode() override;
    void SetAutoRunDisableMode() override;
    void SetOutputOffDisplay() override;

    void setAutoRunButton(bool on) override;

    // Controls, by their names in the panel contract.
    const ChannelControls& controls(int i) const override { return ch_[std::size_t(i)].ui; }
    ReplyField* txtSetVolt(int i) { return &ch_[std::size_t(i)].setVolt; }
    ReplyField* txtSetCurr(int i) { return &ch_[std::size_t(i)].setCurr; }
    ReplyField* txtOVP(int i) { return &ch_[std::size_t(i)].ovpReply; }
    ReplyField* txtOCP(int i) { return &ch_[std::size_t(i)].ocpReply; }
    ReplyField* txtError() { return &txtError_; }
    TextField* txtStartMemory() const { return txtStartMemory_; }
    TextField* txtEndMemory() const { return txtEndMemory_; }
    TextField* txtCycle() const { return txtCycle_; }
    TextField* txtDelay() const { return txtDelay_; }
    TextField* txtMemory() const { return txtMemory_; }
    QLabel* txtCommType() const { return txtCommType_; }
    QPushButton* tbnAutoRun() const { return tbnAutoRun_; }
    QPushButton* btnClearErrorOfProtection() const { return btnClear_; }
    int pollCounter() const { return counter_; }

public slots:
    // Named reply handlers (call type 1).
    void SetupOutputOnOff(const QString& reply);
    void SetupOutputMode(const QString& reply);
    void SetupAutoRun(const QString& reply);

private:
    struct Channel {
        ChannelControls ui;
        ReplyField setVolt, setCurr, ovpReply, ocpReply;
    };

    void buildChannel(int i);
    void send(const QString& text);
    void queryProcedure(const QString& text, const char* procedure);
    void valueChanged(int i, NumEdit* edit, SetCommand command, double v, double previous);
    void txtError_Change(const QString& text);

    std::array<Channel, kChannels> ch_;
    ReplyField txtError_;
    TextField* txtStartMemory_;
    TextField* txtEndMemory_;
    TextField* txtCycle_;
    TextField* txtDelay_;
    TextField* txtMemory_;
    QLabel* txtCommType_;
    QPushButton* tbnAutoRun_;
    QPushButton* btnClear_;
    QPushButton* btnChange_;
    QPushButton* btnSave_;
    QPushButton* btnRecall_;
    int counter_ = 0;
};

} // namespace trq
