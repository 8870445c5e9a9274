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

    void feed(const QByteArray& received);
    void push(const QString& line);
    QString pop();
    void clear() { count_ = 0; }

    int count() const { return count_; }
    const QString& partialLine() const { return partial_; }

private:
    std::array<QString, kSize> lines_;
    int count_ = 0;
    QString partial_;
    bool discarding_ = false;
};

} // namespace trq
