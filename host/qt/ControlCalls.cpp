#include "host/qt/ControlCalls.h"

#include <QAction>
#include <QMetaObject>
#include <QObject>

namespace quillpad {
namespace {

constexpr const char* kGetWindowSizes =
    "IWBGetWindowSizes(short*,short*,short*,short*,short*,short*)";
constexpr const char* kSetEnvironment = "IWBSetEnvIDispatchViaStream(int)";
constexpr const char* kLoadSaveData = "IWBLoadSaveData(QByteArray,int)";
constexpr const char* kSetConnection = "IWBSetConnectionParameters(QByteArray)";
constexpr const char* kGetSaveData = "IWBGetSaveData(QByteArray*,int*)";
constexpr const char* kAboutBox = "AboutBox()";
constexpr const char* kInPlaceMenus = "InPlaceMenuActions()";

}  // namespace

bool HasControlMethod(const QObject* control, const char* signature) {
    return control != nullptr &&
           control->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(signature)) >= 0;
}

std::optional<SWindowSizes> CallGetWindowSizes(QObject* control) {
    if (!HasControlMethod(control, kGetWindowSizes)) {
        return std::nullopt;
    }
    short minCx = 0, minCy = 0, maxCx = 0, maxCy = 0, preferredCx = 0, preferredCy = 0;
    if (!QMetaObject::invokeMethod(control, "IWBGetWindowSizes", Qt::DirectConnection,
                                   Q_ARG(short*, &minCx), Q_ARG(short*, &minCy),
                                   Q_ARG(short*, &maxCx), Q_ARG(short*, &maxCy),
                                   Q_ARG(short*, &preferredCx), Q_ARG(short*, &preferredCy))) {
        return std::nullopt;
    }
    return SWindowSizes{QSize(minCx, minCy), QSize(maxCx, maxCy), QSize(preferredCx, preferredCy)};
}

void CallSetEnvironmentStream(QObject* control, int stream) {
    if (HasControlMethod(control, kSetEnvironment)) {
        QMetaObject::invokeMethod(control, "IWBSetEnvIDispatchViaStream", Qt::DirectConnection,
                                  Q_ARG(int, stream));
    }
}

void CallLoadSaveData(QObject* control, const QByteArray& data) {
    if (HasControlMethod(control, kLoadSaveData)) {
        QMetaObject::invokeMethod(control, "IWBLoadSaveData", Qt::DirectConnection,
                                  Q_ARG(QByteArray, data), Q_ARG(int, int(data.size())));
    }
}

void CallSetConnectionParameters(QObject* control, const QByteArray& parameters) {
    if (HasControlMethod(control, kSetConnection)) {
        QMetaObject::invokeMethod(control, "IWBSetConnectionParameters", Qt::DirectConnection,
                                  Q_ARG(QByteArray, parameters));
    }
}

std::optional<QByteArray> CallGetSaveData(QObject* control) {
    if (!HasControlMethod(control, kGetSaveData)) {
        return std::nullopt;
    }
    QByteArray data;
    int length = -1;
    if (!QMetaObject::invokeMethod(control, "IWBGetSaveData", Qt::DirectConnection,
                                   Q_ARG(QByteArray*, &data), Q_ARG(int*, &length))) {
        return std::nullopt;
    }
    if (length >= 0 && length < data.size()) {
        data.truncate(length);
    }
    return data;
}

bool CallAboutBox(QObject* control) {
    return HasControlMethod(control, kAboutBox) &&
           QMetaObject::invokeMethod(control, "AboutBox", Qt::DirectConnection);
}

QList<QAction*> CallInPlaceMenuActions(QObject* control) {
    QList<QAction*> actions;
    if (HasControlMethod(control, kInPlaceMenus)) {
        QMetaObject::invokeMethod(control, "InPlaceMenuActions", Qt::DirectConnection,
                                  Q_RETURN_ARG(QList<QAction*>, actions));
    }
    actions.removeAll(nullptr);
    return actions;
}

}  // namespace quillpad
