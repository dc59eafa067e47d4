#pragma once
// What a Workbay plug-in library offers its host: the replacement for an
// ActiveX control's class factory and self-registration. The host loads the
// library with QPluginLoader, asks for this interface, and talks to each
// control it creates by name (Qt's meta-object system, Q_INVOKABLE methods),
// as a COM host talks to a dispatch interface.

#include <QString>
#include <QWidget>
#include <QtPlugin>

#include <cstdint>

#include "platform/ClassRegistry.h"

namespace quillpad {

class IWorkbayPlugin {
  public:
    virtual ~IWorkbayPlugin() = default;
    // The ProgID the plug-in registers its control class under.
    virtual QString ProgId() const = 0;
    // A new control, a child of `parent` (the host's window for it).
    virtual QWidget* CreateControl(QWidget* parent) = 0;
    // Records the class (ProgID -> `libraryPath`) and the plug-in with the
    // host; kSelfRegOk or one of the failure codes above.
    virtual std::int32_t RegisterServer(const QString& libraryPath) = 0;
    virtual std::int32_t UnregisterServer() = 0;
};

}  // namespace quillpad

#define QUILLPAD_WORKBAY_PLUGIN_IID "com.korvane.Workbay.IWorkbayPlugin/1.0"
Q_DECLARE_INTERFACE(quillpad::IWorkbayPlugin, QUILLPAD_WORKBAY_PLUGIN_IID)
