#include "session/recordingengine.h"

#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cmath>

namespace trq {

qint64 RecordingClock::monotonicMsec() const {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

RecordingEngine::RecordingEngine(RecordStore& store, Prompter& prompter, Source source,
                                 int channels, RecordingClock* clock, QObject* parent)
    : QObject(parent), store_(store), prompter_(prompter), source_(std::move(source)),
      clock_(clock ? clock : &defaultClock_), unstored_(store) {
    channels_ = std::clamp(channels, 1, 4);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &RecordingEngine::tick);
}

QString RecordingEngine::timeText(const QDateTime& t) {
    return t.toString(QLatin1String(kRecordTimeFormat));
}

void RecordingEngine::arm(int ticks, int scale, int operation) {
    continuous_ = ticks == kContinuous;
    remaining_ = continuous_ ? 0 : ticks;
    timer_.setInterval(1000);
    scaleIndex_ = std::clamp(scale, 0, int(kRecordScales.size()) - 1);
    // A one-second point is its second's readings as read.
    for (PointFold* fold : {&fold_, &second_})
        fold->setUp(PointOperation(std::clamp(operation, 0, 2)), channels_, scaleIndex_ == 0);
    scaleTicks_ = kRecordScales[std::size_t(scaleIndex_)].ticksPerPoint - 1;
}

bool RecordingEngine::start() {
    // A start that is refused clears nothing: the checks come first.
    if (!source_.onLine || !source_.onLine()) {
        prompter_.message(tr("Please check connection with device and then try again!"), {},
                          Prompter::Icon::Information);
        return false;
    }
    if (!source_.outputOn || !source_.outputOn()) {
        prompter_.message(tr("Please setup Device into Auto Run mode and then try again!"), {},
                          Prompter::Icon::Information);
        return false;
    }
    if (store_.isReadOnly()) {
        prompter_.message(tr("The database %1 is open read-only: nothing can be "
                             "recorded.")
                              .arg(QDir::toNativeSeparators(store_.fileName())),
                          {}, Prompter::Icon::Information);
        return false;
    }
    if (mayDiscard_ && !mayDiscard_())
        return false;
    if (!clearAll()) {
        prompter_.message(tr("The recording cannot start: %1").arg(store_.systemErrorText()), {},
                          Prompter::Icon::Critical);
        return false;
    }
    start_ = clock_->now();
    freshReadings(); // what the panel showed before the start is no reading of it
    second_.clear();
    // The planned end: the armed length from now; none while continuous.
    for (RecordingView* v : views_)
        v->recordingStarted(start_, continuous_ ? QDateTime() : start_.addSecs(remaining_));
    running_ = true;
    // Driven, only the bench's step ticks it: two would make two points.
    if (driven_)
        timer_.stop();
    else
        timer_.start();
    emit started();
    return true;
}

void RecordingEngine::stop() {
    const bool wasRunning = running_;
    running_ = false;
    timer_.stop();
    if (!wasRunning)
        return;
    // A last try for points a busy file did not take yet; what is left stays
    // in unstoredPoints() (a run without windows writes them to its CSV).
    if (!storeFailed_)
        unstored_.flush([this](const SampleRow& row) { pointStored(row); });
    for (RecordingView* v : views_)
        v->recordingStopped(start_.addSecs(storedSec_));
    emit stopped(storeFailed_ ? StopReason::StoreFailed : StopReason::Stopped);
}

void RecordingEngine::clearBuffer() {
    points_ = 0;
    windowTick_ = 0;
    fold_.clear();
    for (RecordingView* v : views_)
        v->cleared();
}

bool RecordingEngine::clearAll() {
    if (!store_.clearWorking())
        return false; // what was recorded stays, shown as it was
    gapPending_ = false;
    unstored_.clear();
    clearBuffer();
    elapsedSec_ = 0;
    storedSec_ = 0;
    lastTickMsec_ = -1;
    firstTickMsec_ = -1;
    missedSeconds_ = 0;
    for (RecordingView* v : views_)
        v->dataCleared();
    return true;
}

void RecordingEngine::tick() {
    // A tick lets events run; it must not start again meanwhile.
    if (inTick_)
        return;
    inTick_ = true;
    tickMsec_ = clock_->monotonicMsec();
    storeFailed_ = false;
    // Points a busy file did not take are tried again first, in order.
    if (!unstored_.empty() && !storeWaiting()) {
        inTick_ = false;
        return;
    }
    sample();
    if (storeFailed_) {
        inTick_ = false;
        return;
    }
    if (continuous_) {
        inTick_ = false;
        return;
    }
    --remaining_;
    if (remaining_ < 0) {
        running_ = false;
        timer_.stop();
        for (RecordingView* v : views_)
            v->recordingStopped(start_.addSecs(storedSec_));
        emit stopped(StopReason::LengthReached);
    }
    inTick_ = false;
}

void RecordingEngine::take(int channel, bool voltage, const Reading& reading) {
    if (channel < 0 || channel >= channels_)
        return;
    const std::size_t box = std::size_t(channel * 2 + (voltage ? 0 : 1));
    latest_[box] = reading;
    second_.fold(box, reading);
    ++arrived_;
}

bool RecordingEngine::freshReadings() {
    const bool fresh = arrived_ != lastArrived_;
    lastArrived_ = arrived_;
    return fresh;
}

bool RecordingEngine::allMeasured() const {
    if (!source_.measured)
        return true;
    for (int c = 0; c < channels_; ++c)
        if (!source_.measured(c))
            return false;
    return true;
}

void RecordingEngine::sample() {
    if (firstTickMsec_ < 0)
        firstTickMsec_ = tickMsec_;
    if (windowTick_ == 0)
        windowStartMsec_ = tickMsec_;
    // A second without a new reading (a silent or lost link), or before
    // every channel has been read (just after the output or the coupling
    // changed), records nothing: the last readings again would be invented
    // points, an empty one no measurement. After the first point it is a gap.
    const bool arrived = freshReadings();
    const bool fresh = (arrived || (source_.current && source_.current())) && allMeasured();
    if (!fresh && points_ > 0)
        ++missedSeconds_;
    // The second's readings count when the second does.
    if (fresh)
        fold_.merge(second_);
    second_.clear();
    if (windowTick_ >= scaleTicks_) {
        windowTick_ = 0;
        if (fold_.count() > 0) {
            fold_.fillFrom(latest_);
            writePoint();
        }
        fold_.clear();
    } else {
        ++windowTick_;
    }
}

void RecordingEngine::writePoint() {
    SampleRow row;
    row.seqNo = points_ + qint64(unstored_.size());
    // The first point is stamped with its window's start (later than the
    // recording's start when it had to wait for its first readings).
    const qint64 diff =
        lastTickMsec_ < 0 ? 0 : qint64(std::llround(double(tickMsec_ - lastTickMsec_) / 1000.0));
    if (lastTickMsec_ < 0)
        elapsedSec_ = qint64(std::llround(double(windowStartMsec_ - firstTickMsec_) / 1000.0));
    elapsedSec_ += diff;
    row.recTime = timeText(start_.addSecs(elapsedSec_));
    // The numbers go along with the texts: the graph and the store take
    // them as they are.
    PointValues values;
    for (std::size_t c = 0; c < 4; ++c) {
        const Reading volt = fold_.value(c * 2);
        const Reading curr = fold_.value(c * 2 + 1);
        row.volt[c] = volt.text();
        row.curr[c] = curr.text();
        values.volt[c] = volt.value().value_or(0.0);
        values.curr[c] = curr.value().value_or(0.0);
    }
    // Seconds without readings since the last point, or a clock that says
    // more time went by than the scale's step (a starved timer), are a gap:
    // never silently missing.
    const int step = kRecordScales[std::size_t(scaleIndex_)].ticksPerPoint;
    row.gap = gapPending_ || missedSeconds_ > 0 || (lastTickMsec_ >= 0 && diff > step);
    if (source_.integrals)
        for (int c = 0; c < channels_; ++c) {
            const auto [charge, energy] = source_.integrals(c);
            const auto i = std::size_t(c);
            row.charge[i] = QString::number(charge, 'f', 6);
            row.energy[i] = QString::number(energy, 'f', 6);
            // As stored: the number of the text, not the sum before it.
            values.charge[i] = row.charge[i].toDouble();
            values.energy[i] = row.energy[i].toDouble();
        }
    // Channel 4 only exists on four-channel supplies.
    if (channels_ < 4) {
        row.volt[3].clear();
        row.curr[3].clear();
        values.volt[3] = values.curr[3] = 0;
    }
    row.values = values;
    row.timeTick = elapsedSec_;
    row.diffLastTime = diff;
    lastTickMsec_ = tickMsec_;
    gapPending_ = false;
    missedSeconds_ = 0;
    unstored_.push(std::move(row));
    storeWaiting();
}

void RecordingEngine::pointStored(const SampleRow& row) {
    ++points_;
    storedSec_ = row.timeTick;
    for (RecordingView* v : views_)
        v->pointWritten(row);
}

bool RecordingEngine::storeWaiting() {
    const bool wasWaiting = unstored_.waitingForFile();
    switch (unstored_.store(clock_->monotonicMsec(),
                            [this](const SampleRow& row) { pointStored(row); })) {
    case PointQueue::Outcome::Stored:
        if (wasWaiting)
            emit storeStatus({});
        return true;
    case PointQueue::Outcome::Waiting:
        emit storeStatus(
            tr("The database is busy; points waiting to be stored: %1").arg(unstored_.size()));
        return true;
    case PointQueue::Outcome::Failed:
        break;
    }
    // Nothing more would be stored either: stop first, then say why. The
    // grid and the graph show only the points the file holds. The cause is
    // the refused point's: stopping writes to the file too.
    const QString cause = unstored_.failure();
    storeFailed_ = true;
    stop();
    prompter_.message(tr("The recording has stopped: a point could not be stored in %1 (%2). "
                         "The %3 points stored before it are kept.")
                          .arg(QDir::toNativeSeparators(store_.fileName()), cause)
                          .arg(points_),
                      {}, Prompter::Icon::Critical);
    return false;
}

} // namespace trq
