#pragma once

#include <QtGlobal>

#include <functional>

namespace viro {

// The millisecond tick counter every wait of the program runs on. It wraps at 2^32; elapsed
// times are taken with ticksSince(), modulo the counter's range, so waits keep their length
// across the wrap.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual quint32 ticks() const = 0;
    // Lets time pass inside a wait loop that has nothing to do, for at most `maxMs`: the system
    // clock sleeps until an event arrives (and handles it) or `maxMs` have passed; a fake clock
    // moves on by its step without sleeping.
    virtual void idle(quint32 maxMs) = 0;
    // The ticks follow the wall clock, so a timer of the event loop fires when they say.
    virtual bool followsWallClock() const { return false; }
};

inline quint32 ticksSince(quint32 start, quint32 now) {
    return now - start;
}

// The system's monotonic clock. Its waits sleep in the thread's event loop, so a wait costs
// no processor time while nothing happens.
class SystemTickClock : public TickClock {
public:
    quint32 ticks() const override;
    void idle(quint32 maxMs) override;
    bool followsWallClock() const override { return true; }
};

// A clock that only moves when told to, or by `step` ms at every idle turn of a wait, so a wait
// of minutes runs in milliseconds and exactly as it would in real time.
class FakeTickClock : public TickClock {
public:
    explicit FakeTickClock(quint32 start = 0, quint32 step = 1) : now_(start), step_(step) {}
    quint32 ticks() const override { return now_; }
    void idle(quint32 maxMs) override { now_ += qMin(step_, qMax<quint32>(maxMs, 1)); }
    void advance(quint32 ms) { now_ += ms; }
    void setStep(quint32 step) { step_ = step; }

private:
    quint32 now_;
    quint32 step_;
};

// Processes pending events until `done` holds or `ms` ticks have passed; true when `done` held.
// Event handlers (reports, device changes, timers, user input) run during the wait.
bool waitUntil(TickClock& clock, quint32 ms, const std::function<bool()>& done);

// Waits `ms` ticks while processing events.
inline void waitTicks(TickClock& clock, quint32 ms) {
    waitUntil(clock, ms, nullptr);
}

} // namespace viro
