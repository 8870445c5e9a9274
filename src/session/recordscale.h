#pragma once

#include <QCoreApplication>

#include <algorithm>
#include <array>

namespace trq {

// The record scales: how many one-second ticks make one recorded point, and
// how many seconds per point the graph's time axis assumes.
struct RecordScale {
    const char* text;
    const char* name; // on the command line
    int ticksPerPoint;
    int graphSecondsPerPoint;
};

// A scale's text in the user's language.
inline QString scaleText(const RecordScale& scale) {
    return QCoreApplication::translate("trq::RecordScale", scale.text);
}

inline constexpr std::array<RecordScale, 10> kRecordScales{{
    {QT_TRANSLATE_NOOP("trq::RecordScale", "1 second"), "1s", 1, 1},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "2 seconds"), "2s", 2, 2},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "5 seconds"), "5s", 5, 5},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "10 seconds"), "10s", 10, 10},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "30 seconds"), "30s", 30, 30},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "1 min"), "1m", 60, 60},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "5 mins"), "5m", 300, 300},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "10 mins"), "10m", 600, 600},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "30 mins"), "30m", 1800, 1800},
    {QT_TRANSLATE_NOOP("trq::RecordScale", "1 Hour"), "1h", 3600, 3600},
}};

// A stored scale index, clamped to the table (old or damaged records).
inline const RecordScale& recordScale(int index) {
    return kRecordScales[std::size_t(std::clamp(index, 0, int(kRecordScales.size()) - 1))];
}

// How one scale window of readings becomes one point.
enum class PointOperation { Maximum = 0, Minimum = 1, Average = 2 };

} // namespace trq
