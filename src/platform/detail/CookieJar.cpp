#include "platform/detail/CookieJar.h"

#include "platform/Paths.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace crawlmere::platform::detail {

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

void CookieJar::addLine(const QByteArray& line)
{
    if (!isValid() || line.isEmpty() || line.contains('\0'))
        return;
    curl_easy_setopt(m_scratch.get(), CURLOPT_COOKIELIST, line.constData());
}

void CookieJar::clear()
{
    if (isValid())
        curl_easy_setopt(m_scratch.get(), CURLOPT_COOKIELIST, "ALL");
}

bool CookieJar::load(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (QFileInfo(path).size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = readAtMost(file, kMaxFileBytes).left(kMaxFileBytes);
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || (line.startsWith('#') && !line.startsWith("#HttpOnly_")))
            continue;
        if (line.count('\t') != 6)
            continue; // not a cookie line
        addLine(line);
    }
    return true;
}

bool CookieJar::save(const QString& path) const
{
    if (!isValid())
        return false;
    Paths::makeFolder(QFileInfo(path).absolutePath());
    QByteArray text = "# Crawlmere cookie store, one cookie per line in libcurl's cookie-file format.\n# Edits are "
                      "lost at the next save.\n\n";
    for (const QByteArray& line : lines()) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 7 || fields[4] == "0")
            continue; // session cookies end with the run
        text += line + '\n';
    }
    return saveBytesAtomically(path, text);
}

} // namespace crawlmere::platform::detail
