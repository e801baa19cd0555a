#include "platform/detail/CookieJar.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/StoreFile.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <deque>
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

} // namespace

QList<QByteArray> CookieJar::withinLimits(const QList<QByteArray>& lines)
{
    struct Host {
        std::deque<qsizetype> held; // indexes into `lines`, oldest first
        qint64 bytes = 0;
    };
    QHash<QByteArray, Host> hosts;
    std::vector<bool> keep(size_t(lines.size()), false);
    qsizetype count = 0;
    qint64 bytes = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].size() > kMaxLineBytes)
            continue;
        Host& host = hosts[hostOf(lines[i])];
        host.held.push_back(i);
        host.bytes += lines[i].size();
        keep[size_t(i)] = true;
        ++count;
        bytes += lines[i].size();
    }
    const auto dropOldest = [&](Host& host) {
        const qsizetype i = host.held.front();
        host.held.pop_front();
        host.bytes -= lines[i].size();
        keep[size_t(i)] = false;
        --count;
        bytes -= lines[i].size();
    };
    std::vector<Host*> crowded;
    for (Host& host : hosts) {
        if (qsizetype(host.held.size()) > kMaxCookiesPerHost) {
            while (qsizetype(host.held.size()) > kTrimmedPerHost)
                dropOldest(host);
        }
        crowded.push_back(&host);
    }
    if (count > kMaxCookies || bytes > kMaxBytes) {
        // The hosts holding the most give up their oldest first, so that a flood from a few
        // hosts does not push out the few cookies of another.
        const auto fewer = [](const Host* a, const Host* b) {
            return a->held.size() != b->held.size() ? a->held.size() < b->held.size() : a->bytes < b->bytes;
        };
        std::make_heap(crowded.begin(), crowded.end(), fewer);
        while ((count > kTrimmedCookies || bytes > kTrimmedBytes) && !crowded.empty()) {
            std::pop_heap(crowded.begin(), crowded.end(), fewer);
            Host* most = crowded.back();
            dropOldest(*most);
            if (most->held.empty())
                crowded.pop_back();
            else
                std::push_heap(crowded.begin(), crowded.end(), fewer);
        }
    }
    QList<QByteArray> kept;
    kept.reserve(count);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (keep[size_t(i)])
            kept.append(lines[i]);
    }
    return kept;
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
    QList<QByteArray> kept = withinLimits(held);
    const bool dropping = kept.size() != held.size();
    if (dropping)
        replaceAll(kept);
    else
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
    clear();
    for (const QByteArray& line : lines)
        insert(line);
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

void CookieJar::addLine(const QByteArray& line)
{
    insert(line);
    if (line.startsWith("Set-Cookie:"))
        m_trimDue = true; // its domain is read by libcurl
    else
        noteAdded(hostOf(line), 1, line.size());
    trimIfDue();
}

void CookieJar::clear()
{
    if (isValid())
        curl_easy_setopt(m_scratch.get(), CURLOPT_COOKIELIST, "ALL");
    measure({});
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
    QList<QByteArray> found;
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || (line.startsWith('#') && !line.startsWith("#HttpOnly_")))
            continue;
        if (line.count('\t') != 6)
            continue; // not a cookie line
        found.append(line);
    }
    for (const QByteArray& line : withinLimits(found))
        insert(line);
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
        text += line + '\n';
    }
    return saveBytesAtomically(path, text);
}

} // namespace crawlmere::platform::detail
