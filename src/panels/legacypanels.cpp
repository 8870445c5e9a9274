#include "panels/legacypanels.h"

#include "link/commtasker.h"
#include "panels/numedit.h"
#include "panels/textfield.h"
#include "shell/debugtrace.h"
#include "shell/mdiform1.h"
#include "shell/strings.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace trq {

LegacyPanel::LegacyPanel(int channels, QString valuePattern, MDIForm1& main, CommTasker& tasker,
                         DataForm& database, QWidget* parent)
    : FrontPanel(main, tasker, database, parent), ch_(std::size_t(channels)),
      valuePattern_(std::move(valuePattern)) {
    setWindowTitle(QStringLiteral("Control"));
    auto* channelRow = new QHBoxLayout;
    for (int i = 0; i < channels; ++i) {
        Channel& c = ch_[std::size_t(i)];
        c.ui.build(this, LoadResString(281 + i), false);
        channelRow->addWidget(c.ui.frame);
        connect(c.ui.numVoltage, &NumEdit::valueChangedFrom, this,
                [this, i](double v, double p) { valueChanged(i, SetCommand::Voltage, v, p); });
        connect(c.ui.numCurrent, &NumEdit::valueChangedFrom, this,
                [this, i](double v, double p) { valueChanged(i, SetCommand::Current, v, p); });
        connect(c.ui.voltage, &QLineEdit::textChanged, this,
                [this, i](const QString& t) { replyReceived(i, true, t); });
        connect(c.ui.current, &QLineEdit::textChanged, this,
                [this, i](const QString& t) { replyReceived(i, false, t); });
        connect(&c.setVolt, &ReplyField::Change, this,
                [this, i](const QString& t) { settingReceived(i, true, t); });
        connect(&c.setCurr, &ReplyField::Change, this,
                [this, i](const QString& t) { settingReceived(i, false, t); });
    }

    QGroupBox* mode = buildModeGroup(QStringLiteral("TRACK"), false);
    connect(optIndep_, &QRadioButton::clicked, this,
            [this] { optionClicked(Coupling::Independent); });
    connect(optParal_, &QRadioButton::clicked, this, [this] { optionClicked(Coupling::Parallel); });
    connect(optTrack_, &QRadioButton::clicked, this, [this] { optionClicked(Coupling::Tracking); });

    buildOutputButton();
    connect(tbnOutput_, &QPushButton::clicked, this, [this](bool on) { outputSwitched(on); });

    txtCommType_ = new QLabel(this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(mode);
    bottom->addWidget(tbnOutput_);
    bottom->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(channelRow);
    layout->addLayout(bottom);
    layout->addWidget(txtCommType_);
}

void LegacyPanel::SetupLayout() {
    watchReadings();
    for (int n = 1; n <= channelCount(); ++n)
        ch_[std::size_t(n - 1)].ui.configure(channelRecord(n));
    txtCommType_->setText(main_.interfaceDescription());
    tasker_.setQueryCmdCnt(7);
    tasker_.setQueryCmdMaxMsec(0);
}

void LegacyPanel::queryChannelSettings(std::initializer_list<int> channels) {
    const QueryTable& q = main_.queryTable();
    for (int n : channels)
        queryInto(q.SetVoltQuery[std::size_t(n - 1)], &ch_[std::size_t(n - 1)].setVolt);
    for (int n : channels)
        queryInto(q.SetCurrQuery[std::size_t(n - 1)], &ch_[std::size_t(n - 1)].setCurr);
}

void LegacyPanel::valueChanged(int i, SetCommand command, double v, double previous) {
    NumEdit* edit = command == SetCommand::Voltage ? numVoltage(i) : numCurrent(i);
    if (v < edit->lowest()) {
        edit->setValueQuietly(previous);
        return;
    }
    if (main_.MainFormState != MDIForm1::kReady)
        return;
    main_.sendCommand(
        composeCommand(CommandFamily::Legacy, command, {i + 1, wireNumber(v, valuePattern_), 0}));
    // So that the next reply of the same value reaches the edit again.
    (command == SetCommand::Voltage ? ch_[std::size_t(i)].setVolt : ch_[std::size_t(i)].setCurr)
        .setText({});
}

void LegacyPanel::replyReceived(int i, bool voltage, const QString& text) {
    TextField* field = voltage ? txtVoltage(i) : txtCurrent(i);
    const QString shown = withoutUnit(text, voltage ? QLatin1Char('V') : QLatin1Char('A'));
    if (shown != text) {
        field->setText(shown);
        return;
    }
    // The second channel has nothing of its own to show in parallel.
    if (i == 1 && optParal_->isChecked()) {
        txtVoltage(1)->setText({});
        if (!voltage)
            txtCurrent(1)->setText({});
    }
}

void LegacyPanel::settingReceived(int i, bool voltage, const QString& text) {
    if (text.isEmpty())
        return;
    const auto v = parseNumber(withoutUnit(text, voltage ? QLatin1Char('V') : QLatin1Char('A')));
    if (!v)
        return;
    (voltage ? numVoltage(i) : numCurrent(i))->showReplied(*v);
}

void LegacyPanel::optionClicked(Coupling mode) {
    modeAction(mode);
}

void LegacyPanel::outputSwitched(bool on) {
    main_.DoOutput(on);
    IsOutput = on;
}

void LegacyPanel::blankChannels(int from, int to) {
    for (int i = from; i <= to && i < channelCount(); ++i)
        ch_[std::size_t(i)].ui.blank();
}

void LegacyPanel::SetAllEnabled() {
    setControlsEnabled(true);
    blankChannels(0, 1);
}

void LegacyPanel::SetParallelDisableMode() {
    SetAllEnabled();
    numVoltage(1)->setEnabled(false);
    numCurrent(1)->setEnabled(false);
}

void LegacyPanel::SetTrackDisableMode() {
    SetAllEnabled();
    numVoltage(1)->setEnabled(false);
}

void LegacyPanel::SetOutputOffDisplay() {
    blankChannels(0, 1);
}

// ---- Layout 3 ----------------------------------------------------------------

frmLayout3::frmLayout3(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent)
    : LegacyPanel(2, QStringLiteral("###0.###"), main, tasker, database, parent) {
    setObjectName(QStringLiteral("frmLayout3"));
}

void frmLayout3::DoQuery() {
    const QueryTable& q = main_.queryTable();
    const int k = counter_ % kPollCycle;
    const auto ch = std::size_t(k / 2);
    const bool volt = k % 2 == 0;
    if (tasker_.ExecQueryTask(volt ? q.MeasVoltQuery[ch] : q.MeasCurrQuery[ch], 5,
                              volt ? txtVoltage(int(ch)) : txtCurrent(int(ch)), kText,
                              CommTasker::AssignProperty))
        counter_ = (counter_ + 1) % kCounterWrap;
}

bool frmLayout3::QueryInitialValues() {
    const QueryTable& q = main_.queryTable();
    queryChannelSettings({1, 2});
    for (std::size_t i = 0; i < 2; ++i) {
        queryInto(q.MeasVoltQuery[i], txtVoltage(int(i)));
        queryInto(q.MeasCurrQuery[i], txtCurrent(int(i)));
    }
    return main_.runInitialQueryDialog();
}

// ---- Layout 4 ----------------------------------------------------------------

namespace {

struct PollStep {
    enum Kind { MeasVolt, MeasCurr, SetVolt, SetCurr, Status } kind;
    int channel;
};

// One poll cycle of the four-channel panel.
constexpr PollStep kLayout4Cycle[frmLayout4::kPollCycle] = {
    {PollStep::MeasVolt, 1}, {PollStep::MeasCurr, 1}, {PollStep::MeasVolt, 2},
    {PollStep::MeasCurr, 2}, {PollStep::SetVolt, 1},  {PollStep::SetVolt, 2},
    {PollStep::SetCurr, 1},  {PollStep::SetCurr, 2},  {PollStep::Status, 0},
    {PollStep::MeasVolt, 3}, {PollStep::MeasCurr, 3}, {PollStep::MeasVolt, 4},
    {PollStep::MeasCurr, 4}, {PollStep::SetVolt, 3},  {PollStep::SetVolt, 4},
    {PollStep::SetCurr, 3},  {PollStep::SetCurr, 4},
};

} // namespace

frmLayout4::frmLayout4(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent)
    : LegacyPanel(4, QStringLiteral("###0.0##"), main, tasker, database, parent) {
    setObjectName(QStringLiteral("frmLayout4"));
    connect(&txtStatus_, &ReplyField::Change, this, &frmLayout4::txtStatus_Change);
}

void frmLayout4::SetupLayout() {
    LegacyPanel::SetupLayout();
    // Whatever the record says, channels 3 and 4 go no higher than this.
    numVoltage(2)->setLimits(0, 10.001);
    numCurrent(2)->setLimits(0, 3.001);
    numVoltage(3)->setLimits(0, 5.001);
    numCurrent(3)->setLimits(0, 1.001);
}

void frmLayout4::DoQuery() {
    const QueryTable& q = main_.queryTable();
    const PollStep step = kLayout4Cycle[counter_ % kPollCycle];
    const auto i = std::size_t(std::max(step.channel - 1, 0));
    QString text;
    QObject* field = nullptr;
    switch (step.kind) {
    case PollStep::MeasVolt:
        text = q.MeasVoltQuery[i];
        field = txtVoltage(int(i));
        break;
    case PollStep::MeasCurr:
        text = q.MeasCurrQuery[i];
        field = txtCurrent(int(i));
        break;
    case PollStep::SetVolt:
        text = q.SetVoltQuery[i];
        field = &ch_[i].setVolt;
        break;
    case PollStep::SetCurr:
        text = q.SetCurrQuery[i];
        field = &ch_[i].setCurr;
        break;
    case PollStep::Status:
        text = q.StatusQuery;
        field = &txtStatus_;
        break;
    }
    if (tasker_.ExecQueryTask7206(text, 5, field, kText, CommTasker::AssignProperty))
        counter_ = (counter_ + 1) % kCounterWrap;
}

bool frmLayout4::QueryInitialValues() {
    const QueryTable& q = main_.queryTable();
    queryChannelSettings({1, 2, 3, 4});
    for (std::size_t i = 0; i < 4; ++i) {
        queryInto(q.MeasVoltQuery[i], txtVoltage(int(i)));
        queryInto(q.MeasCurrQuery[i], txtCurrent(int(i)));
    }
    queryInto(q.StatusQuery, &txtStatus_);
    return main_.runInitialQueryDialog();
}

void frmLayout4::optionClicked(Coupling mode) {
    if (modeCode_ != int(mode)) {
        if (mode != Coupling::Independent)
            tasker_.ResetQueryTasks();
        LegacyPanel::optionClicked(mode);
        // A mode change on this supply always ends with the output off.
        if (tbnOutput_->isChecked()) {
            tbnOutput_->setChecked(false);
            outputSwitched(false);
        }
    }
    modeCode_ = int(mode);
}

void frmLayout4::outputSwitched(bool on) {
    LegacyPanel::outputSwitched(on);
    blankChannels(2, 3);
}

void frmLayout4::SetOutputOffDisplay() {
    blankChannels(0, 3);
}

void frmLayout4::txtStatus_Change(const QString& text) {
    if (text.isEmpty())
        return;
    const LegacyStatus status = decodeStatus(text);
    if (!status.readable) {
        // A short or garbled line must not switch a live supply.
        printd(QStringLiteral("STATUS? reply not eight flags, ignored: '") + text +
               QLatin1Char('\''));
        txtStatus_.setText({});
        return;
    }
    bool modeChanged = false;
    if (status.coupling) {
        modeChanged = selectedMode() != status.coupling;
        setModeOption(*status.coupling);
        optionClicked(*status.coupling);
    }
    if (status.output && *status.output != tbnOutput_->isChecked()) {
        tbnOutput_->setChecked(*status.output);
        outputSwitched(*status.output);
    }
    if (modeChanged) {
        queryChannelSettings({1, 2});
        queryChannelSettings({3, 4});
    }
}

} // namespace trq
