#include "device/hid_api.h"
#include "device/hidapi_port.h"
#include "device/probe_link.h"
#include "device/probe_protocol.h"
#include "device/tick_clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using viro::HidapiPort;
using viro::HidDeviceInfo;

// Library calls a test can hold the I/O thread in.
enum class LibraryCall { Enumerate, Open, Write, Count };

// What the fake library shows and records; shared with the port's I/O thread.
struct FakeBus {
    std::mutex mutex; // guards everything below
    std::condition_variable changed;
    std::vector<HidDeviceInfo> devices;
    std::deque<QByteArray> reads; // input reports the device will deliver
    bool readError = false;       // the device is gone
    bool hang = false;            // a read that does not come back until cleared
    int writeResult = -2;         // -2: the whole report; else what write() returns
    std::vector<QByteArray> writes;
    int outputLength = 9;
    bool openFails = false;
    int opens = 0;   // calls of open()
    int handles = 0; // opened devices not yet closed
    std::thread::id ioThread;
    std::atomic<bool> apiDestroyed{false};
    // Calls that wait at their start until let go, and those waiting there now.
    std::array<bool, size_t(LibraryCall::Count)> holding{};
    std::array<bool, size_t(LibraryCall::Count)> inside{};

    void push(const QByteArray& report) {
        std::lock_guard<std::mutex> lock(mutex);
        reads.push_back(report);
        changed.notify_all();
    }
    bool readsEmpty() {
        std::lock_guard<std::mutex> lock(mutex);
        return reads.empty();
    }

    void hold(LibraryCall call) {
        std::lock_guard<std::mutex> lock(mutex);
        holding[size_t(call)] = true;
    }
    void letGo(LibraryCall call) {
        std::lock_guard<std::mutex> lock(mutex);
        holding[size_t(call)] = false;
        changed.notify_all();
    }
    // Until the I/O thread is held in `call`; false when it does not get there.
    bool heldIn(LibraryCall call) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5),
                                [&] { return inside[size_t(call)]; });
    }
    // On the I/O thread, with `mutex` held: waits here while `call` is held.
    void gate(std::unique_lock<std::mutex>& lock, LibraryCall call) {
        inside[size_t(call)] = true;
        changed.notify_all();
        changed.wait(lock, [&] { return !holding[size_t(call)]; });
        inside[size_t(call)] = false;
    }
};

class FakeHandle : public viro::HidDeviceHandle {
public:
    explicit FakeHandle(std::shared_ptr<FakeBus> bus) : bus_(std::move(bus)) { ++bus_->handles; }
    ~FakeHandle() override {
        std::lock_guard<std::mutex> lock(bus_->mutex);
        --bus_->handles;
    }
    int read(quint8* buffer, int size, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(bus_->mutex);
        bus_->ioThread = std::this_thread::get_id();
        bus_->changed.wait(lock, [&] { return !bus_->hang; });
        bus_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return bus_->readError || !bus_->reads.empty(); });
        if (bus_->readError)
            return -1;
        if (bus_->reads.empty())
            return 0;
        const QByteArray report = bus_->reads.front();
        bus_->reads.pop_front();
        const int n = qMin(size, int(report.size()));
        std::memcpy(buffer, report.constData(), size_t(n));
        return n;
    }
    int write(const quint8* data, int size) override {
        std::unique_lock<std::mutex> lock(bus_->mutex);
        bus_->ioThread = std::this_thread::get_id();
        bus_->gate(lock, LibraryCall::Write);
        bus_->writes.emplace_back(reinterpret_cast<const char*>(data), size);
        return bus_->writeResult == -2 ? size : bus_->writeResult;
    }
    QString indexedString(int index) override {
        return index == 3 ? QStringLiteral("VIRO6-20051706-A02") : QString();
    }
    int outputReportLength() override {
        std::lock_guard<std::mutex> lock(bus_->mutex);
        return bus_->outputLength;
    }

private:
    std::shared_ptr<FakeBus> bus_;
};

class FakeApi : public viro::HidApi {
public:
    explicit FakeApi(std::shared_ptr<FakeBus> bus) : bus_(std::move(bus)) {}
    ~FakeApi() override { bus_->apiDestroyed = true; }
    std::vector<HidDeviceInfo> enumerate() override {
        std::unique_lock<std::mutex> lock(bus_->mutex);
        bus_->gate(lock, LibraryCall::Enumerate);
        return bus_->devices;
    }
    // The handle is made with `mutex` held (it counts itself).
    std::unique_ptr<viro::HidDeviceHandle> open(const HidDeviceInfo&) override {
        std::unique_lock<std::mutex> lock(bus_->mutex);
        ++bus_->opens;
        bus_->gate(lock, LibraryCall::Open);
        if (bus_->openFails)
            return nullptr;
        return std::make_unique<FakeHandle>(bus_);
    }

private:
    std::shared_ptr<FakeBus> bus_;
};

HidDeviceInfo probeDevice(const char* path = "/dev/hidraw7") {
    HidDeviceInfo info;
    info.path = path;
    info.vendorId = viro::probe::kVendorId;
    info.productId = viro::probe::kProductId;
    return info;
}

// Processes events until `done` holds, for at most two seconds of real time.
template <typename F> bool eventually(F done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 2000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

class HidapiPortTest : public ::testing::Test {
protected:
    void SetUp() override { bus->devices = {probeDevice()}; }

    std::unique_ptr<HidapiPort> makePort(HidapiPort::Timing timing = fastTiming()) {
        return std::make_unique<HidapiPort>(std::make_unique<FakeApi>(bus), timing);
    }
    static HidapiPort::Timing fastTiming() {
        HidapiPort::Timing t;
        t.pollMs = 20;
        t.readTimeoutMs = 2;
        return t;
    }

    std::shared_ptr<FakeBus> bus = std::make_shared<FakeBus>();
};

TEST_F(HidapiPortTest, StartAndStop) {
    auto port = makePort();
    EXPECT_EQ(port->state(), HidapiPort::State::Stopped);
    EXPECT_FALSE(port->open(probeDevice())); // nothing runs before start
    ASSERT_TRUE(port->start());
    EXPECT_EQ(port->state(), HidapiPort::State::Running);
    ASSERT_EQ(port->devices().size(), 1u); // listed before start() returns
    EXPECT_EQ(port->devices()[0].path, "/dev/hidraw7");
    EXPECT_FALSE(port->start());
    EXPECT_TRUE(port->stop());
    EXPECT_EQ(port->state(), HidapiPort::State::Stopped);
    EXPECT_TRUE(port->stop());
    EXPECT_FALSE(port->write(QByteArray(9, ' ')));
    // It starts again after a stop.
    ASSERT_TRUE(port->start());
    EXPECT_TRUE(port->open(probeDevice()));
    EXPECT_TRUE(port->isOpen());
}

TEST_F(HidapiPortTest, OpenFailureHoldsNothing) {
    bus->openFails = true;
    auto port = makePort();
    ASSERT_TRUE(port->start());
    EXPECT_FALSE(port->open(probeDevice()));
    EXPECT_FALSE(port->isOpen());
    EXPECT_FALSE(port->isPlugged());
    EXPECT_EQ(port->outputReportLength(), 0);
}

TEST_F(HidapiPortTest, OutputReportLength) {
    struct Case {
        int deviceTells;
        int used;
    };
    const Case cases[] = {{9, 9},         {65, 65},    {0, 65},         {1, 65},
                          {16384, 16384}, {16385, 65}, {0x7FFFFFFF, 65}};
    auto port = makePort();
    ASSERT_TRUE(port->start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deviceTells);
        {
            std::lock_guard<std::mutex> lock(bus->mutex);
            bus->outputLength = c.deviceTells;
        }
        ASSERT_TRUE(port->open(probeDevice()));
        EXPECT_EQ(port->outputReportLength(), c.used);
        port->close();
        EXPECT_EQ(port->outputReportLength(), 0);
    }
}

TEST_F(HidapiPortTest, ReportsReachTheUserInterfaceThread) {
    auto port = makePort();
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    std::vector<QByteArray> received;
    std::vector<QThread*> threads;
    QObject::connect(port.get(), &viro::HidPort::reportReceived, port.get(),
                     [&](const QByteArray& data) {
                         received.push_back(data);
                         threads.push_back(QThread::currentThread());
                     });
    const QByteArray full = QByteArray("I;DKJ") + QByteArray(59, '\0');
    bus->push("abc"); // a short read is handed on as it came
    bus->push(full);
    ASSERT_TRUE(eventually([&] { return received.size() == 2; }));
    EXPECT_EQ(received[0], QByteArray("abc"));
    EXPECT_EQ(received[1], full);
    for (QThread* t : threads)
        EXPECT_EQ(t, QCoreApplication::instance()->thread());
    std::lock_guard<std::mutex> lock(bus->mutex);
    EXPECT_NE(bus->ioThread, std::this_thread::get_id());
}

TEST_F(HidapiPortTest, WritesGoOutWhole) {
    struct Case {
        const char* name;
        int writeResult;
        bool ok;
    };
    const Case cases[] = {
        {"whole report", -2, true}, {"short write", 8, false}, {"error", -1, false}};
    auto port = makePort();
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    const QByteArray report = viro::probe::buildOutputReport("D0000", viro::probe::kShiftTable, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard<std::mutex> lock(bus->mutex);
            bus->writeResult = c.writeResult;
            bus->writes.clear();
        }
        EXPECT_EQ(port->write(report), c.ok);
        std::lock_guard<std::mutex> lock(bus->mutex);
        ASSERT_EQ(bus->writes.size(), 1u);
        EXPECT_EQ(bus->writes[0], report);
        EXPECT_NE(bus->ioThread, std::this_thread::get_id());
    }
}

TEST_F(HidapiPortTest, ReadErrorMeansUnplugged) {
    auto port = makePort();
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    EXPECT_TRUE(port->isPlugged());
    QSignalSpy changes(port.get(), &viro::HidPort::devicesChanged);
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->readError = true;
        bus->changed.notify_all();
    }
    ASSERT_TRUE(eventually([&] { return changes.count() >= 1; }));
    EXPECT_FALSE(port->isPlugged());
    EXPECT_TRUE(port->isOpen()); // until the program releases it
    EXPECT_FALSE(port->write(QByteArray(9, ' ')));
    port->close();
    EXPECT_FALSE(port->isOpen());
}

TEST_F(HidapiPortTest, ProbeStillListedAfterAReadErrorIsReportedAgain) {
    auto port = makePort();
    ASSERT_TRUE(port->start());
    viro::SystemTickClock clock;
    viro::ProbeLink link(*port, clock);
    link.deviceChange();
    ASSERT_TRUE(link.isOnline());
    QSignalSpy detached(&link, &viro::ProbeLink::detached);
    QSignalSpy attached(&link, &viro::ProbeLink::attached);
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->readError = true;
        bus->changed.notify_all();
    }
    ASSERT_TRUE(eventually([&] { return detached.count() >= 1; }));
    // The device never left the list at its path; it answers again.
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->readError = false;
    }
    ASSERT_TRUE(eventually([&] { return link.isOnline() && port->isPlugged(); }));
    EXPECT_GE(attached.count(), 1);
    EXPECT_EQ(attached.count(), detached.count());
}

TEST_F(HidapiPortTest, DefaultTimingKeepsWritesWaitingLittleAndStops) {
    // A write waits for the read in progress: at most this long.
    EXPECT_LE(HidapiPort::Timing{}.readTimeoutMs, 1);
    auto port = makePort(HidapiPort::Timing{});
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    EXPECT_TRUE(port->write(QByteArray(9, ' ')));
    EXPECT_TRUE(port->stop());
    EXPECT_EQ(port->state(), HidapiPort::State::Stopped);
}

TEST_F(HidapiPortTest, PollingFollowsPlugAndUnplug) {
    bus->devices.clear();
    auto port = makePort();
    ASSERT_TRUE(port->start());
    EXPECT_TRUE(port->devices().empty());
    QSignalSpy changes(port.get(), &viro::HidPort::devicesChanged);
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->devices = {probeDevice("/dev/hidraw3")};
    }
    ASSERT_TRUE(eventually([&] { return changes.count() >= 1; }));
    ASSERT_EQ(port->devices().size(), 1u);
    ASSERT_TRUE(port->open(port->devices()[0]));
    EXPECT_TRUE(port->isPlugged());
    const int before = changes.count();
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->devices.clear();
    }
    ASSERT_TRUE(eventually([&] { return changes.count() > before; }));
    EXPECT_FALSE(port->isPlugged());
}

TEST_F(HidapiPortTest, FlushDropsReportsNotYetHandedOut) {
    auto port = makePort();
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    QSignalSpy reports(port.get(), &viro::HidPort::reportReceived);
    bus->push("old");
    // Read by the I/O thread and posted, but not yet delivered: no events run here.
    QElapsedTimer timer;
    timer.start();
    while (!bus->readsEmpty() && timer.elapsed() < 2000)
        QThread::msleep(1);
    ASSERT_TRUE(bus->readsEmpty());
    port->flush();
    bus->push("new");
    ASSERT_TRUE(eventually([&] { return reports.count() >= 1; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(reports.count(), 1);
    EXPECT_EQ(reports[0][0].toByteArray(), QByteArray("new"));
}

TEST_F(HidapiPortTest, StopGivesUpOnAStuckLibraryCall) {
    HidapiPort::Timing timing = fastTiming();
    timing.stopTimeoutMs = 50;
    auto port = makePort(timing);
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->hang = true;
    }
    QThread::msleep(20); // let the reader enter its stuck read
    EXPECT_FALSE(port->stop());
    port.reset(); // the port may go while its thread is stuck
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        bus->hang = false;
        bus->changed.notify_all();
    }
    // The thread ends by itself and frees the library.
    QElapsedTimer timer;
    timer.start();
    while (!bus->apiDestroyed && timer.elapsed() < 2000)
        QThread::msleep(1);
    EXPECT_TRUE(bus->apiDestroyed);
}

// A port whose requests give up soon, for the tests that make them time out. Long enough for
// the requests that are not held to be answered on a busy machine.
class HidapiPortTimeoutTest : public HidapiPortTest {
protected:
    static HidapiPort::Timing givingUpTiming() {
        HidapiPort::Timing t = fastTiming();
        t.requestTimeoutMs = 150;
        return t;
    }
    // Every request queued so far has been made: the I/O thread works them off in order.
    static void drain(HidapiPort& port) { port.flush(); }
    int writeCount() {
        std::lock_guard<std::mutex> lock(bus->mutex);
        return int(bus->writes.size());
    }
    int handleCount() {
        std::lock_guard<std::mutex> lock(bus->mutex);
        return bus->handles;
    }

    const QByteArray report = viro::probe::buildOutputReport("F00FF", viro::probe::kShiftTable, 9);
};

TEST_F(HidapiPortTimeoutTest, RequestGivenUpWhileQueuedNeverRuns) {
    auto port = makePort(givingUpTiming());
    ASSERT_TRUE(port->start());

    // An open that waited behind a slow look at the device list.
    bus->hold(LibraryCall::Enumerate);
    ASSERT_TRUE(bus->heldIn(LibraryCall::Enumerate));
    EXPECT_FALSE(port->open(probeDevice()));
    bus->letGo(LibraryCall::Enumerate);
    drain(*port);
    {
        std::lock_guard<std::mutex> lock(bus->mutex);
        EXPECT_EQ(bus->opens, 0);
        EXPECT_EQ(bus->handles, 0);
    }
    EXPECT_FALSE(port->isOpen());

    // A write likewise: it is not sent late, so the caller's retry is the only copy.
    ASSERT_TRUE(port->open(probeDevice()));
    bus->hold(LibraryCall::Enumerate);
    ASSERT_TRUE(bus->heldIn(LibraryCall::Enumerate));
    EXPECT_FALSE(port->write(report));
    bus->letGo(LibraryCall::Enumerate);
    drain(*port);
    EXPECT_EQ(writeCount(), 0);
    EXPECT_TRUE(port->write(report));
    EXPECT_EQ(writeCount(), 1);
}

TEST_F(HidapiPortTimeoutTest, OpenThatEndsAfterItsCallerGaveUpIsClosedAgain) {
    auto port = makePort(givingUpTiming());
    ASSERT_TRUE(port->start());
    bus->hold(LibraryCall::Open);
    EXPECT_FALSE(port->open(probeDevice()));
    // It was in the library when the caller gave up, not dropped from the queue.
    ASSERT_TRUE(bus->heldIn(LibraryCall::Open));
    bus->letGo(LibraryCall::Open);
    drain(*port);
    EXPECT_EQ(handleCount(), 0);
    EXPECT_FALSE(port->isOpen());
    EXPECT_FALSE(port->isPlugged());
    EXPECT_EQ(port->outputReportLength(), 0);
    // Nothing is left half-open: the next open takes the device.
    EXPECT_TRUE(port->open(probeDevice()));
    EXPECT_EQ(handleCount(), 1);
}

TEST_F(HidapiPortTimeoutTest, WriteThatEndsAfterItsCallerGaveUpIsNotSentAgain) {
    struct Case {
        const char* name;
        int lateResult; // what the held write returns in the end
        bool sameRetry; // the retry is the same report
        bool reopen;    // the device is closed and opened again before the retry
        int writesAfterRetry;
    };
    const Case cases[] = {
        {"went out, retried", -2, true, false, 1},
        {"went out, another report follows", -2, false, false, 2},
        {"failed in the end, retried", -1, true, false, 2},
        {"went out, device opened again, retried", -2, true, true, 2},
    };
    const QByteArray other = viro::probe::buildOutputReport("D0000", viro::probe::kShiftTable, 9);
    auto port = makePort(givingUpTiming());
    ASSERT_TRUE(port->start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(port->open(probeDevice()));
        {
            std::lock_guard<std::mutex> lock(bus->mutex);
            bus->writes.clear();
            bus->writeResult = c.lateResult;
        }
        bus->hold(LibraryCall::Write);
        EXPECT_FALSE(port->write(report));
        ASSERT_TRUE(bus->heldIn(LibraryCall::Write));
        bus->letGo(LibraryCall::Write);
        drain(*port);
        EXPECT_EQ(writeCount(), 1);
        {
            std::lock_guard<std::mutex> lock(bus->mutex);
            bus->writeResult = -2;
        }
        if (c.reopen) {
            port->close();
            ASSERT_TRUE(port->open(probeDevice()));
        }
        EXPECT_TRUE(port->write(c.sameRetry ? report : other));
        EXPECT_EQ(writeCount(), c.writesAfterRetry);
        // Only the one retry is taken for the late write: a further copy is a new command.
        EXPECT_TRUE(port->write(report));
        EXPECT_EQ(writeCount(), c.writesAfterRetry + 1);
        port->close();
    }
}

TEST_F(HidapiPortTimeoutTest, ProbeLinkSendsAStuckCommandOnce) {
    auto port = makePort(givingUpTiming());
    ASSERT_TRUE(port->start());
    ASSERT_TRUE(port->open(probeDevice()));
    // Virtual time: the link's pauses and reply waits pass at once; the port's waits are real.
    viro::FakeTickClock clock(0);
    viro::ProbeLink link(*port, clock);
    bus->hold(LibraryCall::Write);
    // Each try gives up on its write; the fake never answers.
    EXPECT_FALSE(link.sendCommand("F00FF"));
    ASSERT_TRUE(bus->heldIn(LibraryCall::Write));
    bus->letGo(LibraryCall::Write);
    drain(*port);
    // The first try's write went out late; the two retries queued behind it never did.
    std::lock_guard<std::mutex> lock(bus->mutex);
    ASSERT_EQ(bus->writes.size(), 1u);
    EXPECT_EQ(bus->writes[0], viro::probe::buildOutputReport("F00FF", link.shiftTable(), 9));
}

TEST(HidReportDescriptor, OutputReportLength) {
    struct Case {
        const char* name;
        QByteArray descriptor;
        int length;
    };
    // Vendor page, collection, 64-byte input and 8-byte output of 8-bit fields. (fromHex skips
    // the spaces.)
    const QByteArray simple = QByteArray::fromHex(
        "06 00 ff 09 01 a1 01 15 00 26 ff 00 75 08 95 40 09 01 81 02 95 08 09 01 91 02 c0");
    const QByteArray numbered = QByteArray::fromHex("06 00 ff 09 01 a1 01 85 01 75 08 95 10 09 01"
                                                    "91 02 85 02 75 08 95 20 09 01 91 02 c0");
    const QByteArray pushed = QByteArray::fromHex(
        "06 00 ff 09 01 a1 01 75 08 95 04 a4 75 04 95 02 09 01 91 02 b4 09 01 91 02 c0");
    const std::vector<Case> cases{
        {"8 output bytes", simple, 9},
        {"longest of two report IDs", numbered, 33},
        {"push and pop of the report size", pushed, 1 + 1 + 4},
        {"no output items", QByteArray::fromHex("06 00 ff 09 01 a1 01 75 08 95 40 81 02 c0"), 0},
        {"item cut short", QByteArray::fromHex("75 08 95 08 91 02 96"), 0},
        {"pop without push", QByteArray::fromHex("75 08 95 08 91 02 b4"), 0},
        {"empty", QByteArray(), 0},
        {"long item skipped", QByteArray::fromHex("fe 02 01 aa aa 75 08 95 03 91 02"), 4},
        {"16383 bytes: the longest taken", QByteArray::fromHex("75 08 96 ff 3f 91 02"), 16384},
        {"16384 bytes: too long", QByteArray::fromHex("75 08 96 00 40 91 02"), 0},
        {"too long in two items", QByteArray::fromHex("75 08 96 00 20 91 02 91 02"), 0},
        // 32-bit size and count: their product and sum would wrap a 64-bit count of bits.
        {"huge size and count",
         QByteArray::fromHex("77 ff ff ff ff 97 ff ff ff ff 91 02 91 02 91 02"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(viro::outputReportLengthFromDescriptor(c.descriptor), c.length);
    }
}

TEST(UsbDeviceDescriptor, WhichStringHasAnIndex) {
    // A device descriptor: bLength 18, type 1, USB 2.0, class 0, packet 64, the probe's IDs,
    // release 1.00, then the manufacturer, product and serial number string indices.
    auto descriptor = [](int manufacturer, int product, int serial) {
        QByteArray d = QByteArray::fromHex("12 01 00 02 00 00 00 40 1e 6b 47 2d 00 01");
        d.append(char(manufacturer)).append(char(product)).append(char(serial)).append(char(1));
        return d;
    };
    using viro::UsbString;
    struct Case {
        const char* name;
        QByteArray descriptor;
        int index;
        UsbString string;
    };
    const std::vector<Case> cases{
        {"serial number at 3", descriptor(1, 2, 3), 3, UsbString::SerialNumber},
        {"product at 3", descriptor(1, 3, 2), 3, UsbString::Product},
        {"manufacturer at 3", descriptor(3, 1, 2), 3, UsbString::Manufacturer},
        {"none at 3", descriptor(1, 2, 4), 3, UsbString::None},
        {"serial at 4", descriptor(1, 2, 4), 4, UsbString::SerialNumber},
        {"index 0 names no string", descriptor(0, 0, 0), 0, UsbString::None},
        {"followed by a configuration", descriptor(1, 2, 3) + QByteArray::fromHex("09 02 29 00"), 3,
         UsbString::SerialNumber},
        {"cut short", descriptor(1, 2, 3).left(16), 3, UsbString::None},
        {"wrong length byte", QByteArray(1, char(0x11)) + descriptor(1, 2, 3).mid(1), 3,
         UsbString::None},
        {"not a device descriptor", descriptor(1, 2, 3).replace(1, 1, "\x02"), 3, UsbString::None},
        {"empty", QByteArray(), 3, UsbString::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(viro::usbStringWithIndex(c.descriptor, c.index), c.string);
    }
}

// Without a probe plugged in, the real library finds none and the link stays off-line.
TEST(HidapiWithoutDevice, NoProbeFound) {
    auto api = viro::createHidapi();
    for (const HidDeviceInfo& d : api->enumerate())
        if (d.vendorId == viro::probe::kVendorId && d.productId == viro::probe::kProductId)
            GTEST_SKIP() << "a probe is plugged in at " << d.path.toStdString();
    EXPECT_EQ(api->open(probeDevice("/dev/does-not-exist")), nullptr);

    HidapiPort port;
    ASSERT_TRUE(port.start());
    viro::SystemTickClock clock;
    viro::ProbeLink link(port, clock);
    link.deviceChange();
    EXPECT_FALSE(link.isOnline());
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(link.sendCommand("D0000"));
    EXPECT_EQ(link.readValue(), 0);
    EXPECT_EQ(link.serialNumber(), "None!");
    EXPECT_FALSE(port.open(probeDevice("/dev/does-not-exist")));
    EXPECT_FALSE(port.write(QByteArray(9, ' ')));
    EXPECT_TRUE(port.stop());
}

} // namespace
