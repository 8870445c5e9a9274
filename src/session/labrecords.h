#pragma once

#include "session/labupload.h"
#include "storage/labarchive.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace trq {

class InstrumentSession;

// A lab database as one supply's record store: its records saved, listed,
// loaded and deleted there, its points sent on as they are recorded (the
// local file takes them first, as always). Gone, the session's records are
// this computer's file's again.
class LabRecords : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool enabled = false;
        LabAddress address;
        QString station; // empty: this machine's name
        static Options load();
        void save() const;
        QString stationOrHost() const;
    };

    // supplyName: the name its points and records go under (the bench's
    // name for it, or its model). bench: the records of the bench the
    // session is on, a run of several supplies one record.
    LabRecords(InstrumentSession& session, const Options& options,
               std::function<QString()> supplyName = {}, BenchStore* bench = nullptr,
               QObject* parent = nullptr);
    ~LabRecords() override;

    // Opens the records' connection now rather than at their first use;
    // why it cannot be, or nothing.
    std::optional<QString> openNow();
    LabUpload& upload() { return *upload_; }
    RecordArchive& archive() { return *archive_; }
    // "lab database: N points waiting" while the server does not take them,
    // with why in the upload's problem(); "lab database" otherwise.
    QString statusText();
    static QString statusText(std::optional<qint64> waiting);
    // The points of these supplies (of one file) that the server has not
    // confirmed, the file's outbox counted once.
    static qint64 waiting(const std::vector<LabRecords*>& labs);
    static bool anyHeld(const std::vector<LabRecords*>& labs);
    // The server does not take the points now.
    bool held() const { return !upload_->problem().isEmpty(); }

signals:
    void statusChanged(const QString& text);

private:
    InstrumentSession& session_;
    std::unique_ptr<LabArchive> archive_;
    std::unique_ptr<LabUpload> upload_;
};

} // namespace trq
