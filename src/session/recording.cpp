#include "session/recording.h"

#include "core/numbers.h"
#include "core/prompter.h"
#include "session/instrumentsession.h"
#include "session/recordsetup.h"

namespace trq {

namespace {

RecordingEngine::Source sourceOf(InstrumentSession& s) {
    return {[&s] { return s.isReady(); }, [&s] { return s.supply().outputOn(); },
            [&s](int channel) {
                if (channel >= s.energy().channelCount())
                    return std::pair<double, double>{0, 0};
                const EnergyCounter& e = s.energy().channel(channel);
                return std::pair{e.charge(), e.energy()};
            },
            [&s](int channel) {
                return channel < s.supply().channelCount() &&
                       s.supply().channel(channel).measured();
            },
            [&s] { return s.poll().readingsCurrent(); }};
}

} // namespace

Recording::Recording(InstrumentSession& session, RecordStore& store, Prompter& prompter,
                     int channels, RecordingClock* clock, QObject* parent)
    : QObject(parent), store_(store), prompter_(prompter), record_(store, prompter),
      engine_(store, prompter, sourceOf(session), channels, clock), series_(channels),
      parts_(record_.archive(), engine_) {
    connect(&session.supply(), &SupplyState::readingTaken, &engine_,
            [this](int channel, Quantity quantity, const Reading& reading) {
                engine_.take(channel, quantity == Quantity::Voltage, reading);
            });
    engine_.setDiscardCheck([this] { return record_.mayDiscard(); });
    record_.setScaleSource([this] { return engine_.scale(); });
    engine_.addView(&record_);
    engine_.addView(&series_);
    engine_.addView(&parts_);
    // The last recording stays in the working table until it is cleared,
    // recorded over or replaced by a load; so does its header.
    record_.restore();
}

void Recording::addEvent(const LimitTrip& trip) {
    const RecordEvent e{engine_.pointCount(),
                        RecordingEngine::timeText(engine_.now()),
                        trip.rule.channel,
                        unitOf(trip.rule.quantity),
                        trip.value,
                        trip.bound,
                        textOf(trip.rule.action)};
    if (store_.addEvent(e))
        emit eventAdded(e);
}

void Recording::addStepEvent(int step, const QString& text) {
    const RecordEvent e = RecordEvent::step(engine_.pointCount(),
                                            RecordingEngine::timeText(engine_.now()), step, text);
    if (store_.addEvent(e))
        emit eventAdded(e);
}

void Recording::setArchive(RecordArchive* archive) {
    record_.setArchive(archive);
    parts_.setArchive(record_.archive());
}

void Recording::start() {
    if (engine_.isRecording())
        return; // started again it would only ask to throw itself away
    if (engine_.isArmed())
        engine_.start();
    else
        prompter_.message(tr("Please Setup Record the period first."), {},
                          Prompter::Icon::Information);
}

void Recording::stop() {
    engine_.stop();
}

void Recording::arm(const RecordSetup& setup) {
    engine_.arm(setup.continuous ? RecordingEngine::kContinuous : setup.lengthSeconds(),
                setup.scale, setup.operation);
    parts_.setHours(setup.partHours);
}

bool Recording::refuseWhileRecording() {
    if (!engine_.isRecording())
        return false;
    prompter_.message(tr("A recording is running. Stop it before loading a record."), {},
                      Prompter::Icon::Information);
    return true;
}

void Recording::announceLoaded(const RecordHeader& loaded) {
    emit workingTableReplaced(int(leadingNumber(loaded.showStyle)));
}

std::optional<RecordHeader> Recording::load(const QString& recNo) {
    if (refuseWhileRecording() || !record_.mayDiscard())
        return std::nullopt;
    return record_.load(recNo);
}

} // namespace trq
