#include "nxr/qt/CNxrTransportRegistry.h"

#include "nxr/qt/CNxrSerialTransport.h"
#include "nxr/qt/CNxrTcpTransport.h"
#include "nxr/qt/CNxrTelnetTransport.h"

namespace quillpad {

CNxrTransportRegistry& CNxrTransportRegistry::Global() {
    static CNxrTransportRegistry global;
    static const bool builtins = (global.RegisterBuiltins(), true);
    static_cast<void>(builtins);
    return global;
}

void CNxrTransportRegistry::RegisterBuiltins() {
    Register(ENxrConnectionKind::Serial,
             [](const CNxrComSpec& spec) { return std::make_unique<CNxrSerialTransport>(spec); });
    Register(ENxrConnectionKind::Tcp,
             [](const CNxrComSpec& spec) { return std::make_unique<CNxrTcpTransport>(spec); });
    Register(ENxrConnectionKind::Telnet,
             [](const CNxrComSpec& spec) { return std::make_unique<CNxrTelnetTransport>(spec); });
}

void CNxrTransportRegistry::Register(ENxrConnectionKind kind, NxrTransportFactory factory) {
    std::lock_guard lock(m_mutex);
    m_factories[kind] = std::move(factory);
}

NxrTransportFactory CNxrTransportRegistry::Find(ENxrConnectionKind kind) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_factories.find(kind);
    return it == m_factories.end() ? NxrTransportFactory() : it->second;
}

}  // namespace quillpad
