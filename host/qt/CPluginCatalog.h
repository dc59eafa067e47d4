#pragma once
// The console plug-ins the host can open: those registered in the registry
// store ("Software\Korvane\Workbay\Plugins\<name>", value "ProgID", and the
// ProgID's class library), loaded with QPluginLoader, and any given
// directly.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CRegistryStore.h"

class QPluginLoader;
class QWidget;

namespace quillpad {

class IWorkbayPlugin;
class IWorkbayUi;

inline constexpr const char* kPreferredPlugin = "Quillpad2";

class CPluginCatalog {
  public:
    CPluginCatalog();
    ~CPluginCatalog();
    CPluginCatalog(const CPluginCatalog&) = delete;
    CPluginCatalog& operator=(const CPluginCatalog&) = delete;

    // Loads every registered plug-in. Those that fail are left out and
    // named together in one message; the catalog never reports them again.
    void LoadRegistered(const CRegistryStore& store, IWorkbayUi& ui, QWidget* parent = nullptr);
    // A plug-in the caller keeps alive for as long as the catalog is used.
    void Add(const QString& name, IWorkbayPlugin* plugin);

    // By name, ignoring case; null when there is none.
    IWorkbayPlugin* Find(const QString& name) const;
    // The name as registered, for a name in any case; empty when unknown.
    QString CanonicalName(const QString& name) const;
    QStringList Names() const;
    // "Quillpad2" when there is one, else the first; empty when none.
    QString DefaultName() const;

  private:
    struct SEntry {
        QString name;
        IWorkbayPlugin* plugin = nullptr;
    };
    const SEntry* Entry(const QString& name) const;

    std::vector<SEntry> m_entries;
    // Never unloaded: controls made by a library outlive the catalog's use.
    std::vector<std::unique_ptr<QPluginLoader>> m_loaders;
};

// `workbay --register PATH` / `--unregister PATH`: loads the library and
// calls its RegisterServer(PATH) or UnregisterServer(). The exit code (0 on
// success) and, in `message`, what happened.
int RunServerRegistration(const QString& libraryPath, bool unregister, QString& message);

// The plug-ins installed beside the host (<prefix>/lib[/<triplet>]/workbay/plugins
// of the program's folder's parent) register themselves when their class is
// not registered yet or its library is gone, so an installed host works for
// a new user at once and never replaces a registration someone made on
// purpose. Returns the messages of what it did.
QStringList RegisterBundledPlugins(const CRegistryStore& store, const QString& programDir);

}  // namespace quillpad
