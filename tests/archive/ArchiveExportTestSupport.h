// What the archive export suites share: reading files back, listing a copy, finding the links of
// a copy that lead nowhere, and a fixture that archives pages into a sandbox.
#pragma once

#include "archive/ArchiveExport.h"

#include "archive/ArchiveExportController.h"
#include "archive/CrawlmereArchiveWrapper.h"
#include "support/FileBytes.h"
#include "support/FileSizeLimit.h"
#include "support/LoopbackServer.h"
#include "support/SharedFolder.h"

#include "ArchiveScan.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <unistd.h>

using crawlmere::archive::ArchiveExport;
using crawlmere::archive::ArchiveExportRequest;
using crawlmere::archive::ArchiveWriter;
using crawlmere::archive::CrawlmereArchiveWrapper;
using crawlmere::test::LoopbackServer;

namespace crawlmere::test::archiveexport {


using crawlmere::test::bytesOf;

/// Every file below `root`, relative, sorted.
inline QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

/// The local references of an exported page or sheet that name no file of the export; with
/// `webLeaves`, also those that leave the copy for an address of the web. `text`: the file
/// as decoded, when it is not in UTF-8.
inline QStringList danglingReferences(
    const QString& root, const QString& file, bool webLeaves = false, std::optional<QString> decoded = std::nullopt)
{
    static const QRegularExpression attribute(QStringLiteral("(?:href|src)=(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"));
    static const QRegularExpression styleUrl(QStringLiteral("url\\(\\s*['\"]?([^'\")]*)['\"]?\\s*\\)"));
    const QString text = decoded ? *decoded : QString::fromUtf8(bytesOf(file));
    QStringList dangling;
    for (const QRegularExpression* pattern : { &attribute, &styleUrl }) {
        auto matches = pattern->globalMatch(text);
        while (matches.hasNext()) {
            const auto match = matches.next();
            // As a browser reads the value: the first group that took part, its references decoded.
            QString reference = match.captured(1) + match.captured(2) + match.captured(3);
            reference.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&#39;"), QStringLiteral("'"));
            reference.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            if (webLeaves && (reference.contains(QStringLiteral("://")) || reference.startsWith(QStringLiteral("//")))) {
                dangling.append(QDir(root).relativeFilePath(file) + QStringLiteral(" leaves for ") + reference);
                continue;
            }
            if (reference.isEmpty() || reference.startsWith(u'#') || reference.contains(QStringLiteral("://"))
                || reference.startsWith(QStringLiteral("mailto:")))
                continue;
            reference = QUrl::fromPercentEncoding(reference.section(u'#', 0, 0).toUtf8());
            const QString target = QDir::cleanPath(QFileInfo(file).dir().filePath(reference));
            if (!target.startsWith(root + u'/') || !QFileInfo(target).isFile())
                dangling.append(QDir(root).relativeFilePath(file) + QStringLiteral(" -> ") + reference);
        }
    }
    return dangling;
}

/// Serves each page of `site` (path → body and type) on `server`.
inline void serveSite(LoopbackServer& server, const std::map<std::string, std::pair<QByteArray, std::string>>& site)
{
    for (const auto& [path, page] : site) {
        server.server().Get(path, [body = page.first.toStdString(), type = page.second](
                                      const httplib::Request&, httplib::Response& response) { response.set_content(body, type); });
    }
}

class ArchiveExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sandbox.isValid());
        writer = std::make_shared<ArchiveWriter>(
            crawlmere::platform::UserDefaults::standard(), sandbox.filePath(QStringLiteral("archive")));
    }
    ArchiveExportRequest requestFor(const QVariantMap& crawlSettings, bool process) const
    {
        ArchiveExportRequest request;
        request.selectedDate = QDateTime::currentDateTime().addSecs(2);
        request.savePath = sandbox.filePath(QStringLiteral("save"));
        request.process = process;
        request.archiveLocation = writer->archiveLocation();
        request.crawlSettings = crawlSettings;
        return request;
    }
    /// Scans the site `server` serves with archiving into `writer`, then stops the server: the
    /// copy is checked as it is used, with the site gone. The scan's settings.
    QVariantMap archiveSiteThenStop(LoopbackServer& server, const QVariantMap& crawlSettings)
    {
        auto hub = crawlmere::test::scanSite(server.url(), crawlSettings, writer);
        EXPECT_TRUE(hub->crawlFinished());
        const QVariantMap settings = hub->getCrawlSettings()->snapshot();
        hub->setArchiveSink(nullptr); // the archive stays for the export
        hub->clear();
        server.stop();
        return settings;
    }
    void archive(const QString& url, const QByteArray& data, bool html = true, const SharedCrawlSettings& settings = {})
    {
        auto record = CrwlUrl::make(nullptr, settings ? settings : std::make_shared<CrawlSettings>());
        record->setLinkURL(url);
        record->setIsHTML(html);
        record->setData(data);
        record->setStatus(200);
        writer->archivePage(*record);
    }

    QTemporaryDir sandbox;
    std::shared_ptr<ArchiveWriter> writer;
};

} // namespace crawlmere::test::archiveexport
