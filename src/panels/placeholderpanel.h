#pragma once

#include "panels/frontpanel.h"

namespace trq {

// Stands in for the panels of layouts 2 to 4 until they exist: it names the
// supply and sends nothing.
class PlaceholderPanel : public FrontPanel {
    Q_OBJECT
public:
    PlaceholderPanel(int layout, MDIForm1& main, CommTasker& tasker, DataForm& data,
                     QWidget* parent = nullptr);

    int channelCount() const override { return channels_; }
    void SetupLayout() override {}
    void DoQuery() override {}
    bool QueryInitialValues() override { return false; }
    void SetAllEnabled() override {}
    void SetAllDisabled() override {}
    void SetParallelDisableMode() override {}
    void SetTrackDisableMode() override {}
    void SetOutputModeEnabled() override {}
    void SetOutputOffDisplay() override {}
    void setOutputButton(bool) override {}
    void setModeOption(Coupling) override {}
    std::optional<Coupling> selectedMode() const override { return std::nullopt; }
    QString measuredVoltage(int) const override { return {}; }
    QString measuredCurrent(int) const override { return {}; }

private:
    int channels_;
};

} // namespace trq
