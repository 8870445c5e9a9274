#pragma once

#include "storage/labdatabase.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

class QThread;

namespace trq {

class RecordStore;

// The lab database's copy of the recordings. Points are committed to the
// local file first, as always; this sends them on in batches from a thread
// of its own, so a slow, stopped or unreachable server never holds the
// recording (or the program's exit) up. Each point is keyed by station,
// supply, run and sequence number: a batch sent again adds nothing. What the
// server has not confirmed is sent when it is back: the working table's run
// from where the file says it stopped, and earlier runs' points that waited
// in the file's outbox when their working table was cleared, also across
// restarts.
class LabUpload : public QObject {
    Q_OBJECT
public:
    static constexpr int kBatchMsec = 2000;
    static constexpr int kBatchRows = 5000;

    LabUpload(const LabAddress& address, RecordStore& store, QObject* parent = nullptr);
    ~LabUpload() override;

    // Points the server has not confirmed: the working table's run's and
    // the outbox's.
    qint64 waiting();
    // Those of the working table's run alone; the outbox is the file's, of
    // every supply's tables.
    qint64 waitingInRun();
    bool sending() const { return inFlight_; }
    // The server's last refusal; empty after a batch it took.
    const QString& problem() const { return problem_; }
    // A batch now, rather than at the next interval.
    void sendNow();

signals:
    // After each batch, taken or not.
    void progressed();

private:
    void batchDone(qint64 lastSeq, const QString& error);

    RecordStore& store_;
    QThread* thread_;
    QObject* worker_; // lives in thread_
    QTimer timer_;
    // The batch under way: its run, and whether it came from the outbox.
    WorkingRun sent_;
    bool fromOutbox_ = false;
    bool inFlight_ = false;
    bool lastFull_ = false; // the batch under way was a full one: more follow
    QString problem_;
};

} // namespace trq
