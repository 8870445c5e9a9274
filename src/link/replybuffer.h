#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace trq {

// Reply lines assembled from the characters a transport delivers. Not a
// ring: a pop returns the newest line and empties the whole buffer, because
// replies carry no tag and only the last answer to a query counts.
class ReplyBuffer {
public:
    static constexpr int kSize = 200;
    // A partial line longer than this is dropped up to its line end, so an
    // instrument that never ends its line cannot make the buffer grow.
    static constexpr int kMaxLineLength = 4096;

    void RspTask(const QByteArray& RspString);
    void RspPush(const QString& data);
    QString RspPop();
    void ResetRspArray() { RspCount_ = 0; }

    int RspCount() const { return RspCount_; }
    const QString& RspLine() const { return RspLine_; }

private:
    std::array<QString, kSize> RspArray_;
    int RspCount_ = 0;
    QString RspLine_;
    bool discarding_ = false;
};

} // namespace trq
