#include "ui/frontpanel.h"

#include "core/numbers.h"
#include "core/strings.h"
#include "session/instrumentsession.h"
#include "ui/numedit.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

namespace trq {

FrontPanel::FrontPanel(InstrumentSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("FrontPanel"));
    setWindowTitle(tr("Control"));
    const LayoutProfile& profile = *session.profile();
    channels_.resize(std::size_t(profile.channels));
    // One channel alone gets the room for larger readings.
    const bool single = profile.channels == 1;
    for (int i = 0; i < profile.channels; ++i) {
        ChannelControls& c = channels_[std::size_t(i)];
        c.build(this, single ? tr("OUTPUT") : channelCaption(i + 1), profile.protection);
        if (single)
            for (QLineEdit* display : {c.voltage, c.current}) {
                QFont font = display->font();
                font.setPointSize(30);
                display->setFont(font);
                display->setFixedWidth(300);
            }
        const ChannelState& state = session.supply().channel(i);
        ChannelControls::configure(c.numVoltage, state.limits[std::size_t(Setting::Voltage)]);
        ChannelControls::configure(c.numCurrent, state.limits[std::size_t(Setting::Current)]);
        ChannelControls::configure(c.numOVP, state.limits[std::size_t(Setting::OverVoltage)]);
        connectChannel(i);
        showReadings(i);
    }
    output_ = makeSwitch(tr("OUTPUT"), this);
    output_->setMinimumSize(120, 40);
    if (profile.clearProtection)
        clear_ = new QPushButton(tr("Clear Protection"), this);
    interface_ = new QLabel(session.connection().interfaceDescription(), this);
    interface_->setObjectName(QStringLiteral("interfaceDescription"));
    resetDelivered_ = new QPushButton(tr("Reset Ah/Wh"), this);
    arrange(profile);
    connect(resetDelivered_, &QPushButton::clicked, this, [this] { session_.energy().reset(); });
    connect(&session, &InstrumentSession::deliveredChanged, this, &FrontPanel::showDelivered);
    connect(&session, &InstrumentSession::limitsChanged, this, &FrontPanel::showLimits);
    connect(&session, &InstrumentSession::limitTripped, this, &FrontPanel::showLimits);
    for (int i = 0; i < channelCount(); ++i)
        showDelivered(i);
    showLimits();

    for (Coupling mode : {Coupling::Independent, Coupling::Parallel, Coupling::Tracking})
        connect(option(mode), &QRadioButton::clicked, this, [this, mode] {
            session_.control().chooseCoupling(mode);
            // A refused choice (the warning's No) leaves the option as it was.
            showCoupling(session_.supply().coupling());
        });
    connect(output_, &QPushButton::clicked, this,
            [this](bool on) { session_.control().switchOutput(on); });
    if (clear_)
        connect(clear_, &QPushButton::clicked, this,
                [this] { session_.control().clearProtection(); });
    if (sets_)
        connect(sets_, &QSpinBox::valueChanged, this,
                [this](int v) { session_.control().setSets(v); });

    connect(&session, &InstrumentSession::readingsChanged, this, &FrontPanel::showReadings);
    connect(&session, &InstrumentSession::couplingChanged, this, &FrontPanel::showCoupling);
    connect(&session, &InstrumentSession::locksChanged, this, &FrontPanel::showLocks);
    connect(&session, &InstrumentSession::outputChanged, this, [this](bool on) {
        const QSignalBlocker block(output_);
        output_->setChecked(on);
    });
    connect(&session, &InstrumentSession::autoRunChanged, this, [this](bool on) {
        if (autoRun_) {
            const QSignalBlocker block(autoRun_);
            autoRun_->setChecked(on);
        }
    });
    connect(&session, &InstrumentSession::setsChanged, this, [this](int sets) {
        if (sets_) {
            const QSignalBlocker block(sets_);
            sets_->setValue(sets);
        }
    });
    connect(&session, &InstrumentSession::autoRunValuesChanged, this, [this] {
        const AutoRunValues& v = session_.supply().autoRunValues();
        const QString texts[] = {v.start, v.end, v.cycle, v.delay, v.memory};
        for (std::size_t i = 0; i < autoFields_.size(); ++i)
            autoFields_[i]->setText(texts[i]);
    });
    showCoupling(session.supply().coupling());
    showLocks();
}

QRadioButton* FrontPanel::option(Coupling mode) const {
    switch (mode) {
    case Coupling::Independent:
        return indep_;
    case Coupling::Parallel:
        return parallel_;
    case Coupling::Tracking:
        return track_;
    }
    return indep_;
}

QWidget* FrontPanel::buildModeGroup(bool vertical) {
    auto* group = new QGroupBox(tr("MODE"), this);
    indep_ = new QRadioButton(tr("INDEP"), group);
    parallel_ = new QRadioButton(tr("PARALLEL"), group);
    track_ = new QRadioButton(tr(session_.profile()->trackCaption), group);
    auto* layout =
        new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, group);
    for (QRadioButton* b : {indep_, parallel_, track_})
        layout->addWidget(b);
    indep_->setChecked(true);
    if (session_.profile()->sets) {
        sets_ = new QSpinBox(group);
        sets_->setRange(0, 2);
        sets_->setSingleStep(1);
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(tr("Sets"), group));
        row->addWidget(sets_);
        layout->addLayout(row);
    }
    return group;
}

QWidget* FrontPanel::buildAutoRunGroup() {
    auto* group = new QGroupBox(tr("AUTO RUN"), this);
    auto* grid = new QGridLayout(group);
    const QString labels[] = {text(Text::StartMemory), text(Text::EndMemory), text(Text::Cycle),
                              tr("Delay (x 100ms):"), tr("Memory:")};
    int row = 0;
    for (const QString& label : labels) {
        QLineEdit* field = makeDisplay(group, QStringLiteral("#e0e0e0"), 10);
        field->setFixedWidth(72);
        autoFields_.push_back(field);
        grid->addWidget(new QLabel(label, group), row, 0);
        grid->addWidget(field, row++, 1);
    }
    autoRun_ = makeSwitch(tr("AUTO RUN"), group);
    auto* change = new QPushButton(tr("Change"), group);
    auto* save = new QPushButton(tr("Save"), group);
    auto* recall = new QPushButton(tr("Recall"), group);
    grid->addWidget(autoRun_, 0, 2);
    grid->addWidget(change, 1, 2);
    grid->addWidget(save, 3, 2);
    grid->addWidget(recall, 4, 2);
    connect(autoRun_, &QPushButton::clicked, this,
            [this](bool on) { session_.control().setAutoRun(on); });
    connect(change, &QPushButton::clicked, this, &FrontPanel::autoRangeRequested);
    connect(save, &QPushButton::clicked, this, &FrontPanel::saveMemoryRequested);
    connect(recall, &QPushButton::clicked, this, &FrontPanel::recallMemoryRequested);
    return group;
}

void FrontPanel::arrange(const LayoutProfile& profile) {
    auto* layout = new QVBoxLayout(this);
    if (profile.sets) {
        // One channel, and beside it the coupling, the output and clear.
        auto* side = new QVBoxLayout;
        side->addWidget(buildModeGroup(true));
        side->addWidget(output_);
        if (clear_)
            side->addWidget(clear_);
        side->addStretch(1);
        auto* row = new QHBoxLayout;
        row->addWidget(channels_.front().frame);
        row->addLayout(side);
        layout->addLayout(row);
    } else {
        auto* row = new QHBoxLayout;
        for (const ChannelControls& c : channels_)
            row->addWidget(c.frame);
        layout->addLayout(row);
        auto* bottom = new QHBoxLayout;
        if (profile.autoRunAndMemories) {
            bottom->addWidget(buildModeGroup(true));
            auto* controls = new QGroupBox(tr("OUTPUT"), this);
            auto* controlsLayout = new QVBoxLayout(controls);
            controlsLayout->addWidget(output_);
            if (clear_)
                controlsLayout->addWidget(clear_);
            bottom->addWidget(controls);
            bottom->addWidget(buildAutoRunGroup());
        } else {
            bottom->addWidget(buildModeGroup(false));
            bottom->addWidget(output_);
        }
        bottom->addStretch(1);
        layout->addLayout(bottom);
    }
    auto* last = new QHBoxLayout;
    last->addWidget(interface_, 1);
    last->addWidget(resetDelivered_);
    layout->addLayout(last);
}

void FrontPanel::connectChannel(int i) {
    const ChannelControls& c = channels_[std::size_t(i)];
    const std::pair<NumEdit*, Setting> edits[] = {{c.numVoltage, Setting::Voltage},
                                                  {c.numCurrent, Setting::Current},
                                                  {c.numOVP, Setting::OverVoltage}};
    for (const auto& [edit, setting] : edits) {
        if (!edit)
            continue;
        connect(edit, &NumEdit::valueChangedFrom, this,
                [this, i, e = edit, s = setting](double v, double previous) {
                    // A value the supply did not take goes back out of the edit.
                    if (v < e->lowest() || !session_.control().setSetting(i, s, v))
                        e->setValueQuietly(previous);
                });
    }
    if (c.ocp)
        connect(c.ocp, &QPushButton::clicked, this,
                [this, i](bool on) { session_.control().setOverCurrentProtection(i, on); });
    connect(&session_, &InstrumentSession::settingChanged, this,
            [this, i](int channel, Setting setting, double value) {
                if (channel != i)
                    return;
                const ChannelControls& cc = channels_[std::size_t(i)];
                NumEdit* const bySetting[] = {cc.numVoltage, cc.numCurrent, cc.numOVP};
                if (NumEdit* edit = bySetting[int(setting)])
                    edit->showReplied(value);
            });
    connect(&session_, &InstrumentSession::overCurrentChanged, this,
            [this, i](int channel, bool on) {
                if (QPushButton* ocp = channels_[std::size_t(i)].ocp; ocp && channel == i)
                    ocp->setChecked(on);
            });
}

void FrontPanel::showReadings(int i) {
    if (i < 0 || i >= channelCount())
        return;
    const ChannelState& state = session_.supply().channel(i);
    channels_[std::size_t(i)].voltage->setText(shownNumber(state.voltage.text()));
    channels_[std::size_t(i)].current->setText(shownNumber(state.current.text()));
    showDelivered(i);
}

void FrontPanel::showDelivered(int i) {
    if (i < 0 || i >= channelCount())
        return;
    const ChannelState& s = session_.supply().channel(i);
    const EnergyCounter& delivered = session_.energy().channel(i);
    const QLocale shown;
    const std::optional<double> watts = power(s.voltage, s.current);
    const QString wattsText = watts ? shown.toString(*watts, 'f', 3) : QStringLiteral("-");
    channels_[std::size_t(i)].delivered->setText(
        tr("%1 W\n%2 Ah   %3 Wh")
            .arg(wattsText, shown.toString(delivered.charge(), 'f', 4),
                 shown.toString(delivered.energy(), 'f', 4)));
}

void FrontPanel::showLimits() {
    const LimitMonitor& limits = session_.limits();
    for (int i = 0; i < channelCount(); ++i) {
        QLabel* marker = channels_[std::size_t(i)].limitMarker;
        const bool tripped = limits.tripped(i + 1);
        marker->setVisible(limits.watches(i + 1));
        marker->setText(tripped ? tr("LIMIT TRIPPED") : tr("LIMITS"));
        marker->setStyleSheet(tripped ? QStringLiteral("background: #c62828; color: white;")
                                      : QStringLiteral("background: #2e7d32; color: white;"));
    }
}

void FrontPanel::showCoupling(Coupling mode) {
    QRadioButton* b = option(mode);
    const QSignalBlocker block(b);
    b->setChecked(true);
}

void FrontPanel::showLocks() {
    const ControlLocks locks = session_.control().locks();
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(!locks.autoRun);
    if (locks.autoRun) {
        // Usable while the supply runs its memory sequence; their frames
        // must be enabled for them to be.
        for (QWidget* b : {static_cast<QWidget*>(clear_), static_cast<QWidget*>(autoRun_),
                           static_cast<QWidget*>(output_)})
            for (QWidget* w = b; w && w != this; w = w->parentWidget())
                w->setEnabled(true);
        return;
    }
    if (locks.channel >= 0 && locks.channel < channelCount()) {
        const ChannelControls& c = channels_[std::size_t(locks.channel)];
        const std::pair<QWidget*, bool> locked[] = {{c.numVoltage, locks.voltage},
                                                    {c.numCurrent, locks.current},
                                                    {c.numOVP, locks.overVoltage},
                                                    {c.ocp, locks.overCurrent}};
        for (const auto& [w, lock] : locked)
            if (w && lock)
                w->setEnabled(false);
    }
    for (QRadioButton* b : {indep_, parallel_, track_})
        b->setEnabled(locks.couplingChoice);
    if (sets_)
        sets_->setEnabled(locks.sets);
}

} // namespace trq
