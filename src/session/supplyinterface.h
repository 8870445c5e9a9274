#pragma once

#include <QString>
#include <QStringList>

namespace trq {

// How a supply is reached.
enum class InterfaceKind { None, Serial, Gpib, TestingMode };

struct SerialSettings {
    QString port;
    qint32 baud = 9600;
};

struct GpibSettings {
    int board = 0;
    int address = 0;
    QString simulatedModel; // empty: a real instrument on the bus
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

} // namespace trq
