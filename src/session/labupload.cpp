#include "session/labupload.h"

#include "storage/recordstore.h"

#include <QAtomicInt>
#include <QThread>

#include <memory>

namespace trq {

namespace {

QAtomicInt connectionNumber;

} // namespace

// Sends batches in a thread of its own: a statement the server does not
// answer holds this thread only.
class LabSender : public QObject {
    Q_OBJECT
public:
    explicit LabSender(const LabAddress& address) : address_(address) {}

    void send(const LabBatch& batch) {
        QString error;
        if (!ready(&error) || !db_->store(batch)) {
            if (error.isEmpty())
                error = db_ ? db_->lastError() : QString();
            db_.reset(); // opened afresh for the next batch
            emit done(-1, error.isEmpty() ? QStringLiteral("?") : error);
            return;
        }
        emit done(batch.lastSeq, {});
    }

signals:
    void done(qint64 lastSeq, const QString& error);

private:
    bool ready(QString* error) {
        if (db_ && db_->database().isOpen())
            return true;
        db_ = std::make_unique<LabDatabase>(
            address_,
            QStringLiteral("trq-lab-upload-%1").arg(connectionNumber.fetchAndAddRelaxed(1)));
        std::optional<QString> why = db_->open();
        if (!why)
            why = db_->prepare();
        if (why)
            *error = *why;
        return !why;
    }

    LabAddress address_;
    std::unique_ptr<LabDatabase> db_;
};

LabUpload::LabUpload(const LabAddress& address, RecordStore& store, Source source, QObject* parent)
    : QObject(parent), store_(store), source_(std::move(source)), thread_(new QThread),
      worker_(new LabSender(address)) {
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
    thread_->quit();
    // A server that does not answer holds its thread; the program goes
    // without it and the thread ends with the process.
    constexpr int kExitWaitMsec = 500;
    if (thread_->wait(kExitWaitMsec)) {
        delete thread_;
        return;
    }
    // Gone once the server answers; kept in reach till then, as nothing
    // else holds it.
    connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
    static auto* stalled = new std::vector<QThread*>;
    stalled->push_back(thread_);
}

void LabUpload::startRun(qint64 run, const QDateTime& started) {
    run_ = run;
    started_ = started;
    confirmed_ = -1;
}

qint64 LabUpload::waiting() {
    if (run_ < 0)
        return 0;
    const std::optional<WorkingSpan> span = store_.workingSpan();
    if (!span || span->count == 0)
        return 0;
    return std::max<qint64>(0, span->lastSeqNo - confirmed_);
}

void LabUpload::sendNow() {
    if (inFlight_ || run_ < 0)
        return;
    auto batch = std::make_shared<LabBatch>();
    batch->station = source_.station;
    batch->supply = source_.supply;
    batch->model = source_.model;
    batch->serial = source_.serial;
    batch->run = run_;
    batch->started = started_;
    const bool read =
        store_.forEachWorkingRow(confirmed_ + 1, kBatchRows, [&](const SampleRow& row) {
            const QDateTime time =
                QDateTime::fromString(row.recTime, QLatin1String(kRecordTimeFormat));
            const PointValues v = valuesOf(row);
            auto value = [](const QString& text, double number) {
                return text.trimmed().isEmpty() ? std::nullopt : std::optional<double>(number);
            };
            for (int c = 0; c < std::min(source_.channels, 4); ++c) {
                const auto i = std::size_t(c);
                batch->seq.push_back(row.seqNo);
                batch->channel.push_back(c + 1);
                batch->time.push_back(time);
                batch->voltage.push_back(value(row.volt[i], v.volt[i]));
                batch->current.push_back(value(row.curr[i], v.curr[i]));
                batch->charge.push_back(value(row.charge[i], v.charge[i]));
                batch->energy.push_back(value(row.energy[i], v.energy[i]));
            }
            batch->lastSeq = row.seqNo;
        });
    if (!read || batch->size() == 0)
        return;
    lastFull_ =
        batch->size() >= std::size_t(kBatchRows) * std::size_t(std::min(source_.channels, 4));
    inFlight_ = true;
    auto* sender = static_cast<LabSender*>(worker_);
    QMetaObject::invokeMethod(
        sender, [sender, batch] { sender->send(*batch); }, Qt::QueuedConnection);
}

void LabUpload::batchDone(qint64 lastSeq, const QString& error) {
    inFlight_ = false;
    problem_ = error;
    if (error.isEmpty())
        confirmed_ = std::max(confirmed_, lastSeq);
    emit progressed();
    // A backlog goes batch after batch while the server takes them; a few
    // new points wait for the next interval, so a recording is not chased.
    if (error.isEmpty() && lastFull_)
        sendNow();
}

} // namespace trq

#include "labupload.moc"
