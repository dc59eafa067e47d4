// The console's plug-in library: what the host loads to make consoles.

#include <QObject>

#include "control/Registration.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "platform/CRegistryStore.h"
#include "platform/qt/IWorkbayPlugin.h"

namespace quillpad {

class CQuillpad2Plugin final : public QObject, public IWorkbayPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUILLPAD_WORKBAY_PLUGIN_IID)
    Q_INTERFACES(quillpad::IWorkbayPlugin)
  public:
    QString ProgId() const override { return QString::fromLatin1(kQuillpadProgId); }

    QWidget* CreateControl(QWidget* parent) override { return new CQuillpad2Ctrl(parent); }

    std::int32_t RegisterServer(const QString& libraryPath) override {
        CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
        return RegisterQuillpad(store, libraryPath.toStdString());
    }

    std::int32_t UnregisterServer() override {
        CRegistryStore store = CRegistryStore::Open(ERegistryRoot::CurrentUser);
        return UnregisterQuillpad(store);
    }
};

}  // namespace quillpad

#include "Quillpad2Plugin.moc"
