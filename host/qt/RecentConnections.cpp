#include "host/qt/RecentConnections.h"

#include <string>

namespace quillpad {
namespace {

QList<QByteArray> ReadList(const CRegistryTree& tree) {
    QList<QByteArray> list;
    for (int i = 1; i <= kMaxRecentConnections; ++i) {
        std::string data;
        if (tree.QueryValue(kRecentConnectionsKey, std::to_string(i), data) ==
                ERegistryStatus::Success &&
            !data.empty()) {
            list << QByteArray(data.data(), static_cast<qsizetype>(data.size()));
        }
    }
    return list;
}

}  // namespace

QList<QByteArray> LoadRecentConnections(const CRegistryStore& store) {
    QList<QByteArray> list;
    store.Read([&](const CRegistryTree& tree) { list = ReadList(tree); });
    return list;
}

bool RememberConnection(CRegistryStore& store, const QByteArray& spec) {
    if (spec.isEmpty()) {
        return false;
    }
    bool written = false;
    const ERegistryStatus status = store.Update([&](CRegistryTree& tree) {
        QList<QByteArray> list = ReadList(tree);
        list.removeAll(spec);
        list.prepend(spec);
        while (list.size() > kMaxRecentConnections) {
            list.removeLast();
        }
        // Rewritten whole, so that no stale number outlives a shorter list.
        tree.DeleteTree(kRecentConnectionsKey);
        if (tree.CreateKey(kRecentConnectionsKey) != ERegistryStatus::Success) {
            return false;
        }
        for (int i = 0; i < list.size(); ++i) {
            const QByteArray& item = list[i];
            if (tree.SetValue(
                    kRecentConnectionsKey, std::to_string(i + 1),
                    std::string_view(item.constData(), static_cast<std::size_t>(item.size()))) !=
                ERegistryStatus::Success) {
                return false;
            }
        }
        written = true;
        return true;
    });
    return status == ERegistryStatus::Success && written;
}

}  // namespace quillpad
