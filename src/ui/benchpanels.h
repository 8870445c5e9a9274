#pragma once

#include "automation/mqttfeed.h"
#include "session/supplyinterface.h"
#include "storage/benchstore.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <utility>

class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QStatusBar;
class QWidget;

namespace trq {

class Bench;
class ScpiServer;
class FrontPanel;
class InstrumentSession;
class Prompter;
class TransportFactory;

// A sub-window's title for a supply: its name where it has one, its model,
// its link, and its serial number where it gives one.
QString supplyTitle(const QString& name, const QString& model, const SupplyAddress& link,
                    const QString& serialNumber);

// A bench run's supplies in a window's chooser, shown only for such a run;
// the one chosen (the first when the run has changed), or none.
const ExportedSupply* chooseRunSupply(QComboBox& chooser, const std::vector<ExportedSupply>& run);
// The same, first offering all of them where there are several.
std::vector<const ExportedSupply*>
chooseRunSupplies(QComboBox& chooser, const std::vector<ExportedSupply>& run, bool offerAll);

// The main window's further supplies (every one of the bench after the
// first, which the main window drives as it always has): each one's panel
// as a sub-window of its own, one short status entry each, and the
// commands that add and remove them and switch the bench in order.
class BenchPanels : public QObject {
    Q_OBJECT
public:
    struct Services {
        Bench& bench;
        QMdiArea& area;
        QStatusBar& status;
        Prompter& prompter;
        TransportFactory& transports;
        QWidget* window; // the dialogs' parent
        // The first supply's automation server: each further supply is
        // served beside it, on the ports after its own. None: none is.
        ScpiServer* server = nullptr;
    };
    explicit BenchPanels(Services services, QObject* parent = nullptr);
    ~BenchPanels() override;

    // Asks for a further supply and adds it; it goes on line by itself.
    void addSupply();
    // A further supply named elsewhere (the command line) joins the bench;
    // kept only when keep() is asked.
    void join(const SupplyAddress& address) { add(address); }
    // The bench kept under its name, as the next start's.
    void keep();
    // A further supply off the bench, its output left as it is.
    void remove(int index);
    // The last start's further supplies, back on the bench.
    void reopenKept();
    // The bench's power order (on) or its reverse (off); a refusal or a
    // step that fails is said.
    void runPowerOrder(bool on);
    // Asks for the bench's power order and keeps it with the bench.
    void editPowerOrder();
    // The name the bench is kept under.
    QString benchName() const;

    // The first supply's panel, which the further ones stand beside.
    void setFirstPanel(QMdiSubWindow* window);
    // The panels shown side by side, the window grown to show them.
    void arrange();

    // The further supply's panel window; none while it is not on line.
    QMdiSubWindow* panelWindow(int index) const;
    // A supply's entry in the status bar; the first's only while the bench
    // has company.
    QString statusEntry(int index) const;
    // The further supply's automation server; none while the first's is
    // stopped.
    ScpiServer* server(int index) const;
    // The lab feed's settings as the first supply's feed has them; each
    // further supply publishes under its name beside it. None: no feed.
    void setFeedOptions(const std::optional<MqttFeed::Options>& options);
    MqttFeed* feed(int index) const;

signals:
    // The supplies of the bench, or their names, changed.
    void benchChanged();

private:
    struct Entry {
        QPointer<QMdiSubWindow> window;
        QPointer<FrontPanel> panel;
        QLabel* status = nullptr;
        int offset = 0; // its server's port after the first's; kept while it is on
        QPointer<ScpiServer> server;
        std::pair<int, bool> refused{-1, false}; // the port and remote it could not have
        QPointer<MqttFeed> feed;
    };
    void add(const SupplyAddress& address);
    void supplyChanged(int index);
    void showFirstStatus();
    void openPanel(int index, Entry& entry);
    void closePanel(Entry& entry);
    // Each further supply served while the first is, else none.
    void serve();
    void serve(int index, Entry& entry);
    void startFeed(int index, Entry& entry);
    // SYST:BENC? and BENC:OUTP on a server of the bench.
    void setUpBenchCommands(ScpiServer& server);

    Services s_;
    QPointer<QMdiSubWindow> first_;
    std::optional<MqttFeed::Options> feedOptions_;
    QHash<const InstrumentSession*, Entry> entries_;
    QLabel* firstStatus_;
};

} // namespace trq
