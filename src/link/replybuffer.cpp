#include "link/replybuffer.h"

#include "shell/debugtrace.h"

namespace trq {

void ReplyBuffer::RspTask(const QByteArray& RspString) {
    for (const char ch : RspString) {
        if (ch == '\r' || ch == '\n') {
            if (!discarding_ && !RspLine_.isEmpty() && !RspLine_.contains(QLatin1String("bit")))
                RspPush(RspLine_);
            RspLine_.clear();
            discarding_ = false;
            continue;
        }
        if (discarding_)
            continue;
        RspLine_.append(QLatin1Char(ch));
        if (RspLine_.size() > kMaxLineLength) {
            printd(QStringLiteral("Rsp line too long, dropped"));
            RspLine_.clear();
            discarding_ = true;
        }
    }
}

void ReplyBuffer::RspPush(const QString& data) {
    if (RspCount_ >= kSize) {
        printd("Rsp overflow");
        return;
    }
    if (data.isEmpty() || data == QLatin1String("\r") || data == QLatin1String("\n"))
        return;
    RspArray_[std::size_t(RspCount_)] = data;
    ++RspCount_;
    printd(QStringLiteral("RspPush '") + data + QLatin1Char('\''));
}

QString ReplyBuffer::RspPop() {
    if (RspCount_ == 0)
        return {};
    QString line = RspArray_[std::size_t(RspCount_ - 1)];
    printd(QStringLiteral("RspPop '") + line + QLatin1Char('\''));
    RspCount_ = 0;
    return line;
}

} // namespace trq
