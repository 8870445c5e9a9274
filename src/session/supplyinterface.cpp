#include "session/supplyinterface.h"

#include "core/settings.h"
#include "link/transportfactory.h"

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

QString SupplyAddress::text() const {
    QString link;
    if (kind == InterfaceKind::Gpib) {
        link = QStringLiteral("gpib:%1:%2").arg(gpib.board).arg(gpib.address);
    } else if (TransportFactory::isSimulated(serial.port)) {
        link = QStringLiteral("sim:") + serial.port.mid(int(qstrlen(TransportFactory::kSimPrefix)));
    } else {
        link = QStringLiteral("serial:%1@%2").arg(serial.port).arg(serial.baud);
    }
    return name.isEmpty() ? link : name + QLatin1Char('=') + link;
}

bool SupplyAddress::sameLink(const SupplyAddress& other) const {
    if (kind != other.kind)
        return false;
    return kind == InterfaceKind::Gpib ? gpib == other.gpib : serial.port == other.serial.port;
}

std::variant<SupplyAddress, QString> parseSupplyAddress(const QString& text) {
    const auto refused = [&](const QString& why = {}) {
        return QStringLiteral("A supply is serial:PORT[@BAUD], gpib:BOARD:ADDRESS or sim:MODEL, "
                              "each with NAME= in front if you like, not %1%2")
            .arg(text, why.isEmpty() ? QString() : QStringLiteral(" (") + why + ')');
    };
    SupplyAddress supply;
    QString link = text.trimmed();
    // A port may hold '=' only after the link's kind, so the name is what
    // comes before the first '=' that comes before the first ':'.
    if (const qsizetype eq = text.indexOf(QLatin1Char('='));
        eq >= 0 && eq < text.indexOf(QLatin1Char(':'))) {
        supply.name = text.left(eq).trimmed();
        link = text.mid(eq + 1).trimmed();
        if (supply.name.isEmpty())
            return refused(QStringLiteral("an empty name"));
    }
    const qsizetype colon = link.indexOf(QLatin1Char(':'));
    const QString kind = link.left(colon).toLower();
    const QString rest = colon < 0 ? QString() : link.mid(colon + 1);
    if (rest.isEmpty())
        return refused();
    const auto number = [](const QString& t, int least, int most) -> std::optional<int> {
        bool ok = false;
        const int n = t.toInt(&ok);
        return ok && n >= least && n <= most ? std::optional(n) : std::nullopt;
    };
    if (kind == QLatin1String("serial")) {
        supply.kind = InterfaceKind::Serial;
        const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
        supply.serial.port = at < 0 ? rest : rest.left(at);
        if (at >= 0) {
            if (!baudRates().contains(rest.mid(at + 1)))
                return refused(QStringLiteral("the rate after the last @ is one of ") +
                               baudRates().join(QStringLiteral(", ")));
            supply.serial.baud = rest.mid(at + 1).toInt();
        }
        if (supply.serial.port.isEmpty() || TransportFactory::isSimulated(supply.serial.port))
            return refused();
        return supply;
    }
    if (kind == QLatin1String("gpib")) {
        const QStringList parts = rest.split(QLatin1Char(':'));
        const std::optional<int> board = number(parts.value(0), 0, Settings::kLastGpibBoard);
        const std::optional<int> gpibAddress =
            number(parts.value(1), 0, Settings::kLastGpibAddress);
        if (parts.size() != 2 || !board || !gpibAddress)
            return refused(QStringLiteral("board 0 to %1, address 0 to %2")
                               .arg(Settings::kLastGpibBoard)
                               .arg(Settings::kLastGpibAddress));
        supply.kind = InterfaceKind::Gpib;
        supply.gpib = {*board, *gpibAddress, {}};
        return supply;
    }
    if (kind == QLatin1String("sim")) {
        supply.kind = InterfaceKind::Serial;
        supply.serial.port = QLatin1String(TransportFactory::kSimPrefix) + rest;
        return supply;
    }
    return refused();
}

} // namespace trq
