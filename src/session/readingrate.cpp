#include "session/readingrate.h"

#include "link/wiretiming.h"

#include <QCoreApplication>

#include <cmath>

namespace trq {

QString pollRateText(const PollRate& rate) {
    const QString readings = QCoreApplication::translate("trq::PollRate", "%1 readings/s")
                                 .arg(std::lround(rate.readingsPerSec));
    if (rate.wireLimit <= 0)
        return readings;
    return QCoreApplication::translate("trq::PollRate", "%1, wire limit %2")
        .arg(readings)
        .arg(std::lround(rate.wireLimit));
}

void ReadingRate::clear() {
    samples_.clear();
    rate_ = {};
}

void ReadingRate::sample(qint64 msec, quint64 readings, qint64 wireBytes, int baud) {
    if (!samples_.empty() && (msec < samples_.back().msec || readings < samples_.back().readings ||
                              wireBytes < samples_.back().wireBytes))
        samples_.clear(); // the counters started again (a new link)
    samples_.push_back({msec, readings, wireBytes});
    while (samples_.size() > 2 && msec - samples_[1].msec >= kWindowMsec)
        samples_.pop_front();
    const Totals& first = samples_.front();
    const double seconds = double(msec - first.msec) / 1000.0;
    if (seconds <= 0) {
        rate_ = {};
        return;
    }
    const double count = double(readings - first.readings);
    rate_.readingsPerSec = count / seconds;
    const qint64 bytes = wireBytes - first.wireBytes;
    rate_.wireLimit = baud > 0 && bytes > 0
                          ? count / (double(bytes) * WireTiming::kBitsPerByte / double(baud))
                          : 0;
}

} // namespace trq
