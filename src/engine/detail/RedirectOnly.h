// Whether a URL record is only a redirect: the body its fetch ended with is another address's.
#pragma once

#include "engine/CrwlUrl.h"

namespace crawlmere::engine::detail {

/// The record was redirected (by the server, a Refresh header or a meta refresh that was
/// followed) to another address than its own (not one filed under its own lookup key, as a
/// trailing-slash variant is) and is not a local file. Its body is its final address's and
/// belongs to that address's own record: the redirect is not read, archived or listed in a
/// sitemap. A starting point that redirects is one too: the scan starts at its final address.
/// [any thread]
inline bool isOnlyARedirect(const CrwlUrl& record)
{
    if (record.isFileURL() || record.getRedirectCount() == 0)
        return false;
    const QString target = record.finalURLString();
    return target != record.absoluteString()
        && record.prepareUrlForLookup(target) != record.prepareUrlForLookup(record.absoluteString());
}

} // namespace crawlmere::engine::detail
