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
#include "engine/LookupKeys.h"
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
#include <array>
#include <map>
#include <string_view>

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

/// A link's own text in a page or sheet, as the text holds it: `href`, and its form with "&"
/// written "&amp;".
QStringList spellingsOf(const QString& href)
{
    QStringList spellings { href };
    if (href.contains(u'&'))
        spellings.append(QString(href).replace(u'&', QStringLiteral("&amp;")));
    return spellings;
}

/// A byte-order mark at the start of a file: the encoding it names and its length; None and 0
/// without one. UTF-32's marks come first: the little-endian one begins as UTF-16's does.
std::pair<platform::EncodingId, qsizetype> byteOrderMark(const QByteArray& data)
{
    namespace Encoding = platform::Encoding;
    static const std::array<std::pair<std::string_view, platform::EncodingId>, 5> marks { {
        { std::string_view("\xFF\xFE\x00\x00", 4), Encoding::UTF32LittleEndian },
        { std::string_view("\x00\x00\xFE\xFF", 4), Encoding::UTF32BigEndian },
        { std::string_view("\xEF\xBB\xBF", 3), Encoding::UTF8 },
        { std::string_view("\xFE\xFF", 2), Encoding::UTF16BigEndian },
        { std::string_view("\xFF\xFE", 2), Encoding::UTF16LittleEndian },
    } };
    for (const auto& [mark, encoding] : marks) {
        if (data.startsWith(QByteArrayView(mark.data(), static_cast<qsizetype>(mark.size()))))
            return { encoding, static_cast<qsizetype>(mark.size()) };
    }
    return { Encoding::None, 0 };
}

/// Whether `encoding` writes ASCII as ASCII bytes, as a page or sheet is read until its own
/// declaration says more.
bool readsAsAscii(platform::EncodingId encoding)
{
    static constexpr QStringView probe = u"<a href=\"x\">@charset";
    const auto bytes = platform::TextEncoding::encode(probe, encoding);
    return bytes && *bytes == probe.toLatin1();
}

/// The encoding a page's or sheet's declaration names ("windows-1251", "gb18030"), by any name
/// the program's text encoding knows, else as the scanner's table reads it. None when the name
/// is unknown, and for an encoding that does not read ASCII as ASCII (UTF-16, UTF-32): bytes that
/// can be read as declaring it in ASCII are not in it, and are read as UTF-8, as browsers do.
platform::EncodingId declaredEncoding(const QString& declaration)
{
    QString name = declaration.trimmed();
    const auto end = std::find_if(name.cbegin(), name.cend(),
        [](QChar c) { return c == u'"' || c == u'\'' || c == u';' || c == u'/' || c == u'>' || c.isSpace(); });
    name.truncate(end - name.cbegin());
    platform::EncodingId encoding = platform::TextEncoding::encodingForIanaName(name);
    if (encoding == platform::Encoding::None)
        encoding = CrwlParser::encodingForCharset(declaration);
    if (encoding == platform::Encoding::None || !platform::TextEncoding::isSupported(encoding) || !readsAsAscii(encoding))
        return platform::Encoding::None;
    return encoding;
}

/// A page or sheet as the export rewrites it: its text, the encoding it is written back in, and
/// the byte-order mark it began with, written back in front.
struct TextFile {
    QString text;
    platform::EncodingId encoding = platform::Encoding::UTF8;
    QByteArray mark;

    std::optional<QByteArray> bytesOf(const QString& rewritten) const
    {
        auto bytes = platform::TextEncoding::encode(rewritten, encoding);
        if (bytes)
            bytes->prepend(mark);
        return bytes;
    }
};

/// The text of a file's bytes: a byte-order mark decides its encoding, else `declared` (None for
/// none), else UTF-8, the one other encoding worth a try when the bytes do not follow their
/// declaration. nullopt when they cannot be decoded, or would not be encoded back to the same
/// bytes: the file is then copied as archived rather than damaged.
std::optional<TextFile> readText(const QByteArray& data, platform::EncodingId declared)
{
    TextFile file;
    const auto [marked, markLength] = byteOrderMark(data);
    file.mark = data.left(markLength);
    const QByteArray body = data.mid(markLength);
    QList<platform::EncodingId> tries;
    if (marked != platform::Encoding::None)
        tries = { marked };
    else if (declared != platform::Encoding::None && declared != platform::Encoding::UTF8)
        tries = { declared, platform::Encoding::UTF8 };
    else
        tries = { platform::Encoding::UTF8 };
    for (const platform::EncodingId encoding : tries) {
        auto text = platform::TextEncoding::decode(body, encoding);
        if (!text)
            continue;
        if (platform::TextEncoding::encode(*text, encoding) != body)
            return std::nullopt;
        file.text = std::move(*text);
        file.encoding = encoding;
        return file;
    }
    return std::nullopt;
}

/// A link to a relative path as written in a file: a first segment holding ":" would read as a
/// scheme ("a:b.html"), so such a link begins with "./".
QString relativeLink(const QString& climb, const QStringList& components)
{
    const QString prefix = !climb.isEmpty() || components.isEmpty() || !components.first().contains(u':')
        ? climb
        : QStringLiteral("./");
    return prefix + linkText(components.join(u'/'));
}

/// `stem` and `suffix` as one name, the stem cut (by whole characters) so that the name fits a
/// file system's names.
QString fittedName(QString stem, const QString& suffix)
{
    while (!stem.isEmpty() && (stem + suffix).toUtf8().size() > ExportFolder::kMaxComponentBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + suffix;
}

/// A name split before its extension ("index", ".html"); a long tail after the last "." is no
/// extension.
std::pair<QString, QString> stemAndExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || name.size() - dot > 16)
        return { name, QString() };
    return { name.left(dot), name.mid(dot) };
}

/// A relative path with each name too long for a file system (a long query) cut to fit, its
/// extension kept.
QString withFittedNames(const QString& relative)
{
    QStringList components = relative.split(u'/');
    for (QString& component : components) {
        if (component.toUtf8().size() > ExportFolder::kMaxComponentBytes) {
            const auto [stem, extension] = stemAndExtension(component);
            component = fittedName(stem, extension);
        }
    }
    return components.join(u'/');
}

/// A file name the copy does not hold yet in the folder of `components`: the name with "-2",
/// "-3", … before its extension ("index-2.html"), shortened to fit a file system's names.
QString freeName(const QStringList& components, const QHash<QString, QString>& files, const QSet<QString>& folders)
{
    const QString folder = components.mid(0, components.size() - 1).join(u'/');
    const auto [stem, extension] = stemAndExtension(components.last());
    for (int n = 2;; ++n) {
        const QString candidate = fittedName(stem, QStringLiteral("-%1").arg(n) + extension);
        const QString path = folder.isEmpty() ? candidate : folder + u'/' + candidate;
        if (!files.contains(path) && !folders.contains(path))
            return candidate;
    }
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
        auto it = std::find_if(skips.begin(), skips.end(), [&](const Result::Skipped& s) { return s.reason == reason; });
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
    void planNames();
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
    /// Writes rewritten text as `file` was written (the bytes as archived when its encoding
    /// cannot hold the text).
    void writeText(const ProcessEntry& entry, const QString& text, const TextFile& file, const QByteArray& data);
    QString target(const ProcessEntry& entry, qint64 depth) const
    {
        return relativeLink(QStringLiteral("../").repeated(depth), entry.components);
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
        const auto components = ExportFolder::cleanComponents(withPortFolder(*local, address));
        if (!components) {
            skip(QStringLiteral("its local path would leave the export folder"), url);
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
        const auto components = ExportFolder::cleanComponents(withPortFolder(*local, it.key()));
        if (!components) {
            skip(QStringLiteral("its redirect page's name cannot be a file of the export folder"), it.key());
            continue;
        }
        QStringList from = *components;
        from.removeLast();
        QStringList to = localPaths.value(it.value()).split(u'/');
        while (!from.isEmpty() && to.size() > 1 && from.first() == to.first()) {
            from.removeFirst();
            to.removeFirst();
        }
        const QString target = relativeLink(QStringLiteral("../").repeated(from.size()), to);
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
        const auto components = ExportFolder::cleanComponents(withFittedNames(withPortFolder(
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
            it->components.last() = freeName(it->components, files, folders);
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

void ArchiveExport::Run::writeText(const ProcessEntry& entry, const QString& text, const TextFile& file, const QByteArray& data)
{
    auto bytes = file.bytesOf(text);
    if (!bytes) {
        logLine(0, QStringLiteral("unable to write %1 in its own encoding; it is copied as archived").arg(entry.url));
        bytes = data;
    }
    put(entry.components, *bytes, entry.url);
}

void ArchiveExport::Run::writeStyleSheet(
    const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth)
{
    // A sheet names its encoding in a leading @charset rule; most are UTF-8.
    platform::EncodingId declared = platform::Encoding::None;
    if (data.startsWith("@charset \"")) {
        const qsizetype close = data.indexOf('"', 10);
        if (close > 10)
            declared = declaredEncoding(QString::fromLatin1(data.mid(10, close - 10)));
    }
    auto file = readText(data, declared);
    if (!file) {
        logLine(0, QStringLiteral("unable to make a mutable string representation of the style sheet at %1; it is "
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
    QString* text = &file->text;
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
    writeText(entry, *text, *file, data);
}

void ArchiveExport::Run::writePage(const QString& key, const ProcessEntry& entry, const QByteArray& data, qint64 depth)
{
    // The page is rewritten in the encoding it is written in.
    const auto declaration = CrwlParser::extractCharsetFromHTML(std::string_view(data.constData(), static_cast<size_t>(data.size())));
    auto file = readText(data, declaration ? declaredEncoding(*declaration) : platform::Encoding::None);
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
    const bool asArchived = readsAsAscii(file->encoding);
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
    writeText(entry, *text, *file, data);
}

} // namespace crawlmere::archive
