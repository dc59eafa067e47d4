#pragma once
// The thread a session's link lives on: an event loop of its own with the
// session's worker on it. Stopping waits a bounded time, because a device
// whose driver hangs in its close (a wedged USB adapter) must not freeze the
// console. A thread that does not end in time is left to end by itself: it
// owns everything it uses (worker, transport, inbox) and frees it as it ends.

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrInbox.h"
#include "nxr/NxrLinkWatch.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "platform/Clock.h"

namespace quillpad {

class CNxrIoWorker;

class CNxrIoThread {
  public:
    // Starts the thread and returns once its worker is ready for work. The
    // worker reads `clock` on the I/O thread; a thread left to end by itself
    // may still read it, so it lives as long as the process.
    CNxrIoThread(CNxrComSpec spec, NxrTransportFactory factory, std::shared_ptr<CNxrInbox> inbox,
                 std::function<void()> wake, const IClock& clock, SNxrLinkWatchSetup watch = {});
    // Stops with the default bound if Stop() was not called.
    ~CNxrIoThread();
    CNxrIoThread(const CNxrIoThread&) = delete;
    CNxrIoThread& operator=(const CNxrIoThread&) = delete;

    static constexpr std::chrono::milliseconds kStopWait{2000};

    // Runs `work` on the I/O thread, after whatever was posted before.
    void Post(std::function<void(CNxrIoWorker&)> work);
    // Shuts the worker down and waits for the thread at most `bound`; false
    // when it is still busy and was left to end by itself. Nothing may be
    // posted afterwards.
    bool Stop(std::chrono::milliseconds bound = kStopWait);

    // I/O threads of this process that have not ended yet, those left to end
    // by themselves included.
    static int Running();

  private:
    struct SShared;
    std::shared_ptr<SShared> m_shared;
    std::thread m_thread;
    CNxrIoWorker* m_worker = nullptr;
};

}  // namespace quillpad
