#pragma once

#include "storage/recordstore.h"

#include <QDateTime>

namespace trq {

// Where a recording's time comes from: the wall clock for the times shown
// and stored, a monotonic clock for the seconds between points (it does not
// jump back at midnight or when the wall clock is set).
class RecordingClock {
public:
    virtual ~RecordingClock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    virtual qint64 monotonicMsec() const;
};

// What a recording tells the windows that show it.
class RecordingView {
public:
    virtual ~RecordingView() = default;
    virtual void recordingStarted(const QDateTime& start, const QDateTime& plannedEnd) = 0;
    virtual void recordingStopped(const QDateTime& lastPoint) = 0;
    virtual void pointWritten(const SampleRow& row) = 0;
    // The buffer was emptied.
    virtual void cleared() = 0;
    // Everything was cleared: buffer, working table and the record shown.
    virtual void dataCleared() {}
};

} // namespace trq
