#include "host/qt/CPluginCatalog.h"

#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

#include <string>

#include "host/qt/IWorkbayUi.h"
#include "nxr/NxrRegistry.h"
#include "platform/ClassRegistry.h"
#include "platform/qt/IWorkbayPlugin.h"

namespace quillpad {
namespace {

struct SRegistration {
    QString name;
    QString progId;
};

std::vector<SRegistration> RegisteredPlugins(const CRegistryStore& store) {
    std::vector<SRegistration> list;
    const std::string key = std::string(kWorkbayRegistryKey) + "\\Plugins";
    store.Read([&](const CRegistryTree& tree) {
        std::string name;
        for (std::size_t i = 0; tree.EnumKey(key, i, name) == ERegistryStatus::Success; ++i) {
            std::string progId;
            // A key without a ProgID holds only a plug-in's settings.
            if (tree.QueryValue(key + "\\" + name, kPluginProgIdValue, progId) ==
                ERegistryStatus::Success) {
                list.push_back({QString::fromLatin1(name.data(), qsizetype(name.size())),
                                QString::fromLatin1(progId.data(), qsizetype(progId.size()))});
            }
        }
    });
    return list;
}

QString HexCode(std::int32_t code) {
    return QStringLiteral("0x%1").arg(static_cast<std::uint32_t>(code), 8, 16, QLatin1Char('0'));
}

}  // namespace

CPluginCatalog::CPluginCatalog() = default;
CPluginCatalog::~CPluginCatalog() = default;

void CPluginCatalog::LoadRegistered(const CRegistryStore& store, IWorkbayUi& ui, QWidget* parent) {
    QStringList failures;
    for (const SRegistration& registration : RegisteredPlugins(store)) {
        if (Entry(registration.name) != nullptr) {
            continue;
        }
        const auto library = FindClassLibrary(store, registration.progId.toStdString());
        if (!library) {
            failures << QStringLiteral("%1: no library is registered for %2")
                            .arg(registration.name, registration.progId);
            continue;
        }
        auto loader = std::make_unique<QPluginLoader>(QString::fromStdString(*library));
        auto* plugin = qobject_cast<IWorkbayPlugin*>(loader->instance());
        if (plugin == nullptr) {
            const QString reason = loader->isLoaded() ? QStringLiteral("it is no Workbay plug-in")
                                                      : loader->errorString();
            failures << QStringLiteral("%1: %2").arg(registration.name, reason);
            continue;
        }
        m_entries.push_back({registration.name, plugin});
        m_loaders.push_back(std::move(loader));
    }
    if (!failures.isEmpty()) {
        ui.ShowMessage(parent, EWorkbayMessage::Warning, QStringLiteral("Workbay"),
                       QStringLiteral("These plug-ins could not be loaded and are left out:\n\n") +
                           failures.join(QLatin1Char('\n')));
    }
}

void CPluginCatalog::Add(const QString& name, IWorkbayPlugin* plugin) {
    if (plugin != nullptr && !name.isEmpty() && Entry(name) == nullptr) {
        m_entries.push_back({name, plugin});
    }
}

const CPluginCatalog::SEntry* CPluginCatalog::Entry(const QString& name) const {
    for (const SEntry& entry : m_entries) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

IWorkbayPlugin* CPluginCatalog::Find(const QString& name) const {
    const SEntry* entry = Entry(name);
    return entry != nullptr ? entry->plugin : nullptr;
}

QString CPluginCatalog::CanonicalName(const QString& name) const {
    const SEntry* entry = Entry(name);
    return entry != nullptr ? entry->name : QString();
}

QStringList CPluginCatalog::Names() const {
    QStringList names;
    for (const SEntry& entry : m_entries) {
        names << entry.name;
    }
    return names;
}

QString CPluginCatalog::DefaultName() const {
    if (const SEntry* preferred = Entry(QLatin1String(kPreferredPlugin))) {
        return preferred->name;
    }
    return m_entries.empty() ? QString() : m_entries.front().name;
}

int RunServerRegistration(const QString& libraryPath, bool unregister, QString& message) {
    const QString path = QFileInfo(libraryPath).absoluteFilePath();
    QPluginLoader loader(path);
    auto* plugin = qobject_cast<IWorkbayPlugin*>(loader.instance());
    if (plugin == nullptr) {
        message = QStringLiteral("cannot load %1: %2")
                      .arg(path, loader.isLoaded() ? QStringLiteral("it is no Workbay plug-in")
                                                   : loader.errorString());
        return 1;
    }
    const std::int32_t code =
        unregister ? plugin->UnregisterServer() : plugin->RegisterServer(path);
    if (code != kSelfRegOk) {
        message =
            QStringLiteral("%1 of %2 failed: %3")
                .arg(unregister ? QStringLiteral("unregistering") : QStringLiteral("registering"),
                     path, HexCode(code));
        return 1;
    }
    message = unregister ? QStringLiteral("unregistered %1 (%2)").arg(plugin->ProgId(), path)
                         : QStringLiteral("registered %1 from %2").arg(plugin->ProgId(), path);
    return 0;
}

QStringList RegisterBundledPlugins(const CRegistryStore& store, const QString& programDir) {
    QStringList done;
    const QDir lib(programDir + QStringLiteral("/../lib"));
    QStringList folders{lib.filePath(QStringLiteral("workbay/plugins"))};
    for (const QString& triplet : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        folders << lib.filePath(triplet + QStringLiteral("/workbay/plugins"));
    }
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList({QStringLiteral("*.so")}, QDir::Files)) {
            const QString path = QFileInfo(dir.filePath(file)).absoluteFilePath();
            QPluginLoader loader(path);
            auto* plugin = qobject_cast<IWorkbayPlugin*>(loader.instance());
            if (plugin == nullptr) {
                continue;
            }
            const auto registered = FindClassLibrary(store, plugin->ProgId().toStdString());
            if (registered && QFileInfo::exists(QString::fromStdString(*registered))) {
                continue;
            }
            QString message;
            RunServerRegistration(path, false, message);
            done << message;
        }
    }
    return done;
}

}  // namespace quillpad
