#include "core/clock.h"

#include <QTimer>

namespace trq {

void TimerWaiter::after(int msec, QObject* context, std::function<void()> work) {
    QTimer::singleShot(msec, Qt::PreciseTimer, context, std::move(work));
}

} // namespace trq
