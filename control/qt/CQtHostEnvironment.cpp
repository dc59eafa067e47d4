#include "control/qt/CQtHostEnvironment.h"

#include <QMetaMethod>

namespace quillpad {
namespace {

QString ToQt(const WideString& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

WideString FromQt(const QString& text) {
    return WideString(reinterpret_cast<const char16_t*>(text.utf16()),
                      static_cast<std::size_t>(text.size()));
}

QByteArray TypeName(const SDispatchArgument& a) {
    switch (a.kind) {
        case SDispatchArgument::EKind::Int16:
            return "short";
        case SDispatchArgument::EKind::Int32:
            return "int";
        case SDispatchArgument::EKind::String:
            return "QString";
        case SDispatchArgument::EKind::StringRef:
            return "QString&";
        case SDispatchArgument::EKind::Object:
            return "QObject*";
    }
    return {};
}

}  // namespace

std::int32_t InvokeByName(QObject* target, const char* name,
                          std::vector<SDispatchArgument> arguments) {
    if (target == nullptr) {
        return kHostCallFailed;
    }
    const QMetaObject* meta = target->metaObject();
    QMetaMethod method;
    bool named = false;
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.name() == name) {
            named = true;
            method = m;
        }
    }
    if (!named) {
        return kDispUnknownName;
    }
    // The types must match exactly; a host method with other parameter
    // types is not called with converted values.
    const QList<QByteArray> types = method.parameterTypes();
    if (types.size() != static_cast<qsizetype>(arguments.size()) ||
        method.returnType() != QMetaType::Int) {
        return kInvalidArgument;
    }
    for (qsizetype i = 0; i < types.size(); ++i) {
        if (types[i] != TypeName(arguments[static_cast<std::size_t>(i)])) {
            return kInvalidArgument;
        }
    }
    std::vector<short> shorts(arguments.size());
    std::vector<QGenericArgument> generic;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto& a = arguments[i];
        switch (a.kind) {
            case SDispatchArgument::EKind::Int16:
                shorts[i] = static_cast<short>(a.number);
                generic.emplace_back("short", &shorts[i]);
                break;
            case SDispatchArgument::EKind::Int32:
                generic.emplace_back("int", &a.number);
                break;
            case SDispatchArgument::EKind::String:
                generic.emplace_back("QString", &a.text);
                break;
            case SDispatchArgument::EKind::StringRef:
                generic.emplace_back("QString&", a.reference);
                break;
            case SDispatchArgument::EKind::Object:
                generic.emplace_back("QObject*", &a.object);
                break;
        }
    }
    generic.resize(10);
    int result = kHostCallFailed;
    const bool called = method.invoke(target, Qt::DirectConnection, Q_RETURN_ARG(int, result),
                                      generic[0], generic[1], generic[2], generic[3], generic[4],
                                      generic[5], generic[6], generic[7], generic[8], generic[9]);
    return called ? result : kInvalidArgument;
}

std::int32_t CQtHostEnvironment::Call(const char* name, std::vector<SDispatchArgument> arguments) {
    if (m_environment.isNull()) {
        return kHostCallFailed;
    }
    return InvokeByName(m_environment.data(), name, std::move(arguments));
}

std::int32_t CQtHostEnvironment::IWBENVUpdateConnectionStatus(std::uint16_t status) {
    return Call("IWBENVUpdateConnectionStatus",
                {SDispatchArgument::Int16(static_cast<std::int16_t>(status))});
}

std::int32_t CQtHostEnvironment::IWBENVUpdateConnectionParams(WideString& params) {
    QString text = ToQt(params);
    const std::int32_t result =
        Call("IWBENVUpdateConnectionParams", {SDispatchArgument::StringRef(text)});
    params = FromQt(text);
    return result;
}

std::int32_t CQtHostEnvironment::IWBENVLaunchPlugin(const WideString& plugin,
                                                    const WideString& address,
                                                    const WideString& third) {
    return Call("IWBENVLaunchPlugin",
                {SDispatchArgument::String(ToQt(plugin)), SDispatchArgument::String(ToQt(address)),
                 SDispatchArgument::String(ToQt(third))});
}

std::int32_t CQtHostEnvironment::IWBENVSetPluginWindowSize(std::int32_t minCx, std::int32_t minCy,
                                                           std::int32_t maxCx, std::int32_t maxCy,
                                                           std::int32_t preferredCx,
                                                           std::int32_t preferredCy) {
    return Call("IWBENVSetPluginWindowSize",
                {SDispatchArgument::Int32(minCx), SDispatchArgument::Int32(minCy),
                 SDispatchArgument::Int32(maxCx), SDispatchArgument::Int32(maxCy),
                 SDispatchArgument::Int32(preferredCx), SDispatchArgument::Int32(preferredCy)});
}

std::int32_t CQtHostEnvironment::IWBENVGetCurrentAddress(WideString& first, WideString& address,
                                                         WideString& third) {
    QString a = ToQt(first);
    QString b = ToQt(address);
    QString c = ToQt(third);
    const std::int32_t result = Call("IWBENVGetCurrentAddress", {SDispatchArgument::StringRef(a),
                                                                 SDispatchArgument::StringRef(b),
                                                                 SDispatchArgument::StringRef(c)});
    first = FromQt(a);
    address = FromQt(b);
    third = FromQt(c);
    return result;
}

std::int32_t CQtHostEnvironment::IWBENVShowFrameFooter(std::int32_t show) {
    return Call("IWBENVShowFrameFooter", {SDispatchArgument::Int32(show)});
}

std::int32_t CQtHostEnvironment::IWBENVAppendToWindowTitle(const WideString& text) {
    return Call("IWBENVAppendToWindowTitle", {SDispatchArgument::String(ToQt(text))});
}

std::int32_t CQtHostEnvironment::IWBENVSetWindowTitleTool(const WideString& text) {
    return Call("IWBENVSetWindowTitleTool", {SDispatchArgument::String(ToQt(text))});
}

}  // namespace quillpad

namespace quillpad {

std::int32_t CQtHostEnvironment::IWBENVUpdateModemLines(std::int32_t lines) {
    return Call("IWBENVUpdateModemLines", {SDispatchArgument::Int32(lines)});
}

std::int32_t CQtHostEnvironment::IWBENVUpdateShareClients(std::int32_t port, std::int32_t clients) {
    return Call("IWBENVUpdateShareClients",
                {SDispatchArgument::Int32(port), SDispatchArgument::Int32(clients)});
}

}  // namespace quillpad
