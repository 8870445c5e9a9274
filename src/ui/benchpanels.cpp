// The further supplies of the bench in the main window.
#include "ui/benchpanels.h"
#include "ui/panelguard.h"

#include "automation/scpiserver.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "session/bench.h"
#include "session/instrumentsession.h"
#include "ui/addsupplydialog.h"
#include "ui/frontpanel.h"
#include "ui/numberdialogs.h"

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>

namespace trq {

namespace {

QString linkText(const SupplyAddress& link) {
    switch (link.kind) {
    case InterfaceKind::Serial:
        return link.serial.port;
    case InterfaceKind::Gpib:
        return QStringLiteral("GPIB%1::%2").arg(link.gpib.board).arg(link.gpib.address);
    default:
        return {};
    }
}

// What the first supply goes on line with at the start: the choice the
// settings keep, which the main window opens as it always has.
SupplyAddress keptChoice() {
    const Settings& s = Settings::instance();
    SupplyAddress a;
    a.kind = interfaceFromText(s.lastInterface());
    a.serial = {s.serialPortName(), s.serialBaud()};
    a.gpib = {s.gpibBoard(), s.gpibAddress(), {}};
    return a;
}

} // namespace

QString supplyTitle(const QString& name, const QString& model, const SupplyAddress& link,
                    const QString& serialNumber) {
    QStringList parts;
    if (!name.isEmpty() && name != model)
        parts << name;
    parts << model;
    if (const QString l = linkText(link); !l.isEmpty())
        parts << l;
    if (!serialNumber.isEmpty())
        parts << BenchPanels::tr("serial number %1").arg(serialNumber);
    return parts.join(QStringLiteral(" — "));
}

std::vector<const ExportedSupply*>
chooseRunSupplies(QComboBox& chooser, const std::vector<ExportedSupply>& run, bool offerAll) {
    QStringList names;
    if (offerAll && run.size() > 1)
        names << BenchPanels::tr("All supplies");
    const int skip = int(names.size());
    for (const ExportedSupply& s : run)
        names << s.name;
    QStringList listed;
    for (int i = 0; i < chooser.count(); ++i)
        listed << chooser.itemText(i);
    if (names != listed) {
        chooser.clear();
        chooser.addItems(names);
    }
    chooser.setVisible(!run.empty());
    if (run.empty())
        return {};
    const int index = std::clamp(chooser.currentIndex(), 0, int(names.size()) - 1);
    chooser.setCurrentIndex(index);
    if (index < skip) {
        std::vector<const ExportedSupply*> all;
        for (const ExportedSupply& s : run)
            all.push_back(&s);
        return all;
    }
    return {&run[std::size_t(index - skip)]};
}

const ExportedSupply* chooseRunSupply(QComboBox& chooser, const std::vector<ExportedSupply>& run) {
    const std::vector<const ExportedSupply*> chosen = chooseRunSupplies(chooser, run, false);
    return chosen.empty() ? nullptr : chosen.front();
}

BenchPanels::BenchPanels(Services services, QObject* parent)
    : QObject(parent), s_(services), firstStatus_(new QLabel(s_.window)) {
    s_.status.addPermanentWidget(firstStatus_);
    firstStatus_->hide();
    connect(this, &BenchPanels::benchChanged, this, &BenchPanels::showFirstStatus);
    connect(&s_.bench, &Bench::supplyStateChanged, this, &BenchPanels::supplyChanged);
    connect(
        &s_.bench, &Bench::powerOrderFinished, this,
        [this](bool completed, const QString& message) {
            // Later: a script's command that ran the order gets its
            // answer first.
            if (!completed && !message.isEmpty())
                QMetaObject::invokeMethod(
                    this,
                    [this, message] { s_.prompter.message(message, {}, Prompter::Icon::Warning); },
                    Qt::QueuedConnection);
        });
    if (s_.server)
        connect(s_.server, &ScpiServer::statusChanged, this, qOverload<>(&BenchPanels::serve));
}

BenchPanels::~BenchPanels() {
    for (Entry& e : entries_)
        closePanel(e);
}

QString BenchPanels::benchName() const {
    const QString last = Settings::instance().lastBench();
    return last.isEmpty() ? QStringLiteral("bench") : last;
}

void BenchPanels::addSupply() {
    AddSupplyDialog dialog(s_.transports, s_.window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::variant<SupplyAddress, QString> chosen = dialog.address();
    if (const QString* why = std::get_if<QString>(&chosen)) {
        s_.prompter.message(*why, {}, Prompter::Icon::Warning);
        return;
    }
    const SupplyAddress address = std::get<SupplyAddress>(chosen);
    for (int i = 0; i < s_.bench.size(); ++i) {
        // One port or address is one supply: a second session on it would
        // garble both.
        if (s_.bench.address(i).sameLink(address) ||
            (!address.name.isEmpty() &&
             s_.bench.name(i).compare(address.name, Qt::CaseInsensitive) == 0)) {
            s_.prompter.message(tr("%1 is on the bench already.").arg(s_.bench.name(i)), {},
                                Prompter::Icon::Warning);
            return;
        }
    }
    add(address);
    keep();
}

void BenchPanels::add(const SupplyAddress& address) {
    InstrumentSession& session = s_.bench.add(address);
    session.connection().setReconnect(Settings::instance().reconnect());
    // The lowest port after the first's that no other has: a script's
    // port stays while its supply is on the bench.
    int offset = 1;
    while (std::any_of(entries_.cbegin(), entries_.cend(),
                       [offset](const Entry& other) { return other.offset == offset; }))
        ++offset;
    Entry& e = entries_[&session];
    e.offset = offset;
    e.status = new QLabel(s_.window);
    s_.status.addPermanentWidget(e.status);
    supplyChanged(s_.bench.size() - 1);
    serve();
    startFeed(s_.bench.size() - 1, e);
    emit benchChanged();
}

void BenchPanels::remove(int index) {
    if (index < 1 || index >= s_.bench.size())
        return;
    // Its points of the run, or a step of the order, would go with it.
    if (s_.bench.isRecording() || s_.bench.powerOrderRunning()) {
        s_.prompter.message(tr("%1 cannot leave the bench while it records or runs its power "
                               "order.")
                                .arg(s_.bench.name(index)),
                            {}, Prompter::Icon::Information);
        return;
    }
    // Its link closes as it goes: the output a sequence switched on would
    // stay on, and the sequence would run on without it.
    if (s_.bench.sequenceControlling(s_.bench.session(index))) {
        s_.prompter.message(tr("%1 cannot leave the bench while a sequence sets or watches it.")
                                .arg(s_.bench.name(index)),
                            {}, Prompter::Icon::Information);
        return;
    }
    Entry e = entries_.take(&s_.bench.session(index));
    closePanel(e);
    delete e.status;
    delete e.server;
    delete e.feed;
    s_.bench.remove(index);
    serve();
    keep();
    emit benchChanged();
}

void BenchPanels::reopenKept() {
    std::variant<std::vector<SupplyAddress>, QString> kept = storedBench(benchName());
    if (!std::holds_alternative<std::vector<SupplyAddress>>(kept))
        return; // none kept
    const SupplyAddress first = keptChoice();
    for (const SupplyAddress& a : std::get<std::vector<SupplyAddress>>(kept)) {
        if (!a.sameLink(first))
            add(a);
        else // the window's own, under the name it had
            s_.bench.rename(0, a.name);
    }
}

void BenchPanels::keep() {
    s_.bench.store(benchName());
}

namespace {

QString stateEntry(const QString& name, ConnectionState state) {
    static const char* const kStates[] = {QT_TRANSLATE_NOOP("trq::BenchPanels", "off line"),
                                          QT_TRANSLATE_NOOP("trq::BenchPanels", "detecting…"),
                                          QT_TRANSLATE_NOOP("trq::BenchPanels", "on line"),
                                          QT_TRANSLATE_NOOP("trq::BenchPanels", "reconnecting…")};
    return QStringLiteral("%1: %2").arg(name, BenchPanels::tr(kStates[int(state)]));
}

} // namespace

void BenchPanels::showFirstStatus() {
    // Alone, the first supply's state is the main window's status line.
    firstStatus_->setVisible(s_.bench.size() > 1);
    if (s_.bench.size() > 0)
        firstStatus_->setText(
            stateEntry(s_.bench.name(0), s_.bench.session(0).connection().state()));
}

void BenchPanels::supplyChanged(int index) {
    if (index == 0)
        showFirstStatus(); // its panel is the main window's
    if (index < 1 || index >= s_.bench.size())
        return;
    InstrumentSession& session = s_.bench.session(index);
    auto it = entries_.find(&session);
    if (it == entries_.end())
        return;
    Entry& e = *it;
    const ConnectionState state = session.connection().state();
    if (state == ConnectionState::Ready && !e.panel)
        openPanel(index, e);
    else if (state == ConnectionState::OffLine)
        closePanel(e);
    if (e.panel)
        e.panel->setEnabled(state != ConnectionState::Reconnecting);
    e.status->setText(stateEntry(s_.bench.name(index), state));
    emit benchChanged();
}

void BenchPanels::openPanel(int index, Entry& e) {
    InstrumentSession& session = s_.bench.session(index);
    e.panel = new FrontPanel(session);
    e.window = s_.area.addSubWindow(e.panel, Qt::SubWindow | Qt::WindowTitleHint);
    e.window->setWindowTitle(supplyTitle(s_.bench.name(index), session.connection().model(),
                                         s_.bench.address(index),
                                         session.connection().serialNumber()));
    // The panel's own dialogs, for its own supply.
    QPointer<InstrumentSession> s = &session;
    new PanelGuard(*e.panel, [this, s] { return s ? s_.bench.sequenceControlling(*s) : nullptr; },
                   s_.prompter, {e.panel->resetDeliveredButton()});
    connect(e.panel, &FrontPanel::saveMemoryRequested, this, [this, s] {
        SaveMemoryDialog d(s_.window);
        if (s && s->isReady() && d.run())
            s->memories().saveMemory(d.memory());
    });
    connect(e.panel, &FrontPanel::recallMemoryRequested, this, [this, s] {
        RecallMemoryDialog d(s_.window);
        if (s && s->isReady() && d.run())
            s->memories().recallMemory(d.memory());
    });
    connect(e.panel, &FrontPanel::autoRangeRequested, this, [this, s] {
        AutoRangeDialog d(s_.window);
        if (s && s->isReady() && d.run())
            s->memories().setAutoRange(d.startMemory(), d.endMemory(), d.cycle());
    });
    e.window->adjustSize();
    e.window->show();
    arrange();
}

void BenchPanels::setFirstPanel(QMdiSubWindow* window) {
    first_ = window;
    arrange();
}

void BenchPanels::arrange() {
    // Side by side in the bench's order, the first supply's leftmost, so
    // that none hides another.
    std::vector<QMdiSubWindow*> shown;
    if (first_ && first_->isVisible())
        shown.push_back(first_);
    for (int i = 1; i < s_.bench.size(); ++i)
        if (QMdiSubWindow* w = panelWindow(i); w && w->isVisible())
            shown.push_back(w);
    if (shown.empty() || (shown.size() == 1 && shown.front() == first_))
        return; // the main window sizes itself to its own

    int x = 0;
    for (QMdiSubWindow* w : shown) {
        w->move(x, 0);
        x += w->width();
    }
    // The main window grows to show them, as far as the screen allows.
    const QSize want = s_.area.viewport()->childrenRect().size();
    const QSize have = s_.area.viewport()->size();
    QWidget* top = s_.window->window();
    const QSize room = top->screen()->availableGeometry().size();
    top->resize((top->size() + (want - have).expandedTo(QSize(0, 0))).boundedTo(room));
}

void BenchPanels::closePanel(Entry& e) {
    // Later: a handler of the panel may be on the stack.
    if (e.window) {
        e.window->hide();
        e.window->deleteLater();
    }
    e.window = nullptr;
    e.panel = nullptr;
}

void BenchPanels::serve() {
    // The first's port answers for the bench only while it has one.
    if (s_.server && !entries_.isEmpty()) {
        setUpBenchCommands(*s_.server);
    } else if (s_.server) {
        s_.server->setBench({});
        s_.server->setBenchPower({}, {});
    }
    for (int i = 1; i < s_.bench.size(); ++i)
        if (auto it = entries_.find(&s_.bench.session(i)); it != entries_.end())
            serve(i, *it);
}

void BenchPanels::serve(int index, Entry& e) {
    if (!s_.server || !s_.server->isListening()) {
        delete e.server;
        return;
    }
    ScpiServer::Options o = s_.server->options();
    const int port = s_.server->port() + e.offset;
    if (e.server && e.server->isListening() && e.server->port() == port &&
        e.server->options().remote == o.remote)
        return;
    // Said once: the first's server changes with every client.
    const std::pair<int, bool> tried{port, o.remote};
    if (!e.server && e.refused == tried)
        return;
    delete e.server;
    e.refused = tried;
    if (port > 65535) {
        s_.prompter.message(tr("No port is left to serve %1 on.").arg(s_.bench.name(index)), {},
                            Prompter::Icon::Warning);
        return;
    }
    o.port = quint16(port);
    e.server = new ScpiServer(s_.bench.session(index), this);
    setUpBenchCommands(*e.server);
    if (!e.server->start(o)) {
        s_.prompter.message(e.server->errorString(), {}, Prompter::Icon::Warning);
        delete e.server;
        return;
    }
    e.refused = {};
}

void BenchPanels::setUpBenchCommands(ScpiServer& server) {
    server.setBench([this] {
        std::vector<ScpiServer::Served> served;
        for (int i = 0; i < s_.bench.size(); ++i) {
            const ScpiServer* s = i == 0 ? s_.server : this->server(i);
            served.push_back({s_.bench.name(i), s && s->isListening() ? s->port() : quint16(0)});
        }
        return served;
    });
    server.setBenchPower([this] { return s_.bench.allOutputsOn(); },
                         [this](bool on) {
                             return s_.bench.runPowerOrder(
                                 Settings::instance().benchPowerOrder(benchName()), on);
                         });
}

void BenchPanels::setFeedOptions(const std::optional<MqttFeed::Options>& options) {
    feedOptions_ = options;
    for (int i = 1; i < s_.bench.size(); ++i)
        if (auto it = entries_.find(&s_.bench.session(i)); it != entries_.end())
            startFeed(i, *it);
}

void BenchPanels::startFeed(int index, Entry& e) {
    delete e.feed;
    if (!feedOptions_)
        return;
    InstrumentSession* session = &s_.bench.session(index);
    e.feed = new MqttFeed(*session, *feedOptions_, this);
    // Under its name on the bench, whichever place it has by then.
    e.feed->setSupplyName([this, session] {
        for (int i = 0; i < s_.bench.size(); ++i)
            if (&s_.bench.session(i) == session)
                return s_.bench.name(i);
        return session->connection().model();
    });
    e.feed->start();
}

MqttFeed* BenchPanels::feed(int index) const {
    if (index < 1 || index >= s_.bench.size())
        return nullptr;
    return entries_.value(&s_.bench.session(index)).feed;
}

ScpiServer* BenchPanels::server(int index) const {
    if (index < 1 || index >= s_.bench.size())
        return nullptr;
    return entries_.value(&s_.bench.session(index)).server;
}

QMdiSubWindow* BenchPanels::panelWindow(int index) const {
    if (index < 1 || index >= s_.bench.size())
        return nullptr;
    return entries_.value(&s_.bench.session(index)).window;
}

QString BenchPanels::statusEntry(int index) const {
    if (index == 0)
        return firstStatus_->isVisibleTo(s_.window) ? firstStatus_->text() : QString();
    if (index < 1 || index >= s_.bench.size())
        return {};
    const QLabel* l = entries_.value(&s_.bench.session(index)).status;
    return l ? l->text() : QString();
}

void BenchPanels::runPowerOrder(bool on) {
    const QString why =
        s_.bench.runPowerOrder(Settings::instance().benchPowerOrder(benchName()), on);
    if (!why.isEmpty())
        s_.prompter.message(tr("The power order cannot run: %1").arg(why), {},
                            Prompter::Icon::Warning);
}

void BenchPanels::editPowerOrder() {
    QInputDialog d(s_.window);
    d.setWindowTitle(tr("Power order"));
    d.setLabelText(tr("The order the outputs go on, with waits; they go off in reverse.\n"
                      "For example: %1 on, 200 ms, %2 on\nSupplies: %3")
                       .arg(s_.bench.name(0), s_.bench.size() > 1 ? s_.bench.name(1) : QString(),
                            s_.bench.names().join(QStringLiteral(", "))));
    d.setTextValue(Settings::instance().benchPowerOrder(benchName()));
    if (d.exec() != QDialog::Accepted)
        return;
    const QString text = d.textValue().trimmed();
    if (std::variant<std::vector<PowerStep>, QString> order = s_.bench.orderOf(text);
        const QString* why = std::get_if<QString>(&order)) {
        s_.prompter.message(tr("The power order cannot be kept: %1").arg(*why), {},
                            Prompter::Icon::Warning);
        return;
    }
    keep();
    Settings::instance().setBenchPowerOrder(benchName(), text);
}

} // namespace trq
