#pragma once
// The simulated controller as a session's transport ("sim:"): the device
// runs inside the process, on the session's I/O thread. Its answers reach the
// session from the event loop, as they would from a wire, never from inside
// the write that caused them.

#include <QElapsedTimer>
#include <QTimer>

#include "devsim/CDevSimEngine.h"
#include "nxr/qt/CNxrTransportRegistry.h"
#include "nxr/qt/INxrTransport.h"

namespace quillpad {

class CDevSimTransport final : public INxrTransport {
  public:
    explicit CDevSimTransport(SDevSimOptions options);

    void Open(INxrTransportEvents& events) override;
    void Close() override;
    SNxrWriteResult Write(std::string_view bytes) override;
    void ResumeReading() override;
    std::string Break(int ms) override;

  private:
    void Answer(const ByteString& bytes);
    void Deliver();
    void Flood();

    CDevSimEngine m_engine;
    INxrTransportEvents* m_events = nullptr;
    ByteString m_answer;  // said by the device, not yet delivered
    QTimer m_deliverTimer;
    QTimer m_floodTimer;
    QTimer m_tickTimer;  // the engine's time: a transfer's time-outs, a bus scan
    QElapsedTimer m_floodClock;
    QElapsedTimer m_clock;
};

// Lets sessions open "sim:". Programs and tests that offer the simulated
// controller call this once; calling it again does no harm.
void RegisterDevSimTransport(CNxrTransportRegistry& registry = CNxrTransportRegistry::Global());

}  // namespace quillpad
