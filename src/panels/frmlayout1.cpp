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

namespace {

const QString kText = QStringLiteral("Text");

TextField* display(QWidget* parent, const QString& colour, int pointSize) {
    auto* field = new TextField(parent);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(pointSize);
    font.setBold(true);
    field->setFont(font);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setFocusPolicy(Qt::NoFocus);
    field->setStyleSheet(QStringLiteral("QLineEdit { background: #0c140c; color: %1; border: 1px "
                                        "solid #2a3a2a; border-radius: 3px; padding: 2px 6px; }")
                             .arg(colour));
    return field;
}

QPushButton* switchButton(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setCheckable(true);
    b->setStyleSheet(QStringLiteral("QPushButton:checked { background: #3c8d3c; color: white; "
                                    "font-weight: bold; }"));
    return b;
}

} // namespace

frmLayout1::frmLayout1(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent)
    : FrontPanel(main, tasker, database, parent) {
    setObjectName(QStringLiteral("frmLayout1"));
    setWindowTitle(QStringLiteral("Control"));

    auto* channels = new QHBoxLayout;
    for (int i = 0; i < kChannels; ++i) {
        buildChannel(i);
        channels->addWidget(ch_[std::size_t(i)].frame);
    }

    auto* mode = new QGroupBox(QStringLiteral("MODE"), this);
    optIndep_ = new QRadioButton(QStringLiteral("INDEP"), mode);
    optParal_ = new QRadioButton(QStringLiteral("PARALLEL"), mode);
    optTrack_ = new QRadioButton(QStringLiteral("TRACK"), mode);
    auto* modeLayout = new QVBoxLayout(mode);
    for (QRadioButton* b : {optIndep_, optParal_, optTrack_})
        modeLayout->addWidget(b);
    optIndep_->setChecked(true);

    auto* controls = new QGroupBox(QStringLiteral("OUTPUT"), this);
    tbnOutput_ = switchButton(QStringLiteral("OUTPUT"), controls);
    tbnOutput_->setMinimumHeight(40);
    btnClear_ = new QPushButton(QStringLiteral("Clear Protection"), controls);
    auto* controlsLayout = new QVBoxLayout(controls);
    controlsLayout->addWidget(tbnOutput_);
    controlsLayout->addWidget(btnClear_);

    auto* autoRun = new QGroupBox(QStringLiteral("AUTO RUN"), this);
    auto* autoGrid = new QGridLayout(autoRun);
    txtStartMemory_ = display(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtEndMemory_ = display(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtCycle_ = display(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtDelay_ = display(autoRun, QStringLiteral("#e0e0e0"), 10);
    txtMemory_ = display(autoRun, QStringLiteral("#e0e0e0"), 10);
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
    tbnAutoRun_ = switchButton(QStringLiteral("AUTO RUN"), autoRun);
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
    c.frame = new QGroupBox(LoadResString(281 + i), this);
    c.voltage = display(c.frame, QStringLiteral("#7CFC00"), 22);
    c.current = display(c.frame, QStringLiteral("#ffb000"), 22);
    // A line edit asks for room for many characters; a reading needs six.
    c.voltage->setFixedWidth(180);
    c.current->setFixedWidth(180);
    c.numVoltage = new NumEdit(c.frame);
    c.numCurrent = new NumEdit(c.frame);
    c.numOVP = new NumEdit(c.frame);
    c.ocp = switchButton(QStringLiteral("OCP"), c.frame);

    auto* grid = new QGridLayout(c.frame);
    grid->addWidget(c.voltage, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("V"), c.frame), 0, 1);
    grid->addWidget(c.current, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("A"), c.frame), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Set voltage"), c.frame), 2, 0);
    grid->addWidget(c.numVoltage, 3, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Set current"), c.frame), 4, 0);
    grid->addWidget(c.numCurrent, 5, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Over-voltage"), c.frame), 6, 0);
    grid->addWidget(c.numOVP, 7, 0, 1, 2);
    grid->addWidget(c.ocp, 8, 0, 1, 2);

    connect(c.numVoltage, &NumEdit::valueChangedFrom, this, [this, i](double v, double p) {
        valueChanged(i, ch_[std::size_t(i)].numVoltage, SetCommand::Voltage, v, p);
    });
    connect(c.numCurrent, &NumEdit::valueChangedFrom, this, [this, i](double v, double p) {
        valueChanged(i, ch_[std::size_t(i)].numCurrent, SetCommand::Current, v, p);
    });
    connect(c.numOVP, &NumEdit::valueChangedFrom, this, [this, i](double v, double p) {
        valueChanged(i, ch_[std::size_t(i)].numOVP, SetCommand::OverVoltage, v, p);
    });
    connect(c.ocp, &QPushButton::clicked, this, [this, i](bool on) {
        if (main_.MainFormState == MDIForm1::kReady)
            send(composeCommand(CommandFamily::Scpi3, SetCommand::OverCurrent,
                                {i + 1, {}, on ? 1 : 0}));
    });

    // Change handlers of the reply and display fields.
    connect(c.voltage, &QLineEdit::textChanged, this, [this, i] {
        if (i == 0 && optParal_->isChecked())
            ch_[0].voltage->setText({});
    });
    connect(c.current, &QLineEdit::textChanged, this, [this, i] {
        if (i == 0 && optParal_->isChecked()) {
            ch_[0].voltage->setText({});
            ch_[0].current->setText({});
        }
    });
    connect(&c.setVolt, &ReplyField::Change, this, [this, i](const QString& text) {
        printd(QStringLiteral("txtSetVolt_Change") + QString::number(i) + QLatin1Char(':') + text);
        if (auto v = parseNumber(text))
            ch_[std::size_t(i)].numVoltage->setValue(*v);
        ch_[std::size_t(i)].setVolt.setText({});
    });
    connect(&c.setCurr, &ReplyField::Change, this, [this, i](const QString& text) {
        if (auto v = parseNumber(text))
            ch_[std::size_t(i)].numCurrent->setValue(*v);
    });
    connect(&c.ovpReply, &ReplyField::Change, this, [this, i](const QString& text) {
        if (auto v = parseNumber(text))
            ch_[std::size_t(i)].numOVP->setValue(*v);
    });
    connect(&c.ocpReply, &ReplyField::Change, this, [this, i](const QString& text) {
        ch_[std::size_t(i)].ocp->setChecked(text == QLatin1String("1"));
    });
}

void frmLayout1::send(const QString& text) {
    tasker_.ExecCmdTask(text, 0, this, {}, CommTasker::CallProcedure);
}

void frmLayout1::query(const QString& text, QObject* field) {
    tasker_.ExecQueryTask(text, 5, field, kText, CommTasker::AssignProperty);
}

void frmLayout1::queryProcedure(const QString& text, const char* procedure) {
    tasker_.ExecQueryTask(text, 5, this, QString::fromLatin1(procedure), CommTasker::CallProcedure);
}

void frmLayout1::valueChanged(int i, NumEdit* edit, SetCommand command, double v, double previous) {
    if (v < edit->minimum()) {
        const QSignalBlocker block(edit);
        edit->setValue(previous);
        return;
    }
    if (main_.MainFormState != MDIForm1::kReady)
        return;
    const QString value =
        formatNumber(v, QStringLiteral("###0.###")).replace(QLatin1Char(','), QLatin1Char('.'));
    send(composeCommand(CommandFamily::Scpi3, command, {i + 1, value, 0}));
}

void frmLayout1::txtError_Change(const QString& text) {
    if (isNoError(text))
        return;
    main_.DoOutput(false);
    main_.prompter().message(QStringLiteral("Error detected: '") + text + QLatin1Char('\''));
}

void frmLayout1::SetupLayout() {
    const std::optional<MachineTypeRecord> base = data_.find(main_.MachineType);
    for (int n = 1; n <= kChannels; ++n) {
        std::optional<MachineTypeRecord> rec = base;
        if (base && base->perChannel)
            rec = data_.find(main_.MachineType + QLatin1Char('#') + QString::number(n));
        Channel& c = ch_[std::size_t(n - 1)];
        const MachineTypeRecord r = rec.value_or(MachineTypeRecord{});
        const std::pair<NumEdit*, std::array<QVariant, 3>> edits[] = {
            {c.numVoltage, {r.maxVolt, r.stepVolt, r.fmtVolt}},
            {c.numCurrent, {r.maxCurr, r.stepCurr, r.fmtCurr}},
            {c.numOVP, {r.maxOvp, r.stepOvp, r.fmtOvp}},
        };
        for (const auto& [edit, values] : edits) {
            const QSignalBlocker block(edit);
            edit->setMinimum(0);
            edit->setMaximum(values[0].toDouble());
            if (values[1].toDouble() > 0)
                edit->setSingleStep(values[1].toDouble());
            edit->setFormat(values[2].toString());
            edit->setValue(0);
        }
        c.voltage->setText(formatNumber(0, QStringLiteral("0") + r.fmtVolt));
        c.current->setText(formatNumber(0, QStringLiteral("0") + r.fmtCurr));
    }
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
        target = k % 2 == 0 ? ch_[ch].voltage : ch_[ch].current;
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
    query(q.AutoStartQuery, txtStartMemory_);
    query(q.AutoEndQuery, txtEndMemory_);
    query(q.AutoCycleQuery, txtCycle_);
}

void frmLayout1::QueryDelay() {
    query(main_.queryTable().AutoDelayQuery, txtDelay_);
}

void frmLayout1::QueryMemory() {
    query(main_.queryTable().MemoryQuery, txtMemory_);
}

bool frmLayout1::QueryInitialValues() {
    const QueryTable& q = main_.queryTable();
    QuerySECMemory();
    QueryDelay();
    QueryMemory();
    for (std::size_t i = 0; i < kChannels; ++i)
        query(q.OvpQuery[i], &ch_[i].ovpReply);
    queryProcedure(q.OutputStateQuery, "SetupOutputOnOff");
    queryProcedure(q.CouplingQuery, "SetupOutputMode");
    queryProcedure(q.AutoStateQuery, "SetupAutoRun");
    for (std::size_t i = 0; i < kChannels; ++i)
        query(q.OcpQuery[i], &ch_[i].ocpReply);
    for (std::size_t i = 0; i < kChannels; ++i)
        query(q.SetVoltQuery[i], &ch_[i].setVolt);
    for (std::size_t i = 0; i < kChannels; ++i)
        query(q.SetCurrQuery[i], &ch_[i].setCurr);
    for (std::size_t i = 0; i < kChannels; ++i) {
        query(q.MeasVoltQuery[i], ch_[i].voltage);
        query(q.MeasCurrQuery[i], ch_[i].current);
    }
    return main_.runInitialQueryDialog();
}

void frmLayout1::SetupOutputOnOff(const QString& reply) {
    main_.DoOutput(reply != QLatin1String("0"));
}

void frmLayout1::SetupOutputMode(const QString& reply) {
    main_.SetMenuOutputModeAllUnchecked();
    switch (couplingFromReply(reply)) {
    case Coupling::Independent:
        main_.mnuIndep_Click();
        break;
    case Coupling::Parallel:
        main_.mnuParallel_Click();
        break;
    case Coupling::Tracking:
        main_.mnuTrack_Click();
        break;
    }
}

void frmLayout1::SetupAutoRun(const QString& reply) {
    main_.DoAutoRun(reply != QLatin1String("0"));
}

void frmLayout1::setControlsEnabled(bool on) {
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(on);
}

void frmLayout1::SetAllEnabled() {
    setControlsEnabled(true);
    SetOutputOffDisplay();
}

void frmLayout1::SetAllDisabled() {
    setControlsEnabled(false);
}

void frmLayout1::SetParallelDisableMode() {
    SetAllEnabled();
    for (QWidget* w :
         {static_cast<QWidget*>(ch_[0].numVoltage), static_cast<QWidget*>(ch_[0].numCurrent),
          static_cast<QWidget*>(ch_[0].numOVP), static_cast<QWidget*>(ch_[0].ocp)})
        w->setEnabled(false);
}

void frmLayout1::SetTrackDisableMode() {
    SetAllEnabled();
    ch_[0].numVoltage->setEnabled(false);
    ch_[0].numOVP->setEnabled(false);
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

void frmLayout1::SetOutputModeEnabled() {
    if (optIndep_->isChecked())
        main_.mnuIndep_Click();
    else if (optParal_->isChecked())
        main_.mnuParallel_Click();
    else if (optTrack_->isChecked())
        main_.mnuTrack_Click();
}

void frmLayout1::SetOutputOffDisplay() {
    for (Channel& c : ch_) {
        c.voltage->setText({});
        c.current->setText({});
    }
}

void frmLayout1::setOutputButton(bool on) {
    const QSignalBlocker block(tbnOutput_);
    tbnOutput_->setChecked(on);
}

void frmLayout1::setModeOption(Coupling mode) {
    QRadioButton* b = mode == Coupling::Independent ? optIndep_
                      : mode == Coupling::Parallel  ? optParal_
                                                    : optTrack_;
    const QSignalBlocker block(b);
    b->setChecked(true);
}

std::optional<Coupling> frmLayout1::selectedMode() const {
    if (optIndep_->isChecked())
        return Coupling::Independent;
    if (optParal_->isChecked())
        return Coupling::Parallel;
    if (optTrack_->isChecked())
        return Coupling::Tracking;
    return std::nullopt;
}

void frmLayout1::setAutoRunButton(bool on) {
    const QSignalBlocker block(tbnAutoRun_);
    tbnAutoRun_->setChecked(on);
}

QString frmLayout1::measuredVoltage(int index) const {
    return ch_[std::size_t(index)].voltage->text();
}

QString frmLayout1::measuredCurrent(int index) const {
    return ch_[std::size_t(index)].current->text();
}

} // namespace trq
