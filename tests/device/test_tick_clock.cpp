#include "device/tick_clock.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using viro::FakeTickClock;

TEST(TickClock, ElapsedTimeAcrossTheWrap) {
    EXPECT_EQ(viro::ticksSince(0xFFFFFFF0u, 0x00000010u), 0x20u);
    EXPECT_EQ(viro::ticksSince(100u, 350u), 250u);
}

TEST(TickClock, WaitRunsOutItsTimeOnTheFakeClock) {
    struct Case {
        const char* name;
        quint32 start;
        quint32 step;
        quint32 ms;
    };
    const Case cases[] = {
        {"ordinary", 1000, 1, 100},
        {"across the wrap", 0xFFFFFFC0u, 1, 100},
        {"steps larger than one", 5, 7, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTickClock clock(c.start, c.step);
        EXPECT_FALSE(viro::waitUntil(clock, c.ms, [] { return false; }));
        const quint32 elapsed = viro::ticksSince(c.start, clock.ticks());
        EXPECT_GE(elapsed, c.ms);
        EXPECT_LT(elapsed, c.ms + c.step);
    }
}

TEST(TickClock, WaitEndsWhenAnEventDeliversWhatItWaitsFor) {
    FakeTickClock clock(0);
    bool delivered = false;
    // Posted before the wait: only the wait's event processing can run it.
    QTimer::singleShot(0, [&] { delivered = true; });
    EXPECT_TRUE(viro::waitUntil(clock, 100, [&] { return delivered; }));
    EXPECT_LT(clock.ticks(), 100u);
}

TEST(TickClock, PlainWaitProcessesEvents) {
    FakeTickClock clock(0);
    int runs = 0;
    QTimer::singleShot(0, [&] { ++runs; });
    viro::waitTicks(clock, 50);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(clock.ticks(), 50u);
}

TEST(TickClock, SystemClockMoves) {
    viro::SystemTickClock clock;
    const quint32 start = clock.ticks();
    EXPECT_FALSE(viro::waitUntil(clock, 5, [] { return false; }));
    EXPECT_GE(viro::ticksSince(start, clock.ticks()), 5u);
}

// The system clock, counting the turns a wait sleeps and telling when one has begun.
class CountingSystemClock : public viro::SystemTickClock {
public:
    void idle(quint32 maxMs) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++turns;
            sleeping.notify_all();
        }
        viro::SystemTickClock::idle(maxMs);
    }
    std::mutex mutex;
    std::condition_variable sleeping;
    int turns = 0;
};

TEST(TickClock, SystemClockWaitSleepsUntilTheDeadline) {
    CountingSystemClock clock;
    const quint32 start = clock.ticks();
    EXPECT_FALSE(viro::waitUntil(clock, 200, [] { return false; }));
    EXPECT_GE(viro::ticksSince(start, clock.ticks()), 200u);
    // With nothing to handle it sleeps through, instead of turning every few hundred
    // microseconds (some hundreds of turns for this wait).
    EXPECT_LE(clock.turns, 10);
}

TEST(TickClock, SystemClockWaitWakesForAnEventOfAnotherThread) {
    CountingSystemClock clock;
    bool delivered = false;
    // Posted as the reader thread posts a report, once the wait has gone to sleep.
    std::thread reader([&] {
        std::unique_lock<std::mutex> lock(clock.mutex);
        clock.sleeping.wait(lock, [&] { return clock.turns > 0; });
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { delivered = true; }, Qt::QueuedConnection);
    });
    const quint32 start = clock.ticks();
    const bool done = viro::waitUntil(clock, 10000, [&] { return delivered; });
    reader.join();
    EXPECT_TRUE(done);
    // Woken by the event, not by the deadline.
    EXPECT_LT(viro::ticksSince(start, clock.ticks()), 10000u);
}

} // namespace
