#include "core/clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace trq {

void EventLoopWaiter::wait(int msec) {
    if (msec <= 0) {
        letEventsRun();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(msec, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void EventLoopWaiter::letEventsRun() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace trq
