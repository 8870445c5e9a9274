#include "link/replybuffer.h"

#include "core/debugtrace.h"

namespace trq {

void ReplyBuffer::feed(const QByteArray& received) {
    for (const char ch : received) {
        if (ch == '\r' || ch == '\n') {
            if (!discarding_ && !partial_.isEmpty() && !partial_.contains(QLatin1String("bit")))
                push(partial_);
            partial_.clear();
            discarding_ = false;
            continue;
        }
        if (discarding_)
            continue;
        partial_.append(QLatin1Char(ch));
        if (partial_.size() > kMaxLineLength) {
            trace(QStringLiteral("Rsp line too long, dropped"));
            partial_.clear();
            discarding_ = true;
        }
    }
}

void ReplyBuffer::push(const QString& line) {
    if (count_ >= kSize) {
        trace("Rsp overflow");
        return;
    }
    if (line.isEmpty() || line == QLatin1String("\r") || line == QLatin1String("\n"))
        return;
    lines_[std::size_t(count_)] = line;
    ++count_;
    trace(QStringLiteral("RspPush '") + line + QLatin1Char('\''));
}

QString ReplyBuffer::pop() {
    if (count_ == 0)
        return {};
    QString line = lines_[std::size_t(count_ - 1)];
    trace(QStringLiteral("RspPop '") + line + QLatin1Char('\''));
    count_ = 0;
    return line;
}

} // namespace trq
