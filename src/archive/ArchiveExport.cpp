// The export of an archived scan to a browsable folder: Preserve's pass, Process's two passes,
// and the small text operations they use.
#include "archive/ArchiveExport.h"

#include "archive/ArchiveWriter.h"
#include "archive/CrawlmereArchiveWrapper.h"
#include "archive/detail/ExportFolder.h"
#include "archive/detail/UrlText.h"
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "engine/Z12Ara.h"
#include "engine/detail/LookupKeys.h"
#include "engine/SettingsValue.h"
#include "parsing/CrwlParser.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <map>

namespace crawlmere::archive {

using detail::ExportFolder;
using engine::boolValue;
using engine::stringValue;
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

/// A URL text with its scheme and host in lower case, as the export names folders and writes
/// links: "HTTP://H.test/A" and "http://h.test/A" are one page.
QString lowerCaseSchemeAndHost(const QString& url) { return engine::detail::withLowerCaseSchemeAndHost(url); }

/// The key of a URL in the Process map: scheme and host in lower case, leading and trailing "/"
/// trimmed.
QString mapKey(const QString& url) { return trimmedOf(lowerCaseSchemeAndHost(url), u'/'); }

/// The path of a local path, without its query and fragment.
QString withoutQuery(const QString& local)
{
    const auto end = std::find_if(local.cbegin(), local.cend(), [](QChar c) { return c == u'?' || c == u'#'; });
    return local.left(end - local.cbegin());
}

/// A link's own text in a page or sheet, as the text holds it: `href`, and its form with "&"
/// written "&amp;".
QStringList spellingsOf(const QString& href)
{
    QStringList spellings { href };
    if (href.contains(u'&'))
        spellings.append(QString(href).replace(u'&', QStringLiteral("&amp;")));
    return spellings;
}

/// The replacements of one page: each at a place of the text as it was read, none overlapping,
/// applied in one go, so that a replacement is never matched again.
class LinkEdits {
public:
    /// Each place `spelling` is written as a link, delimited as an attribute value or a list
    /// item and inside a tag, gets `replacement`. The search is exact: a link spelled in
    /// another case is another link.
    void replaceEach(const QString& text, const QString& spelling, const QString& replacement)
    {
        for (qsizetype at = text.indexOf(spelling); at >= 0; at = text.indexOf(spelling, at + spelling.size())) {
            const qsizetype end = at + spelling.size();
            if (at < 2 || end >= text.size() || !QStringView(u" =\"'").contains(text.at(at - 1))
                || !QStringView(u" \"'>").contains(text.at(end)) || !strings::rangeIsWithinCodeOf(at, spelling.size(), text))
                continue;
            const auto next = edits.lower_bound(at);
            if (next != edits.end() && next->first < end)
                continue;
            if (next != edits.begin() && std::prev(next)->first + std::prev(next)->second.first > at)
                continue;
            edits.emplace(at, std::make_pair(spelling.size(), replacement));
        }
    }
    QString appliedTo(const QString& text) const
    {
        QString result;
        result.reserve(text.size());
        qsizetype from = 0;
        for (const auto& [at, edit] : edits) {
            result += QStringView(text).mid(from, at - from);
            result += edit.second;
            from = at + edit.first;
        }
        result += QStringView(text).mid(from);
        return result;
    }

private:
    std::map<qsizetype, std::pair<qsizetype, QString>> edits; // place → (length, replacement)
};

/// One file of the Process map.
struct ProcessEntry {
    QString url; ///< the archived URL text (the index key)
    QString address; ///< `url` with its scheme and host in lower case: the base of its links
    bool readable = false; ///< its archived file can be read, so the export writes it
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
    /// The scan's settings, with the files a page loads (style sheets, scripts, images) read
    /// as links whatever the scan checked: the copy leads each of them somewhere.
    QVariantMap parserSettings;
    QMap<QString, ProcessEntry> map; // K → entry, in K's order
    QHash<QString, QString> redirects; // map key of an address that redirects → K of its page
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
    /// the system refused. YES when it was written.
    bool put(const QStringList& components, const QByteArray& data)
    {
        switch (folder.write(components, data)) {
        case ExportFolder::Outcome::Written:
            return true;
        case ExportFolder::Outcome::NotWritten:
            break;
        case ExportFolder::Outcome::Skipped:
            ++skipped;
            break;
        }
        return false;
    }
    QString versionFile(const QString& url) const
    {
        if (url.left(5) == u"data:")
            return QString();
        const QString name = wrapper->filenameRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
        return name == u"(null)" ? QString() : name;
    }

    /// The addresses the archive lists as redirecting to the URL's version at the request date.
    QStringList redirectsTo(const QString& url) const
    {
        const auto version = wrapper->indexDictionaryRepresentationOfMostRecentVersionForUrl(url, request().selectedDate);
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
        }
        return true;
    }
    bool preservePass();
    void writeRedirectPages(const QHash<QString, QString>& localPaths);
    bool processPassOne();
    void mapRedirects();
    bool processPassTwo();
    void writeResource(const ProcessEntry& entry, const QByteArray& data);
    void writeStyleSheet(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth);
    void writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth);
    /// The entry the export writes for an absolute URL, by its own address or one that
    /// redirects to it; null when it writes none.
    const ProcessEntry* lookUp(const QString& absolute) const;
    /// What a link written `href`, resolved to `resolved`, becomes in a file `depth` folders
    /// deep: the relative path of the file the export writes for it, else (for a page or
    /// resource of the web the copy does not hold) its absolute address, so that it leads where
    /// it led on the site; null when it stays as it is. `orDefaultName`: a link without an
    /// extension may name its folder's default page.
    QString replacementFor(const QString& href, const Url& resolved, qint64 depth, bool orDefaultName) const;
    /// The text of a file's bytes to rewrite, in the encoding `encoding` says (the declared one,
    /// else UTF-8); nullopt when it cannot be decoded: the file is then copied as it is.
    static std::optional<QString> decoded(const QByteArray& data, platform::EncodingId& encoding);
    /// Writes rewritten text in `encoding` (the bytes as archived when it cannot hold the text).
    void writeText(const ProcessEntry& entry, const QString& text, platform::EncodingId encoding, const QByteArray& data);
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
    run.parserSettings = request.crawlSettings;
    run.parserSettings.insert(QStringLiteral("linkedFiles"), true);
    run.parserSettings.insert(QStringLiteral("checkImages"), true);

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
    QHash<QString, QString> localPaths; // map key → the relative path written for it
    const bool completed = eachArchivedVersion([&](const QString& url, const QString& file) {
        const auto data = wrapper->dataRepresentationOfVersionWithFilename(file, url);
        const QString address = lowerCaseSchemeAndHost(url);
        auto local = ArchiveExport::stripDomainFrom(address, /*addDefaultName=*/true, defaultName);
        if (!data || !local)
            return;
        if (strings::pathExtension(*local).isEmpty())
            local = strings::appendingPathComponent(*local, defaultName);
        const auto components = ExportFolder::cleanComponents(withPortFolder(*local, address));
        if (!components) {
            skip(QStringLiteral("skipping %1: its local path %2 would leave the export folder").arg(url, *local));
            return;
        }
        if (!put(*components, *data))
            return;
        localPaths.insert(mapKey(url), components->join(u'/'));
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
        if (!local)
            continue;
        if (strings::pathExtension(*local).isEmpty())
            local = strings::appendingPathComponent(*local, defaultName);
        const auto components = ExportFolder::cleanComponents(withPortFolder(*local, it.key()));
        if (!components)
            continue;
        QStringList from = *components;
        from.removeLast();
        QStringList to = localPaths.value(it.value()).split(u'/');
        while (!from.isEmpty() && to.size() > 1 && from.first() == to.first()) {
            from.removeFirst();
            to.removeFirst();
        }
        const QString target = QStringLiteral("../").repeated(from.size()) + linkText(to.join(u'/'));
        const QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><meta http-equiv=\"refresh\" content=\"0; "
                                            "url=%1\"></head><body><a href=\"%1\">%1</a></body></html>\n")
                                 .arg(target.toHtmlEscaped());
        put(*components, page.toUtf8());
    }
}

bool ArchiveExport::Run::processPassOne()
{
    logLine(1, QStringLiteral("pass 1 of 2"));
    startPass(QStringLiteral("Processing files"));
    QHash<QString, QString> claimedBy; // relative path → K
    const bool completed = eachArchivedVersion([&](const QString& url, const QString& file) {
        const QString address = lowerCaseSchemeAndHost(url);
        const auto local = ArchiveExport::stripDomainFrom(address, /*addDefaultName=*/false, defaultName);
        if (!local)
            return;
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

        const auto components = ExportFolder::cleanComponents(withPortFolder(
            entry.directory.isEmpty() ? entry.processedfilename : entry.directory + u'/' + entry.processedfilename,
            address));
        if (!components) {
            skip(QStringLiteral("skipping %1: its local path would leave the export folder").arg(url));
            return;
        }
        entry.components = *components;
        const QString key = mapKey(url);
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
    if (completed)
        mapRedirects();
    return completed;
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

QString ArchiveExport::Run::replacementFor(const QString& href, const Url& resolved, qint64 depth, bool orDefaultName) const
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
        return target(*found, depth) + fragment;
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

std::optional<QString> ArchiveExport::Run::decoded(const QByteArray& data, platform::EncodingId& encoding)
{
    if (encoding == platform::Encoding::None)
        encoding = platform::Encoding::UTF8;
    if (auto text = platform::TextEncoding::decode(data, encoding))
        return text;
    // A declaration the bytes do not follow: UTF-8 is the one other encoding worth a try.
    if (encoding != platform::Encoding::UTF8) {
        encoding = platform::Encoding::UTF8;
        return platform::TextEncoding::decode(data, encoding);
    }
    return std::nullopt;
}

void ArchiveExport::Run::writeText(
    const ProcessEntry& entry, const QString& text, platform::EncodingId encoding, const QByteArray& data)
{
    auto bytes = platform::TextEncoding::encode(text, encoding);
    if (!bytes) {
        logLine(0, QStringLiteral("unable to write %1 in its own encoding; it is copied as archived").arg(entry.url));
        bytes = data;
    } else if (encoding == platform::Encoding::UTF8 && data.startsWith("\xEF\xBB\xBF")) {
        bytes->prepend("\xEF\xBB\xBF"); // the byte-order mark decoding dropped
    }
    put(entry.components, *bytes);
}

void ArchiveExport::Run::writeStyleSheet(
    const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth)
{
    // A sheet names its encoding in a leading @charset rule; most are UTF-8.
    platform::EncodingId encoding = platform::Encoding::UTF8;
    if (data.startsWith("@charset \"")) {
        const qsizetype close = data.indexOf('"', 10);
        if (close > 10)
            encoding = platform::TextEncoding::encodingForIanaName(QString::fromLatin1(data.mid(10, close - 10)));
    }
    auto text = decoded(data, encoding);
    if (!text) {
        logLine(0, QStringLiteral("unable to make a mutable string representation of the style sheet at %1; it is "
                                  "copied as archived")
                       .arg(key));
        writeResource(entry, data);
        return;
    }
    const auto base = detail::urlFromText(entry.address);
    if (!base) {
        skip(QStringLiteral("unable to make a base url from %1").arg(key));
        return;
    }
    for (qsizetype from = 0;;) {
        const auto [start, length] = CrwlParser::firstURLOccurrenceInStyleSheetSource(*text, from);
        if (start < 0)
            break;
        from = start + length + 1; // behind the ")", so a short target cannot hide the next "url("
        const QString argument = detail::trimmedQuotesAndSpaces(text->mid(start, length));
        const auto resolved = Url::resolved(argument, *base);
        if (!resolved) {
            logLine(1, QStringLiteral("unable to make base url for %1").arg(text->mid(start, length)));
            continue;
        }
        const QString replacement = replacementFor(argument, *resolved, depth, /*orDefaultName=*/false);
        if (replacement.isNull())
            continue;
        const QString quoted = QStringLiteral("'%1'").arg(replacement);
        text->replace(start, length, quoted);
        from = start + quoted.size() + 1;
    }
    writeText(entry, *text, encoding, data);
}

void ArchiveExport::Run::writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth)
{
    // The parser reads the charset the page declares; the page is rewritten in it.
    const auto parser = CrwlParser::initWithData(data, /*withSEO=*/false, /*checkNoIndex=*/true,
        platform::Encoding::UTF8, CrwlParser::HTML, parserSettings, /*allowNoLinks=*/true);
    platform::EncodingId encoding = parser ? parser->encoding() : platform::Encoding::UTF8;
    auto text = decoded(data, encoding);
    if (!text) {
        logLine(0, QStringLiteral("unable to make a source string from data of %1 (data length %2); it is copied as "
                                  "archived")
                       .arg(key)
                       .arg(data.size()));
        writeResource(entry, data);
        return;
    }
    std::optional<Url> base;
    const QString baseHref = parser ? parser->getBaseHref() : QString();
    if (!baseHref.isEmpty() && baseHref != u"/" && baseHref != u"//") {
        const auto pageUrl = detail::urlFromText(entry.address);
        base = pageUrl ? Url::resolved(baseHref, *pageUrl) : detail::urlFromText(baseHref);
    }
    if (!base)
        base = detail::urlFromText(entry.address);
    LinkEdits edits;
    QSet<QString> seen;
    while (parser && base) {
        const auto next = parser->getNextHref();
        if (!next)
            break;
        const QString& href = *next;
        if (href.isEmpty() || href.startsWith(u'#') || seen.contains(href))
            continue;
        seen.insert(href);
        auto resolved = Url::resolved(href, *base);
        if (!resolved)
            resolved = Url::resolved(PunycodeAdditions::encodedPath(href), *base);
        if (!resolved) {
            logLine(0, QStringLiteral("unable to make NSURL from %1 relative to %2").arg(href, base->absoluteString()));
            continue;
        }
        const QString replacement = replacementFor(href, *resolved, depth, /*orDefaultName=*/true);
        if (replacement.isNull())
            continue;
        for (const QString& spelling : spellingsOf(href))
            edits.replaceEach(*text, spelling, replacement);
    }
    *text = edits.appliedTo(*text);
    text->replace(QStringLiteral("src=\"//"), QStringLiteral("src=\"https://"));
    text->replace(QStringLiteral("src='//"), QStringLiteral("src='https://"));
    *text = ArchiveExport::removeBaseHrefInSource(*text);
    writeText(entry, *text, encoding, data);
}

} // namespace crawlmere::archive
