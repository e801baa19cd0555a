// The export of an archived scan to a browsable folder: Preserve's pass, Process's two passes,
// and the small text operations they use.
#include "archive/ArchiveExport.h"

#include "archive/ArchiveWriter.h"
#include "archive/CrawlmereArchiveWrapper.h"
#include "archive/detail/ExportFolder.h"
#include "archive/detail/ExportNames.h"
#include "archive/detail/PageRewriter.h"
#include "archive/detail/TextFile.h"
#include "archive/detail/UrlText.h"
#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/LookupKeys.h"
#include "engine/PunycodeAdditions.h"
#include "engine/SettingsValue.h"
#include "engine/Z12Ara.h"
#include "parsing/CrwlParser.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <string_view>

namespace crawlmere::archive {

using detail::ExportFolder;
using detail::TextFile;
using engine::boolValue;
using engine::stringValue;
using platform::logLine;
using platform::Url;
namespace strings = platform::strings;

QString ArchiveExportRequest::defaultLocalFileName()
{
    return engine::crawlSetting(crawlKey::defaultLocalFileName).defaultValue.toString();
}

namespace {

QString trimmedOf(QString text, QChar c)
{
    while (text.startsWith(c))
        text.remove(0, 1);
    while (text.endsWith(c))
        text.chop(1);
    return text;
}

/// A default file name from a settings file or the defaults, as a file of the export folder can
/// take it: "index.html" in place of one that is not a plain name ("../x", "a/b", "").
QString usableDefaultName(const QString& name)
{
    if (ExportFolder::isUsableComponent(name))
        return name;
    const QString fallback = ArchiveExportRequest::defaultLocalFileName();
    logLine(0, QStringLiteral("defaultLocalFileName \"%1\" is not a plain file name; %2 is used").arg(name, fallback));
    return fallback;
}

/// A URL text with its scheme and host in lower case, as the export names folders and writes
/// links: "HTTP://H.test/A" and "http://h.test/A" are one page.
QString lowerCaseSchemeAndHost(const QString& url) { return engine::withLowerCaseSchemeAndHost(url); }

/// The key of a URL in the Process map: scheme and host in lower case, leading and trailing "/"
/// trimmed.
QString mapKey(const QString& url) { return trimmedOf(lowerCaseSchemeAndHost(url), u'/'); }

/// The path of a local path, without its query and fragment.
QString withoutQuery(const QString& local)
{
    const auto end = std::find_if(local.cbegin(), local.cend(), [](QChar c) { return c == u'?' || c == u'#'; });
    return local.left(end - local.cbegin());
}

/// One file of the Process map.
struct ProcessEntry {
    QString url; ///< the archived URL text (the index key)
    QString address; ///< `url` with its scheme and host in lower case: the base of its links
    bool readable = false; ///< its archived file can be read, so the export writes it
    QString webarcfilename;
    QString actualfilename;
    QString processedfilename;
    qint64 type = 0;
    QString charset; ///< of a page, as the scan read it (`ArchiveWriter::kCharsetKey`); null when unknown
    QString directory;
    QStringList components; ///< directory and name, checked

    QString relativePath() const { return components.join(u'/'); }
};

} // namespace

// ===== Small operations ========================================================================

QString ArchiveExport::filenameFromURL(const QString& url)
{
    QString name = url;
    name.remove(QStringLiteral("http://")).remove(QStringLiteral("https://"));
    name.remove(u'/').remove(u':').remove(u'.');
    return name;
}

QString ArchiveExport::outputFolderName(const QString& startingUrl, const QDateTime& start)
{
    QString name = filenameFromURL(startingUrl);
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'_';
    }
    // Cut whole characters only, so that no half of a surrogate pair is left behind.
    name = strings::leftFittingUtf8Bytes(name, 200);
    return QStringLiteral("%1-%2").arg(name, Z12Ara::uniqueStringUsingDateAndTime(start));
}

std::optional<QString> ArchiveExport::stripDomainFrom(
    const QString& url, bool addDefaultName, const QString& defaultName)
{
    const auto parsed = detail::urlFromText(url);
    if (!parsed) {
        logLine(0, QStringLiteral("unable to make NSURL from %1").arg(url));
        return std::nullopt;
    }
    const QString host = parsed->host();
    if (host.isEmpty())
        return std::nullopt;
    const qsizetype at = url.indexOf(host);
    if (at < 0) {
        logLine(0, QStringLiteral("unable to find host within %1").arg(url));
        return std::nullopt;
    }
    const QString rest = url.mid(at + host.size());
    if (rest.isEmpty())
        return addDefaultName ? defaultName : QStringLiteral("");
    return rest;
}

qint64 ArchiveExport::getNumberOfDirectoriesIn(const QString& path)
{
    const QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    const bool endsInFile = !path.endsWith(u'/') && !components.isEmpty();
    return std::max<qint64>(components.size() - (endsInFile ? 1 : 0), 0);
}

// ===== The export ==============================================================================

struct ArchiveExport::Run {
    ArchiveExport& owner;
    std::unique_ptr<CrawlmereArchiveWrapper> wrapper;
    ExportFolder folder;
    QStringList urls;
    QString defaultName;
    bool wordpressUrls = false;
    /// The scan's settings, with the files a page loads (style sheets, scripts, images) read
    /// as links whatever the scan checked: the copy leads each of them somewhere.
    QVariantMap parserSettings;
    QMap<QString, ProcessEntry> map; // K → entry, in K's order
    /// Map key of an address that redirects to a page, or whose bytes are written for another
    /// address → K of the file written.
    QHash<QString, QString> redirects;
    qint64 skipped = 0;
    QList<Result::Skipped> skips;

    Run(ArchiveExport& exporter, const QString& outputPath)
        : owner(exporter)
        , folder(outputPath)
    {
    }

    const ArchiveExportRequest& request() const { return owner.request; }

    /// Before item i of n: the bar moves when a new whole percentage is passed; then the flag.
    bool proceed(qsizetype i, qsizetype n, int& shown) const
    {
        const int percent = n > 0 ? static_cast<int>(static_cast<double>(i) / static_cast<double>(n) * 100.0) : 0;
        if (percent > shown) {
            shown = percent;
            if (owner.progress.valueChanged)
                owner.progress.valueChanged(i);
        }
        return !owner.shouldCancelExportSite.load();
    }
    void startPass(const QString& info) const
    {
        if (owner.progress.passStarted)
            owner.progress.passStarted(info, urls.size());
    }
    /// Counts `url` as left out for `reason`, for the summary.
    void count(const QString& reason, const QString& url)
    {
        ++skipped;
        auto it
            = std::find_if(skips.begin(), skips.end(), [&](const Result::Skipped& s) { return s.reason == reason; });
        if (it == skips.end())
            it = skips.insert(skips.end(), Result::Skipped { reason, 0, {} });
        ++it->count;
        if (it->first.size() < kNamedSkips)
            it->first.append(url);
    }
    void skip(const QString& reason, const QString& url)
    {
        logLine(0, QStringLiteral("skipping %1: %2").arg(url, reason));
        count(reason, url);
    }
    /// Writes one file for `url`; the folder logs it when it is skipped or not written, and
    /// counts those the system refused. YES when it was written.
    bool put(const QStringList& components, const QByteArray& data, const QString& url)
    {
        switch (folder.write(components, data)) {
        case ExportFolder::Outcome::Written:
            return true;
        case ExportFolder::Outcome::NotWritten:
            break;
        case ExportFolder::Outcome::Skipped:
            count(folder.skipReason(), url);
            break;
        }
        return false;
    }
    /// Whether the archived files of two addresses hold the same bytes.
    bool sameBytes(const QString& url, const QString& file, const QString& otherUrl, const QString& otherFile) const
    {
        const auto data = wrapper->dataRepresentationOfVersionWithFilename(file, url);
        return data && data == wrapper->dataRepresentationOfVersionWithFilename(otherFile, otherUrl);
    }
    QString versionFile(const QString& url) const
    {
        if (url.left(5) == u"data:")
            return QString();
        const QString name = wrapper->filenameRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
        return name == u"(null)" ? QString() : name;
    }

    /// Why the archive holds no copy of a URL it fetched (its body was not read whole); null
    /// for any other.
    QString notArchivedReason(const QString& url) const
    {
        const auto version
            = wrapper->indexDictionaryRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
        return version ? version->value(ArchiveWriter::kNotArchivedKey).toString() : QString();
    }
    /// The charset the scan read the URL's version at the request date in; null when unknown.
    QString charsetOf(const QString& url) const
    {
        const auto version
            = wrapper->indexDictionaryRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
        return version ? version->value(ArchiveWriter::kCharsetKey).toString() : QString();
    }
    /// The addresses the archive lists as redirecting to the URL's version at the request date.
    QStringList redirectsTo(const QString& url) const
    {
        const auto version
            = wrapper->indexDictionaryRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
        return version ? version->value(ArchiveWriter::kRedirectedFromKey).toStringList() : QStringList();
    }

    /// Runs `visit(url, file)` for each URL with a version at the request date, the progress
    /// and the cancel flag checked before each; NO when cancelled.
    template <typename Visit> bool eachArchivedVersion(Visit visit)
    {
        int shown = 0;
        for (qsizetype i = 0; i < urls.size(); ++i) {
            if (!proceed(i, urls.size(), shown))
                return false;
            const QString& url = urls.at(i);
            const QString file = versionFile(url);
            if (!file.isEmpty())
                visit(url, file);
            else if (const QString why = notArchivedReason(url); !why.isEmpty())
                skip(why, url);
        }
        return true;
    }
    bool preservePass();
    void writeRedirectPages(const QHash<QString, QString>& localPaths);
    bool processPassOne();
    void mapRedirects();
    void planNames();
    bool processPassTwo();
    void writeResource(const ProcessEntry& entry, const QByteArray& data);
    void writeStyleSheet(const QString& key, const ProcessEntry& entry, const QByteArray& data);
    void writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data);
    /// The entry the export writes for an absolute URL, by its own address or one that
    /// redirects to it; null when it writes none.
    const ProcessEntry* lookUp(const QString& absolute) const;
    /// What a link written `href`, resolved to `resolved`, becomes in a file of the folder `from`
    /// (its components): the relative path of the file the export writes for it, else (for a
    /// page or resource of the web the copy does not hold) its absolute address, so that it leads
    /// where it led on the site; null when it stays as it is. `orDefaultName`: a link without an
    /// extension may name its folder's default page.
    QString replacementFor(const QString& href, const Url& resolved, const QStringList& from, bool orDefaultName) const;
    /// Writes rewritten text as `file` was written (the bytes as archived when its encoding
    /// cannot hold the text).
    void writeText(const ProcessEntry& entry, const QString& text, const TextFile& file, const QByteArray& data);
    /// The folder of an entry's file, as components.
    static QStringList folderOf(const ProcessEntry& entry)
    {
        return entry.components.mid(0, entry.components.size() - 1);
    }
};

ArchiveExport::ArchiveExport(ArchiveExportRequest exportRequest, ArchiveExportProgress exportProgress)
    : request(std::move(exportRequest))
    , progress(std::move(exportProgress))
{
}

ArchiveExport::Result ArchiveExport::exportFilesForDate()
{
    // The flag is not reset here: a cancel that comes before the worker has started still counts.
    const QString startingUrl = stringValue(request.crawlSettings.value(crawlKey::startingUrl));
    const QString outputPath
        = QDir(request.savePath).filePath(outputFolderName(startingUrl, QDateTime::currentDateTime()));
    Run run(*this, outputPath);
    Result result;
    if (const QFileInfo location(request.savePath); location.exists() && !location.isDir()) {
        result.failure = QStringLiteral("%1 is a file, not a folder").arg(QDir::toNativeSeparators(request.savePath));
        logLine(0, QStringLiteral("unable to export the archive: %1").arg(result.failure));
        return result;
    }
    // The archive and the program's stores are cleared and replaced by later scans: a copy
    // exported among them would be lost.
    if (platform::Paths::holdsOwnData(request.savePath)) {
        result.failure = QStringLiteral("%1 is inside Crawlmere's own folders, which later scans clear")
                             .arg(QDir::toNativeSeparators(request.savePath));
        logLine(0, QStringLiteral("unable to export the archive: %1").arg(result.failure));
        return result;
    }
    run.wrapper = CrawlmereArchiveWrapper::initWithArchiveLocation(request.archiveLocation, request.siteId);
    if (!run.wrapper) {
        logLine(0, QStringLiteral("unable to find the archive for our site"));
        result.outcome = Outcome::ArchiveNotFound;
        return result;
    }
    run.urls = run.wrapper->allURLs().mid(0, kMaxItems);
    // The index keeps no order: in address order, two addresses that want one file name are
    // told apart the same way in every export.
    run.urls.sort();
    // Both modes name a folder's page as the preferences say, as the scan's file requests do.
    run.defaultName = usableDefaultName(strings::trimmingWhitespaceAndNewlines(request.defaultsLocalFileName));
    run.wordpressUrls = boolValue(request.crawlSettings.value(crawlKey::wordpressUrls));
    run.parserSettings = request.crawlSettings;
    run.parserSettings.insert(crawlKey::linkedFiles, true);
    run.parserSettings.insert(crawlKey::checkImages, true);

    bool completed = false;
    if (request.process) {
        completed = run.processPassOne() && run.processPassTwo();
        if (completed)
            logLine(1, QStringLiteral("end both passes"));
    } else {
        completed = run.preservePass();
    }
    result.outcome = completed ? Outcome::Finished : Outcome::Cancelled;
    result.outputFolder = run.folder.made();
    result.filesWritten = run.folder.filesWritten();
    result.itemsSkipped = run.skipped;
    result.skipped = run.skips;
    result.filesNotWritten = run.folder.filesNotWritten();
    result.firstWriteFailure = run.folder.firstWriteFailure();
    result.failure = run.folder.failure();
    return result;
}

bool ArchiveExport::Run::preservePass()
{
    logLine(1, QStringLiteral("pass 1 of 1"));
    startPass(QStringLiteral("Exporting pages and resources"));
    QHash<QString, QString> localPaths; // map key → the relative path written for it
    QHash<QString, std::pair<QString, QString>> writtenFor; // relative path → the URL and archived file written there
    const bool completed = eachArchivedVersion([&](const QString& url, const QString& file) {
        const auto data = wrapper->dataRepresentationOfVersionWithFilename(file, url);
        const QString address = lowerCaseSchemeAndHost(url);
        auto local = ArchiveExport::stripDomainFrom(address, /*addDefaultName=*/true, defaultName);
        if (!data) {
            skip(QStringLiteral("its archived copy cannot be read"), url);
            return;
        }
        if (!local) {
            skip(QStringLiteral("its address names no host"), url);
            return;
        }
        if (strings::pathExtension(*local).isEmpty())
            local = strings::appendingPathComponent(*local, defaultName);
        const QString relative = detail::withPortFolder(*local, address);
        const auto components = ExportFolder::cleanComponents(relative);
        if (!components) {
            skip(ExportFolder::unusableReason(relative), url);
            return;
        }
        const QString path = components->join(u'/');
        if (const auto there = writtenFor.constFind(path); there != writtenFor.cend()) {
            // The site's "/" and "/index.html": one page, one file (this version's bytes are in hand).
            if (wrapper->dataRepresentationOfVersionWithFilename(there->second, there->first) != data) {
                logLine(0, QStringLiteral("%1 holds the page of %2").arg(path, there->first));
                skip(QStringLiteral("its file name holds another page"), url);
                return;
            }
        } else if (!put(*components, *data, url)) {
            return;
        }
        writtenFor.insert(path, { url, file });
        localPaths.insert(mapKey(url), path);
        for (const QString& from : redirectsTo(url))
            redirects.insert(mapKey(from), mapKey(url));
    });
    if (completed)
        writeRedirectPages(localPaths);
    return completed;
}

void ArchiveExport::Run::writeRedirectPages(const QHash<QString, QString>& localPaths)
{
    // An address that redirects to an exported page gets, where its own file would be, a page
    // that refreshes to that page's file, as the server sent the browser on. A file written
    // for an address of its own is never replaced.
    for (auto it = redirects.cbegin(); it != redirects.cend(); ++it) {
        if (localPaths.contains(it.key()) || !localPaths.contains(it.value()))
            continue;
        auto local = ArchiveExport::stripDomainFrom(it.key(), /*addDefaultName=*/true, defaultName);
        if (!local) {
            skip(QStringLiteral("its redirect page has no local path"), it.key());
            continue;
        }
        if (strings::pathExtension(*local).isEmpty())
            local = strings::appendingPathComponent(*local, defaultName);
        const auto components = ExportFolder::cleanComponents(detail::withPortFolder(*local, it.key()));
        if (!components) {
            skip(QStringLiteral("its redirect page's name cannot be a file of the export folder"), it.key());
            continue;
        }
        const QString target = detail::relativeLink(
            components->mid(0, components->size() - 1), localPaths.value(it.value()).split(u'/'));
        const QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><meta http-equiv=\"refresh\" content=\"0; "
                                            "url=%1\"></head><body><a href=\"%1\">%1</a></body></html>\n")
                                 .arg(target.toHtmlEscaped());
        put(*components, page.toUtf8(), it.key());
    }
}

bool ArchiveExport::Run::processPassOne()
{
    logLine(1, QStringLiteral("pass 1 of 2"));
    startPass(QStringLiteral("Processing files"));
    const bool completed = eachArchivedVersion([&](const QString& url, const QString& file) {
        const QString address = lowerCaseSchemeAndHost(url);
        const auto local = ArchiveExport::stripDomainFrom(address, /*addDefaultName=*/false, defaultName);
        if (!local) {
            skip(QStringLiteral("its address names no host"), url);
            return;
        }
        const QString last = strings::lastPathComponent(*local);
        ProcessEntry entry;
        entry.url = url;
        entry.address = address;
        QString name;
        if (!wordpressUrls)
            name = strings::pathExtension(last).isEmpty() ? QString() : last;
        else
            name = trimmedOf(last, u'/');
        entry.actualfilename = name;
        if (name.isEmpty())
            name = defaultName;
        entry.type = wrapper->typeForURL(url);
        if (entry.type == 1)
            entry.charset = charsetOf(url);
        const QString extension = strings::pathExtension(name);
        if (entry.type == 1 && extension != u"html" && extension != u"htm")
            name += QStringLiteral(".html");
        entry.processedfilename = QString(name).replace(u'?', u'.');
        // A query after the name hides the file's type from a browser reading it from disc
        // ("site.css?v=2" saved as "site.css.v=2"): the name gets the extension of its path again.
        const QString typeExtension = strings::pathExtension(withoutQuery(*local));
        if (entry.type != 1 && !typeExtension.isEmpty()
            && !entry.processedfilename.endsWith(u'.' + typeExtension, Qt::CaseInsensitive))
            entry.processedfilename += u'.' + typeExtension;
        const QString directory = (wordpressUrls || !strings::pathExtension(*local).isEmpty())
            ? strings::deletingLastPathComponent(*local)
            : *local;
        entry.directory = trimmedOf(directory, u'/');
        entry.webarcfilename = file;
        entry.readable = CrawlmereArchiveWrapper::isPlainFileName(file)
            && QFileInfo(wrapper->fullFilePathForFile(file)).isReadable();

        // A name too long for a file system gets one that fits; links follow it.
        const auto components = ExportFolder::cleanComponents(detail::withFittedNames(detail::withPortFolder(
            entry.directory.isEmpty() ? entry.processedfilename : entry.directory + u'/' + entry.processedfilename,
            address)));
        if (!components) {
            skip(QStringLiteral("its local path would leave the export folder"), url);
            return;
        }
        entry.components = *components;
        map.insert(mapKey(url), entry); // one address spelled twice: the spelling met last
    });
    if (completed) {
        mapRedirects();
        planNames();
    }
    return completed;
}

void ArchiveExport::Run::planNames()
{
    // Every folder the files need, so that no file takes the name of one.
    QSet<QString> folders;
    for (const ProcessEntry& entry : std::as_const(map)) {
        for (qsizetype i = 1; entry.readable && i < entry.components.size(); ++i)
            folders.insert(entry.components.mid(0, i).join(u'/'));
    }
    QHash<QString, QString> files; // relative path → K
    QHash<QString, QString> sameAs; // K of an address whose bytes another's file holds → that K
    detail::FreeNames freeNames;
    for (auto it = map.begin(); it != map.end();) {
        const QString path = it->relativePath();
        if (!it->readable) {
            ++it;
            continue;
        }
        const auto taken = files.constFind(path);
        if (taken != files.cend()) {
            const ProcessEntry& written = map.value(*taken);
            if (sameBytes(it->url, it->webarcfilename, written.url, written.webarcfilename)) {
                logLine(1, QStringLiteral("%1 holds the page of %2 as well").arg(path, it->url));
                sameAs.insert(it.key(), *taken);
                it = map.erase(it);
                continue;
            }
        }
        if (taken != files.cend() || folders.contains(path)) {
            it->components.last() = freeNames.freeName(it->components, files, folders);
            logLine(0, QStringLiteral("%1 is written as %2: its own name is taken").arg(it->url, it->relativePath()));
        }
        files.insert(it->relativePath(), it.key());
        ++it;
    }
    // Links to such an address, and to one redirecting to it, lead to the file that holds it.
    for (auto it = redirects.begin(); it != redirects.end(); ++it)
        it.value() = sameAs.value(it.value(), it.value());
    redirects.insert(sameAs);
}

void ArchiveExport::Run::mapRedirects()
{
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        for (const QString& from : redirectsTo(it->url)) {
            const QString key = mapKey(from);
            if (!map.contains(key))
                redirects.insert(key, it.key());
        }
    }
}

bool ArchiveExport::Run::processPassTwo()
{
    logLine(1, QStringLiteral("pass 2 of 2"));
    startPass(QStringLiteral("Exporting files and resources"));
    int shown = 0;
    qsizetype i = 0;
    for (auto it = map.cbegin(); it != map.cend(); ++it, ++i) {
        if (!proceed(i, urls.size(), shown))
            return false;
        const QString& key = it.key();
        const ProcessEntry& entry = it.value();
        if (key.startsWith(QLatin1StringView("data:")))
            continue;
        const auto data = wrapper->dataRepresentationOfVersionWithFilename(entry.webarcfilename, entry.url);
        if (!data) {
            skip(QStringLiteral("its archived copy cannot be read"), entry.url);
            continue;
        }
        if (entry.type == 1)
            writePage(key, entry, *data);
        else if (strings::pathExtension(entry.actualfilename) == u"css" || entry.actualfilename.contains(u".css?"))
            writeStyleSheet(key, entry, *data);
        else
            writeResource(entry, *data);
    }
    return true;
}

void ArchiveExport::Run::writeResource(const ProcessEntry& entry, const QByteArray& data)
{
    put(entry.components, data, entry.url);
}

const ProcessEntry* ArchiveExport::Run::lookUp(const QString& absolute) const
{
    // Links are written encoded, archived URLs are kept decoded.
    const QString decoded = CrwlUrl::decodedLinkURLString(absolute);
    for (const QString& text : { absolute, decoded }) {
        QString key = mapKey(text);
        if (!map.contains(key))
            key = redirects.value(key);
        if (const auto it = map.constFind(key); it != map.cend())
            return it->readable ? &it.value() : nullptr;
        if (decoded == absolute)
            break;
    }
    return nullptr;
}

QString ArchiveExport::Run::replacementFor(
    const QString& href, const Url& resolved, const QStringList& from, bool orDefaultName) const
{
    QString absolute = resolved.absoluteString();
    QString fragment;
    if (const qsizetype hash = absolute.indexOf(u'#'); hash >= 0) {
        fragment = absolute.mid(hash);
        absolute.truncate(hash);
    }
    const ProcessEntry* found = lookUp(absolute);
    if (!found && orDefaultName && strings::pathExtension(href).isEmpty())
        found = lookUp(QStringLiteral("%1/%2").arg(trimmedOf(absolute, u'/'), defaultName));
    if (found && !found->processedfilename.isEmpty())
        return detail::relativeLink(from, found->components) + fragment;
    // Not in the copy: the page or resource of the site, by its whole address. A protocol-
    // relative source is left to be made https.
    const QString scheme = resolved.scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || href.startsWith(QLatin1StringView("//")))
        return QString();
    QString live = lowerCaseSchemeAndHost(resolved.absoluteString());
    if (std::any_of(live.cbegin(), live.cend(), [](QChar c) { return c.unicode() > 0x7E; }))
        live = PunycodeAdditions::encodedURLString(live);
    return live == href ? QString() : live;
}

void ArchiveExport::Run::writeText(
    const ProcessEntry& entry, const QString& text, const TextFile& file, const QByteArray& data)
{
    auto bytes = file.bytesOf(text);
    if (!bytes) {
        logLine(0, QStringLiteral("unable to write %1 in its own encoding; it is copied as archived").arg(entry.url));
        bytes = data;
    }
    put(entry.components, *bytes, entry.url);
}

void ArchiveExport::Run::writeStyleSheet(const QString& key, const ProcessEntry& entry, const QByteArray& data)
{
    // A sheet names its encoding in a leading @charset rule; most are UTF-8.
    platform::EncodingId declared = platform::Encoding::None;
    if (data.startsWith("@charset \"")) {
        const qsizetype close = data.indexOf('"', 10);
        if (close > 10)
            declared = platform::TextEncoding::encodingForDeclaredCharset(QString::fromLatin1(data.mid(10, close - 10)));
    }
    auto file = detail::readText(data, { declared, platform::Encoding::UTF8 });
    if (!file) {
        logLine(0,
            QStringLiteral("unable to make a mutable string representation of the style sheet at %1; it is "
                           "copied as archived")
                .arg(key));
        writeResource(entry, data);
        return;
    }
    const auto base = detail::urlFromText(entry.address);
    if (!base) {
        logLine(0, QStringLiteral("unable to make a base url from %1; it is copied as archived").arg(key));
        writeResource(entry, data);
        return;
    }
    // One pass: the text between the arguments is copied as it is, each argument rewritten.
    const QString& text = file->text;
    const QStringList pageFolder = folderOf(entry);
    QString rewritten;
    qsizetype copied = 0;
    for (qsizetype from = 0;;) {
        const auto [start, length] = CrwlParser::firstURLOccurrenceInStyleSheetSource(text, from);
        if (start < 0)
            break;
        from = start + length + 1; // behind the ")"
        const QString argument = strings::trimmingQuotesAndSpaces(text.mid(start, length));
        const auto resolved = Url::resolved(argument, *base);
        if (!resolved) {
            logLine(1, QStringLiteral("unable to make base url for %1").arg(text.mid(start, length)));
            continue;
        }
        const QString replacement = replacementFor(argument, *resolved, pageFolder, /*orDefaultName=*/false);
        if (replacement.isNull())
            continue;
        rewritten += QStringView(text).mid(copied, start - copied);
        rewritten += u'\'' + detail::cssArgumentText(replacement) + u'\'';
        copied = start + length;
    }
    rewritten += QStringView(text).mid(copied);
    writeText(entry, rewritten, *file, data);
}

void ArchiveExport::Run::writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data)
{
    // The page is rewritten in the encoding it is written in: the one it declares, else the one
    // the scan read it in (its Content-Type header's), else UTF-8, else windows-1252, which reads
    // every byte, as browsers read a page that names none.
    const auto declaration
        = CrwlParser::extractCharsetFromHTML(std::string_view(data.constData(), static_cast<size_t>(data.size())));
    const platform::EncodingId declared
        = declaration ? platform::TextEncoding::encodingForDeclaredCharset(*declaration) : platform::Encoding::None;
    auto file = detail::readText(data,
        { declared, platform::TextEncoding::encodingForLabel(entry.charset), platform::Encoding::UTF8,
            platform::Encoding::WindowsCP1252 });
    if (!file) {
        logLine(0,
            QStringLiteral("unable to make a source string from data of %1 (data length %2); it is copied as "
                           "archived")
                .arg(key, QString::number(data.size())));
        writeResource(entry, data);
        return;
    }
    // The parser reads links from bytes that write ASCII as ASCII: a page in UTF-16 or UTF-32 is
    // read from its text in UTF-8.
    const bool asArchived = platform::TextEncoding::writesAsciiAsAscii(file->encoding);
    const auto parser = CrwlParser::initWithData(asArchived ? data : file->text.toUtf8(), /*withSEO=*/false,
        /*checkNoIndex=*/true, asArchived ? file->encoding : platform::Encoding::UTF8, CrwlParser::HTML, parserSettings,
        /*allowNoLinks=*/true);
    QString* text = &file->text;
    std::optional<Url> base;
    const QString baseHref = parser ? parser->getBaseHref() : QString();
    if (!baseHref.isEmpty() && baseHref != u"/" && baseHref != u"//") {
        const auto pageUrl = detail::urlFromText(entry.address);
        base = pageUrl ? Url::resolved(baseHref, *pageUrl) : detail::urlFromText(baseHref);
    }
    if (!base)
        base = detail::urlFromText(entry.address);
    // The page's links as its scan reads them; each is looked up once, when first met.
    QHash<QString, QString> decided; // link → its replacement; null: it stays
    while (parser && base) {
        const auto next = parser->getNextHref();
        if (!next)
            break;
        if (!next->isEmpty() && !next->startsWith(u'#'))
            decided.insert(*next, QString());
    }
    QSet<QString> looked;
    const QStringList pageFolder = folderOf(entry);
    const auto replacement = [&](const QString& href) -> QString {
        const auto it = decided.find(href);
        if (it == decided.end() || looked.contains(href))
            return it == decided.end() ? QString() : *it;
        looked.insert(href);
        auto resolved = Url::resolved(href, *base);
        if (!resolved)
            resolved = Url::resolved(PunycodeAdditions::encodedPath(href), *base);
        if (!resolved) {
            logLine(0, QStringLiteral("unable to make NSURL from %1 relative to %2").arg(href, base->absoluteString()));
            return QString();
        }
        *it = replacementFor(href, *resolved, pageFolder, /*orDefaultName=*/true);
        return *it;
    };
    *text = detail::rewritePageLinks(*text, replacement);
    // A page that names no charset (its server's header did) says which it is in, so that it
    // reads right from disc; one in ASCII alone reads right in any.
    const bool ascii = std::all_of(text->cbegin(), text->cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (declared == platform::Encoding::None && file->mark.isEmpty() && !ascii)
        *text = detail::withCharsetDeclaration(*text, platform::TextEncoding::ianaName(file->encoding));
    writeText(entry, *text, *file, data);
}

} // namespace crawlmere::archive
