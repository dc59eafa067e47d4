#include "nxr/qt/CNxrIoThread.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "nxr/qt/CNxrIoWorker.h"
#include "platform/TimedWait.h"

namespace quillpad {
namespace {

std::atomic<int> g_running{0};

}  // namespace

struct CNxrIoThread::SShared {
    std::mutex mutex;
    std::condition_variable changed;
    CNxrIoWorker* worker = nullptr;  // set once the thread is ready
    QEventLoop* loop = nullptr;      // used on the I/O thread only
    bool ended = false;
};

CNxrIoThread::CNxrIoThread(CNxrComSpec spec, NxrTransportFactory factory,
                           std::shared_ptr<CNxrInbox> inbox, std::function<void()> wake)
    : m_shared(std::make_shared<SShared>()) {
    ++g_running;
    // A plain thread rather than a QThread: when it is left to end by itself
    // nobody remains to delete a thread object, and this one needs none.
    m_thread = std::thread([shared = m_shared, spec = std::move(spec), factory = std::move(factory),
                            inbox = std::move(inbox), wake = std::move(wake)]() mutable {
        {
            QEventLoop loop;
            CNxrIoWorker worker(std::move(spec), std::move(factory), std::move(inbox),
                                std::move(wake));
            {
                std::lock_guard lock(shared->mutex);
                shared->worker = &worker;
                shared->loop = &loop;
            }
            shared->changed.notify_all();
            loop.exec();
        }  // the worker and its transports end here, on their own thread
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        {
            std::lock_guard lock(shared->mutex);
            shared->ended = true;
            --g_running;
        }
        shared->changed.notify_all();
    });
    std::unique_lock lock(m_shared->mutex);
    Wait(m_shared->changed, lock, [this] { return m_shared->worker != nullptr; });
    m_worker = m_shared->worker;
}

CNxrIoThread::~CNxrIoThread() {
    Stop();
}

void CNxrIoThread::Post(std::function<void(CNxrIoWorker&)> work) {
    if (m_worker == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, work = std::move(work)] { work(*worker); },
        Qt::QueuedConnection);
}

bool CNxrIoThread::Stop(std::chrono::milliseconds bound) {
    if (!m_thread.joinable()) {
        return true;
    }
    Post([shared = m_shared](CNxrIoWorker& worker) {
        worker.Shutdown();
        shared->loop->quit();
    });
    m_worker = nullptr;
    bool ended = false;
    {
        std::unique_lock lock(m_shared->mutex);
        ended = WaitUntil(m_shared->changed, lock, std::chrono::steady_clock::now() + bound,
                          [this] { return m_shared->ended; });
    }
    if (ended) {
        m_thread.join();
    } else {
        m_thread.detach();  // it ends by itself; the shared block outlives it
    }
    return ended;
}

int CNxrIoThread::Running() {
    return g_running.load();
}

}  // namespace quillpad
