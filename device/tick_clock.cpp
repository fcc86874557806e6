#include "device/tick_clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <limits>
#include <thread>

namespace viro {

quint32 SystemTickClock::ticks() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SystemTickClock::idle(quint32 maxMs) {
    if (maxMs == 0)
        return;
    // A thread without an event loop has nothing to wake it early: it naps a millisecond.
    if (!QAbstractEventDispatcher::instance()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    // The deadline is a timer of the thread's own loop: the loop then sleeps until it fires or
    // anything else arrives (a report posted by the reader thread, a device change, input), and
    // returns once it has handled that.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(int(qMin<quint32>(maxMs, std::numeric_limits<int>::max())));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool waitUntil(TickClock& clock, quint32 ms, const std::function<bool()>& done) {
    const quint32 start = clock.ticks();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done && done())
            return true;
        const quint32 elapsed = ticksSince(start, clock.ticks());
        if (elapsed >= ms)
            return false;
        clock.idle(ms - elapsed);
    }
}

} // namespace viro
