#include "panels/frontpanel.h"

#include "link/commtasker.h"
#include "panels/panelwidgets.h"
#include "panels/settingsdialogs.h"
#include "panels/textfield.h"
#include "shell/debugtrace.h"
#include "shell/mdiform1.h"
#include "shell/prompter.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace trq {

const QString FrontPanel::kText = QStringLiteral("Text");

FrontPanel::FrontPanel(MDIForm1& main, CommTasker& tasker, DataForm& database, QWidget* parent)
    : QWidget(parent), main_(main), tasker_(tasker), data_(database) {
    setWindowTitle(QStringLiteral("Control"));
}

void FrontPanel::AfterQueryInitialValuesBeforeShow() {
    dlgReadTimes readTimes;
    readTimes.GetSettings();
    tasker_.setQueryCmdMaxMsec(readTimes.ReadTimes() * 1000);
}

MachineTypeRecord FrontPanel::channelRecord(int n) const {
    const QString& model = main_.MachineType;
    std::optional<MachineTypeRecord> record = data_.find(model);
    if (record && record->perChannel)
        record = data_.find(model + QLatin1Char('#') + QString::number(n));
    return record.value_or(MachineTypeRecord{});
}

QGroupBox* FrontPanel::buildModeGroup(const QString& trackCaption, bool vertical) {
    auto* group = new QGroupBox(QStringLiteral("MODE"), this);
    optIndep_ = new QRadioButton(QStringLiteral("INDEP"), group);
    optParal_ = new QRadioButton(QStringLiteral("PARALLEL"), group);
    optTrack_ = new QRadioButton(trackCaption, group);
    auto* layout =
        new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, group);
    for (QRadioButton* b : {optIndep_, optParal_, optTrack_})
        layout->addWidget(b);
    optIndep_->setChecked(true);
    return group;
}

QPushButton* FrontPanel::buildOutputButton() {
    tbnOutput_ = makeSwitch(QStringLiteral("OUTPUT"), this);
    tbnOutput_->setMinimumSize(120, 40);
    return tbnOutput_;
}

QRadioButton* FrontPanel::option(Coupling mode) const {
    switch (mode) {
    case Coupling::Independent:
        return optIndep_;
    case Coupling::Parallel:
        return optParal_;
    case Coupling::Tracking:
        return optTrack_;
    }
    return optIndep_;
}

void FrontPanel::modeAction(Coupling mode) {
    switch (mode) {
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

void FrontPanel::SetOutputModeEnabled() {
    if (const auto mode = selectedMode())
        modeAction(*mode);
}

void FrontPanel::setControlsEnabled(bool on) {
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(on);
}

void FrontPanel::queryInto(const QString& text, QObject* field) {
    tasker_.ExecQueryTask(text, 5, field, kText, CommTasker::AssignProperty);
}

void FrontPanel::watchReadings() {
    if (watching_)
        return;
    watching_ = true;
    for (int i = 0; i < channelCount(); ++i)
        for (TextField* display : {controls(i).voltage, controls(i).current})
            connect(display, &TextField::replied, this, [this] { ++readings_; });
}

void FrontPanel::errorReplyReceived(const QString& reply) {
    switch (readErrorReply(reply)) {
    case ErrorReply::NoError:
        return;
    case ErrorReply::Unreadable:
        printd(QStringLiteral("Error query: not an error-queue answer, ignored: '") + reply +
               QLatin1Char('\''));
        return;
    case ErrorReply::Error:
        break;
    }
    // The reply arrives inside the link's delivery: the off command is queued
    // now and the box waits until the delivery has returned, so the command
    // reaches the supply on the next writer tick, not after the user's OK.
    main_.DoOutput(false);
    if (errorShown_) {
        printd(QStringLiteral("Error detected while its box is up: '") + reply + QLatin1Char('\''));
        return;
    }
    errorShown_ = true;
    QTimer::singleShot(0, this, [this, reply] {
        main_.prompter().message(QStringLiteral("Error detected: '") + reply + QLatin1Char('\''));
        errorShown_ = false;
    });
}

void FrontPanel::setOutputButton(bool on) {
    const QSignalBlocker block(tbnOutput_);
    tbnOutput_->setChecked(on);
    IsOutput = on; // the button's state, however it was switched
}

void FrontPanel::setModeOption(Coupling mode) {
    QRadioButton* b = option(mode);
    const QSignalBlocker block(b);
    b->setChecked(true);
}

std::optional<Coupling> FrontPanel::selectedMode() const {
    for (Coupling m : {Coupling::Independent, Coupling::Parallel, Coupling::Tracking})
        if (option(m)->isChecked())
            return m;
    return std::nullopt;
}

QString withoutUnit(QString text, QChar unit) {
    if (text.endsWith(unit))
        text.chop(1);
    return text;
}

QString FrontPanel::measuredVoltage(int index) const {
    return txtVoltage(index)->text();
}

QString FrontPanel::measuredCurrent(int index) const {
    return txtCurrent(index)->text();
}

} // namespace trq
