#pragma once

#include "storage/labdatabase.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

class QThread;

namespace trq {

class RecordStore;

// The lab database's copy of one supply's recording. Points are committed
// to the local file first, as always; this sends them on in batches from a
// thread of its own, so a slow, stopped or unreachable server never holds
// the recording (or the program's exit) up. Each point is keyed by station,
// supply, run and sequence number: a batch sent again adds nothing, and
// whatever the server has not confirmed is sent when it is back.
class LabUpload : public QObject {
    Q_OBJECT
public:
    static constexpr int kBatchMsec = 2000;
    static constexpr int kBatchRows = 5000;

    struct Source {
        QString station, supply, model, serial;
        int channels = 1;
    };
    LabUpload(const LabAddress& address, RecordStore& store, Source source,
              QObject* parent = nullptr);
    ~LabUpload() override;

    // The working table holds a new run from now on, started then: its
    // points go as run number run.
    void startRun(qint64 run, const QDateTime& started);
    // The run's points in the working table the server has not confirmed.
    qint64 waiting();
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
    Source source_;
    QThread* thread_;
    QObject* worker_; // lives in thread_
    QTimer timer_;
    qint64 run_ = -1;
    QDateTime started_;
    qint64 confirmed_ = -1; // the last sequence number the server took
    bool inFlight_ = false;
    bool lastFull_ = false; // the batch under way was a full one: more follow
    QString problem_;
};

} // namespace trq
