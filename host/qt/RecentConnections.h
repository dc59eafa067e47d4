#pragma once
// The connections last used, newest first, kept in the registry store as
// values "1" to "10" of "Software\Korvane\Workbay\Recent".

#include <QByteArray>
#include <QList>

#include <string_view>

#include "platform/CRegistryStore.h"

namespace quillpad {

inline constexpr std::string_view kRecentConnectionsKey = "Software\\Korvane\\Workbay\\Recent";
inline constexpr int kMaxRecentConnections = 10;

QList<QByteArray> LoadRecentConnections(const CRegistryStore& store);
// Puts this connection first (once), keeping the newest ten.
bool RememberConnection(CRegistryStore& store, const QByteArray& spec);

}  // namespace quillpad
