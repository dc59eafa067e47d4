#pragma once
// A transport the test scripts: it comes up at once, takes writes up to a
// limit and then fails them, and can hang in its close as a wedged USB
// adapter does. It lives and dies on the session's I/O thread; what it did is
// kept in a block the test shares.

#include <chrono>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "nxr/NxrLineScript.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "nxr/qt/INxrTransport.h"
#include "platform/Bytes.h"

namespace quillpad::test {

struct SScriptedLink {
    // A close that hangs gives up after this, so that a session that waits
    // without a bound fails its test instead of hanging it.
    static constexpr std::chrono::seconds kLongestHang{5};

    std::size_t takes = std::numeric_limits<std::size_t>::max();  // bytes taken before writes fail
    std::string writeError = "the cable was pulled";
    bool closeHangs = false;
    // The modem lines (nxr_line bits); none: the link has none.
    std::optional<std::uint32_t> lines;

    // The far end drives its lines (CTS, DSR, DCD, RI) to `inputs`.
    void SetInputs(std::uint32_t inputs) {
        std::lock_guard lock(mutex);
        lines = (lines.value_or(0) & (nxr_line::Dtr | nxr_line::Rts)) | inputs;
    }
    auto LineChanges() {
        std::lock_guard lock(mutex);
        return lineChanges;
    }

    void Release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    ByteString Taken() {
        std::lock_guard lock(mutex);
        return taken;
    }
    auto Writes() {
        std::lock_guard lock(mutex);
        return writes;
    }
    bool Closing() {
        std::lock_guard lock(mutex);
        return closing;
    }
    bool Destroyed() {
        std::lock_guard lock(mutex);
        return destroyed;
    }

    // Set by the transport, under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    ByteString taken;
    // Each write that went, with when it went.
    std::vector<std::pair<std::chrono::steady_clock::time_point, ByteString>> writes;
    // Each line set, "DTR on", "RTS off", with when.
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> lineChanges;
    bool closing = false;
    bool destroyed = false;
    bool released = false;
};

class CScriptedTransport final : public INxrTransport {
  public:
    explicit CScriptedTransport(std::shared_ptr<SScriptedLink> link) : m_link(std::move(link)) {}
    ~CScriptedTransport() override {
        std::lock_guard lock(m_link->mutex);
        m_link->destroyed = true;
    }
    void Open(INxrTransportEvents& events) override { events.TransportUp(); }
    void Close() override {
        std::unique_lock lock(m_link->mutex);
        m_link->closing = true;
        if (m_link->closeHangs) {
            m_link->changed.wait_for(lock, SScriptedLink::kLongestHang,
                                     [this] { return m_link->released; });
        }
    }
    SNxrWriteResult Write(std::string_view bytes) override {
        std::lock_guard lock(m_link->mutex);
        const std::size_t room = m_link->takes - std::min(m_link->takes, m_link->taken.size());
        const std::size_t n = std::min(room, bytes.size());
        m_link->taken.append(bytes.substr(0, n));
        m_link->writes.emplace_back(std::chrono::steady_clock::now(),
                                    ByteString(bytes.substr(0, n)));
        if (n < bytes.size()) {
            return {n, m_link->writeError};
        }
        return {n, {}};
    }

    std::string SetLine(std::uint32_t line, bool on) override {
        std::lock_guard lock(m_link->mutex);
        if (!m_link->lines) {
            return INxrTransport::SetLine(line, on);
        }
        m_link->lines = on ? (*m_link->lines | line) : (*m_link->lines & ~line);
        m_link->lineChanges.emplace_back(
            std::chrono::steady_clock::now(),
            std::string(line == nxr_line::Dtr ? "DTR" : "RTS") + (on ? " on" : " off"));
        return {};
    }
    std::optional<std::uint32_t> Lines() override {
        std::lock_guard lock(m_link->mutex);
        return m_link->lines;
    }

  private:
    std::shared_ptr<SScriptedLink> m_link;
};

// Serves "sim:" with scripted links, one per connect, in the order given.
inline void ServeScriptedLinks(CNxrTransportRegistry& registry,
                               std::vector<std::shared_ptr<SScriptedLink>> links) {
    auto queue = std::make_shared<std::vector<std::shared_ptr<SScriptedLink>>>(std::move(links));
    auto mutex = std::make_shared<std::mutex>();
    registry.Register(ENxrConnectionKind::Simulated,
                      [queue, mutex](const CNxrComSpec&) -> std::unique_ptr<INxrTransport> {
                          std::lock_guard lock(*mutex);
                          if (queue->empty()) {
                              return nullptr;
                          }
                          auto link = queue->front();
                          queue->erase(queue->begin());
                          return std::make_unique<CScriptedTransport>(std::move(link));
                      });
}

}  // namespace quillpad::test
