#pragma once

#include <QString>

#include <deque>

namespace trq {

// The poll's achieved pace: readings per second, and the most the serial
// wire could carry with the bytes the same readings took (10 bits a byte at
// the line's rate); no wire limit where there is no serial line.
struct PollRate {
    double readingsPerSec = 0;
    double wireLimit = 0; // 0: none known
    bool operator==(const PollRate&) const = default;
};

// "42 readings/s, wire limit 46"
QString pollRateText(const PollRate& rate);

// Counts over the last seconds, from samples of the link's running totals.
class ReadingRate {
public:
    static constexpr int kWindowMsec = 3000;

    // The totals at a moment; baud 0 for a line without a wire limit.
    void sample(qint64 msec, quint64 readings, qint64 wireBytes, int baud);
    PollRate rate() const { return rate_; }
    void clear();

private:
    struct Totals {
        qint64 msec;
        quint64 readings;
        qint64 wireBytes;
    };
    std::deque<Totals> samples_;
    PollRate rate_;
};

} // namespace trq
