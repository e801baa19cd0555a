// The one cookie store of the application on the network thread: a libcurl share handle that
// every transfer with cookie handling uses, and its file in libcurl's cookie-file format.
#pragma once

#include "platform/detail/CurlHandles.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <curl/curl.h>

#include <array>
#include <mutex>
#include <vector>

namespace crawlmere::platform::detail {

/// Network thread only (the share's locks guard libcurl's own use of it). Not movable: the
/// share handle's lock callbacks point at this object.
class CookieJar {
public:
    /// Cookie files larger than this are not read.
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
    /// What the store keeps, as browsers do: so many cookies a host, so many in all, lines of
    /// at most so many bytes, and so many bytes in all (half of what is read back, so the file
    /// always reads back whole). Past a limit the store is trimmed a sixth below it, so that a
    /// site setting cookies on every page trims it now and then, not on every response. The
    /// least recently used cookies go first; cookies placed through a login window go only
    /// when those alone pass a limit, never to make room for cookies the crawled sites set.
    static constexpr qsizetype kMaxCookiesPerHost = 180;
    static constexpr qsizetype kMaxCookies = 3000;
    static constexpr qsizetype kMaxLineBytes = 8192;
    static constexpr qint64 kMaxBytes = kMaxFileBytes / 2;

    CookieJar();
    CookieJar(const CookieJar&) = delete;
    CookieJar& operator=(const CookieJar&) = delete;

    /// Who placed a cookie.
    enum class Placer { Site, LoginWindow };
    /// What the store knows of a cookie beside its line: when it was last set or sent (in
    /// milliseconds since 1970), and whether a login window placed it.
    struct Use {
        qint64 lastUsed = 0;
        bool login = false;
    };

    bool isValid() const { return m_share && m_scratch; }
    CURLSH* share() const { return m_share.get(); }

    /// Every cookie as a line of libcurl's cookie-file format ("#HttpOnly_" prefix for HTTP-only ones).
    QList<QByteArray> lines() const;
    /// Adds one cookie given as a cookie-file line or as "Set-Cookie: ..." text.
    void addLine(const QByteArray& line, Placer placer = Placer::Site);
    /// Notes that a request that carries cookies goes to `host` now: the cookies it may carry
    /// count as used.
    void noteRequest(const QByteArray& host);
    /// Puts `lines` (cookie-file lines) in place of every cookie held.
    void replaceAll(const QList<QByteArray>& lines);
    /// Notes that up to `count` cookies of `bytes` bytes in all (as lines) may have come in
    /// from `host`, for the host or a domain above it.
    void noteAdded(const QByteArray& host, qsizetype count, qint64 bytes);
    /// Trims the store once a limit may have been passed since the last trim. Not from within
    /// a transfer's callback.
    void trimIfDue();
    /// Removes the cookies past the limits. Returns true when any went.
    bool trim();
    void clear();

    /// Adds the cookies of a cookie file (those within the limits). A missing file is no
    /// failure. A file that is there but cannot be read (too large, no access) is left alone:
    /// `save` does not replace it.
    bool load(const QString& path);
    /// Writes the cookies that outlive the session (those with an expiry) to `path`
    /// atomically: a reader sees the old file or the new one, never a part. Each line follows
    /// a comment line "# used MILLISECONDS" (" login" added for a login window's cookie),
    /// which readers of the format skip. Trims the store first. Refuses (false) when `path` is
    /// a store `load` could not read.
    bool save(const QString& path);

    /// The indexes (ascending) of `lines` within the limits, given each line's use in `uses`:
    /// overlong lines go; past a host's share its sites' cookies go least recently used first,
    /// then, when the totals are passed, every host's sites' cookies, least recently used
    /// first (equal uses in the order given). Login-window cookies go only when they alone
    /// pass a limit: then the hosts holding the most give up their least recently used.
    static std::vector<qsizetype> withinLimits(const QList<QByteArray>& lines, const std::vector<Use>& uses);

private:
    void insert(const QByteArray& line);
    /// Forgets every cookie (their uses stay).
    void clearCookies();
    /// A strictly increasing clock in milliseconds since 1970.
    qint64 tick();
    /// The use of each of `held`, with the requests noted since the last trim; a cookie not
    /// known yet was set since then.
    std::vector<Use> usesOf(const QList<QByteArray>& held);
    /// Keeps the uses of `held` only.
    void keepUses(const QList<QByteArray>& held, const std::vector<Use>& uses);
    /// Counts `held` (every cookie line held) for `noteAdded`.
    void measure(const QList<QByteArray>& held);
    /// Trims the store; answers the lines kept, and in `dropped` whether any went.
    QList<QByteArray> trimmed(bool* dropped = nullptr);

    static void lockShare(CURL*, curl_lock_data data, curl_lock_access, void* userPointer);
    static void unlockShare(CURL*, curl_lock_data data, void* userPointer);

    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
    ShareHandle m_share;
    // An easy handle attached to the share, used only to reach its cookies. Declared after the
    // share so that it is freed first.
    EasyHandle m_scratch;
    // What was held at the last trim, by host and in all, and what may have come in since.
    QHash<QByteArray, qsizetype> m_heldPerHost;
    qsizetype m_heldCount = 0;
    qint64 m_heldBytes = 0;
    QHash<QByteArray, qsizetype> m_addedPerHost;
    qsizetype m_addedCount = 0;
    qint64 m_addedBytes = 0;
    bool m_trimDue = false;
    // Each cookie's use, by its domain, path and name; the hosts requested since the last
    // trim; the last time `tick` gave.
    QHash<QByteArray, Use> m_uses;
    QHash<QByteArray, qint64> m_requested;
    qint64 m_lastTick = 0;
    // The store `load` found but could not read: never replaced.
    QString m_unreadable;
};

} // namespace crawlmere::platform::detail
