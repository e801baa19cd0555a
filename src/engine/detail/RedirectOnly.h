// Whether a URL record is only a redirect: the body its fetch ended with is another address's.
#pragma once

#include "engine/CrwlUrl.h"

namespace crawlmere::engine::detail {

/// The record was redirected (by the server, a Refresh header or a meta refresh) to another
/// address than its own (not one filed under its own lookup key, as a trailing-slash variant
/// is) and is not the starting point or a local file. Its body is its final address's and
/// belongs to that address's own record: the redirect is not read, archived or listed in a
/// sitemap. [any thread]
inline bool isOnlyARedirect(const CrwlUrl& record)
{
    if (record.isStartingPoint() || record.isFileURL() || record.getRedirectCount() == 0)
        return false;
    const QString target = record.getRedir();
    return !target.isEmpty()
        && record.prepareUrlForLookup(target) != record.prepareUrlForLookup(record.absoluteString());
}

} // namespace crawlmere::engine::detail
