#include "session/CDeviceSession.h"

#include <exception>

namespace quillpad {

CDeviceSession::CDeviceSession(const SessionFactory& factory) {
    if (factory) {
        try {
            SSessionCreation created = factory();
            m_session = std::move(created.session);
            if (!m_session) {
                m_creationError = std::move(created.error);
            }
        } catch (const std::exception& e) {
            m_creationError = e.what();
        } catch (...) {
            m_creationError = "the session object could not be created";
        }
    } else {
        m_creationError = "no session library is available";
    }
    if (m_session) {
        m_session->Advise(this);
        m_sinkCookie = 1;
    }
}

CDeviceSession::~CDeviceSession() {
    if (m_session) {
        m_session->Advise(nullptr);
        m_sinkCookie = kNotAdvised;
        CloseConnection();
    }
}

void CDeviceSession::CloseConnection() {
    if (m_session) {
        m_session->Close(&m_hConnection);
    }
    m_hConnection = 0;
}

}  // namespace quillpad
