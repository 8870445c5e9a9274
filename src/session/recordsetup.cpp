#include "session/recordsetup.h"

#include <algorithm>

namespace trq {

static_assert(Settings::kRecordScaleCount == kRecordScales.size());
static_assert(Settings::kPointOperationCount == int(PointOperation::Average) + 1);

int RecordSetup::clampedScale() const {
    return std::clamp(scale, 0, int(kRecordScales.size()) - 1);
}

void RecordSetup::load() {
    const Settings& s = Settings::instance();
    days = s.recordDays();
    hours = s.recordHours();
    minutes = s.recordMinutes();
    seconds = s.recordSeconds();
    scale = s.recordScale();
    operation = s.recordOperation();
    continuous = s.recordContinuous();
    partHours = s.recordPartHours();
    for (int n = 0; n < 4; ++n)
        colours[std::size_t(n)] = s.channelColour(n + 1);
    waitingTime = s.waitingTime();
    roundTime = s.roundTime();
    writerTime = s.writerTime();
}

void RecordSetup::save() const {
    Settings& s = Settings::instance();
    s.setRecordDays(days);
    s.setRecordHours(hours);
    s.setRecordMinutes(minutes);
    s.setRecordSeconds(seconds);
    s.setRecordScale(scale);
    s.setRecordOperation(operation);
    s.setRecordContinuous(continuous);
    s.setRecordPartHours(partHours);
    for (int n = 0; n < 4; ++n)
        s.setChannelColour(n + 1, colours[std::size_t(n)]);
    s.setWaitingTime(waitingTime);
    s.setRoundTime(roundTime);
    s.setWriterTime(writerTime);
}

} // namespace trq
