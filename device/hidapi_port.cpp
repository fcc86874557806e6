#include "device/hidapi_port.h"

#include "device/probe_protocol.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace viro {

using Clock = std::chrono::steady_clock;

// Shared by the port and its I/O thread; the thread holds it by shared pointer, so it stays
// valid when a stop times out and the port is gone before the thread ends.
struct HidapiPort::Shared {
    // `mutex` guards every member from `requests` to `sink`.
    std::mutex mutex;
    std::condition_variable wake;     // requests queued or stop asked
    std::condition_variable finished; // the thread has ended
    std::deque<std::function<void()>> requests;
    bool stopRequested = false;
    bool running = false;
    bool done = true;
    std::vector<HidDeviceInfo> devices;
    bool held = false;
    bool lost = false;
    QString heldPath;
    int outputLength = 0;
    // Hands an event to the port's thread; cleared when the port goes.
    std::function<void(std::function<void(HidapiPort&)>)> sink;

    // Bumped by every flush; reports read before it are dropped when they arrive.
    std::atomic<quint64> flushGeneration{0};

    // The library and the open device: touched by the I/O thread only.
    std::unique_ptr<HidApi> api;
    std::unique_ptr<HidDeviceHandle> device;
    std::thread thread;
};

namespace {

using Shared = HidapiPort::Shared;

bool samePaths(const std::vector<HidDeviceInfo>& a, const std::vector<HidDeviceInfo>& b) {
    auto paths = [](const std::vector<HidDeviceInfo>& list) {
        std::vector<QString> p;
        for (const HidDeviceInfo& d : list)
            p.push_back(d.path);
        std::sort(p.begin(), p.end());
        return p;
    };
    return paths(a) == paths(b);
}

// Called with `mutex` held.
void post(Shared& s, std::function<void(HidapiPort&)> event) {
    if (s.sink)
        s.sink(std::move(event));
}

// With `mutex` held; unlocks around the library call.
void enumerateNow(Shared& s, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    std::vector<HidDeviceInfo> list = s.api->enumerate();
    lock.lock();
    if (samePaths(list, s.devices)) {
        s.devices = std::move(list);
        return;
    }
    s.devices = std::move(list);
    post(s, [](HidapiPort& port) { emit port.devicesChanged(); });
}

void ioLoop(std::shared_ptr<Shared> s, HidapiPort::Timing timing) {
    std::unique_lock<std::mutex> lock(s->mutex);
    enumerateNow(*s, lock);
    auto nextPoll = Clock::now() + std::chrono::milliseconds(timing.pollMs);
    std::vector<quint8> buffer(1024);
    while (!s->stopRequested) {
        while (!s->requests.empty() && !s->stopRequested) {
            std::function<void()> request = std::move(s->requests.front());
            s->requests.pop_front();
            lock.unlock();
            request();
            lock.lock();
        }
        if (s->stopRequested)
            break;
        if (Clock::now() >= nextPoll) {
            enumerateNow(*s, lock);
            nextPoll = Clock::now() + std::chrono::milliseconds(timing.pollMs);
        }
        if (s->device && !s->lost) {
            const quint64 generation = s->flushGeneration;
            lock.unlock();
            const int n = s->device->read(buffer.data(), int(buffer.size()), timing.readTimeoutMs);
            lock.lock();
            if (n > 0) {
                // A deep copy leaves the thread; the buffer is reused.
                QByteArray data(reinterpret_cast<const char*>(buffer.data()), n);
                std::weak_ptr<Shared> weak = s;
                post(*s, [data, generation, weak](HidapiPort& port) {
                    const auto shared = weak.lock();
                    if (shared && shared->flushGeneration == generation)
                        emit port.reportReceived(data);
                });
            } else if (n < 0) {
                // The device is gone: stop reading it and tell the program at once. The list is
                // forgotten, so a probe that comes back under the same path (or never left it)
                // shows up as a change at the next poll and is taken again.
                s->lost = true;
                s->devices.clear();
                post(*s, [](HidapiPort& port) { emit port.devicesChanged(); });
            }
        } else {
            s->wake.wait_until(lock, nextPoll,
                               [&] { return s->stopRequested || !s->requests.empty(); });
        }
    }
    lock.unlock();
    s->device.reset();
    lock.lock();
    s->held = false;
    s->running = false;
    s->done = true;
    s->finished.notify_all();
}

// Runs `fn` on the I/O thread and waits for its result; `fallback` when the thread is not
// running or does not answer in time.
template <typename R>
R call(const std::shared_ptr<Shared>& s, int timeoutMs, R fallback, std::function<R()> fn) {
    auto promise = std::make_shared<std::promise<R>>();
    std::future<R> future = promise->get_future();
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        if (!s->running || s->stopRequested)
            return fallback;
        s->requests.push_back([promise, fn] { promise->set_value(fn()); });
    }
    s->wake.notify_all();
    if (future.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return fallback;
    return future.get();
}

} // namespace

HidapiPort::HidapiPort(std::unique_ptr<HidApi> api, QObject* parent)
    : HidapiPort(std::move(api), Timing{}, parent) {}

HidapiPort::HidapiPort(std::unique_ptr<HidApi> api, Timing timing, QObject* parent)
    : HidPort(parent), shared_(std::make_shared<Shared>()), timing_(timing) {
    shared_->api = std::move(api);
    shared_->sink = [this](std::function<void(HidapiPort&)> event) {
        QMetaObject::invokeMethod(
            this, [this, event = std::move(event)] { event(*this); }, Qt::QueuedConnection);
    };
}

HidapiPort::~HidapiPort() {
    stop();
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->sink = nullptr;
}

bool HidapiPort::start() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->running || !shared_->done)
            return false;
        shared_->running = true;
        shared_->done = false;
        shared_->stopRequested = false;
    }
    if (shared_->thread.joinable())
        shared_->thread.join();
    shared_->thread = std::thread(ioLoop, shared_, timing_);
    // The first look at the device list is made before any request runs.
    return call<bool>(shared_, timing_.requestTimeoutMs, false, [] { return true; });
}

bool HidapiPort::stop() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (shared_->done) {
        lock.unlock();
        if (shared_->thread.joinable())
            shared_->thread.join();
        return true;
    }
    shared_->stopRequested = true;
    shared_->wake.notify_all();
    const bool ended = shared_->finished.wait_for(
        lock, std::chrono::milliseconds(timing_.stopTimeoutMs), [this] { return shared_->done; });
    lock.unlock();
    if (ended) {
        if (shared_->thread.joinable())
            shared_->thread.join();
        return true;
    }
    // Stuck in the library: leave the thread to end by itself; it holds what it needs.
    if (shared_->thread.joinable())
        shared_->thread.detach();
    std::lock_guard<std::mutex> relock(shared_->mutex);
    shared_->sink = nullptr;
    return false;
}

HidapiPort::State HidapiPort::state() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->done)
        return State::Stopped;
    return shared_->stopRequested ? State::Stopping : State::Running;
}

std::vector<HidDeviceInfo> HidapiPort::devices() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->devices;
}

bool HidapiPort::open(const HidDeviceInfo& device) {
    Shared* s = shared_.get();
    return call<bool>(shared_, timing_.requestTimeoutMs, false, [s, device] {
        s->device.reset();
        std::unique_ptr<HidDeviceHandle> handle = s->api->open(device);
        std::lock_guard<std::mutex> lock(s->mutex);
        s->held = false;
        if (!handle)
            return false;
        int length = handle->outputReportLength();
        if (length < 2 || length > kMaxHidReportLength)
            length = probe::kDefaultReportLength;
        s->device = std::move(handle);
        s->held = true;
        s->lost = false;
        s->heldPath = device.path;
        s->outputLength = length;
        return true;
    });
}

void HidapiPort::close() {
    Shared* s = shared_.get();
    call<bool>(shared_, timing_.requestTimeoutMs, false, [s] {
        s->device.reset();
        std::lock_guard<std::mutex> lock(s->mutex);
        s->held = false;
        s->lost = false;
        s->heldPath.clear();
        s->outputLength = 0;
        return true;
    });
}

bool HidapiPort::isOpen() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->held;
}

bool HidapiPort::isPlugged() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (!shared_->held || shared_->lost)
        return false;
    for (const HidDeviceInfo& d : shared_->devices)
        if (d.path == shared_->heldPath)
            return true;
    return false;
}

int HidapiPort::outputReportLength() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->held ? shared_->outputLength : 0;
}

bool HidapiPort::write(const QByteArray& report) {
    Shared* s = shared_.get();
    return call<bool>(shared_, timing_.requestTimeoutMs, false, [s, report] {
        if (!s->device || report.isEmpty())
            return false;
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (s->lost)
                return false;
        }
        const int n = s->device->write(reinterpret_cast<const quint8*>(report.constData()),
                                       int(report.size()));
        return n == report.size();
    });
}

void HidapiPort::flush() {
    Shared* s = shared_.get();
    call<bool>(shared_, timing_.requestTimeoutMs, false, [s] {
        if (s->device) {
            quint8 buffer[1024];
            // Bounded, in case a device floods its reports.
            for (int i = 0; i < 256 && s->device->read(buffer, int(sizeof buffer), 0) > 0; ++i) {
            }
        }
        ++s->flushGeneration;
        return true;
    });
}

QString HidapiPort::indexedString(int index) {
    Shared* s = shared_.get();
    return call<QString>(shared_, timing_.requestTimeoutMs, QString(), [s, index] {
        return s->device ? s->device->indexedString(index) : QString();
    });
}

} // namespace viro
