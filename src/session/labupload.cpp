#include "session/labupload.h"

#include "storage/recordstore.h"

#include <QThread>

#include <memory>

namespace trq {

// Sends batches in a thread of its own: a statement the server does not
// answer holds this thread only.
class LabSender : public QObject {
    Q_OBJECT
public:
    explicit LabSender(const LabAddress& address)
        : connection_(address, QStringLiteral("trq-lab-upload"), 5, false) {}

    void send(const LabBatch& batch) {
        QString error;
        LabDatabase* db = connection_.ready(&error);
        if (!db || !db->store(batch)) {
            if (db)
                error = db->lastError();
            connection_.drop(); // opened afresh for the next batch
            emit done(-1, error.isEmpty() ? QStringLiteral("?") : error);
            return;
        }
        emit done(batch.lastSeq, {});
    }

signals:
    void done(qint64 lastSeq, const QString& error);

private:
    LabConnection connection_;
};

LabUpload::LabUpload(const LabAddress& address, RecordStore& store, QObject* parent)
    : QObject(parent), store_(store), thread_(new QThread), worker_(new LabSender(address)) {
    worker_->moveToThread(thread_);
    // Its connection is closed in its own thread as that ends.
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(static_cast<LabSender*>(worker_), &LabSender::done, this, &LabUpload::batchDone);
    thread_->start();
    timer_.setInterval(kBatchMsec);
    connect(&timer_, &QTimer::timeout, this, &LabUpload::sendNow);
    timer_.start();
}

LabUpload::~LabUpload() {
    timer_.stop();
    disconnect(worker_, nullptr, this, nullptr);
    endServerThread(thread_, kServerThreadEndMsec);
}

qint64 LabUpload::waiting() {
    return store_.outboxCount().value_or(0) + waitingInRun();
}

qint64 LabUpload::waitingInRun() {
    const std::optional<WorkingRun> run = store_.workingRun();
    const std::optional<WorkingSpan> span = run ? store_.workingSpan() : std::nullopt;
    if (!span || span->count == 0)
        return 0;
    return std::max<qint64>(0, span->lastSeqNo - std::max(run->confirmed, span->firstSeqNo - 1));
}

void LabUpload::sendNow() {
    if (inFlight_)
        return;
    auto batch = std::make_shared<LabBatch>();
    WorkingRun run;
    // Earlier runs first: they have waited longest.
    const QList<SampleRow> waited = store_.outboxRows(kBatchRows, &run);
    fromOutbox_ = !waited.isEmpty();
    if (fromOutbox_) {
        for (const SampleRow& row : waited)
            batch->add(row, run.channels);
    } else {
        const std::optional<WorkingRun> working = store_.workingRun();
        if (!working)
            return;
        run = *working;
        if (!store_.forEachWorkingRow(run.confirmed + 1, kBatchRows,
                                      [&](const SampleRow& row) { batch->add(row, run.channels); }))
            return;
    }
    if (batch->size() == 0)
        return;
    batch->station = run.station;
    batch->supply = run.supply;
    batch->model = run.model;
    batch->serial = run.serial;
    batch->run = run.run;
    batch->started = run.started;
    lastFull_ =
        batch->size() >= std::size_t(kBatchRows) * std::size_t(std::clamp(run.channels, 1, 4));
    sent_ = run;
    inFlight_ = true;
    auto* sender = static_cast<LabSender*>(worker_);
    QMetaObject::invokeMethod(
        sender, [sender, batch] { sender->send(*batch); }, Qt::QueuedConnection);
}

void LabUpload::batchDone(qint64 lastSeq, const QString& error) {
    inFlight_ = false;
    problem_ = error;
    bool more = false;
    if (error.isEmpty() && fromOutbox_) {
        // The working table's run may wait behind it; an outbox the file
        // cannot empty is not sent again at once.
        more = store_.dropFromOutbox(sent_, lastSeq);
    } else if (error.isEmpty()) {
        // The working table may hold another run by now: its own count stays.
        std::optional<WorkingRun> working = store_.workingRun();
        if (working && working->run == sent_.run && working->station == sent_.station &&
            working->supply == sent_.supply && lastSeq > working->confirmed) {
            working->confirmed = lastSeq;
            store_.setWorkingRun(working);
        }
        more = lastFull_;
    }
    emit progressed();
    // A backlog goes batch after batch while the server takes them; a few
    // new points wait for the next interval, so a recording is not chased.
    if (more)
        sendNow();
}

} // namespace trq

#include "labupload.moc"
