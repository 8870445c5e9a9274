#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace trq {

// SIGINT and SIGTERM as a Qt signal on the event loop, for as long as it
// lives: a run without windows ends cleanly on either.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    // "SIGINT" or "SIGTERM".
    void stopRequested(const QString& name);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace trq
