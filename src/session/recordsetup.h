#pragma once

#include "core/settings.h"
#include "session/recordscale.h"

#include <QString>

#include <array>

namespace trq {

// How a recording is made: its length, the record scale and the point
// operation, the channels' colours on the graph, and the three timer
// switches, as the settings keep them.
struct RecordSetup {
    // Starting colours of the four channels: green, blue, purple, yellow, as
    // 24-bit values with red in the low byte.
    static constexpr std::array<int, 4> kDefaultColours{49152, 12582912, 8388736, 65535};

    int days = 0, hours = 0, minutes = 0, seconds = 0;
    static constexpr int kMaxDays = Settings::kMaxRecordDays;
    int scale = 0;
    bool continuous = false; // until stopped, whatever the length says
    int partHours = 0;       // save a record part every so many hours; 0: never
    static constexpr int kMaxPartHours = Settings::kMaxPartHours;
    int operation = 0; // PointOperation
    std::array<QString, 4> colours;
    QString waitingTime, roundTime, writerTime;

    void load();
    void save() const;
    // The length in one-second ticks, as the dialog sets it.
    int lengthSeconds() const { return ((days * 24 + hours) * 60 + minutes) * 60 + seconds; }
    // Seconds per point on the graph's time axis.
    int secondsPerPoint() const { return recordScale(scale).graphSecondsPerPoint; }
    int clampedScale() const;
};

} // namespace trq
