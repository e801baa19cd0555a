#include "platform/detail/CookieJar.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/StoreFile.h"
#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace crawlmere::platform::detail {

namespace {

    // Where a trim brings what passed a limit: a sixth below it.
    constexpr qsizetype kTrimmedPerHost = CookieJar::kMaxCookiesPerHost * 5 / 6;
    constexpr qsizetype kTrimmedCookies = CookieJar::kMaxCookies * 5 / 6;
    constexpr qint64 kTrimmedBytes = CookieJar::kMaxBytes * 5 / 6;

    /// The host (or domain) a cookie-file line belongs to, lower-case, without a leading dot.
    QByteArray hostOf(const QByteArray& line)
    {
        const qsizetype start = line.startsWith("#HttpOnly_") ? 10 : 0;
        const qsizetype end = line.indexOf('\t', start);
        QByteArray host = line.mid(start, end < 0 ? -1 : end - start);
        if (host.startsWith('.'))
            host.remove(0, 1);
        return host.toLower();
    }

    /// Whether a cookie-file line's cookie goes to the hosts below its domain too.
    bool coversSubdomains(const QByteArray& line)
    {
        const qsizetype start = line.startsWith("#HttpOnly_") ? 10 : 0;
        const qsizetype tab = line.indexOf('\t', start);
        return line.mid(start, 1) == "." || (tab >= 0 && line.mid(tab + 1, 5) == "TRUE\t");
    }

    /// What tells a cookie from another: its domain (and whether it covers subdomains), path
    /// and name.
    QByteArray keyOf(const QByteArray& line)
    {
        // Fields: domain, subdomains, path, secure, expiry, name, value.
        std::array<qsizetype, 6> tabs {};
        qsizetype at = -1;
        for (qsizetype& tab : tabs) {
            at = line.indexOf('\t', at + 1);
            if (at < 0)
                return line;
            tab = at;
        }
        return hostOf(line) + (coversSubdomains(line) ? "\tsub" : "\thost") + line.mid(tabs[1], tabs[2] - tabs[1])
            + line.mid(tabs[4], tabs[5] - tabs[4]);
    }

    /// The comment line that tells a saved cookie's use.
    constexpr char kUsePrefix[] = "# used ";

} // namespace

std::vector<qsizetype> CookieJar::withinLimits(const QList<QByteArray>& lines, const std::vector<Use>& uses)
{
    struct Host {
        std::vector<qsizetype> site; // indexes into `lines`
        std::vector<qsizetype> login;
        qsizetype held = 0;
        qint64 bytes = 0;
    };
    const auto useOf = [&](qsizetype i) { return size_t(i) < uses.size() ? uses[size_t(i)] : Use {}; };
    // Least recently used first; equal uses in the order given.
    const auto sooner = [&](qsizetype a, qsizetype b) {
        const qint64 usedA = useOf(a).lastUsed;
        const qint64 usedB = useOf(b).lastUsed;
        return usedA != usedB ? usedA < usedB : a < b;
    };
    QHash<QByteArray, Host> hosts;
    std::vector<bool> keep(size_t(lines.size()), false);
    qsizetype count = 0;
    qint64 bytes = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].size() > kMaxLineBytes)
            continue;
        Host& host = hosts[hostOf(lines[i])];
        (useOf(i).login ? host.login : host.site).push_back(i);
        ++host.held;
        host.bytes += lines[i].size();
        keep[size_t(i)] = true;
        ++count;
        bytes += lines[i].size();
    }
    const auto drop = [&](Host& host, qsizetype i) {
        --host.held;
        host.bytes -= lines[i].size();
        keep[size_t(i)] = false;
        --count;
        bytes -= lines[i].size();
    };
    std::vector<qsizetype> site; // every host's sites' cookies
    qsizetype loginCount = 0;
    qint64 loginBytes = 0;
    for (Host& host : hosts) {
        std::sort(host.site.begin(), host.site.end(), sooner);
        std::sort(host.login.begin(), host.login.end(), sooner);
        if (host.held > kMaxCookiesPerHost) {
            auto next = host.site.begin();
            for (; next != host.site.end() && host.held > kTrimmedPerHost; ++next)
                drop(host, *next);
            host.site.erase(host.site.begin(), next);
            if (qsizetype(host.login.size()) > kMaxCookiesPerHost) {
                auto nextLogin = host.login.begin();
                for (; host.held > kTrimmedPerHost; ++nextLogin)
                    drop(host, *nextLogin);
                host.login.erase(host.login.begin(), nextLogin);
            }
        }
        site.insert(site.end(), host.site.begin(), host.site.end());
        loginCount += qsizetype(host.login.size());
        for (const qsizetype i : host.login)
            loginBytes += lines[i].size();
    }
    if (count > kMaxCookies || bytes > kMaxBytes) {
        std::sort(site.begin(), site.end(), sooner);
        for (auto next = site.begin(); next != site.end() && (count > kTrimmedCookies || bytes > kTrimmedBytes); ++next)
            drop(hosts[hostOf(lines[*next])], *next);
    }
    if (loginCount > kMaxCookies || loginBytes > kMaxBytes) {
        // Only login cookies are left past the limits: the hosts holding the most give up their
        // least recently used first, so that one host's many do not push out another's few.
        std::vector<Host*> crowded;
        for (Host& host : hosts) {
            if (!host.login.empty()) {
                std::reverse(host.login.begin(), host.login.end()); // least recently used last
                crowded.push_back(&host);
            }
        }
        const auto fewer = [](const Host* a, const Host* b) {
            return a->login.size() != b->login.size() ? a->login.size() < b->login.size() : a->bytes < b->bytes;
        };
        std::make_heap(crowded.begin(), crowded.end(), fewer);
        while ((count > kTrimmedCookies || bytes > kTrimmedBytes) && !crowded.empty()) {
            std::pop_heap(crowded.begin(), crowded.end(), fewer);
            Host* most = crowded.back();
            drop(*most, most->login.back());
            most->login.pop_back();
            if (most->login.empty())
                crowded.pop_back();
            else
                std::push_heap(crowded.begin(), crowded.end(), fewer);
        }
    }
    std::vector<qsizetype> kept;
    kept.reserve(size_t(count));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (keep[size_t(i)])
            kept.push_back(i);
    }
    return kept;
}

qint64 CookieJar::tick()
{
    m_lastTick = std::max(QDateTime::currentMSecsSinceEpoch(), m_lastTick + 1);
    return m_lastTick;
}

std::vector<CookieJar::Use> CookieJar::usesOf(const QList<QByteArray>& held)
{
    // A request to a host sends its host-only cookies and those of every domain above it.
    QHash<QByteArray, qint64> domainRequested;
    for (auto it = m_requested.cbegin(); it != m_requested.cend(); ++it) {
        for (QByteArray domain = it.key(); !domain.isEmpty();) {
            qint64& when = domainRequested[domain];
            when = std::max(when, it.value());
            const qsizetype dot = domain.indexOf('.');
            domain = dot < 0 ? QByteArray() : domain.mid(dot + 1);
        }
    }
    const qint64 now = tick();
    std::vector<Use> uses;
    uses.reserve(size_t(held.size()));
    for (const QByteArray& line : held) {
        const auto known = m_uses.constFind(keyOf(line));
        Use use = known != m_uses.cend() ? *known : Use { now, false };
        if (!m_requested.isEmpty()) {
            const QByteArray host = hostOf(line);
            const qint64 requested = coversSubdomains(line) ? domainRequested.value(host) : m_requested.value(host);
            use.lastUsed = std::max(use.lastUsed, requested);
        }
        uses.push_back(use);
    }
    return uses;
}

void CookieJar::keepUses(const QList<QByteArray>& held, const std::vector<Use>& uses)
{
    QHash<QByteArray, Use> kept;
    kept.reserve(held.size());
    for (qsizetype i = 0; i < held.size(); ++i)
        kept.insert(keyOf(held[i]), size_t(i) < uses.size() ? uses[size_t(i)] : m_uses.value(keyOf(held[i])));
    m_uses = std::move(kept);
    m_requested.clear();
}

void CookieJar::noteRequest(const QByteArray& host)
{
    m_requested.insert(host.toLower(), tick());
}

void CookieJar::measure(const QList<QByteArray>& held)
{
    m_heldPerHost.clear();
    m_heldCount = held.size();
    m_heldBytes = 0;
    for (const QByteArray& line : held) {
        ++m_heldPerHost[hostOf(line)];
        m_heldBytes += line.size();
    }
    m_addedPerHost.clear();
    m_addedCount = 0;
    m_addedBytes = 0;
    m_trimDue = false;
}

void CookieJar::noteAdded(const QByteArray& host, qsizetype count, qint64 bytes)
{
    m_addedCount += count;
    m_addedBytes += bytes;
    m_trimDue = m_trimDue || m_heldCount + m_addedCount > kMaxCookies || m_heldBytes + m_addedBytes > kMaxBytes;
    // A response may set cookies for its host and for each domain above it.
    QByteArray domain = host.toLower();
    while (!domain.isEmpty()) {
        const qsizetype added = m_addedPerHost[domain] += count;
        m_trimDue = m_trimDue || m_heldPerHost.value(domain) + added > kMaxCookiesPerHost;
        const qsizetype dot = domain.indexOf('.');
        domain = dot < 0 ? QByteArray() : domain.mid(dot + 1);
    }
}

QList<QByteArray> CookieJar::trimmed(bool* dropped)
{
    const QList<QByteArray> held = lines();
    const std::vector<Use> uses = usesOf(held);
    const std::vector<qsizetype> indexes = withinLimits(held, uses);
    QList<QByteArray> kept;
    std::vector<Use> keptUses;
    kept.reserve(qsizetype(indexes.size()));
    keptUses.reserve(indexes.size());
    for (const qsizetype i : indexes) {
        kept.append(held[i]);
        keptUses.push_back(uses[size_t(i)]);
    }
    keepUses(kept, keptUses);
    const bool dropping = kept.size() != held.size();
    if (dropping) {
        clearCookies();
        for (const QByteArray& line : kept)
            insert(line);
    }
    measure(kept);
    if (dropped)
        *dropped = dropping;
    return kept;
}

bool CookieJar::trim()
{
    bool dropped = false;
    trimmed(&dropped);
    return dropped;
}

void CookieJar::trimIfDue()
{
    if (m_trimDue && isValid())
        trimmed();
}

void CookieJar::replaceAll(const QList<QByteArray>& lines)
{
    clearCookies();
    for (const QByteArray& line : lines)
        insert(line);
    keepUses(lines, {});
    measure(lines);
}

CookieJar::CookieJar()
    : m_share(curl_share_init())
{
    if (!m_share)
        return;
    curl_share_setopt(m_share.get(), CURLSHOPT_LOCKFUNC, &CookieJar::lockShare);
    curl_share_setopt(m_share.get(), CURLSHOPT_UNLOCKFUNC, &CookieJar::unlockShare);
    curl_share_setopt(m_share.get(), CURLSHOPT_USERDATA, this);
    if (curl_share_setopt(m_share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
        m_share.reset();
        return;
    }
    m_scratch.reset(curl_easy_init());
    if (m_scratch) {
        curl_easy_setopt(m_scratch.get(), CURLOPT_SHARE, m_share.get());
        curl_easy_setopt(m_scratch.get(), CURLOPT_COOKIEFILE, "");
    }
}

void CookieJar::lockShare(CURL*, curl_lock_data data, curl_lock_access, void* userPointer)
{
    auto* jar = static_cast<CookieJar*>(userPointer);
    if (data >= 0 && data < CURL_LOCK_DATA_LAST)
        jar->m_locks[static_cast<size_t>(data)].lock();
}

void CookieJar::unlockShare(CURL*, curl_lock_data data, void* userPointer)
{
    auto* jar = static_cast<CookieJar*>(userPointer);
    if (data >= 0 && data < CURL_LOCK_DATA_LAST)
        jar->m_locks[static_cast<size_t>(data)].unlock();
}

QList<QByteArray> CookieJar::lines() const
{
    QList<QByteArray> result;
    if (!isValid())
        return result;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(m_scratch.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK)
        return result;
    SlistHandle owned(list);
    for (curl_slist* item = list; item; item = item->next)
        result.append(QByteArray(item->data));
    return result;
}

void CookieJar::insert(const QByteArray& line)
{
    if (!isValid() || line.isEmpty() || line.contains('\0'))
        return;
    curl_easy_setopt(m_scratch.get(), CURLOPT_COOKIELIST, line.constData());
}

void CookieJar::addLine(const QByteArray& line, Placer placer)
{
    insert(line);
    if (line.startsWith("Set-Cookie:")) {
        m_trimDue = true; // its domain is read by libcurl
    } else {
        Use& use = m_uses[keyOf(line)];
        use.lastUsed = tick();
        use.login = use.login || placer == Placer::LoginWindow;
        noteAdded(hostOf(line), 1, line.size());
    }
    trimIfDue();
}

void CookieJar::clearCookies()
{
    if (isValid())
        curl_easy_setopt(m_scratch.get(), CURLOPT_COOKIELIST, "ALL");
    measure({});
}

void CookieJar::clear()
{
    clearCookies();
    m_uses.clear();
    m_requested.clear();
}

bool CookieJar::load(const QString& path)
{
    m_unreadable.clear();
    // Opened without blocking (a FIFO in its place) and read only when it is a regular file:
    // anything else is said, left as it is, and this run's cookies are not saved over it.
    const auto read = readStoreFile(path, kMaxFileBytes);
    if (!read) {
        m_unreadable = path;
        const QString reason = read.error().startsWith(path + QStringLiteral(": larger than"))
            ? QStringLiteral("larger than %1 MB").arg(kMaxFileBytes / (1024 * 1024))
            : read.error().mid(path.size() + 2);
        logLine(0,
            QStringLiteral("the cookie store %1 cannot be read (%2): it is left as it is, and this run's cookies are "
                           "not saved")
                .arg(path, reason));
        return false;
    }
    if (!read->exists)
        return true; // no store yet
    const QByteArray& content = read->bytes;
    // A cookie without a use of its own (a store written before uses were kept) was last used
    // when the file was written.
    const qint64 written = QFileInfo(path).lastModified().toMSecsSinceEpoch();
    QList<QByteArray> found;
    std::vector<Use> uses;
    // The use the comment line before a cookie told, when it told one. (A plain flag, not an
    // optional: GCC 12 warns of an optional's payload being used uninitialised here.)
    Use told;
    bool hasTold = false;
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.startsWith(kUsePrefix)) {
            const QList<QByteArray> words = line.mid(qsizetype(sizeof kUsePrefix) - 1).split(' ');
            bool number = false;
            const qint64 used = words.value(0).toLongLong(&number);
            hasTold = number;
            if (number)
                told = Use { used, words.value(1) == "login" };
            continue;
        }
        if (line.isEmpty() || (line.startsWith('#') && !line.startsWith("#HttpOnly_")))
            continue;
        if (line.count('\t') != 6)
            continue; // not a cookie line
        found.append(line);
        uses.push_back(hasTold ? told : Use { written, false });
        hasTold = false;
    }
    for (const qsizetype i : withinLimits(found, uses)) {
        insert(found[i]);
        Use& use = m_uses[keyOf(found[i])];
        use.lastUsed = std::max(use.lastUsed, uses[size_t(i)].lastUsed);
        use.login = use.login || uses[size_t(i)].login;
        m_lastTick = std::max(m_lastTick, use.lastUsed);
    }
    trim(); // with those held before
    return true;
}

bool CookieJar::save(const QString& path)
{
    if (!isValid() || path == m_unreadable)
        return false;
    Paths::makeFolder(QFileInfo(path).absolutePath());
    QByteArray text = "# Crawlmere cookie store, one cookie per line in libcurl's cookie-file format.\n# Edits are "
                      "lost at the next save.\n\n";
    for (const QByteArray& line : trimmed()) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 7 || fields[4] == "0")
            continue; // session cookies end with the run
        const Use use = m_uses.value(keyOf(line));
        text += kUsePrefix + QByteArray::number(use.lastUsed) + (use.login ? " login\n" : "\n") + line + '\n';
    }
    return saveBytesAtomically(path, text);
}

} // namespace crawlmere::platform::detail
