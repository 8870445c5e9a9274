#include "session/labrecords.h"

#include "core/settings.h"
#include "session/instrumentsession.h"

#include <QSysInfo>

#include <algorithm>

namespace trq {

LabRecords::Options LabRecords::Options::load() {
    const Settings& s = Settings::instance();
    Options o;
    const auto address = LabAddress::parse(s.labAddress());
    o.enabled = s.labEnabled() && std::holds_alternative<LabAddress>(address);
    if (const LabAddress* a = std::get_if<LabAddress>(&address))
        o.address = *a;
    o.station = s.labStation();
    return o;
}

void LabRecords::Options::save() const {
    Settings& s = Settings::instance();
    s.setLabEnabled(enabled);
    s.setLabAddress(address.host.isEmpty() ? QString() : address.uri());
    s.setLabStation(station);
}

QString LabRecords::Options::stationOrHost() const {
    return station.trimmed().isEmpty() ? QSysInfo::machineHostName() : station.trimmed();
}

LabRecords::LabRecords(InstrumentSession& session, const Options& options,
                       std::function<QString()> supplyName, BenchStore* bench, QObject* parent)
    : QObject(parent), session_(session) {
    archive_ = std::make_unique<LabArchive>(
        options.address, session.store(),
        [&session, station = options.stationOrHost(), name = std::move(supplyName)] {
            const SupplyConnection& c = session.connection();
            return LabArchive::Source{station, name ? name() : c.model(), c.model(),
                                      c.serialNumber(), session.supply().channelCount()};
        });
    archive_->setBench(bench);
    upload_ = std::make_unique<LabUpload>(options.address, session.store());
    session.setRecordArchive(archive_.get());
    connect(upload_.get(), &LabUpload::progressed, this,
            [this] { emit statusChanged(statusText()); });
}

LabRecords::~LabRecords() {
    session_.setRecordArchive(nullptr);
}

std::optional<QString> LabRecords::openNow() {
    return archive_->openNow();
}

QString LabRecords::statusText() {
    return statusText(held() ? std::optional(upload_->waiting()) : std::nullopt);
}

qint64 LabRecords::waiting(const std::vector<LabRecords*>& labs) {
    qint64 n = 0;
    for (LabRecords* lab : labs)
        n += lab == labs.front() ? lab->upload().waiting() : lab->upload().waitingInRun();
    return n;
}

bool LabRecords::anyHeld(const std::vector<LabRecords*>& labs) {
    return std::any_of(labs.begin(), labs.end(), [](LabRecords* l) { return l->held(); });
}

QString LabRecords::statusText(std::optional<qint64> waiting) {
    return waiting ? tr("lab database: %1 points waiting").arg(*waiting) : tr("lab database");
}

} // namespace trq
