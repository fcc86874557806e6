#include "device/tick_clock.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace viro {

quint32 SystemTickClock::ticks() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SystemTickClock::idle(quint32 maxMs) {
    // Short enough that a reply posted by the reader thread is picked up at once.
    const auto pause = std::chrono::microseconds(qMin<quint64>(quint64(maxMs) * 1000, 200));
    std::this_thread::sleep_for(pause);
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
