#include "nxr/qt/CNxrIoThread.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "nxr/qt/CNxrIoWorker.h"

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
    // Posted work waits here rather than inside Qt's event, so that what it
    // carries reaches the I/O thread through a lock ThreadSanitizer can see.
    std::deque<std::function<void(CNxrIoWorker&)>> posted;
};

CNxrIoThread::CNxrIoThread(CNxrComSpec spec, NxrTransportFactory factory,
                           std::shared_ptr<CNxrInbox> inbox, std::function<void()> wake,
                           const IClock& clock, SNxrLinkWatchSetup watch)
    : m_shared(std::make_shared<SShared>()) {
    ++g_running;
    // A plain thread rather than a QThread: when it is left to end by itself
    // nobody remains to delete a thread object, and this one needs none.
    m_thread = std::thread([shared = m_shared, spec = std::move(spec), factory = std::move(factory),
                            inbox = std::move(inbox), wake = std::move(wake), clock = &clock,
                            watch = std::move(watch)]() mutable {
        {
            QEventLoop loop;
            CNxrIoWorker worker(std::move(spec), std::move(factory), std::move(inbox),
                                std::move(wake), *clock, std::move(watch));
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
    m_shared->changed.wait(lock, [this] { return m_shared->worker != nullptr; });
    m_worker = m_shared->worker;
}

CNxrIoThread::~CNxrIoThread() {
    Stop();
}

void CNxrIoThread::Post(std::function<void(CNxrIoWorker&)> work) {
    if (m_worker == nullptr) {
        return;
    }
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->posted.push_back(std::move(work));
    }
    // One event per item keeps each in its place among the thread's other events.
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, shared = m_shared] {
            std::function<void(CNxrIoWorker&)> next;
            {
                std::lock_guard lock(shared->mutex);
                next = std::move(shared->posted.front());
                shared->posted.pop_front();
            }
            next(*worker);
        },
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
        ended = m_shared->changed.wait_for(lock, bound, [this] { return m_shared->ended; });
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
