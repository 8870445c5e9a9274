#pragma once

#include <QString>
#include <QStringList>

#include <variant>

namespace trq {

// How a supply is reached.
enum class InterfaceKind { None, Serial, Gpib, TestingMode };

struct SerialSettings {
    QString port;
    qint32 baud = 9600;
    bool operator==(const SerialSettings&) const = default;
};

struct GpibSettings {
    int board = 0;
    int address = 0;
    QString simulatedModel; // empty: a real instrument on the bus
    bool operator==(const GpibSettings&) const = default;
};

// The interface kind as the settings keep it ("RS232", "GPIB", "Menu"):
// settings files written by every version read these texts; anything else
// reads back as no interface.
QString interfaceText(InterfaceKind kind);
InterfaceKind interfaceFromText(const QString& text);

// The serial rates offered, the dialog's and the command line's: the
// settings keep a rate's place in this list (RS232/BaudRateIndex), so a new
// rate goes at the end.
QStringList baudRates();

// One supply of a bench, as the command line names it and the bench keeps
// it: "serial:PORT[@BAUD]", "gpib:BOARD:ADDRESS" or "sim:MODEL", with an
// optional name in front ("logic=serial:/dev/ttyUSB0"). A simulated supply
// is a serial one on the port "SIM:MODEL".
struct SupplyAddress {
    QString name; // empty: the supply is called by its model
    InterfaceKind kind = InterfaceKind::None;
    SerialSettings serial;
    GpibSettings gpib;

    // A parsed address's text reads back as the same address. (A simulated GPIB
    // instrument has no text: it is the command line's --sim alone.)
    QString text() const;
    // The same port (whatever its rate) or GPIB address: one supply.
    bool sameLink(const SupplyAddress& other) const;
    bool operator==(const SupplyAddress&) const = default;
};

// The address, or why the text names no supply (said as the command line says
// it: "serial:PORT[@BAUD], gpib:BOARD:ADDRESS or sim:MODEL, not ..."). A
// simulated model is checked by whoever knows the simulated supplies.
std::variant<SupplyAddress, QString> parseSupplyAddress(const QString& text);

} // namespace trq
