#pragma once
// Which transport serves which kind of connection. The global registry knows
// serial, TCP and telnet from the start; the simulated controller is a library
// of its own and adds itself when a program asks for it
// (RegisterDevSimTransport in devsim/qt). A session looks its factory up once,
// on open, and calls it on its I/O thread.

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "nxr/CNxrComSpec.h"
#include "nxr/qt/INxrTransport.h"

namespace quillpad {

using NxrTransportFactory = std::function<std::unique_ptr<INxrTransport>(const CNxrComSpec&)>;

class CNxrTransportRegistry {
  public:
    // Empty; RegisterBuiltins() adds serial, TCP and telnet.
    CNxrTransportRegistry() = default;
    CNxrTransportRegistry(const CNxrTransportRegistry&) = delete;
    CNxrTransportRegistry& operator=(const CNxrTransportRegistry&) = delete;

    // The one the sessions of this program use unless told otherwise.
    static CNxrTransportRegistry& Global();

    void RegisterBuiltins();
    // Replaces whatever served `kind` before.
    void Register(ENxrConnectionKind kind, NxrTransportFactory factory);
    // Empty when nothing serves `kind`.
    NxrTransportFactory Find(ENxrConnectionKind kind) const;

  private:
    mutable std::mutex m_mutex;
    std::map<ENxrConnectionKind, NxrTransportFactory> m_factories;
};

}  // namespace quillpad
