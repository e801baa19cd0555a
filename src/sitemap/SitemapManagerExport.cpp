// The XML sitemap savers of the sitemap manager: the documents of the sitemap collection,
// written through the save panel, into the application-support folder, to a path, or for upload.
#include "sitemap/SitemapManager.h"

#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/HeldFolder.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SavePanel.h"
#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"
#include "sitemap/SitemapXmlWriter.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <memory>
#include <vector>

namespace crawlmere::sitemap {

using platform::logLine;

SitemapXmlOptions SitemapManager::xmlOptions(bool imageSitemap) const
{
    SitemapXmlOptions options;
    options.imageSitemap = imageSitemap;
    options.includeLastmod = writesLastModified();
    options.includeImages = m_defaults.value(defaultsKey::includeimagesinsitemap);
    options.uniqueImages = m_defaults.value(defaultsKey::uniqueimagesinsitemap);
    options.includeVideo = m_defaults.value(defaultsKey::includevideoinsitemap);
    options.uniqueVideo = m_defaults.value(defaultsKey::uniquevideoinsitemap);
    options.preventSplit = m_defaults.value(defaultsKey::preventSplitXML);
    options.writeChangeFrequency = m_changeFrequency.tag != 0;
    options.changeFrequency = m_changeFrequency.title;
    options.writePriority = m_priorityTitle != kPriorityNone;
    options.templateText = m_defaults.value(defaultsKey::XMLSitemapTemplate);
    options.expectedImages = m_imageCount;
    options.ruleThatApplies = [this](const QString& url) { return ruleThatApplies(url); };
    return options;
}

QStringList SitemapManager::getXMLSitemap(bool imageSitemap)
{
    return SitemapXmlWriter::documents(getSitemapCollection(), xmlOptions(imageSitemap));
}

void SitemapManager::noteSaveFailure(const QString& what, const QString& path, const QString& reason)
{
    logLine(0, QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(path), reason));
    if (!m_lastSaveFailure)
        m_lastSaveFailure = SaveFailure { path, reason };
}

bool SitemapManager::writeDocuments(
    const QStringList& documents, const QString& location, const QString& folder, const platform::HeldFolder* held)
{
    const QString what = QStringLiteral("Error writing xml");
    if (documents.size() == 1) {
        if (QString failure; !platform::saveTextAtomically(location, documents.constFirst(), &failure)) {
            noteSaveFailure(what, location, failure);
            return false;
        }
        logLine(3, QStringLiteral("successfully written: %1").arg(location));
        return true;
    }
    const QFileInfo chosen(location);
    const QString base = chosen.completeBaseName();
    QStringList names;
    for (qsizetype i = 0; i < documents.size(); ++i)
        names.append(QStringLiteral("%1-%2.xml").arg(base, QString::number(i + 1)));
    // Readers take only absolute addresses in an index: the files are named under the site's root.
    const QString root = SitemapXmlWriter::siteRoot(m_crawlSettings.value(crawlKey::startingUrl).toString());
    const QString index = SitemapXmlWriter::sitemapIndex(names, root, QDate::currentDate());

    // The whole set or none of it: each part, then the index, is written whole to a temporary
    // file beside its place; only when all are complete do they take their names, the index
    // last. A part refused or cut short leaves every file of the set as it was.
    struct Pending {
        std::unique_ptr<platform::AtomicFile> file;
        QString path;
        QString what;
    };
    std::vector<Pending> pending;
    for (qsizetype i = 0; i <= documents.size(); ++i) {
        const bool isIndex = i == documents.size();
        const QString name = isIndex ? QFileInfo(location).fileName() : names.at(i);
        const QString path = isIndex ? location : QDir(folder).filePath(name);
        Pending part { held ? std::make_unique<platform::AtomicFile>(*held, name)
                            : std::make_unique<platform::AtomicFile>(path),
            path, isIndex ? QStringLiteral("Error writing xml index file") : what };
        if (!part.file->open() || !part.file->write((isIndex ? index : documents.at(i)).toUtf8())) {
            noteSaveFailure(part.what, path, part.file->error());
            return false; // the temporary files made so far go with `pending`
        }
        pending.push_back(std::move(part));
    }
    // Every file must be able to take its name before the first does (a part marked immutable
    // would otherwise leave the new first parts beside the old last ones and the old index).
    for (Pending& part : pending) {
        if (!part.file->prepareCommit()) {
            noteSaveFailure(part.what, part.path, part.file->error());
            return false;
        }
    }
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i].file->commit())
            continue;
        // Changed since the check: past this file no more take their names. Say which files
        // are new and which stay as they were, so the set can be put right by hand.
        QStringList replaced;
        QStringList kept;
        for (size_t j = 0; j < pending.size(); ++j)
            (j < i ? replaced : kept).append(QFileInfo(pending[j].path).fileName());
        QString reason = pending[i].file->error();
        if (!replaced.isEmpty())
            reason += QStringLiteral("; the set is mixed: %1 written anew, %2 as they were")
                          .arg(replaced.join(QStringLiteral(", ")), kept.join(QStringLiteral(", ")));
        noteSaveFailure(pending[i].what, pending[i].path, reason);
        return false;
    }
    return true;
}

bool SitemapManager::saveAt(const QStringList& documents, const QString& chosen, int folderLogLevel, QString& location)
{
    location.clear();
    m_lastSaveFailure.reset();
    if (documents.size() == 1) {
        location = chosen;
        return writeDocuments(documents, chosen, QFileInfo(chosen).dir().path());
    }
    // The folder of a multi-file sitemap: named like the file without its extension, beside it.
    // Made here, or found to be this user's, never reached through another user's link.
    const QFileInfo file(chosen);
    const QString folder = file.dir().filePath(file.completeBaseName());
    logLine(folderLogLevel, QStringLiteral("creating folder at %1").arg(folder));
    const auto held = platform::HeldFolder::reach(folder, platform::MissingFolders::MakeLast);
    if (!held) {
        noteSaveFailure(QStringLiteral("error creating folder:"), folder, held.error());
        return false;
    }
    location = QDir(folder).filePath(file.fileName());
    logLine(2, QStringLiteral("sitemapLocation is now %1").arg(location));
    return writeDocuments(documents, location, folder, &*held);
}

void SitemapManager::showSaveFailure() const
{
    if (m_savePanel && m_lastSaveFailure)
        m_savePanel->showSaveFailure(m_lastSaveFailure->path, m_lastSaveFailure->reason);
}

bool SitemapManager::saveXMLDocumentsTo(const QStringList& documents, const QString& path, QString* location)
{
    QString written;
    const bool saved = saveAt(documents, path, 0, written);
    if (location)
        *location = written;
    return saved;
}

QString SitemapManager::defaultSitemapFileName() const
{
    return m_defaults.value(defaultsKey::sitemapFilenameOptions) != 0 ? QStringLiteral("sitemap.xml")
                                                                                   : QStringLiteral("sitemap.txt");
}

bool SitemapManager::exportXMLSitemapAndSaveTo(const QString& path)
{
    const QStringList documents = getXMLSitemap();
    m_xmlfilecount = int(documents.size());
    if (documents.isEmpty()) {
        logLine(1, QStringLiteral("no files returned by getXMLSitemap"));
        return true;
    }
    return saveXMLDocumentsTo(documents, path);
}

bool SitemapManager::exportXMLSitemapAndFTP(const QString& name)
{
    const QStringList documents = getXMLSitemap();
    m_xmlfilecount = int(documents.size());
    const QString temp = platform::Paths::applicationSupportSubfolder(QStringLiteral("temp"));
    const QString fileName = name.isEmpty() ? defaultSitemapFileName() : QFileInfo(name).fileName();
    m_sitemapLocation = QDir(temp).filePath(fileName);
    bool written = true;
    if (documents.isEmpty())
        logLine(1, QStringLiteral("no files returned by getXMLSitemap"));
    else
        written = writeDocuments(documents, m_sitemapLocation, temp);
    transferFiles();
    return written;
}

void SitemapManager::exportXML()
{
    if (getSitemapCollection().empty()) {
        if (m_observer.beep)
            m_observer.beep();
        return;
    }
    const QStringList documents = getXMLSitemap();
    m_xmlfilecount = int(documents.size());
    if (documents.size() == 1)
        logLine(0, QStringLiteral("sitemap is a single file"));
    else
        logLine(1, QStringLiteral("sitemap is %1 files").arg(documents.size()));
    if (documents.isEmpty()) {
        logLine(1, QStringLiteral("no files returned by getXMLSitemap"));
        return;
    }
    // The menu action returns before the panel opens.
    platform::Dispatch::toMain([this, alive = std::weak_ptr<char>(m_alive), documents] {
        if (!alive.lock())
            return;
        m_sitemapLocation.clear();
        const qint64 sitemapOptions = m_defaults.value(defaultsKey::sitemapOptions);
        QString chosen;
        if (sitemapOptions < 2) {
            if (!m_savePanel)
                return;
            platform::SavePanelRequest request;
            request.allowedFileTypes = { QStringLiteral("xml") };
            request.kind = QStringLiteral("sitemap");
            request.directory = m_defaults.value(defaultsKey::sitemapSaveDirectory);
            request.nameFieldStringValue = m_defaults.value(defaultsKey::sitemapSaveFilename);
            const auto answer = m_savePanel->runModal(request);
            if (!answer)
                return;
            chosen = *answer;
            const QFileInfo info(chosen);
            m_defaults.setObject(info.dir().path(), defaultsKey::sitemapSaveDirectory);
            m_defaults.setObject(info.fileName(), defaultsKey::sitemapSaveFilename);
        } else {
            const QString folder = platform::Paths::applicationSupportFolder();
            if (!platform::Paths::makeFolder(folder))
                logLine(0,
                    QStringLiteral("unsuccessful creating temp folder at %1, %2")
                        .arg(folder, QStringLiteral("mkpath failed")));
            chosen = QDir(folder).filePath(defaultSitemapFileName());
        }
        logLine(1, QStringLiteral("sitemap temp location is %1").arg(chosen));
        if (!saveAt(documents, chosen, 2, m_sitemapLocation))
            showSaveFailure();
        if (!m_sitemapLocation.isEmpty() && sitemapOptions > 0 && m_observer.beginFTPDialog)
            m_observer.beginFTPDialog();
    });
}

void SitemapManager::exportImageXML()
{
    if (getSitemapCollection().empty()) {
        if (m_observer.beep)
            m_observer.beep();
        return;
    }
    const QStringList documents = getXMLImageSitemap();
    m_xmlfilecount = int(documents.size());
    m_sitemapLocation.clear();
    if (documents.isEmpty() || !m_savePanel) {
        logLine(1, QStringLiteral("no files returned by getXMLSitemap"));
        // Said, not just logged: the menu item would otherwise seem to do nothing.
        if (documents.isEmpty() && m_observer.alert)
            m_observer.alert(QCoreApplication::translate("SitemapManager", "No images to list"),
                QCoreApplication::translate("SitemapManager",
                    "None of the sitemap's pages holds an image that was found in the scan, so there is no image "
                    "sitemap to export."),
                ShellAlertStyle::informational);
        return;
    }
    logLine(3, QStringLiteral("sitemapOptions is %1").arg(m_defaults.value(defaultsKey::sitemapOptions)));
    platform::SavePanelRequest request;
    request.allowedFileTypes = { QStringLiteral("xml") };
    request.kind = QStringLiteral("image-sitemap");
    request.directory = m_defaults.value(defaultsKey::sitemapSaveDirectory);
    const auto chosen = m_savePanel->runModal(request);
    if (!chosen)
        return;
    logLine(3, QStringLiteral("sp NSFileHandlingPanelOKButton"));
    m_defaults.setObject(QFileInfo(*chosen).dir().path(), defaultsKey::sitemapSaveDirectory);
    if (!saveAt(documents, *chosen, 2, m_sitemapLocation))
        showSaveFailure();
}

} // namespace crawlmere::sitemap
