#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>

namespace trq {

// Time and axis arithmetic of the graph window, kept apart from the plot so
// it can be checked on its own. Times on the x axis are elapsed seconds.

// "1D 1:1:1", or "1:2:5" below a day: numbers without leading zeros.
QString formatElapsed(qint64 seconds);

// One choice of the time axis length.
struct XLength {
    const char* text;
    const char* caption;
    const char* labelFormat; // "h:n:ss", "h:nn" or "hh:nn"
    const char* rangeEnd;    // a time of day, "0:5:00"
    int majorDivisions;
};

// The time-length choices: minutes below a 60-second period, hours above.
std::span<const XLength> xLengthChoices(int secondsPerPoint);
std::optional<XLength> xLength(const QString& text);
// The time axis' caption for a length, in the user's language.
QString xLengthCaption(const XLength& length);

// "h:mm:ss" style texts to seconds ("0:5:00" is 300).
double secondsOf(const QString& timeOfDay);
// Seconds in a label format (the time of day they reach): "h" and "n"
// without leading zeros, "hh", "nn" and "ss" with them.
QString formatAxisTime(double seconds, const QString& labelFormat);

// The time axis' tick step for a visible range (seconds): the chosen
// length's own division while the range is near that length; zoomed or
// panned further, a round time step giving about as many ticks.
double timeTickStep(double rangeSize, double lengthStep, int divisions);
// The label format for a tick step: seconds are added below a minute.
QString tickLabelFormat(const QString& lengthFormat, double tickStep);

// The range choices of the voltage and current axes; the first is "Default".
QStringList voltageRangeChoices();
QStringList currentRangeChoices();

// The cursor list: a voltage and a current entry per channel.
QStringList cursorChoices(int channels);

// Statistics list lines. Extremes are texts as the database gives them,
// empty where it has none.
struct ChannelSummary {
    QString maxV, minV, maxA, minA;
};
// The total time is from the first sample to the last.
QStringList summaryLines(int sampleCount, qint64 totalSeconds, int secondsPerPoint,
                         std::span<const ChannelSummary> channels);

} // namespace trq
