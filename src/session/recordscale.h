#pragma once

#include <array>

namespace trq {

// The record scales: how many one-second ticks make one recorded point, and
// how many seconds per point the graph's time axis assumes.
struct RecordScale {
    const char* text;
    int ticksPerPoint;
    int graphSecondsPerPoint;
};

inline constexpr std::array<RecordScale, 10> kRecordScales{{
    {"1 second", 1, 1},
    {"2 seconds", 2, 2},
    {"5 seconds", 5, 5},
    {"10 seconds", 10, 10},
    {"30 seconds", 30, 30},
    {"1 min", 60, 60},
    {"5 mins", 300, 300},
    {"10 mins", 600, 600},
    {"30 mins", 1800, 1800},
    {"1 Hour", 3600, 3600},
}};

// How one scale window of readings becomes one point.
enum class PointOperation { Maximum = 0, Minimum = 1, Average = 2 };

} // namespace trq
