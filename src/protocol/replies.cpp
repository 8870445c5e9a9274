#include "protocol/replies.h"

#include <QRegularExpression>

namespace trq {

ErrorReply readErrorReply(const QString& reply) {
    static const QRegularExpression answer(QStringLiteral("^\\s*([-+]?\\d+)\\s*,"));
    const QRegularExpressionMatch m = answer.match(reply);
    if (!m.hasMatch())
        return ErrorReply::Unreadable;
    bool ok = false;
    const qlonglong number = m.captured(1).toLongLong(&ok);
    if (!ok)
        return ErrorReply::Unreadable;
    return number == 0 ? ErrorReply::NoError : ErrorReply::Error;
}

LegacyStatus decodeStatus(const QString& reply) {
    LegacyStatus status;
    const QString packed = QString(reply).remove(QLatin1Char(' '));
    static const QRegularExpression flags(QStringLiteral("^[01]{8}$"));
    if (!flags.match(packed).hasMatch())
        return status;
    status.readable = true;
    const QString mode = packed.mid(2, 2);
    if (mode == QLatin1String("01"))
        status.coupling = Coupling::Independent;
    else if (mode == QLatin1String("11"))
        status.coupling = Coupling::Tracking;
    else if (mode == QLatin1String("10"))
        status.coupling = Coupling::Parallel;
    const QString out = packed.mid(6, 1);
    if (out == QLatin1String("0"))
        status.output = false;
    else if (out == QLatin1String("1"))
        status.output = true;
    return status;
}

Coupling couplingFromReply(const QString& reply) {
    if (reply == QLatin1String("0"))
        return Coupling::Independent;
    if (reply == QLatin1String("2"))
        return Coupling::Parallel;
    return Coupling::Tracking;
}

const char* couplingWord(Coupling coupling) {
    static const char* const kWords[] = {"INDEP", "TRAC", "PAR"};
    return kWords[int(coupling)];
}

QString withoutUnit(QString text, QChar unit) {
    if (text.endsWith(unit))
        text.chop(1);
    return text;
}

std::optional<QString> readingOf(const QString& reply, QChar unit) {
    if (reply.size() < 2 || reply.size() > 7 || !reply.contains(unit))
        return std::nullopt;
    return withoutUnit(reply, unit);
}

} // namespace trq
