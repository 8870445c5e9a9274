#pragma once

#include "automation/mqttfeed.h"
#include "automation/scpiserver.h"
#include "core/language.h"
#include "core/pollmode.h"
#include "session/instrumentsession.h"
#include "session/sequence.h"
#include "session/supplyinterface.h"
#include "storage/labdatabase.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>
#include <vector>

namespace trq {

// A connection named on the command line.
struct Connection {
    InterfaceKind kind = InterfaceKind::None;
    QString model;         // testing mode
    SerialSettings serial; // a port for this start only, stored once it opens
    int baudIndex = 0;
    GpibSettings gpib;
};

// What the command line asks for, checked as far as it can be before
// anything opens.
struct CommandLine {
    // Exit codes of a run without windows.
    enum Exit {
        Ok = 0,
        Quit = 1,
        BadOption = 2,
        NoSupply = 3,
        LinkLost = 4,
        NotStored = 5,
        SequenceStopped = 5, // by a failure, a lost link or a stop
        NoServer = 6
    };

    std::optional<Connection> connection;
    // --supply, repeated: a bench of these, in this order (headless).
    std::vector<SupplyAddress> supplies;
    QString bench;      // --bench: a kept bench, opened once settings can be read
    QString powerOrder; // --power-order: how --output-on switches a bench on
    QString menuModel;  // checked against the database once it is open
    QString dataFolder;
    bool headless = false;
    std::optional<ScpiServer::Options> serve;
    // --mqtt HOST[:PORT] (and --mqtt-station): publish to the lab's broker.
    std::optional<MqttFeed::Options> mqtt;
    // --database URI (and --station): a lab's PostgreSQL server the points
    // also go to (headless).
    std::optional<LabAddress> database;
    QString station;                       // default: this machine's name
    static constexpr int kContinuous = -1; // --record continuous
    int recordSeconds = 0;
    int scale = 0;
    std::optional<QString> save;
    // --sequence: read and checked as a file before anything starts.
    std::optional<Sequence> sequence;
    QString csv;
    int partHours = 0;
    bool outputOn = false;
    bool discardUnsaved = false;
    bool reconnect = false;
    std::optional<PollMode> poll;     // for this start only; the menu's choice is kept
    bool verbose = false;             // the debug trace on stderr too
    std::optional<Language> language; // for this start only

    // "--serve=PORT" becomes "--serve --serve-port PORT" before parsing.
    static QStringList normalised(int argc, char* argv[]);
    // Help and version need no display.
    static bool answersWithoutDisplay(int argc, char* argv[]);
    static void describe(QCommandLineParser& parser);
    // The options --help lists, besides help and version.
    static QList<QCommandLineOption> options();
    // The same as the man page's OPTIONS entries (roff), help and version
    // included.
    static QString manualOptions();
    // Reads the options; an unknown value ends the program with exit code 2
    // and the choices.
    static CommandLine read(const QCommandLineParser& parser);
};

} // namespace trq
