#pragma once

#include "device/hid_api.h"
#include "device/hid_port.h"

#include <memory>

namespace viro {

// The HID port on a C library (hidapi by default). One I/O thread owns the opened device and
// makes every library call: it reads input reports, polls the device list about once a second
// and runs the requests of the user-interface thread (open, close, write, flush, strings) one
// at a time between reads. Reports and device changes leave it as queued calls, so they reach
// the port's signals on the thread the port lives in.
//
// A request waits at most the request time-out for its answer. One its caller gave up on does
// not act later: still queued, it is dropped (a close or a flush still runs: the caller wanted
// it done); already in the library, an open that succeeds is closed again, and a write that
// goes out is taken as sent, so the caller's retry of that same report is not sent twice.
class HidapiPort : public HidPort {
    Q_OBJECT
public:
    struct Timing {
        int pollMs = 1000; // device list polling
        // One read; also the longest a request (a write) waits for its turn. hidapi promises
        // nothing for calls on one device from two threads, so every call stays on the I/O
        // thread and the reads are kept short instead.
        int readTimeoutMs = 1;
        int requestTimeoutMs = 2000;
        int stopTimeoutMs = 2000;
    };
    enum class State { Stopped, Running, Stopping };

    explicit HidapiPort(std::unique_ptr<HidApi> api = createHidapi(), QObject* parent = nullptr);
    HidapiPort(std::unique_ptr<HidApi> api, Timing timing, QObject* parent = nullptr);
    // Stops the I/O thread within the stop time-out.
    ~HidapiPort() override;

    // Starts the I/O thread and returns once it has looked at the device list.
    bool start();
    // Asks the I/O thread to end and waits for it; false when it did not end within the
    // time-out (it then ends on its own, touching nothing of the port).
    bool stop();
    State state() const;

    std::vector<HidDeviceInfo> devices() override;
    bool open(const HidDeviceInfo& device) override;
    void close() override;
    bool isOpen() const override;
    bool isPlugged() const override;
    int outputReportLength() const override;
    bool write(const QByteArray& report) override;
    void flush() override;
    QString indexedString(int index) override;

    struct Shared; // the state shared with the I/O thread (in the source file)

private:
    std::shared_ptr<Shared> shared_;
    Timing timing_;
};

} // namespace viro
