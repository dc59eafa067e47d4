#pragma once
// The host's environment object, called by name: the replacement for the
// IWBENV calls through a dispatch interface. Each call looks its method up
// by name and argument types on the host's object (Qt's meta-object system)
// and invokes it directly, on this thread. Texts travel as QStrings of
// Latin-1 characters, one per byte.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <string>
#include <vector>

#include "session/IHostEnvironment.h"

namespace quillpad {

// The statuses of a call that cannot be made, as a dispatch interface gives them.
inline constexpr std::int32_t kDispUnknownName = static_cast<std::int32_t>(0x80020006u);
inline constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057u);

// One argument of a call by name: a 16- or 32-bit integer, a string, a
// reference to a string (the host may write it) or an object.
struct SDispatchArgument {
    enum class EKind { Int16, Int32, String, StringRef, Object };
    EKind kind = EKind::Int32;
    std::int32_t number = 0;
    QString text;
    QString* reference = nullptr;
    QObject* object = nullptr;

    static SDispatchArgument Int16(std::int16_t v) {
        return {EKind::Int16, v, {}, nullptr, nullptr};
    }
    static SDispatchArgument Int32(std::int32_t v) {
        return {EKind::Int32, v, {}, nullptr, nullptr};
    }
    static SDispatchArgument String(QString v) {
        return {EKind::String, 0, std::move(v), nullptr, nullptr};
    }
    static SDispatchArgument StringRef(QString& v) {
        return {EKind::StringRef, 0, {}, &v, nullptr};
    }
};

// Calls `name` on `target` with the arguments in order. The method must
// return int (the status) and take exactly these types (short, int,
// const QString&, QString&, QObject*); anything else is refused as an
// invalid argument, a missing method as an unknown name.
std::int32_t InvokeByName(QObject* target, const char* name,
                          std::vector<SDispatchArgument> arguments);

class CQtHostEnvironment final : public IHostEnvironment {
  public:
    explicit CQtHostEnvironment(QObject* environment) : m_environment(environment) {}
    QObject* Object() const { return m_environment.data(); }

    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) override;
    std::int32_t IWBENVUpdateConnectionParams(WideString& params) override;
    std::int32_t IWBENVLaunchPlugin(const WideString& plugin, const WideString& address,
                                    const WideString& third) override;
    std::int32_t IWBENVSetPluginWindowSize(std::int32_t minCx, std::int32_t minCy,
                                           std::int32_t maxCx, std::int32_t maxCy,
                                           std::int32_t preferredCx,
                                           std::int32_t preferredCy) override;
    std::int32_t IWBENVGetCurrentAddress(WideString& first, WideString& address,
                                         WideString& third) override;
    std::int32_t IWBENVShowFrameFooter(std::int32_t show) override;
    std::int32_t IWBENVAppendToWindowTitle(const WideString& text) override;
    std::int32_t IWBENVSetWindowTitleTool(const WideString& text) override;
    std::int32_t IWBENVUpdateModemLines(std::int32_t lines) override;
    std::int32_t IWBENVUpdateShareClients(std::int32_t port, std::int32_t clients) override;

  private:
    std::int32_t Call(const char* name, std::vector<SDispatchArgument> arguments);
    // The host object went away: the call cannot be made.
    QPointer<QObject> m_environment;
};

}  // namespace quillpad
