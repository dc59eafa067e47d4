// A Workbay plug-in library as small as can be, for the host's tests of
// loading plug-ins with QPluginLoader and of registration.

#include <QLabel>
#include <QObject>

#include "nxr/NxrRegistry.h"
#include "platform/ClassRegistry.h"
#include "platform/qt/IWorkbayPlugin.h"

namespace quillpad::test {

class CWorkbayTestPlugin : public QObject, public IWorkbayPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUILLPAD_WORKBAY_PLUGIN_IID)
    Q_INTERFACES(quillpad::IWorkbayPlugin)

  public:
    static constexpr const char* kName = "WorkbayTest";
    static constexpr const char* kProgId = "WorkbayTest.Console.1";

    QString ProgId() const override { return QString::fromLatin1(kProgId); }

    QWidget* CreateControl(QWidget* parent) override {
        auto* control = new QLabel(QStringLiteral("test console"), parent);
        control->setObjectName(QStringLiteral("WorkbayTestControl"));
        return control;
    }

    std::int32_t RegisterServer(const QString& libraryPath) override {
        CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
        if (RegisterClassLibrary(store, kProgId, libraryPath.toStdString()) !=
            ERegistryStatus::Success) {
            return kSelfRegClassFailed;
        }
        return NxrRegisterPlugin(store, kName, kProgId) ? kSelfRegOk : kSelfRegClassFailed;
    }

    std::int32_t UnregisterServer() override {
        CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
        NxrUnRegisterPlugin(store, kName, kProgId);
        return UnregisterClassLibrary(store, kProgId) == ERegistryStatus::Success
                   ? kSelfRegOk
                   : kSelfRegClassFailed;
    }
};

}  // namespace quillpad::test

#include "WorkbayTestPlugin.moc"
