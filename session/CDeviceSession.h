#pragma once
// The console's base on the device: it creates the session object, listens
// to its events and holds the connection handle that every session call
// takes. The console derives from it (through CHostedSession) and overrides
// the event handlers; the defaults accept each event and do nothing.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "nxr/INxrSession2.h"
#include "nxr/INxrSessionEvents.h"

namespace quillpad {

// What creating a session object gave: the object, or why there is none.
// No object and no reason means the object offers no session interface.
struct SSessionCreation {
    std::unique_ptr<INxrSession2> session;
    std::string error;
};
using SessionFactory = std::function<SSessionCreation()>;

class CDeviceSession : public INxrSessionEvents {
  public:
    static constexpr std::uint32_t kNotAdvised = 0xFEFEFEFE;

    // Creates the session object (a throwing factory counts as a failure
    // with its message) and connects the event sink.
    explicit CDeviceSession(const SessionFactory& factory);
    // Disconnects the sink, closes the connection, releases the object.
    ~CDeviceSession() override;
    CDeviceSession(const CDeviceSession&) = delete;
    CDeviceSession& operator=(const CDeviceSession&) = delete;

    // Null when the object could not be created.
    INxrSession2* Session() const { return m_session.get(); }
    // 0 while not open. Every session call takes its address.
    NxrHandle ConnectionHandle() const { return m_hConnection; }
    NxrHandle* ConnectionHandlePtr() { return &m_hConnection; }
    std::uint32_t SinkCookie() const { return m_sinkCookie; }
    // Why the object could not be created ("" when it was, or when it only
    // lacks the session interface).
    const std::string& CreationError() const { return m_creationError; }
    // Never set: queries fall back to the foreground or desktop window.
    void* OwnerWindow() const { return m_ownerWindow; }

  protected:
    // Closes the connection if one is open.
    void CloseConnection();

  private:
    std::unique_ptr<INxrSession2> m_session;
    NxrHandle m_hConnection = 0;
    std::uint32_t m_sinkCookie = kNotAdvised;
    std::string m_creationError;
    void* m_ownerWindow = nullptr;
};

}  // namespace quillpad
