// The sitemap manager's upload of the last export to the site's FTP server, off the main thread.
#include "sitemap/SitemapManager.h"

#include "engine/CrawlSettingKeys.h"

#include "platform/StoredValue.h"

#include "platform/Dispatch.h"
#include "platform/FtpUpload.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>

namespace crawlmere::sitemap {

using platform::logLine;

QStringList SitemapManager::ftpUploadFiles() const
{
    if (m_sitemapLocation.isEmpty())
        return { QStringLiteral("sitemap.xml") };
    QStringList files { m_sitemapLocation };
    if (m_xmlfilecount > 1) {
        const QFileInfo index(m_sitemapLocation);
        for (int i = 1; i <= m_xmlfilecount; ++i) {
            const QString numbered
                = index.dir().filePath(QStringLiteral("%1-%2.xml").arg(index.completeBaseName(), QString::number(i)));
            if (QFileInfo::exists(numbered))
                files.append(numbered);
        }
    }
    return files;
}

std::optional<platform::FtpUploadRequest> SitemapManager::ftpUploadRequest() const
{
    platform::FtpUploadRequest request;
    request.server = m_crawlSettings.value(crawlKey::ftpserver).toString().trimmed();
    if (request.server.isEmpty()) {
        logLine(1, QStringLiteral("no ftp server name, transferFiles returning"));
        return std::nullopt;
    }
    request.port = m_crawlSettings.value(crawlKey::ftpport).toString().trimmed();
    request.directory = m_crawlSettings.value(crawlKey::ftpdirectory).toString();
    request.user = m_crawlSettings.value(crawlKey::ftpusername).toString();
    request.password = m_crawlSettings.value(crawlKey::ftppassword).toString();
    request.files = ftpUploadFiles();
    if (crawlmere::platform::boolValue(m_crawlSettings.value(crawlKey::ftpUsesTLS))) {
        // A ticked TLS box never sends the password in clear.
        request.requireTls = true;
        const QStringList words =
            m_defaults.value(defaultsKey::TLSArg).split(u' ', Qt::SkipEmptyParts);
        for (const QString& word : words) {
            if (word == u"--ssl" || word == u"--ftp-ssl")
                request.tryTls = true;
            else if (word == u"--ssl-reqd" || word == u"--ftp-ssl-reqd")
                request.requireTls = true;
            else if (word == u"-k" || word == u"--insecure")
                request.insecure = true;
            else
                logLine(1, QStringLiteral("TLSArg %1 not understood, ignored").arg(word));
        }
    }
    return request;
}

void SitemapManager::transferFiles()
{
    if (m_ftpInProgress)
        return;
    auto request = ftpUploadRequest();
    if (!request)
        return;
    QStringList names;
    for (const QString& file : request->files)
        names.append(QFileInfo(file).fileName());
    const QString list = names.size() > 1 ? u'{' + names.join(u',') + u'}' : names.value(0);
    logLine(2,
        QStringLiteral("ftp upload of %1 to %2 as %3")
            .arg(list, platform::FtpUpload::destinationUrl(*request), request->user));
    m_ftpInProgress = true;
    if (m_observer.ftpBusy)
        m_observer.ftpBusy(true);
    platform::Dispatch::toGlobal([this, alive = std::weak_ptr<char>(m_alive), request = std::move(*request), list] {
        const platform::FtpUploadResult result = platform::FtpUpload::run(request);
        platform::Dispatch::toMain([this, alive, result, list] {
            if (!alive.lock())
                return;
            m_ftpInProgress = false;
            if (m_observer.ftpBusy)
                m_observer.ftpBusy(false);
            if (result.code == 0) {
                logLine(2, QStringLiteral("ftp of %1 completed successfully\n").arg(list));
                if (m_observer.alert)
                    m_observer.alert(QStringLiteral("ftp successful"), QStringLiteral("ftp of %1 sucessful\n").arg(list),
                        ShellAlertStyle::informational);
                return;
            }
            logLine(1, QStringLiteral("ftp error:%1 exit code: %2\n").arg(result.detail, QString::number(result.code)));
            if (m_observer.alert)
                m_observer.alert(QStringLiteral("ftp unsuccessful"),
                    QStringLiteral("ftp error: exit code: %1\n").arg(result.code), ShellAlertStyle::warning);
        });
    });
}

} // namespace crawlmere::sitemap
