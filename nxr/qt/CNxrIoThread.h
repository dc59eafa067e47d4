#pragma once
// The thread a session's link lives on: an event loop of its own with the
// session's worker on it.

#include <functional>
#include <memory>
#include <thread>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrInbox.h"
#include "nxr/qt/CNxrTransportRegistry.h"

namespace quillpad {

class CNxrIoWorker;

class CNxrIoThread {
  public:
    // Starts the thread and returns once its worker is ready for work.
    CNxrIoThread(CNxrComSpec spec, NxrTransportFactory factory, std::shared_ptr<CNxrInbox> inbox,
                 std::function<void()> wake);
    // Stops if Stop() was not called.
    ~CNxrIoThread();
    CNxrIoThread(const CNxrIoThread&) = delete;
    CNxrIoThread& operator=(const CNxrIoThread&) = delete;

    // Runs `work` on the I/O thread, after whatever was posted before.
    void Post(std::function<void(CNxrIoWorker&)> work);
    // Shuts the worker down and waits for the thread to end. Nothing may be
    // posted afterwards.
    void Stop();

  private:
    struct SShared;
    std::shared_ptr<SShared> m_shared;
    std::thread m_thread;
    CNxrIoWorker* m_worker = nullptr;
};

}  // namespace quillpad
