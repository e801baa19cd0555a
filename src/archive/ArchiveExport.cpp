// The export of an archived scan to a browsable folder: Preserve's pass, Process's two passes,
// and the small text operations they use.
#include "archive/ArchiveExport.h"

#include "archive/CrawlmereArchiveWrapper.h"
#include "archive/detail/ExportFolder.h"
#include "archive/detail/UrlText.h"
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "engine/Z12Ara.h"
#include "engine/detail/SettingsValue.h"
#include "parsing/CrwlParser.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace crawlmere::archive {

using detail::ExportFolder;
using engine::detail::boolValue;
using engine::detail::stringValue;
using platform::logLine;
using platform::Url;
namespace strings = platform::strings;

namespace {

QString trimmedOf(QString text, QChar c)
{
    while (text.startsWith(c))
        text.remove(0, 1);
    while (text.endsWith(c))
        text.chop(1);
    return text;
}

/// A relative path as a link writes it: characters a path cannot hold as they are ("#", "?",
/// "%", spaces, non-ASCII) percent-encoded.
QString linkText(const QString& relative)
{
    return PunycodeAdditions::qfStringByAddingPercentEncodingWithAllowedCharacters(
        relative, PunycodeAdditions::qfURLPathAllowedCharacterSet());
}

/// A default file name from a settings file or the defaults, as a file of the export folder can
/// take it: "index.html" in place of one that is not a plain name ("../x", "a/b", "").
QString usableDefaultName(const QString& name)
{
    if (ExportFolder::isUsableComponent(name))
        return name;
    logLine(0, QStringLiteral("defaultLocalFileName \"%1\" is not a plain file name; index.html is used").arg(name));
    return QStringLiteral("index.html");
}

/// The local path of a URL with its port, as `stripDomainFrom` gives it (":8080/a/b.html"), with
/// the port's part made into a folder named by host and port ("h.test_8080/a/b.html"): a name
/// without ":" that every common file system takes, and that keeps sites on two ports of one
/// host apart. Other paths are returned as they are.
QString withPortFolder(const QString& local, const QString& url)
{
    const auto parsed = detail::urlFromText(url);
    if (!parsed || !parsed->port())
        return local;
    const QString port = QString::number(*parsed->port());
    // An IPv6 host leaves its closing bracket in front of the port.
    const qsizetype colon = local.startsWith(u']') ? 1 : 0;
    if (local.mid(colon, port.size() + 1) != u':' + port)
        return local;
    QString host = parsed->host();
    host.replace(u':', u'-');
    return host + u'_' + local.mid(colon + 1);
}

/// One file of the Process map.
struct ProcessEntry {
    QString url; ///< the archived URL text (the index key)
    QString webarcfilename;
    QString actualfilename;
    QString processedfilename;
    qint64 type = 0;
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
    while (name.toUtf8().size() > 200) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate())
            name.chop(1);
    }
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

QString ArchiveExport::removeBaseHrefInSource(const QString& text)
{
    qsizetype open = text.indexOf(QLatin1StringView("<base "));
    if (open < 0)
        open = text.indexOf(QLatin1StringView("< base "));
    if (open < 0)
        return text;
    const qsizetype close = text.indexOf(u'>', open);
    if (close < 0 || close == text.size() - 1)
        return text;
    QString result = text;
    result.remove(open, close - open + 1);
    return result;
}

// ===== The export ==============================================================================

struct ArchiveExport::Run {
    ArchiveExport& owner;
    std::unique_ptr<CrawlmereArchiveWrapper> wrapper;
    ExportFolder folder;
    QStringList urls;
    QString defaultName;
    bool wordpressUrls = false;
    QMap<QString, ProcessEntry> map; // K → entry, in K's order
    qint64 skipped = 0;

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
    void skip(const QString& why)
    {
        ++skipped;
        logLine(0, why);
    }
    /// Writes one file; the folder logs it when it is skipped or not written, and counts those
    /// the system refused.
    void put(const QStringList& components, const QByteArray& data)
    {
        switch (folder.write(components, data)) {
        case ExportFolder::Outcome::Written:
        case ExportFolder::Outcome::NotWritten:
            break;
        case ExportFolder::Outcome::Skipped:
            ++skipped;
            break;
        }
    }
    QString versionFile(const QString& url) const
    {
        if (url.left(5) == u"data:")
            return QString();
        const QString name = wrapper->filenameRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
        return name == u"(null)" ? QString() : name;
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
        }
        return true;
    }
    bool preservePass();
    bool processPassOne();
    bool processPassTwo();
    void writeResource(const ProcessEntry& entry, const QByteArray& data);
    void writeStyleSheet(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth);
    void writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth);
    const ProcessEntry* lookUp(const QString& absolute) const;
    QString target(const ProcessEntry& entry, qint64 depth) const
    {
        // A first segment holding ":" would read as a scheme ("a:b.html").
        const QString prefix = depth > 0              ? QStringLiteral("../").repeated(depth)
            : entry.components.first().contains(u':') ? QStringLiteral("./")
                                                      : QString();
        return prefix + linkText(entry.relativePath());
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
    const QString startingUrl = stringValue(request.crawlSettings.value(QStringLiteral("startingUrl")));
    const QString outputPath
        = QDir(request.savePath).filePath(outputFolderName(startingUrl, QDateTime::currentDateTime()));
    Run run(*this, outputPath);
    Result result;
    if (const QFileInfo location(request.savePath); location.exists() && !location.isDir()) {
        result.failure = QStringLiteral("%1 is a file, not a folder").arg(QDir::toNativeSeparators(request.savePath));
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
    // Both modes name a folder's page as the preferences say, as the scan's file requests do.
    run.defaultName = usableDefaultName(strings::trimmingWhitespaceAndNewlines(request.defaultsLocalFileName));
    run.wordpressUrls = boolValue(request.crawlSettings.value(QStringLiteral("wordpressUrls")));

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
    result.filesNotWritten = run.folder.filesNotWritten();
    result.firstWriteFailure = run.folder.firstWriteFailure();
    result.failure = run.folder.failure();
    return result;
}

bool ArchiveExport::Run::preservePass()
{
    logLine(1, QStringLiteral("pass 1 of 1"));
    startPass(QStringLiteral("Exporting pages and resources"));
    return eachArchivedVersion([&](const QString& url, const QString& file) {
        const auto data = wrapper->dataRepresentationOfVersionWithFilename(file, url);
        auto local = ArchiveExport::stripDomainFrom(url, /*addDefaultName=*/true, defaultName);
        if (!data || !local)
            return;
        if (strings::pathExtension(*local).isEmpty())
            local = strings::appendingPathComponent(*local, defaultName);
        const auto components = ExportFolder::cleanComponents(withPortFolder(*local, url));
        if (!components) {
            skip(QStringLiteral("skipping %1: its local path %2 would leave the export folder").arg(url, *local));
            return;
        }
        put(*components, *data);
    });
}

bool ArchiveExport::Run::processPassOne()
{
    logLine(1, QStringLiteral("pass 1 of 2"));
    startPass(QStringLiteral("Processing files"));
    QHash<QString, QString> claimedBy; // relative path → K
    return eachArchivedVersion([&](const QString& url, const QString& file) {
        const auto local = ArchiveExport::stripDomainFrom(url, /*addDefaultName=*/false, defaultName);
        if (!local)
            return;
        const QString last = strings::lastPathComponent(*local);
        ProcessEntry entry;
        entry.url = url;
        QString name;
        if (!wordpressUrls)
            name = strings::pathExtension(last).isEmpty() ? QString() : last;
        else
            name = trimmedOf(last, u'/');
        entry.actualfilename = name;
        if (name.isEmpty())
            name = defaultName;
        entry.type = wrapper->typeForURL(url);
        const QString extension = strings::pathExtension(name);
        if (entry.type == 1 && extension != u"html" && extension != u"htm")
            name += QStringLiteral(".html");
        entry.processedfilename = QString(name).replace(u'?', u'.');
        const QString directory = (wordpressUrls || !strings::pathExtension(*local).isEmpty())
            ? strings::deletingLastPathComponent(*local)
            : *local;
        entry.directory = trimmedOf(directory, u'/');
        entry.webarcfilename = file;

        const auto components = ExportFolder::cleanComponents(withPortFolder(
            entry.directory.isEmpty() ? entry.processedfilename : entry.directory + u'/' + entry.processedfilename, url));
        if (!components) {
            skip(QStringLiteral("skipping %1: its local path would leave the export folder").arg(url));
            return;
        }
        entry.components = *components;
        const QString key = trimmedOf(url, u'/');
        const QString path = entry.relativePath();
        const auto claim = claimedBy.constFind(path);
        if (claim != claimedBy.cend() && claim.value() != key) {
            skip(QStringLiteral("skipping %1: %2 is taken by %3").arg(url, path, claim.value()));
            return;
        }
        if (const auto previous = map.constFind(key); previous != map.cend())
            claimedBy.remove(previous->relativePath());
        claimedBy.insert(path, key);
        map.insert(key, entry);
    });
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
            ++skipped;
            continue;
        }
        const qint64 depth = getNumberOfDirectoriesIn(entry.relativePath());
        if (entry.type == 1)
            writePage(key, entry, *data, depth);
        else if (strings::pathExtension(entry.actualfilename) == u"css" || entry.actualfilename.contains(u".css?"))
            writeStyleSheet(key, entry, *data, depth);
        else
            writeResource(entry, *data);
    }
    return true;
}

void ArchiveExport::Run::writeResource(const ProcessEntry& entry, const QByteArray& data)
{
    put(entry.components, data);
}

const ProcessEntry* ArchiveExport::Run::lookUp(const QString& key) const
{
    if (const auto it = map.constFind(key); it != map.cend())
        return &it.value();
    // Links are written encoded, archived URLs are kept decoded.
    const QString decoded = CrwlUrl::decodedLinkURLString(key);
    if (decoded != key) {
        if (const auto it = map.constFind(decoded); it != map.cend())
            return &it.value();
    }
    return nullptr;
}

void ArchiveExport::Run::writeStyleSheet(
    const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth)
{
    auto text = platform::TextEncoding::decode(data, platform::Encoding::UTF8);
    if (!text) {
        skip(QStringLiteral("unable to make a mutable string representation of the style sheet at %1").arg(key));
        return;
    }
    const auto base = detail::urlFromText(entry.url);
    if (!base) {
        skip(QStringLiteral("unable to make a base url from %1").arg(key));
        return;
    }
    for (qsizetype from = 0;;) {
        const auto [start, length] = CrwlParser::firstURLOccurrenceInStyleSheetSource(*text, from);
        if (start < 0)
            break;
        from = start + length + 1; // behind the ")", so a short target cannot hide the next "url("
        const auto resolved = Url::resolved(detail::trimmedQuotesAndSpaces(text->mid(start, length)), *base);
        if (!resolved) {
            logLine(1, QStringLiteral("unable to make base url for %1").arg(text->mid(start, length)));
            continue;
        }
        const ProcessEntry* found = lookUp(resolved->absoluteString());
        if (!found)
            found = lookUp(trimmedOf(resolved->absoluteString(), u'/'));
        if (!found || found->processedfilename.isEmpty())
            continue;
        const QString replacement = QStringLiteral("'%1'").arg(target(*found, depth));
        text->replace(start, length, replacement);
        from = start + replacement.size() + 1;
    }
    put(entry.components, text->toUtf8());
}

void ArchiveExport::Run::writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth)
{
    const auto parser = CrwlParser::initWithData(data, /*withSEO=*/false, /*checkNoIndex=*/true,
        platform::Encoding::UTF8, CrwlParser::HTML, request().crawlSettings, /*allowNoLinks=*/true);
    auto text = platform::TextEncoding::decode(data, platform::Encoding::UTF8);
    if (!text) {
        skip(QStringLiteral("unable to make a source string from data of %1 (data length %2)")
                 .arg(key)
                 .arg(data.size()));
        return;
    }
    std::optional<Url> base;
    const QString baseHref = parser ? parser->getBaseHref() : QString();
    if (!baseHref.isEmpty() && baseHref != u"/" && baseHref != u"//") {
        const auto pageUrl = detail::urlFromText(entry.url);
        base = pageUrl ? Url::resolved(baseHref, *pageUrl) : detail::urlFromText(baseHref);
    }
    if (!base)
        base = detail::urlFromText(entry.url);
    while (parser && base) {
        const auto next = parser->getNextHref();
        if (!next)
            break;
        const QString& href = *next;
        if (href.isEmpty() || href.startsWith(u'#'))
            continue;
        auto resolved = Url::resolved(href, *base);
        if (!resolved)
            resolved = Url::resolved(PunycodeAdditions::encodedPath(href), *base);
        if (!resolved) {
            logLine(0, QStringLiteral("unable to make NSURL from %1 relative to %2").arg(href, base->absoluteString()));
            continue;
        }
        QString absolute = resolved->absoluteString();
        QString fragment;
        if (const qsizetype hash = absolute.indexOf(u'#'); hash >= 0) {
            fragment = absolute.mid(hash);
            absolute.truncate(hash);
        }
        const QString trimmed = trimmedOf(absolute, u'/');
        const ProcessEntry* found = lookUp(trimmed);
        if (!found) {
            if (!strings::pathExtension(href).isEmpty())
                continue;
            found = lookUp(QStringLiteral("%1/%2").arg(trimmed, defaultName));
        }
        if (!found || found->processedfilename.isEmpty())
            continue;
        const QString replacement = target(*found, depth) + fragment;

        // Each place the link is written, inside a tag and between delimiters.
        qsizetype position = text->indexOf(href, 0, Qt::CaseInsensitive);
        while (position >= 0) {
            const qsizetype end = position + href.size();
            const bool replace = position >= 2 && end < text->size()
                && QStringView(u" =\"'").contains(text->at(position - 1))
                && QStringView(u" \"'>").contains(text->at(end))
                && strings::rangeIsWithinCodeOf(position, href.size(), *text);
            if (replace)
                text->replace(position, href.size(), replacement);
            // Behind what is now at the match: the replacement, or the match left as it was.
            const qsizetype from = position + (replace ? replacement.size() : href.size());
            if (from >= text->size())
                break;
            position = text->indexOf(href, from, Qt::CaseSensitive);
        }
    }
    text->replace(QStringLiteral("src=\"//"), QStringLiteral("src=\"https://"));
    text->replace(QStringLiteral("src='//"), QStringLiteral("src='https://"));
    *text = ArchiveExport::removeBaseHrefInSource(*text);
    put(entry.components, text->toUtf8());
}

} // namespace crawlmere::archive
