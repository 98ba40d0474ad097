// Default clock: seconds since the first use of the library, on a monotonic timer.
#include "link_clock.h"

#include <QElapsedTimer>
#include <QMutex>
#include <algorithm>

namespace {

QMutex clockMutex;
LinkClock currentClock;

int64_t monotonic_seconds() {
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed() / 1000;
}

}  // namespace

int64_t link_now_seconds() {
    int64_t now;
    {
        QMutexLocker lock(&clockMutex);
        now = currentClock ? currentClock() : monotonic_seconds() + 1;
    }
    return std::max<int64_t>(now, 1);
}

void link_set_clock(LinkClock clock) {
    QMutexLocker lock(&clockMutex);
    currentClock = std::move(clock);
}
