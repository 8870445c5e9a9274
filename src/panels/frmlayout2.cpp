#include "panels/frmlayout2.h"

#include "link/commtasker.h"
#include "panels/numedit.h"
#include "panels/textfield.h"
#include "shell/debugtrace.h"
#include "shell/mdiform1.h"
#include "shell/prompter.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace trq {

frmLayout2::frmLayout2(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent)
    : FrontPanel(main, tasker, database, parent), numSet_(new QSpinBox(this)) {
    setObjectName(QStringLiteral("frmLayout2"));
    setWindowTitle(QStringLiteral("Control"));
    ch_.build(this, QStringLiteral("OUTPUT"), true);
    // One channel: room for larger readings.
    for (TextField* display : {ch_.voltage, ch_.current}) {
        QFont font = display->font();
        font.setPointSize(30);
        display->setFont(font);
        display->setFixedWidth(300);
    }

    QGroupBox* mode = buildModeGroup(QStringLiteral("SERIES"), true);
    numSet_->setRange(0, 2);
    numSet_->setSingleStep(1);
    numSet_->setEnabled(false);
    auto* setsRow = new QHBoxLayout;
    setsRow->addWidget(new QLabel(QStringLiteral("Sets"), mode));
    setsRow->addWidget(numSet_);
    static_cast<QBoxLayout*>(mode->layout())->addLayout(setsRow);

    buildOutputButton();
    btnClear_ = new QPushButton(QStringLiteral("Clear Protection"), this);
    txtCommType_ = new QLabel(this);
    auto* side = new QVBoxLayout;
    side->addWidget(mode);
    side->addWidget(tbnOutput_);
    side->addWidget(btnClear_);
    side->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(ch_.frame);
    row->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(txtCommType_);

    main_.iSet = 0;

    connect(ch_.numVoltage, &NumEdit::valueChangedFrom, this, [this](double v, double p) {
        valueChanged(ch_.numVoltage, SetCommand::Voltage, v, p);
    });
    connect(ch_.numCurrent, &NumEdit::valueChangedFrom, this, [this](double v, double p) {
        valueChanged(ch_.numCurrent, SetCommand::Current, v, p);
    });
    connect(ch_.numOVP, &NumEdit::valueChangedFrom, this, [this](double v, double p) {
        valueChanged(ch_.numOVP, SetCommand::OverVoltage, v, p);
    });
    connect(ch_.ocp, &QPushButton::clicked, this, [this](bool on) {
        if (main_.MainFormState == MDIForm1::kReady)
            send(SetCommand::OverCurrent, {}, on ? 1 : 0);
    });
    // Only a measured reply counts, not the panel's own start-up display.
    connect(ch_.voltage, &TextField::replied, this,
            [this](const QString& t) { voltageSeen_[0] = voltageSeen_[0] || !t.isEmpty(); });
    connect(ch_.current, &TextField::replied, this,
            [this](const QString& t) { currentSeen_[0] = currentSeen_[0] || !t.isEmpty(); });
    connect(&setVolt_, &ReplyField::Change, this, [this](const QString& t) {
        printd(QStringLiteral("txtSetVolt_Change0:") + t);
        settingReceived(ch_.numVoltage, QLatin1Char('V'), t);
    });
    connect(&setCurr_, &ReplyField::Change, this,
            [this](const QString& t) { settingReceived(ch_.numCurrent, QLatin1Char('A'), t); });
    connect(&ovpReply_, &ReplyField::Change, this,
            [this](const QString& t) { settingReceived(ch_.numOVP, QLatin1Char('V'), t); });
    connect(&ocpReply_, &ReplyField::Change, this,
            [this](const QString& t) { ch_.ocp->setChecked(t == QLatin1String("1")); });
    connect(&txtError_, &ReplyField::Change, this, [this](const QString& t) {
        if (t.isEmpty())
            return;
        errorReplyReceived(t);
        txtError_.setText({}); // the same error again is seen again
    });
    connect(&txtSets_, &ReplyField::Change, this, &frmLayout2::txtSets_Change);
    connect(numSet_, &QSpinBox::valueChanged, this, [this](int v) {
        main_.iSet = v;
        if (v == 0)
            optIndep_Click();
    });
    connect(optIndep_, &QRadioButton::clicked, this, &frmLayout2::optIndep_Click);
    connect(optParal_, &QRadioButton::clicked, this, &frmLayout2::optParal_Click);
    connect(optTrack_, &QRadioButton::clicked, this, &frmLayout2::optTrack_Click);
    connect(tbnOutput_, &QPushButton::clicked, this, [this](bool on) {
        main_.DoOutput(on);
        IsOutput = on;
    });
    connect(btnClear_, &QPushButton::clicked, this, [this] {
        if (main_.MainFormState == MDIForm1::kReady)
            main_.sendCommand(
                composeCommand(CommandFamily::Scpi1, SetCommand::ClearProtection, {}));
    });
}

void frmLayout2::SetupLayout() {
    watchReadings();
    ch_.configure(channelRecord(1));
    txtCommType_->setText(main_.interfaceDescription());
    tasker_.setQueryCmdCnt(kPollCycle);
    tasker_.setQueryCmdMaxMsec(0);
}

void frmLayout2::send(SetCommand command, const QString& value, int number) {
    // The single-channel texts, or channel 1 of the three-channel ones.
    const CommandFamily family = main_.MachineType.contains(QLatin1String("DNB"))
                                     ? CommandFamily::Scpi1
                                     : CommandFamily::Scpi3;
    main_.sendCommand(composeCommand(family, command, {1, value, number}));
}

void frmLayout2::DoQuery() {
    const QueryTable& q = main_.queryTable();
    const int k = counter_ % kPollCycle;
    const QString& text = k == 0 ? q.MeasVoltQuery[0] : k == 1 ? q.MeasCurrQuery[0] : q.ErrorQuery;
    QObject* field = k == 0   ? static_cast<QObject*>(ch_.voltage)
                     : k == 1 ? static_cast<QObject*>(ch_.current)
                              : &txtError_;
    if (tasker_.ExecQueryTask(text, 5, field, kText, CommTasker::AssignProperty))
        counter_ = (counter_ + 1) % kCounterWrap;
}

bool frmLayout2::QueryInitialValues() {
    const QueryTable& q = main_.queryTable();
    queryInto(q.OvpQuery[0], &ovpReply_);
    tasker_.ExecQueryTask(q.OutputStateQuery, 5, this, QStringLiteral("SetupOutputOnOff"),
                          CommTasker::CallProcedure);
    queryInto(q.OcpQuery[0], &ocpReply_);
    queryInto(q.SetVoltQuery[0], &setVolt_);
    queryInto(q.SetCurrQuery[0], &setCurr_);
    queryInto(q.MeasVoltQuery[0], ch_.voltage);
    queryInto(q.MeasCurrQuery[0], ch_.current);
    return main_.runInitialQueryDialog();
}

void frmLayout2::SetupOutputOnOff(const QString& reply) {
    main_.DoOutput(reply != QLatin1String("0"));
}

void frmLayout2::valueChanged(NumEdit* edit, SetCommand command, double v, double previous) {
    if (v < edit->lowest()) {
        edit->setValueQuietly(previous);
        return;
    }
    if (main_.MainFormState != MDIForm1::kReady)
        return;
    const bool gated = !settingsSeen_ || (command == SetCommand::Current && !currentSeen_[0]) ||
                       (command == SetCommand::OverVoltage && !voltageSeen_[0]);
    if (gated) {
        // Not sent: the edit must not show a value the supply never got.
        edit->setValueQuietly(previous);
        return;
    }
    send(command, wireNumber(v, {}));
}

void frmLayout2::settingReceived(NumEdit* edit, QChar unit, const QString& text) {
    if (text.isEmpty())
        return;
    if (const auto v = parseNumber(withoutUnit(text, unit)))
        edit->showReplied(*v);
    settingsSeen_ = true;
}

bool frmLayout2::acceptWarning() {
    if (!warning_)
        return true;
    const bool yes =
        main_.prompter().ask(QStringLiteral("If you want to use the Parallel or Series feature, "
                                            "read the Parallel/Series Operation chapter of User "
                                            "Manual first."),
                             {}, Prompter::Icon::Question,
                             Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
    if (yes)
        warning_ = false;
    return yes;
}

void frmLayout2::optIndep_Click() {
    main_.mnuIndep_Click();
    numSet_->setEnabled(false); // after the action, which enables every control
    modeCode_ = 0;
}

void frmLayout2::optParal_Click() {
    numSet_->setEnabled(true);
    const bool askSets = warning_;
    if (askSets && !acceptWarning()) {
        numSet_->setEnabled(false);
        return;
    }
    main_.mnuParallel_Click();
    // Queued after the mode action, whose reset of queued polls would
    // otherwise cancel it; on the wire it still follows the mode command.
    if (askSets)
        queryInto(QStringLiteral("SYST:CONF:MSL?"), &txtSets_);
    modeCode_ = 2;
}

void frmLayout2::optTrack_Click() {
    if (!acceptWarning())
        return;
    numSet_->setEnabled(true);
    main_.mnuTrack_Click();
    modeCode_ = 1;
}

void frmLayout2::txtSets_Change(const QString& text) {
    for (QRadioButton* b : {optIndep_, optParal_, optTrack_})
        b->setEnabled(true);
    const auto x = parseNumber(text);
    if (!x)
        return;
    if (*x == 0 || *x == 1 || *x == 2) {
        const int sets = int(*x);
        {
            const QSignalBlocker block(numSet_);
            numSet_->setValue(sets);
        }
        main_.iSet = sets;
        // The instrument's mode takes the same path as the user's click, so
        // the panel, the menu and the mode code agree.
        const int mode = sets == 0 ? 0 : 2;
        const Coupling shown = sets == 0 ? Coupling::Independent : Coupling::Parallel;
        if (mode != modeCode_ || selectedMode() != shown) {
            if (mode == 0) {
                optIndep_Click();
            } else {
                numSet_->setEnabled(true);
                main_.mnuParallel_Click();
                modeCode_ = 2;
            }
        }
    } else if (*x == 3 || *x == 4) {
        // A configuration this panel does not change.
        for (QRadioButton* b : {optIndep_, optParal_, optTrack_})
            b->setEnabled(false);
    }
}

void frmLayout2::SetAllEnabled() {
    setControlsEnabled(true);
}

void frmLayout2::SetParallelDisableMode() {
    SetAllEnabled();
    for (QWidget* w : std::initializer_list<QWidget*>{ch_.numVoltage, ch_.numCurrent, ch_.numOVP})
        w->setEnabled(false);
}

void frmLayout2::SetTrackDisableMode() {
    SetAllEnabled();
    ch_.numVoltage->setEnabled(false);
    ch_.numOVP->setEnabled(false);
}

void frmLayout2::SetOutputOffDisplay() {
    ch_.blank();
}

} // namespace trq
