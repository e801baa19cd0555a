// The keys of the site list in the defaults store, and of each site's entry in it.
#pragma once

#include "platform/DefaultsKeys.h"

#include <QString>

namespace crawlmere::settings::detail {

/// The defaults key of the list of sites.
inline const QString kWebsites = defaultsKey::websites;
/// The defaults key of the list of folders the site list groups its sites in.
inline const QString kFolderList = QStringLiteral("folderList");
/// A site's id: the name of its settings, unique in the list; also the defaults key of the
/// selected site's id.
inline const QString kId = defaultsKey::id;
/// A site's name as the list shows it.
inline const QString kName = QStringLiteral("name");
/// The folder of the list a site is filed in.
inline const QString kFolder = QStringLiteral("folder");

} // namespace crawlmere::settings::detail
