#include "devsim/qt/CDevSimTransport.h"

#include <algorithm>

namespace quillpad {
namespace {

// The most one flood tick hands over, so that a fast flood still comes in
// pieces the session can deliver between other events.
constexpr std::size_t kFloodTickBytes = 4u << 20;

}  // namespace

CDevSimTransport::CDevSimTransport(SDevSimOptions options) : m_engine(std::move(options)) {
    m_deliverTimer.setSingleShot(true);
    m_deliverTimer.setInterval(0);
    QObject::connect(&m_deliverTimer, &QTimer::timeout, &m_deliverTimer, [this] { Deliver(); });
    m_floodTimer.setInterval(2);
    QObject::connect(&m_floodTimer, &QTimer::timeout, &m_floodTimer, [this] { Flood(); });
    m_tickTimer.setInterval(100);
    QObject::connect(&m_tickTimer, &QTimer::timeout, &m_tickTimer, [this] {
        Answer(m_engine.Tick(static_cast<std::uint32_t>(m_clock.elapsed())));
        if (!m_engine.NeedsTick()) {
            m_tickTimer.stop();
        }
    });
    m_clock.start();
}

void CDevSimTransport::Open(INxrTransportEvents& events) {
    m_events = &events;
    Answer(m_engine.Start());  // the banner comes before anything sent on link up
    events.TransportUp();
}

void CDevSimTransport::Close() {
    m_events = nullptr;
    m_deliverTimer.stop();
    m_floodTimer.stop();
    m_tickTimer.stop();
}

SNxrWriteResult CDevSimTransport::Write(std::string_view bytes) {
    if (m_events == nullptr) {
        return {0, "the simulated controller is switched off"};
    }
    const bool wasFlooding = m_engine.Flooding();
    Answer(m_engine.Tick(static_cast<std::uint32_t>(m_clock.elapsed())));
    Answer(m_engine.Receive(bytes));
    if (m_engine.NeedsTick() && !m_tickTimer.isActive()) {
        m_tickTimer.start();
    }
    if (!wasFlooding && m_engine.Flooding()) {
        m_floodClock.start();
        m_floodTimer.start();
    }
    return {bytes.size(), {}};
}

void CDevSimTransport::Answer(const ByteString& bytes) {
    m_answer += bytes;
    if (!m_answer.empty() && !m_deliverTimer.isActive()) {
        m_deliverTimer.start();
    }
}

void CDevSimTransport::Deliver() {
    if (m_events == nullptr || m_answer.empty()) {
        return;
    }
    const ByteString answer = std::move(m_answer);
    m_answer.clear();
    m_events->TransportReceived(answer);
}

void CDevSimTransport::Flood() {
    if (m_events == nullptr || !m_engine.Flooding()) {
        m_floodTimer.stop();
        return;
    }
    const std::size_t room = m_events->ReceiveRoom();
    if (room == 0) {
        // The simulated device waits for the console, as TCP would.
        m_floodTimer.stop();
        return;
    }
    const std::size_t due = m_engine.FloodDue(static_cast<std::uint64_t>(m_floodClock.elapsed()),
                                              std::min(room, kFloodTickBytes));
    if (due > 0) {
        Answer(m_engine.TakeFlood(due));
        Deliver();
    }
}

void CDevSimTransport::ResumeReading() {
    if (m_events != nullptr && m_engine.Flooding() && !m_floodTimer.isActive()) {
        m_floodTimer.start();
    }
}

void RegisterDevSimTransport(CNxrTransportRegistry& registry) {
    registry.Register(ENxrConnectionKind::Simulated, [](const CNxrComSpec& spec) {
        SDevSimOptions options;
        options.name = spec.m_simName;
        options.echo = spec.m_simEcho;
        return std::make_unique<CDevSimTransport>(options);
    });
}

std::string CDevSimTransport::Break(int /*ms*/) {
    if (m_events == nullptr) {
        return "cannot send a break: the simulated controller is not connected";
    }
    Answer(m_engine.Break());
    return {};
}

}  // namespace quillpad
