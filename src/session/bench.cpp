// Several supplies, each on its own link.
#include "session/bench.h"

#include "core/settings.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"
#include "storage/database.h"
#include "storage/recordstore.h"

#include <QPointer>

namespace trq {

struct Bench::Member {
    Member(const SupplyAddress& s, const Services& services)
        : address(s), link({services.clock, services.prompter}),
          store(services.database.database()),
          session({link, services.database, store, services.prompter, services.transports,
                   services.waiter, services.recordingClock}) {}
    SupplyAddress address;
    TaskScheduler link;
    RecordStore store;
    InstrumentSession session;
};

Bench::Bench(Services services, QObject* parent) : QObject(parent), services_(services) {}

Bench::~Bench() = default;

InstrumentSession& Bench::add(const SupplyAddress& address) {
    members_.push_back(std::make_unique<Member>(address, services_));
    InstrumentSession& session = members_.back()->session;
    session.connection().setKeepsChoice(false);
    connect(&session, &InstrumentSession::stateChanged, this, [this, s = &session] {
        for (int i = 0; i < size(); ++i)
            if (&members_[std::size_t(i)]->session == s)
                emit supplyStateChanged(i);
    });
    // The interlock: its own output is off already, the others' go now,
    // each on its own link.
    connect(&session, &InstrumentSession::limitTripped, this, [this](const LimitTrip& trip) {
        if (trip.rule.action == LimitAction::BenchOutputsOff)
            allOutputsOff();
    });
    if (address.kind == InterfaceKind::Gpib)
        session.connection().openGpib(address.gpib);
    else
        session.connection().openSerial(address.serial);
    return session;
}

void Bench::remove(int index) {
    if (index < 0 || index >= size())
        return;
    members_[std::size_t(index)]->session.connection().close();
    members_.erase(members_.begin() + index);
}

InstrumentSession& Bench::session(int index) {
    return members_.at(std::size_t(index))->session;
}

const SupplyAddress& Bench::address(int index) const {
    return members_.at(std::size_t(index))->address;
}

QString Bench::name(int index) const {
    const auto plainName = [this](int i) {
        const Member& m = *members_.at(std::size_t(i));
        if (!m.address.name.isEmpty())
            return m.address.name;
        if (!m.session.connection().model().isEmpty())
            return m.session.connection().model();
        return m.address.text();
    };
    // Two supplies of one model, neither named, are told apart by their
    // place: "PSQ-3323", "PSQ-3323 #2".
    const QString plain = plainName(index);
    int same = 1;
    for (int i = 0; i < index; ++i)
        if (plainName(i).compare(plain, Qt::CaseInsensitive) == 0)
            ++same;
    return same == 1 ? plain : QStringLiteral("%1 #%2").arg(plain).arg(same);
}

QStringList Bench::names() const {
    QStringList all;
    for (int i = 0; i < size(); ++i)
        all << name(i);
    return all;
}

void Bench::store(const QString& name) const {
    if (members_.empty())
        return; // an empty bench would open as none
    QStringList supplies;
    for (const auto& m : members_)
        supplies << m->address.text();
    Settings::instance().setBenchSupplies(name, supplies);
    Settings::instance().setLastBench(name);
}

std::variant<std::vector<SupplyAddress>, QString> storedBench(const QString& name) {
    const std::optional<QStringList> kept = Settings::instance().benchSupplies(name);
    if (!kept || kept->isEmpty())
        return Bench::tr("No bench named \"%1\" is kept; kept are: %2")
            .arg(name, Settings::instance().benchNames().join(QStringLiteral(", ")));
    std::vector<SupplyAddress> addresses;
    for (const QString& text : *kept) {
        std::variant<SupplyAddress, QString> address = parseSupplyAddress(text);
        if (const QString* why = std::get_if<QString>(&address))
            return Bench::tr("The bench \"%1\" cannot be opened: %2").arg(name, *why);
        addresses.push_back(std::get<SupplyAddress>(address));
    }
    return addresses;
}

void Bench::allOutputsOff() {
    ++allOffs_;
    for (const auto& m : members_)
        if (m->session.isReady())
            m->session.control().setOutput(false);
}

std::vector<PowerSequencer::Supply> Bench::sequencerSupplies() {
    std::vector<PowerSequencer::Supply> supplies;
    // An order made before the bench was switched off takes no further
    // step: nothing it switches on again behind the interlock.
    const quint64 before = allOffs_;
    QPointer<Bench> bench = this;
    for (int i = 0; i < size(); ++i) {
        // A supply removed meanwhile is off line to the order.
        QPointer<InstrumentSession> s = &session(i);
        supplies.push_back({name(i),
                            [s, bench, before] {
                                if (!s || !s->isReady())
                                    return tr("is off line");
                                if (!bench || bench->allOffs_ != before)
                                    return tr("was switched off with the whole bench");
                                return QString();
                            },
                            [s](bool on) {
                                if (!s || !s->isReady())
                                    return false;
                                s->control().setOutput(on);
                                return true;
                            }});
    }
    return supplies;
}

} // namespace trq
