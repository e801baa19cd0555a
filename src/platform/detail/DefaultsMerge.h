// The merge of a save: this process's own changes to the defaults applied to the file as another
// process may have left it, so no save drops what another process added.
#pragma once

#include <QVariantMap>

namespace crawlmere::platform::detail {

/// `stored` (the file as another process may have left it) with this process's own
/// changes, from `base` to `mine`, applied: each key it set or removed, and for a list of
/// identified entries the entries it added, changed or removed.
QVariantMap withChanges(QVariantMap stored, const QVariantMap& base, const QVariantMap& mine);

} // namespace crawlmere::platform::detail
