#pragma once

#include <QHash>
#include <QString>

#include <array>

namespace trq {

// The time a serial exchange takes on the wire, and how long to wait for an
// answer before the supply counts as silent: each byte takes 10 bits (8N1
// with its start and stop bits) at the line's rate, and the supply needs a
// turnaround between the question's last byte and the answer's first, which
// is measured on the answers that come.
class WireTiming {
public:
    static constexpr int kBitsPerByte = 10;
    // Until a query has been answered once, its answer is taken to be this
    // long: a reading with its unit and line end.
    static constexpr int kTypicalAnswerBytes = 24;
    // The turnaround allowance never falls below this, so that a supply that
    // is slow now and then (a set value being stored) is not taken for a
    // silent one; above it, three times the longest turnaround measured.
    static constexpr double kMinAllowanceMsec = 50;
    static constexpr double kAfterSilenceMsec = 200;
    static constexpr double kMaxAllowanceMsec = 1000;
    static constexpr int kRecentAnswers = 32;

    // A new line rate forgets what was measured.
    void setBaud(int baud);
    int baud() const { return baud_; }
    double bytesMsec(qint64 bytes) const;
    int expectedAnswerBytes(const QString& query) const;
    // How long a query of bytesOut bytes may wait for its answer's line end.
    int timeoutMsec(const QString& query, qint64 bytesOut) const;
    // An exchange that got no answer in its time: the next ones wait as
    // long as a serial answer was always given, shrinking back to the
    // measured allowance as answers come in time again.
    void gaveUp();
    // An answered exchange and the time from the write to its line end.
    // True when the allowance has changed enough to be worth a trace line.
    bool answered(const QString& query, qint64 bytesOut, qint64 bytesBack, double elapsedMsec);
    double turnaroundMsec() const;
    double allowanceMsec() const;

private:
    int baud_ = 9600;
    QHash<QString, int> answerBytes_;
    std::array<double, kRecentAnswers> recent_{};
    int recentCount_ = 0;
    int recentAt_ = 0;
    double tracedAllowance_ = -1;
    double widened_ = 0; // after exchanges that gave up
};

} // namespace trq
