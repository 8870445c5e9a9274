// Several supplies, each on its own link.
#include "session/bench.h"

#include "session/sessionsequence.h"

#include "core/debugtrace.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"
#include "session/recording.h"
#include "session/workingrecord.h"
#include "storage/database.h"
#include "storage/recordstore.h"

#include <QDir>
#include <QPointer>
#include <QSqlError>

#include <algorithm>

namespace trq {

struct Bench::Member {
    Member(const SupplyAddress& s, int tables, RecordStore& store, const Services& services,
           RecordingClock& clock)
        : address(s), table(tables), link({services.clock, services.prompter}),
          session({link, services.database, store, services.prompter, services.transports,
                   services.waiter, &clock}) {}
    SupplyAddress address;
    int table; // its rows' tables, kept while it is on the bench
    // The bench was switched off while its link was being opened again:
    // its output goes off as soon as it is back.
    bool offOwed = false;
    TaskScheduler link;
    InstrumentSession session;
    std::unique_ptr<LabRecords> lab; // goes first: it is the session's archive
};

Bench::Bench(Services services, QObject* parent)
    : QObject(parent), services_(services), stepClock_(services.recordingClock),
      records_(services.database) {
    recordTimer_.setInterval(1000);
    connect(&recordTimer_, &QTimer::timeout, this, &Bench::recordStep);
}

Bench::~Bench() = default;

InstrumentSession& Bench::add(const SupplyAddress& address) {
    InstrumentSession& session = addMember(address);
    openChosen(address, size() - 1);
    return session;
}

void Bench::openChosen(const SupplyAddress& address, int index) {
    Member& m = *members_.at(std::size_t(index));
    m.address.name = address.name;
    m.session.connection().setKeepsChoice(false);
    if (address.kind == InterfaceKind::Gpib)
        m.session.connection().openGpib(address.gpib);
    else
        m.session.connection().openSerial(address.serial);
}

InstrumentSession& Bench::addChosen() {
    return addMember({});
}

InstrumentSession& Bench::addMember(const SupplyAddress& address) {
    // The lowest tables no other supply of the bench has.
    int table = 1;
    while (std::any_of(members_.begin(), members_.end(),
                       [table](const auto& m) { return m->table == table; }))
        ++table;
    members_.push_back(
        std::make_unique<Member>(address, table, *records_.store(table), services_, stepClock_));
    openLab(*members_.back());
    if (lab_)
        emit labStatusChanged(labStatus());
    InstrumentSession& session = members_.back()->session;
    // Whichever supply's window saves, loads or deletes a record, the run
    // goes whole.
    connect(&session, &InstrumentSession::layoutChosen, this, [this, s = &session] {
        s->recording()->record().setBenchRecords(&records_);
        connect(&s->recording()->engine(), &RecordingEngine::started, this, [this, s] {
            if (!starting_ && !running_)
                soloStarted(*s);
        });
    });
    connect(&session, &InstrumentSession::stateChanged, this, [this, s = &session] {
        for (int i = 0; i < size(); ++i) {
            Member& m = *members_[std::size_t(i)];
            if (&m.session != s)
                continue;
            if (m.offOwed && s->isReady()) {
                m.offOwed = false;
                s->control().setOutput(false);
            } else if (s->connection().state() == ConnectionState::OffLine) {
                m.offOwed = false; // closed: whatever opens it next starts afresh
            }
            emit supplyStateChanged(i);
        }
    });
    // A sequence's steps may set the bench's other supplies by their names.
    session.sequence().setPeers([this](const QString& name) -> InstrumentSession* {
        const int i = int(names().indexOf(name));
        return i >= 0 ? &this->session(i) : nullptr;
    });
    // The interlock: its own output is off already, the others' go now,
    // each on its own link.
    connect(&session, &InstrumentSession::limitTripped, this, [this](const LimitTrip& trip) {
        if (trip.rule.action == LimitAction::BenchOutputsOff)
            allOutputsOff();
    });
    return session;
}

SessionSequence* Bench::sequenceControlling(const InstrumentSession& session) {
    for (const auto& m : members_)
        if (m->session.sequence().controls(session))
            return &m->session.sequence();
    return nullptr;
}

void Bench::remove(int index) {
    if (index < 0 || index >= size())
        return;
    members_[std::size_t(index)]->session.connection().close();
    members_.erase(members_.begin() + index);
    if (lab_)
        emit labStatusChanged(labStatus());
}

void Bench::setLab(const std::optional<LabRecords::Options>& options) {
    lab_ = options;
    for (const auto& m : members_) {
        m->lab.reset();
        openLab(*m);
    }
    emit labStatusChanged(labStatus());
}

void Bench::openLab(Member& m) {
    if (!lab_)
        return;
    InstrumentSession* s = &m.session;
    // On a bench its points go under its name there, beside the others'.
    m.lab = std::make_unique<LabRecords>(
        *s, *lab_,
        [this, s] {
            for (int i = 0; size() > 1 && i < size(); ++i)
                if (&session(i) == s)
                    return name(i);
            return s->connection().model();
        },
        &records_);
    connect(m.lab.get(), &LabRecords::statusChanged, this,
            [this] { emit labStatusChanged(labStatus()); });
}

QString Bench::labStatus() {
    if (!lab_)
        return {};
    const std::vector<LabRecords*> all = labs();
    return LabRecords::statusText(LabRecords::anyHeld(all) ? std::optional(LabRecords::waiting(all))
                                                           : std::nullopt);
}

std::vector<LabRecords*> Bench::labs() const {
    std::vector<LabRecords*> labs;
    for (const auto& m : members_)
        labs.push_back(m->lab.get());
    return labs;
}

InstrumentSession& Bench::session(int index) {
    return members_.at(std::size_t(index))->session;
}

SupplyAddress Bench::address(int index) const {
    const Member& m = *members_.at(std::size_t(index));
    if (m.address.kind != InterfaceKind::None)
        return m.address;
    SupplyAddress current = m.session.connection().address().value_or(SupplyAddress{});
    current.name = m.address.name;
    return current;
}

QString Bench::name(int index) const {
    const auto plainName = [this](int i) {
        const Member& m = *members_.at(std::size_t(i));
        if (!m.address.name.isEmpty())
            return m.address.name;
        if (!m.session.connection().model().isEmpty())
            return m.session.connection().model();
        // A link the user has yet to choose has no text to go by.
        if (const SupplyAddress a = address(i); a.kind != InterfaceKind::None)
            return a.text();
        return tr("supply %1").arg(i + 1);
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

void Bench::rename(int index, const QString& name) {
    members_.at(std::size_t(index))->address.name = name;
    emit supplyStateChanged(index);
}

QStringList Bench::names() const {
    QStringList all;
    for (int i = 0; i < size(); ++i)
        all << name(i);
    return all;
}

void Bench::store(const QString& name) const {
    QStringList supplies;
    for (int i = 0; i < size(); ++i)
        if (const SupplyAddress a = address(i); a.kind != InterfaceKind::None)
            supplies << a.text();
    // Nothing to open again: an empty bench would open as none.
    Settings::instance().setBenchSupplies(
        name, supplies.isEmpty() ? std::nullopt : std::optional<QStringList>(supplies));
    Settings::instance().setLastBench(name);
}

std::variant<std::vector<SupplyAddress>, QString> storedBench(const QString& name) {
    const std::optional<QStringList> kept = Settings::instance().benchSupplies(name);
    if (!kept || kept->isEmpty()) {
        const QStringList names = Settings::instance().benchNames();
        if (names.isEmpty())
            return Bench::tr("No bench named \"%1\" is kept; none is.").arg(name);
        return Bench::tr("No bench named \"%1\" is kept; kept are: %2")
            .arg(name, names.join(QStringLiteral(", ")));
    }
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
    for (const auto& m : members_) {
        if (m->session.isReady())
            m->session.control().setOutput(false);
        else if (m->session.connection().state() == ConnectionState::Reconnecting)
            m->offOwed = true;
    }
}

bool Bench::startRecording(int ticks, int scale, int operation) {
    if (running_)
        return false;
    std::vector<Member*> onLine;
    for (const auto& m : members_)
        if (m->session.isReady() && m->session.recording())
            onLine.push_back(m.get());
    if (onLine.empty()) {
        services_.prompter.message(
            tr("No supply of the bench is on line: nothing can be recorded."), {},
            Prompter::Icon::Information);
        return false;
    }
    // The bench asks once before its last run goes, whichever supplies are
    // on line now: the header that says it is unsaved is the bench's.
    if (!mayDiscard())
        return false;
    // What refuses a start is asked of every supply before anything is
    // written, so a refusal leaves the last run as it was.
    for (Member* m : onLine)
        if (!m->session.supply().outputOn() || records_.store(m->table)->isReadOnly()) {
            m->session.recording()->engine().start(); // says why
            return false;
        }
    std::vector<RecordedSupply> recorded;
    for (Member* m : onLine)
        recorded.push_back({m->table, name(indexOf(m)), m->session.connection().model(),
                            m->session.connection().serialNumber(), address(indexOf(m)).text(),
                            m->session.recording()->engine().channels()});
    stepClock_.hold();
    const QDateTime start = stepClock_.now();
    // Every table emptied and the run's supplies kept in one go, before
    // any engine starts: a table that cannot be emptied leaves the last run
    // as it was. The tables of a supply not recorded hold nothing of this
    // run.
    const bool ready = records_.replaceRun(
        recorded, records_.startingHeader(RecordingEngine::timeText(start)),
        [](const RecordedSupply&, RecordStore& st) { return st.clearWorking(); });
    if (!ready) {
        stepClock_.release();
        services_.prompter.message(tr("The recording cannot start: %1").arg(records_.lastError()),
                                   {}, Prompter::Icon::Critical);
        return false;
    }
    std::vector<RecordingEngine*> started;
    failed_ = false;
    starting_ = true;
    for (Member* m : onLine) {
        RecordingEngine& engine = m->session.recording()->engine();
        engine.setDriven(true);
        // Asked once above for the whole bench.
        const std::function<bool()> check = engine.discardCheck();
        engine.setDiscardCheck([] { return true; });
        engine.arm(ticks, scale, operation);
        const bool on = engine.start();
        engine.setDiscardCheck(check);
        if (!on)
            break;
        started.push_back(&engine);
        connect(&engine, &RecordingEngine::stopped, this, &Bench::engineStopped,
                Qt::UniqueConnection);
    }
    stepClock_.release();
    starting_ = false;
    if (started.size() < onLine.size()) {
        for (RecordingEngine* e : started) {
            e->stop();
            e->setDriven(false);
        }
        return false;
    }
    running_ = true;
    recordTimer_.start();
    return true;
}

int Bench::indexOf(const Member* member) const {
    for (int i = 0; i < size(); ++i)
        if (members_[std::size_t(i)].get() == member)
            return i;
    return -1;
}

bool Bench::holdsUnsavedRun() {
    const std::optional<WorkingHeader> header = records_.store(1)->workingHeader();
    if (!header || !header->unsaved)
        return false;
    for (const ExportedSupply& s : exportedSupplies(records_))
        if (s.store->workingCount().value_or(1) > 0)
            return true;
    return false;
}

void Bench::soloStarted(InstrumentSession& session) {
    for (int i = 0; i < size(); ++i) {
        const Member& m = *members_[std::size_t(i)];
        if (&m.session != &session)
            continue;
        RecordingEngine& engine = session.recording()->engine();
        // Left as it was, the last bench run's other supplies would be
        // saved and exported with this run.
        if (!records_.setSoloRun({m.table, name(i), session.connection().model(),
                                  session.connection().serialNumber(), address(i).text(),
                                  engine.channels()},
                                 RecordingEngine::timeText(engine.startTime()))) {
            engine.stop();
            services_.prompter.message(
                tr("The recording cannot start: %1").arg(records_.lastError()), {},
                Prompter::Icon::Critical);
        }
        return;
    }
}

bool Bench::mayDiscard() {
    return !holdsUnsavedRun() ||
           services_.prompter.ask(
               WorkingRecord::tr("The current recording is not saved. Discard it?"), {},
               Prompter::Icon::Question, Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
}

std::vector<ExportedSupply> Bench::exportedRun() {
    std::vector<ExportedSupply> run = exportedSupplies(records_);
    for (ExportedSupply& s : run)
        for (const auto& m : members_)
            if (Recording* r = m->session.recording(); r && m->table == s.table)
                s.tail.assign(r->engine().unstoredPoints().begin(),
                              r->engine().unstoredPoints().end());
    return run;
}

void Bench::engineStopped(RecordingEngine::StopReason reason) {
    // A supply's point the file refused: the others' would fare no better.
    if (running_ && reason == RecordingEngine::StopReason::StoreFailed)
        failed_ = true;
}

void Bench::stopRecording() {
    endRecording();
}

void Bench::endRecording() {
    if (!std::exchange(running_, false))
        return;
    recordTimer_.stop();
    for (const auto& m : members_)
        if (Recording* r = m->session.recording()) {
            r->engine().stop();
            r->engine().setDriven(false);
        }
    emit recordingStopped(failed_);
}

void Bench::recordStep() {
    bool recording = false;
    stepClock_.hold();
    // One commit for the step's points, not one a supply: each commit waits
    // until the disk has them.
    QSqlDatabase db = services_.database.database();
    const bool batched = db.transaction();
    for (const auto& m : members_)
        if (Recording* r = m->session.recording(); r && r->engine().isRecording()) {
            r->engine().tick();
            recording = recording || r->engine().isRecording();
        }
    stepClock_.release();
    if (batched && !db.commit()) {
        // Nothing after them would be kept either: stop, then say why.
        const QString why = db.lastError().text();
        db.rollback();
        failed_ = true;
        endRecording();
        services_.prompter.message(
            tr("The recording has stopped: the points of its last step could not be stored in "
               "%1 (%2). The points stored before them are kept.")
                .arg(QDir::toNativeSeparators(db.databaseName()), why),
            {}, Prompter::Icon::Critical);
        return;
    }
    emit stepRecorded();
    if (failed_ || !recording)
        endRecording();
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

bool Bench::allOutputsOn() {
    return std::all_of(members_.begin(), members_.end(), [](const auto& m) {
        return m->session.isReady() && m->session.supply().outputOn();
    });
}

std::variant<std::vector<PowerStep>, QString> Bench::orderOf(const QString& text) const {
    if (!text.trimmed().isEmpty())
        return parsePowerOrder(text, names());
    std::vector<PowerStep> each;
    for (const QString& name : names())
        each.push_back({name, true, 0});
    return each;
}

QString Bench::runPowerOrder(const QString& text, bool on) {
    std::variant<std::vector<PowerStep>, QString> order = orderOf(text);
    if (const QString* why = std::get_if<QString>(&order))
        return *why;
    return runPowerOrder(std::get<std::vector<PowerStep>>(order), on);
}

QString Bench::runPowerOrder(const std::vector<PowerStep>& steps, bool on) {
    if (powerOrderRunning())
        return tr("a power order is running");
    // Names follow the models: before every supply is known, a name could
    // still belong to another supply than the order meant.
    for (int i = 0; i < size(); ++i)
        if (session(i).connection().model().isEmpty())
            return tr("%1 has not been identified yet").arg(name(i));
    sequencer_ =
        std::make_unique<PowerSequencer>(sequencerSupplies(), services_.clock, services_.waiter);
    connect(sequencer_.get(), &PowerSequencer::finished, this, &Bench::powerOrderFinished);
    sequencer_->run(on ? steps : reversedOff(steps));
    return {};
}

} // namespace trq
