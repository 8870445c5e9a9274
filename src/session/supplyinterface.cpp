#include "session/supplyinterface.h"

namespace trq {

QString interfaceText(InterfaceKind kind) {
    switch (kind) {
    case InterfaceKind::Serial:
        return QStringLiteral("RS232");
    case InterfaceKind::Gpib:
        return QStringLiteral("GPIB");
    case InterfaceKind::TestingMode:
        return QStringLiteral("Menu");
    case InterfaceKind::None:
        break;
    }
    return {};
}

InterfaceKind interfaceFromText(const QString& text) {
    for (InterfaceKind k : {InterfaceKind::Serial, InterfaceKind::Gpib, InterfaceKind::TestingMode})
        if (text == interfaceText(k))
            return k;
    return InterfaceKind::None;
}

QStringList baudRates() {
    return {QStringLiteral("9600"),  QStringLiteral("4800"),   QStringLiteral("2400"),
            QStringLiteral("1200"),  QStringLiteral("115200"), QStringLiteral("57600"),
            QStringLiteral("19200"), QStringLiteral("38400")};
}

} // namespace trq
