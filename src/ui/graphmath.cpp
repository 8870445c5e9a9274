#include "ui/graphmath.h"

#include "core/numbers.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cmath>

namespace trq {

namespace {

struct GraphText {
    Q_DECLARE_TR_FUNCTIONS(GraphText)
};

} // namespace

namespace {
constexpr qint64 kSecondsPerDay = 86400;
} // namespace

QString formatElapsed(qint64 s) {
    const qint64 seconds = s % 60;
    const qint64 minutes = (s / 60) % 60;
    const qint64 hours = (s / 3600) % 24;
    const qint64 days = s / kSecondsPerDay;
    const QString time = QStringLiteral("%1:%2:%3").arg(hours).arg(minutes).arg(seconds);
    return days >= 1 ? QString::number(days) + QStringLiteral("D ") + time : time;
}

namespace {

constexpr XLength kMinuteChoices[] = {
    {"5m", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Sec]"), "h:n:ss", "0:5:00", 5},
    {"10m", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Sec]"), "h:n:ss", "0:10:00", 5},
    {"20m", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Sec]"), "h:n:ss", "0:20:00", 5},
    {"30m", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Sec]"), "h:n:ss", "0:30:00", 5},
    {"60m", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Sec]"), "h:n:ss", "1:0:00", 6},
};

constexpr XLength kHourChoices[] = {
    {"1 Hr", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [min]"), "h:nn", "1:00", 6},
    {"3 Hr", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [min]"), "h:nn", "3:00", 6},
    {"6 Hr", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Min]"), "h:nn", "6:00", 6},
    {"12Hr", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Min]"), "h:nn", "12:00", 6},
    {"1Day", QT_TRANSLATE_NOOP("GraphText", "Elapsed Time [Min]"), "hh:nn", "23:59", 6},
};

} // namespace

std::span<const XLength> xLengthChoices(int secondsPerPoint) {
    if (secondsPerPoint < 60)
        return kMinuteChoices;
    return kHourChoices;
}

std::optional<XLength> xLength(const QString& text) {
    for (auto choices :
         {std::span<const XLength>(kMinuteChoices), std::span<const XLength>(kHourChoices)})
        for (const XLength& x : choices)
            if (text == QLatin1String(x.text))
                return x;
    return std::nullopt;
}

QString xLengthCaption(const XLength& length) {
    return GraphText::tr(length.caption);
}

double secondsOf(const QString& timeOfDay) {
    const QStringList parts = timeOfDay.split(QLatin1Char(':'));
    double seconds = 0;
    static constexpr double kUnits[] = {3600, 60, 1};
    for (int i = 0; i < parts.size() && i < 3; ++i)
        seconds += parts.at(i).toDouble() * kUnits[i];
    return seconds;
}

QString formatAxisTime(double seconds, const QString& labelFormat) {
    const qint64 total = std::llround(seconds);
    const qint64 h = (total / 3600) % 24;
    const qint64 n = (total / 60) % 60;
    const qint64 s = total % 60;
    QString out;
    // Longest tokens first: "hh" before "h", and so on.
    static const QRegularExpression token(QStringLiteral("hh|h|nn|n|ss|s|[^hns]+"));
    for (const QRegularExpressionMatch& m : token.globalMatch(labelFormat)) {
        const QString t = m.captured();
        if (t == QLatin1String("hh"))
            out += QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0'));
        else if (t == QLatin1String("h"))
            out += QString::number(h);
        else if (t == QLatin1String("nn"))
            out += QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
        else if (t == QLatin1String("n"))
            out += QString::number(n);
        else if (t == QLatin1String("ss"))
            out += QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
        else if (t == QLatin1String("s"))
            out += QString::number(s);
        else
            out += t;
    }
    return out;
}

QStringList voltageRangeChoices() {
    QStringList list{GraphText::tr("Default"), QStringLiteral("1 V")};
    for (int v = 5; v <= 105; v += 5)
        list << QString::number(v) + QLatin1Char('V');
    return list;
}

QStringList currentRangeChoices() {
    QStringList list{GraphText::tr("Default"), QStringLiteral("0.1 A")};
    for (int i = 1; i <= 9; ++i)
        list << QString::number(0.5 * i) + QLatin1Char('A');
    for (int a = 5; a <= 50; a += 5)
        list << QString::number(a) + QLatin1Char('A');
    return list;
}

QStringList cursorChoices(int channels) {
    QStringList list;
    for (int c = 1; c <= std::clamp(channels, 1, 4); ++c)
        list << GraphText::tr("CH%1 Vol").arg(c) << GraphText::tr("CH%1 Cur").arg(c);
    return list;
}

QStringList summaryLines(int sampleCount, qint64 totalSeconds, int secondsPerPoint,
                         std::span<const ChannelSummary> channels) {
    QStringList lines;
    lines << GraphText::tr("Total Time:") +
                 (sampleCount > 0 ? formatElapsed(totalSeconds) : QStringLiteral("0d 0:0:0"));
    lines << GraphText::tr("Time Slice: %1sec").arg(secondsPerPoint);
    lines << GraphText::tr("Samples: %1").arg(sampleCount > 0 ? sampleCount - 1 : 0);
    int c = 1;
    for (const ChannelSummary& s : channels) {
        const QString ch = QStringLiteral("CH") + QString::number(c++);
        lines << GraphText::tr("%1 Max:%2V %3A").arg(ch, shownNumber(s.maxV), shownNumber(s.maxA));
        lines << GraphText::tr("%1 Min:%2V %3A").arg(ch, shownNumber(s.minV), shownNumber(s.minA));
    }
    return lines;
}

double timeTickStep(double rangeSize, double lengthStep, int divisions) {
    const double wanted = rangeSize / std::max(divisions, 1);
    if (lengthStep > 0 && wanted > lengthStep / 2 && wanted < lengthStep * 2)
        return lengthStep;
    static constexpr int kRoundSeconds[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                            600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (int step : kRoundSeconds)
        if (step >= wanted)
            return step;
    return std::ceil(wanted / kSecondsPerDay) * kSecondsPerDay; // whole days
}

QString tickLabelFormat(const QString& lengthFormat, double tickStep) {
    if (tickStep < 59.5 && !lengthFormat.contains(QLatin1Char('s')))
        return lengthFormat + QStringLiteral(":ss");
    return lengthFormat;
}

} // namespace trq
