// The one cookie store of the application on the network thread: a libcurl share handle that
// every transfer with cookie handling uses, and its file in libcurl's cookie-file format.
#pragma once

#include "platform/detail/CurlHandles.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <curl/curl.h>

#include <array>
#include <mutex>

namespace crawlmere::platform::detail {

/// Network thread only (the share's locks guard libcurl's own use of it). Not movable: the
/// share handle's lock callbacks point at this object.
class CookieJar {
public:
    /// Cookie files larger than this are not read.
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

    CookieJar();
    CookieJar(const CookieJar&) = delete;
    CookieJar& operator=(const CookieJar&) = delete;

    bool isValid() const { return m_share && m_scratch; }
    CURLSH* share() const { return m_share.get(); }

    /// Every cookie as a line of libcurl's cookie-file format ("#HttpOnly_" prefix for HTTP-only ones).
    QList<QByteArray> lines() const;
    /// Adds one cookie given as a cookie-file line or as "Set-Cookie: ..." text.
    void addLine(const QByteArray& line);
    void clear();

    /// Adds the cookies of a cookie file. A missing file is no failure.
    bool load(const QString& path);
    /// Writes the cookies that outlive the session (those with an expiry) to `path`
    /// atomically: a reader sees the old file or the new one, never a part.
    bool save(const QString& path) const;

private:
    static void lockShare(CURL*, curl_lock_data data, curl_lock_access, void* userPointer);
    static void unlockShare(CURL*, curl_lock_data data, void* userPointer);

    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
    ShareHandle m_share;
    // An easy handle attached to the share, used only to reach its cookies. Declared after the
    // share so that it is freed first.
    EasyHandle m_scratch;
};

} // namespace crawlmere::platform::detail
