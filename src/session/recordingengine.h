#pragma once

#include "core/reading.h"
#include "session/pointfold.h"
#include "session/pointqueue.h"
#include "session/recordingview.h"
#include "session/recordscale.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace trq {

class Prompter;

// Takes the supply's readings as they arrive, samples the latest once a
// second, folds the samples into points by the record scale and point
// operation, and writes each point to the working table and the views.
class RecordingEngine : public QObject {
    Q_OBJECT
public:
    struct Source {
        std::function<bool()> onLine;   // a supply is on line
        std::function<bool()> outputOn; // its output is on
        // Charge [Ah] and energy [Wh] delivered on a channel so far; none:
        // nothing is integrated.
        std::function<std::pair<double, double>(int)> integrals;
        // Whether a channel's values are measurements of the present state
        // (none: always); a second in which one is not records nothing.
        std::function<bool(int)> measured;
        // Every channel's latest reading is recent for its poll, so a second
        // without a new one still has current values (a slow poll cycle);
        // none: only a second with a new reading does.
        std::function<bool()> current;
    };

    RecordingEngine(RecordStore& store, Prompter& prompter, Source source, int channels,
                    RecordingClock* clock = nullptr, QObject* parent = nullptr);

    // A length that never runs out: recording goes on until stopped.
    static constexpr int kContinuous = -1;
    // Arms the engine with a length in ticks (one a second) or kContinuous,
    // a scale and a point operation.
    void arm(int ticks, int scale, int operation);
    bool isContinuous() const { return continuous_; }
    // A start would record: a length is set up (or none is needed).
    bool isArmed() const { return continuous_ || remaining_ > 0; }
    int scale() const { return scaleIndex_; }
    // True when the recording started; otherwise it says why.
    bool start();
    void stop();
    bool isRecording() const { return running_; }
    // Ticked by whoever records several supplies together (tick()), not by
    // its own timer: their points share one instant.
    void setDriven(bool driven) { driven_ = driven; }
    // Empties the buffer only; clearAll() empties the working table too,
    // or nothing where the table cannot be emptied (the store says why).
    void clearBuffer();
    bool clearAll();
    // One sampling tick (the timer's work).
    void tick();
    // A measured voltage or current of a channel (0-based), as it arrived;
    // a point is made only of readings that came in since the previous one.
    void take(int channel, bool voltage, const Reading& reading);

    // The seconds since the last point had no readings (a lost link): the
    // next point is marked as following a gap. Any second without a reading
    // to record marks one too.
    void markGap() { gapPending_ = true; }
    // Ticks left of the armed length; below 0 once a length has run out.
    int remainingTicks() const { return remaining_; }
    // Points made but not stored yet (the file was busy), oldest first.
    const std::deque<SampleRow>& unstoredPoints() const { return unstored_.rows(); }
    // Points written since the start; they live in the working table only,
    // so a recording of weeks costs no memory.
    int pointCount() const { return points_; }
    int channels() const { return channels_; }
    QTimer& timer() { return timer_; }
    QDateTime startTime() const { return start_; }
    QDateTime now() const { return clock_->now(); }
    void setStartTime(const QDateTime& start) { start_ = start; }
    // Windows that show the recording (the table and the graph).
    void addView(RecordingView* view) { views_.push_back(view); }
    void removeView(RecordingView* view) { std::erase(views_, view); }
    // Asked before a start throws away what the working table holds; true
    // when it may go.
    void setDiscardCheck(std::function<bool()> check) { mayDiscard_ = std::move(check); }
    const std::function<bool()>& discardCheck() const { return mayDiscard_; }

    static QString timeText(const QDateTime& t);

    enum class StopReason { LengthReached, Stopped, StoreFailed };

signals:
    // The recording ended: its length ran out, it was stopped (by the user,
    // a script or a failed link), or a point could not be stored.
    void stopped(RecordingEngine::StopReason reason);
    void started();
    // Points wait for a busy file ("" once they are stored).
    void storeStatus(const QString& text);

private:
    void sample();
    void writePoint();
    void pointStored(const SampleRow& row);
    // Stores the points that wait; a busy file is waited for, a lasting
    // failure stops the recording (false).
    bool storeWaiting();
    // Whether readings arrived since the last tick looked.
    bool freshReadings();
    // Every channel has a measurement of the present state.
    bool allMeasured() const;

    RecordStore& store_;
    Prompter& prompter_;
    Source source_;
    RecordingClock defaultClock_;
    RecordingClock* clock_;
    std::vector<RecordingView*> views_;
    std::function<bool()> mayDiscard_;
    QTimer timer_;

    int remaining_ = 0;
    bool continuous_ = false;
    int channels_ = 1;
    int points_ = 0;
    PointFold::Sample latest_; // the last reading of each channel and quantity
    quint64 arrived_ = 0;      // readings taken so far
    PointFold fold_;           // the point's window
    PointFold second_;         // the readings since the last tick
    int scaleIndex_ = 0;
    int scaleTicks_ = 0;
    int windowTick_ = 0;
    quint64 lastArrived_ = 0;
    qint64 elapsedSec_ = 0;
    qint64 storedSec_ = 0; // the last stored point's
    qint64 lastTickMsec_ = -1;
    qint64 tickMsec_ = 0;
    qint64 firstTickMsec_ = -1;  // the recording's first tick
    qint64 windowStartMsec_ = 0; // the current window's first tick
    // Seconds since the last point without a reading to record: the next
    // point follows a gap.
    int missedSeconds_ = 0;
    QDateTime start_;
    bool inTick_ = false;
    bool running_ = false;
    bool driven_ = false;
    bool gapPending_ = false;
    bool storeFailed_ = false;
    PointQueue unstored_;
};

} // namespace trq
