#include "link/wiretiming.h"

#include <algorithm>
#include <cmath>

namespace trq {

void WireTiming::setBaud(int baud) {
    baud_ = std::max(baud, 1);
    answerBytes_.clear();
    recentCount_ = recentAt_ = 0;
    tracedAllowance_ = -1;
    widened_ = 0;
}

double WireTiming::bytesMsec(qint64 bytes) const {
    return double(bytes) * kBitsPerByte * 1000.0 / double(baud_);
}

int WireTiming::expectedAnswerBytes(const QString& query) const {
    return answerBytes_.value(query, kTypicalAnswerBytes);
}

int WireTiming::timeoutMsec(const QString& query, qint64 bytesOut) const {
    const double wire = bytesMsec(bytesOut + expectedAnswerBytes(query));
    return int(std::ceil(wire + allowanceMsec()));
}

double WireTiming::turnaroundMsec() const {
    if (recentCount_ == 0)
        return 0;
    return *std::max_element(recent_.begin(), recent_.begin() + recentCount_);
}

double WireTiming::allowanceMsec() const {
    return std::min(std::max({kMinAllowanceMsec, 3 * turnaroundMsec(), widened_}),
                    kMaxAllowanceMsec);
}

void WireTiming::gaveUp() {
    widened_ = kAfterSilenceMsec;
}

bool WireTiming::answered(const QString& query, qint64 bytesOut, qint64 bytesBack,
                          double elapsedMsec) {
    int& longest = answerBytes_[query];
    longest = std::max(longest, int(bytesBack));
    // What the bytes cannot explain is the supply's (and its adapter's) turnaround.
    recent_[std::size_t(recentAt_)] = std::max(0.0, elapsedMsec - bytesMsec(bytesOut + bytesBack));
    recentAt_ = (recentAt_ + 1) % kRecentAnswers;
    recentCount_ = std::min(recentCount_ + 1, kRecentAnswers);
    widened_ *= 0.9; // answers in time: back towards the measured allowance
    const double allowance = allowanceMsec();
    if (tracedAllowance_ >= 0 && std::abs(allowance - tracedAllowance_) < 1.0)
        return false;
    tracedAllowance_ = allowance;
    return true;
}

} // namespace trq
