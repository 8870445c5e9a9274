#include "panels/frmlayout1.h"

#include "link/commtasker.h"
#include "link/dlgqueryinitial.h"
#include "panels/numedit.h"
#include "panels/textfield.h"
#include "shell/dataform.h"
#include "shell/debugtrace.h"
#include "shell/mdiform1.h"
#include "shell/prompter.h"
#include "shell/strings.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace trq {

namespace {} // namespace

frmLayout1::frmLayout1(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent)
    : FrontPanel(main, tasker, database, parent) {
    setObjectName(QStringLiteral("frmLayout1"));
    setWindowTitle(QStringLiteral("Control"));

    auto* channels = new QHBoxLayout;
    for (int i = 0; i < kChannels; ++i) {
        buildChannel(i);
        channels->addWidget(ch_[std::size_t(i)].ui.frame);
    }

    QGroupBox* mode = buildModeGroup(QStringLiteral("TRACK"), true);

    auto* controls = new QGroupBox(QStringLiteral("OUTPUT"), this);
    buildOutputButton();
    btnClear_ = new QPushButton(QStringLiteral("Clear Protection"), controls);
    auto* controlsLayout = new QVBoxLayout(controls);
    controlsLayout->addWidget(tbnOutput_);
    controlsLayout->addWidget(btnClear_);

    auto* autoRun = new QGroupBox(QStringLiteral("AUTO RUN"), this);
    auto* autoGrid = new QGridLayout(autoRun);
    txtStartMemory_ = makeDisplay(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtEndMemory_ = makeDisplay(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtCycle_ = makeDisplay(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtDelay_ = makeDisplay(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtMemory_ = makeDisplay(autoRun, QStringLiteral("#e0e0e0"), 10);
    const std::pair<QString, TextField*> autoFields[] = {
        {LoadResString(201), txtStartMemory_},
        {LoadResString(202), txtEndMemory_},
        {LoadResString(203), txtCycle_},
        {QStringLiteral("Delay (x 100ms):"), txtDelay_},
        {QStringLiteral("Memory:"), txtMemory_}};
    int row = 0;
    for (const auto& [label, field] : autoFields) {
        field->setFixedWidth(72);
        autoGrid->addWidget(new QLabel(label, autoRun), row, 0);
        autoGrid->addWidget(field, row, 1);
        ++row;
    }
    tbnAutoRun_ = makeSwitch(QStringLiteral("AUTO RUN"), autoRun);
    btnChange_ = new QPushButton(QStringLiteral("Change"), autoRun);
    btnSave_ = new QPushButton(QStringLiteral("Save"), autoRun);
    btnRecall_ = new QPushButton(QStringLiteral("Recall"), autoRun);
    autoGrid->addWidget(tbnAutoRun_, 0, 2);
    autoGrid->addWidget(btnChange_, 1, 2);
    autoGrid->addWidget(btnSave_, 3, 2);
    autoGrid->addWidget(btnRecall_, 4, 2);

    txtCommType_ = new QLabel(this);
    txtCommType_->setObjectName(QStringLiteral("txtCommType"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(mode);
    bottom->addWidget(controls);
    bottom->addWidget(autoRun);
    bottom->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(channels);
    layout->addLayout(bottom);
    layout->addWidget(txtCommType_);

    connect(optIndep_, &QRadioButton::clicked, this, [this] { main_.mnuIndep_Click(); });
    connect(optParal_, &QRadioButton::clicked, this, [this] { main_.mnuParallel_Click(); });
    connect(optTrack_, &QRadioButton::clicked, this, [this] { main_.mnuTrack_Click(); });
    connect(tbnOutput_, &QPushButton::clicked, this, [this](bool on) {
        main_.DoOutput(on);
        IsOutput = on;
    });
    connect(tbnAutoRun_, &QPushButton::clicked, this, [this](bool on) { main_.DoAutoRun(on); });
    connect(btnClear_, &QPushButton::clicked, this, [this] {
        if (main_.MainFormState == MDIForm1::kReady)
            send(composeCommand(CommandFamily::Scpi3, SetCommand::ClearProtection, {}));
    });
    connect(btnChange_, &QPushButton::clicked, this, [this] { main_.mnuAutoMode_Click(); });
    connect(btnSave_, &QPushButton::clicked, this, [this] { main_.mnuSaveMemory_Click(); });
    connect(btnRecall_, &QPushButton::clicked, this, [this] { main_.mnuRecallMemory_Click(); });
    connect(&txtError_, &ReplyField::Change, this, &frmLayout1::txtError_Change);
}

void frmLayout1::buildChannel(int i) {
    Channel& c = ch_[std::size_t(i)];
    c.ui.build(this, LoadResString(281 + i), true);

    connect(c.ui.numVoltage, &NumEdit::valueChangedFrom, this, [this, i](double v, double p) {
        valueChanged(i, ch_[std::size_t(i)].ui.numVoltage, SetCommand::Voltage, v, p);
    });
    connect(c.ui.numCurrent, &NumEdit::valueChangedFrom, this, [this, i](double v, double p) {
        valueChanged(i, ch_[std::size_t(i)].ui.numCurrent, SetCommand::Current, v, p);
    });
    connect(c.ui.numOVP, &NumEdit::valueChangedFrom, this, [this, i](double v, double p) {
        valueChanged(i, ch_[std::size_t(i)].ui.numOVP, SetCommand::OverVoltage, v, p);
    });
    connect(c.ui.ocp, &QPushButton::clicked, this, [this, i](bool on) {
        if (main_.MainFormState == MDIForm1::kReady)
            send(composeCommand(CommandFamily::Scpi3, SetCommand::OverCurrent,
                                {i + 1, {}, on ? 1 : 0}));
    });

    // Change handlers of the reply and display fields.
    connect(c.ui.voltage, &QLineEdit::textChanged, this, [this, i] {
        if (i == 0 && optParal_->isChecked())
            ch_[0].ui.voltage->setText({});
    });
    connect(c.ui.current, &QLineEdit::textChanged, this, [this, i] {
        if (i == 0 && optParal_->isChecked()) {
            ch_[0].ui.voltage->setText({});
            ch_[0].ui.current->setText({});
        }
    });
    connect(&c.setVolt, &ReplyField::Change, this, [this, i](const QString& text) {
        printd(QStringLiteral("txtSetVolt_Change") + QString::number(i) + QLatin1Char(':') + text);
        if (auto v = parseNumber(text))
            ch_[std::size_t(i)].ui.numVoltage->showReplied(*v);
        ch_[std::size_t(i)].setVolt.setText({});
    });
    connect(&c.setCurr, &ReplyField::Change, this, [this, i](const QString& text) {
        if (auto v = parseNumber(text))
            ch_[std::size_t(i)].ui.numCurrent->showReplied(*v);
    });
    connect(&c.ovpReply, &ReplyField::Change, this, [this, i](const QString& text) {
        if (auto v = parseNumber(text))
            ch_[std::size_t(i)].ui.numOVP->showReplied(*v);
    });
    connect(&c.ocpReply, &ReplyField::Change, this, [this, i](const QString& text) {
        ch_[std::size_t(i)].ui.ocp->setChecked(text == QLatin1String("1"));
    });
}

void frmLayout1::send(const QString& text) {
    tasker_.ExecCmdTask(text, 0, this, {}, CommTasker::CallProcedure);
}

void frmLayout1::queryProcedure(const QString& text, const char* procedure) {
    tasker_.ExecQueryTask(text, 5, this, QString::fromLatin1(procedure), CommTasker::CallProcedure);
}

void frmLayout1::valueChanged(int i, NumEdit* edit, SetCommand command, double v, double previous) {
    if (v < edit->lowest()) {
        edit->setValueQuietly(previous);
        return;
    }
    if (main_.MainFormState != MDIForm1::kReady)
        return;
    const QString value = wireNumber(v, QStringLiteral("###0.###"));
    send(composeCommand(CommandFamily::Scpi3, command, {i + 1, value, 0}));
}

void frmLayout1::txtError_Change(const QString& text) {
    if (text.isEmpty())
        return;
    errorReplyReceived(text);
    txtError_.setText({}); // the same error again is seen again
}

void frmLayout1::SetupLayout() {
    watchReadings();
    for (int n = 1; n <= kChannels; ++n)
        ch_[std::size_t(n - 1)].ui.configure(channelRecord(n));
    txtCommType_->setText(main_.interfaceDescription());
    tasker_.setQueryCmdCnt(kPollCycle);
    tasker_.setQueryCmdMaxMsec(0);
}

void frmLayout1::DoQuery() {
    const QueryTable& q = main_.queryTable();
    const int k = counter_ % kPollCycle;
    QObject* target = nullptr;
    QString text;
    if (k < 6) {
        const auto ch = std::size_t(k / 2);
        text = k % 2 == 0 ? q.MeasVoltQuery[ch] : q.MeasCurrQuery[ch];
        target = k % 2 == 0 ? ch_[ch].ui.voltage : ch_[ch].ui.current;
    } else {
        text = q.ErrorQuery;
        target = &txtError_;
    }
    // A refused query (full queue) is tried again on the next tick.
    if (tasker_.ExecQueryTask(text, 5, target, kText, CommTasker::AssignProperty))
        counter_ = (counter_ + 1) % kCounterWrap;
}

void frmLayout1::QuerySECMemory() {
    const QueryTable& q = main_.queryTable();
    queryInto(q.AutoStartQuery, txtStartMemory_);
    queryInto(q.AutoEndQuery, txtEndMemory_);
    queryInto(q.AutoCycleQuery, txtCycle_);
}

void frmLayout1::QueryDelay() {
    queryInto(main_.queryTable().AutoDelayQuery, txtDelay_);
}

void frmLayout1::QueryMemory() {
    queryInto(main_.queryTable().MemoryQuery, txtMemory_);
}

bool frmLayout1::QueryInitialValues() {
    const QueryTable& q = main_.queryTable();
    QuerySECMemory();
    QueryDelay();
    QueryMemory();
    for (std::size_t i = 0; i < kChannels; ++i)
        queryInto(q.OvpQuery[i], &ch_[i].ovpReply);
    queryProcedure(q.OutputStateQuery, "SetupOutputOnOff");
    queryProcedure(q.CouplingQuery, "SetupOutputMode");
    queryProcedure(q.AutoStateQuery, "SetupAutoRun");
    for (std::size_t i = 0; i < kChannels; ++i)
        queryInto(q.OcpQuery[i], &ch_[i].ocpReply);
    for (std::size_t i = 0; i < kChannels; ++i)
        queryInto(q.SetVoltQuery[i], &ch_[i].setVolt);
    for (std::size_t i = 0; i < kChannels; ++i)
        queryInto(q.SetCurrQuery[i], &ch_[i].setCurr);
    for (std::size_t i = 0; i < kChannels; ++i) {
        queryInto(q.MeasVoltQuery[i], ch_[i].ui.voltage);
        queryInto(q.MeasCurrQuery[i], ch_[i].ui.current);
    }
    return main_.runInitialQueryDialog();
}

void frmLayout1::SetupOutputOnOff(const QString& reply) {
    main_.DoOutput(reply != QLatin1String("0"));
}

void frmLayout1::SetupOutputMode(const QString& reply) {
    main_.SetMenuOutputModeAllUnchecked();
    modeAction(couplingFromReply(reply));
}

void frmLayout1::SetupAutoRun(const QString& reply) {
    main_.DoAutoRun(reply != QLatin1String("0"));
}

void frmLayout1::SetAllEnabled() {
    setControlsEnabled(true);
    SetOutputOffDisplay();
}

void frmLayout1::SetParallelDisableMode() {
    SetAllEnabled();
    const ChannelControls& c = ch_[0].ui;
    for (QWidget* w : std::initializer_list<QWidget*>{c.numVoltage, c.numCurrent, c.numOVP, c.ocp})
        w->setEnabled(false);
}

void frmLayout1::SetTrackDisableMode() {
    SetAllEnabled();
    ch_[0].ui.numVoltage->setEnabled(false);
    ch_[0].ui.numOVP->setEnabled(false);
}

void frmLayout1::SetAutoRunDisableMode() {
    SetAllDisabled();
    // Reachable while the instrument runs its memory sequence; their group
    // frames must be enabled for them to be.
    for (QPushButton* b : {btnClear_, tbnAutoRun_, tbnOutput_}) {
        for (QWidget* w = b; w && w != this; w = w->parentWidget())
            w->setEnabled(true);
    }
}

void frmLayout1::SetOutputOffDisplay() {
    for (Channel& c : ch_)
        c.ui.blank();
}

void frmLayout1::setAutoRunButton(bool on) {
    const QSignalBlocker block(tbnAutoRun_);
    tbnAutoRun_->setChecked(on);
}

} // namespace trq
