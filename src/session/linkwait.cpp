#include "session/linkwait.h"

namespace trq {

LinkWait::LinkWait(QObject* parent) : QObject(parent) {
    timer_.setInterval(kCheckMsec);
    connect(&timer_, &QTimer::timeout, this, &LinkWait::tick);
}

void LinkWait::start(const QString& title, const QString& label, Check check, Then then) {
    abandon();
    title_ = title;
    label_ = label;
    progress_ = {};
    check_ = std::move(check);
    then_ = std::move(then);
    timer_.start();
    emit started();
}

void LinkWait::cancel() {
    if (active())
        finish(true);
}

void LinkWait::abandon() {
    if (!active())
        return;
    timer_.stop();
    check_ = nullptr;
    then_ = nullptr;
    emit ended();
}

void LinkWait::tick() {
    if (!check_)
        return;
    if (const std::optional<WaitProgress> p = check_()) {
        progress_ = *p;
        emit progressed();
        return;
    }
    finish(false);
}

void LinkWait::finish(bool cancelled) {
    timer_.stop();
    check_ = nullptr;
    // What follows may start the next wait.
    const Then then = std::exchange(then_, nullptr);
    emit ended();
    if (then)
        then(cancelled);
}

} // namespace trq
