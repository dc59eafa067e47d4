#pragma once
// The simulated controller served on TCP (127.0.0.1, a free port) from a
// thread of its own, as a device would be: its flood never waits for the
// thread that measures.

#include <QMetaObject>
#include <QThread>

#include <memory>
#include <string>

#include "devsim/qt/CDevSimServer.h"

namespace quillpad::bench {

class CSimServerThread {
  public:
    CSimServerThread() {
        m_thread.start();
        m_server = std::make_unique<CDevSimServer>(CDevSimServer::EMode::Tcp, SDevSimOptions{});
        m_server->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_server.get(), [this] { m_server->Listen("127.0.0.1", 0, &m_error); },
            Qt::BlockingQueuedConnection);
    }
    ~CSimServerThread() {
        QMetaObject::invokeMethod(
            m_server.get(), [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    CSimServerThread(const CSimServerThread&) = delete;
    CSimServerThread& operator=(const CSimServerThread&) = delete;

    // 0 when it could not listen; Error() says why.
    std::uint16_t Port() const { return m_server ? m_server->Port() : 0; }
    const std::string& Error() const { return m_error; }

  private:
    QThread m_thread;
    std::unique_ptr<CDevSimServer> m_server;
    std::string m_error;
};

}  // namespace quillpad::bench
