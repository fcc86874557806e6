#include "device/hidapi_port.h"

#include "device/log.h"
#include "device/probe_protocol.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace viro {

using Clock = std::chrono::steady_clock;

namespace {

// One call of the user-interface thread, made on the I/O thread. `Shared::mutex` guards `stage`.
struct Request {
    enum class Stage { Queued, Running, Done, GivenUp };
    // What becomes of a request still queued when its caller gives up on it.
    enum class IfLate { Drop, Run };

    Request(const char* name, IfLate ifLate) : name(name), ifLate(ifLate) {}
    virtual ~Request() = default;
    virtual void run() = 0; // on the I/O thread, without the mutex

    const char* name;
    IfLate ifLate;
    Stage stage = Stage::Queued;
};

template <typename R> struct Call final : Request {
    // `fn` may ask, with the mutex held, whether its caller gave up meanwhile.
    Call(const char* name, IfLate ifLate, std::function<R(const Request&)> fn)
        : Request(name, ifLate), fn(std::move(fn)) {}
    void run() override { result = fn(*this); }

    std::function<R(const Request&)> fn;
    R result{};
};

} // namespace

// Shared by the port and its I/O thread; the thread holds it by shared pointer, so it stays
// valid when a stop times out and the port is gone before the thread ends.
struct HidapiPort::Shared {
    // `mutex` guards every member from `requests` to `sink`.
    std::mutex mutex;
    std::condition_variable wake;     // requests queued or stop asked
    std::condition_variable answered; // a request is done, or the thread has ended
    std::condition_variable finished; // the thread has ended
    std::deque<std::shared_ptr<Request>> requests;
    bool stopRequested = false;
    bool running = false;
    bool done = true;
    std::vector<HidDeviceInfo> devices;
    bool held = false;
    bool lost = false;
    QString heldPath;
    int outputLength = 0;
    // A report whose write went out after its caller had given up on it. The probe takes one
    // command at a time and answers each: the caller's retry of the same report is that command,
    // already sent, and a second copy would bring a second answer into the next command's wait.
    std::optional<QByteArray> lateWrite;
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
            const std::shared_ptr<Request> request = std::move(s->requests.front());
            s->requests.pop_front();
            if (request->stage == Request::Stage::Queued)
                request->stage = Request::Stage::Running;
            lock.unlock();
            request->run();
            lock.lock();
            if (request->stage == Request::Stage::Running)
                request->stage = Request::Stage::Done;
            s->answered.notify_all();
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
                qCWarning(lcDevice) << "HID device" << s->heldPath << "stopped answering";
            }
        } else {
            s->wake.wait_until(lock, nextPoll,
                               [&] { return s->stopRequested || !s->requests.empty(); });
        }
    }
    // Requests still queued never run; their callers get their fallbacks.
    s->requests.clear();
    lock.unlock();
    s->device.reset();
    lock.lock();
    s->held = false;
    s->lateWrite.reset();
    s->running = false;
    s->done = true;
    s->answered.notify_all();
    s->finished.notify_all();
}

// With `mutex` held: the caller of `request` gave up on it.
bool givenUp(const Request& request) {
    return request.stage == Request::Stage::GivenUp;
}

// Runs `fn` on the I/O thread and waits for its result; `fallback` when the thread is not
// running or does not answer in time. A request given up on while queued is dropped unless it
// is to run late; one already running is left to end and may check givenUp() to undo itself.
template <typename R>
R call(const std::shared_ptr<Shared>& s, int timeoutMs, R fallback, const char* name,
       Request::IfLate ifLate, std::function<R(const Request&)> fn) {
    const auto request = std::make_shared<Call<R>>(name, ifLate, std::move(fn));
    std::unique_lock<std::mutex> lock(s->mutex);
    if (!s->running || s->stopRequested) {
        lock.unlock();
        qCWarning(lcDevice) << "HID" << name << "not made: the I/O thread is not running";
        return fallback;
    }
    s->requests.push_back(request);
    s->wake.notify_all();
    s->answered.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return request->stage == Request::Stage::Done || s->done; });
    if (request->stage == Request::Stage::Done)
        return request->result;
    const bool queued = request->stage == Request::Stage::Queued;
    const bool dropped = queued && (ifLate == Request::IfLate::Drop || s->done);
    if (dropped)
        std::erase(s->requests, request);
    else
        request->stage = Request::Stage::GivenUp;
    lock.unlock();
    if (dropped)
        qCWarning(lcDevice) << "HID" << name << "dropped: not made within" << timeoutMs << "ms";
    else
        qCWarning(lcDevice) << "HID" << name << "gave no answer within" << timeoutMs
                            << "ms; it ends on the I/O thread";
    return fallback;
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
    return call<bool>(shared_, timing_.requestTimeoutMs, false, "start", Request::IfLate::Drop,
                      [](const Request&) { return true; });
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
    qCWarning(lcDevice) << "HID I/O thread did not end within" << timing_.stopTimeoutMs
                        << "ms; left to end by itself";
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
    auto run = [s, device](const Request& request) {
        s->device.reset();
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            s->held = false;
            s->heldPath.clear();
            s->outputLength = 0;
            s->lateWrite.reset();
        }
        std::unique_ptr<HidDeviceHandle> handle = s->api->open(device);
        if (!handle) {
            qCWarning(lcDevice) << "Cannot open HID device" << device.path;
            return false;
        }
        std::unique_lock<std::mutex> lock(s->mutex);
        if (givenUp(request)) {
            // The caller was told it failed: the device must not stay held behind its back.
            lock.unlock();
            handle.reset();
            qCWarning(lcDevice) << "HID device" << device.path
                                << "opened after its caller gave up; closed again";
            return false;
        }
        int length = handle->outputReportLength();
        if (length < 2 || length > kMaxHidReportLength)
            length = probe::kDefaultReportLength;
        s->device = std::move(handle);
        s->held = true;
        s->lost = false;
        s->heldPath = device.path;
        s->outputLength = length;
        return true;
    };
    return call<bool>(shared_, timing_.requestTimeoutMs, false, "open", Request::IfLate::Drop, run);
}

void HidapiPort::close() {
    Shared* s = shared_.get();
    // Run even when late: the caller has let the device go.
    auto run = [s](const Request&) {
        s->device.reset();
        std::lock_guard<std::mutex> lock(s->mutex);
        s->held = false;
        s->lost = false;
        s->heldPath.clear();
        s->outputLength = 0;
        s->lateWrite.reset();
        return true;
    };
    call<bool>(shared_, timing_.requestTimeoutMs, false, "close", Request::IfLate::Run, run);
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
    auto run = [s, report](const Request& request) {
        if (!s->device || report.isEmpty()) {
            qCWarning(lcDevice) << "HID write without a device or a report";
            return false;
        }
        std::unique_lock<std::mutex> lock(s->mutex);
        if (s->lost) {
            const QString path = s->heldPath;
            lock.unlock();
            qCWarning(lcDevice) << "HID write to" << path << "after it stopped answering";
            return false;
        }
        const std::optional<QByteArray> late = std::exchange(s->lateWrite, std::nullopt);
        lock.unlock();
        if (late && *late == report) {
            qCInfo(lcDevice) << "HID write: the report went out late; not sent again";
            return true;
        }
        const int n = s->device->write(reinterpret_cast<const quint8*>(report.constData()),
                                       int(report.size()));
        const bool whole = n == report.size();
        if (!whole) {
            qCWarning(lcDevice) << "HID write of" << report.size() << "bytes failed:" << n;
            return false;
        }
        lock.lock();
        if (givenUp(request))
            s->lateWrite = report;
        return true;
    };
    return call<bool>(shared_, timing_.requestTimeoutMs, false, "write", Request::IfLate::Drop,
                      run);
}

void HidapiPort::flush() {
    Shared* s = shared_.get();
    // Run even when late: it only drops reports read before it, which belong to commands
    // already given up on.
    auto run = [s](const Request&) {
        if (s->device) {
            quint8 buffer[1024];
            // Bounded, in case a device floods its reports.
            for (int i = 0; i < 256 && s->device->read(buffer, int(sizeof buffer), 0) > 0; ++i) {
            }
        }
        ++s->flushGeneration;
        return true;
    };
    call<bool>(shared_, timing_.requestTimeoutMs, false, "flush", Request::IfLate::Run, run);
}

QString HidapiPort::indexedString(int index) {
    Shared* s = shared_.get();
    return call<QString>(shared_, timing_.requestTimeoutMs, QString(), "string read",
                         Request::IfLate::Drop, [s, index](const Request&) {
                             return s->device ? s->device->indexedString(index) : QString();
                         });
}

} // namespace viro
