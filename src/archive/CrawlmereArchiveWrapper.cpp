// The object view of one archive folder: lookups, text decoding, resource maps and the writer.
#include "archive/CrawlmereArchiveWrapper.h"

#include "archive/ArchiveWriter.h"
#include "archive/detail/ExclusiveFile.h"
#include "archive/detail/UrlText.h"
#include "engine/PunycodeAdditions.h"
#include "parsing/CrwlParser.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"
#include "platform/UrlRequest.h"
#include "platform/UrlSession.h"

#include <QDir>
#include <QFile>

namespace crawlmere::archive {

using platform::logLine;
using platform::Url;
namespace strings = platform::strings;

namespace {

const QString kFilename = QStringLiteral("filename");
const QString kDate = QStringLiteral("date");
const QString kIndexFile = QStringLiteral("index.plist");

} // namespace

std::unique_ptr<CrawlmereArchiveWrapper> CrawlmereArchiveWrapper::initWithArchiveLocation(
    const QString& location, const QString& siteId)
{
    std::unique_ptr<CrawlmereArchiveWrapper> wrapper(new CrawlmereArchiveWrapper);
    wrapper->location = location;
    if (!siteId.isEmpty())
        wrapper->siteId = siteId;
    if (location.isEmpty() || !platform::Paths::makeFolder(location)) {
        logLine(0, QStringLiteral("error creating archive folder: %1").arg(location));
        return nullptr;
    }
    const QString indexPath = QDir(location).filePath(kIndexFile);
    if (QFile::exists(indexPath)) {
        const auto read = platform::PropertyList::readFile(indexPath);
        if (read.ok() && read.value().typeId() == QMetaType::QVariantMap)
            wrapper->indexDictionary = read.value().toMap();
        else
            logLine(0, QStringLiteral("unable to read the archive index %1").arg(indexPath));
    } else {
        logLine(1, QStringLiteral("no previous data for %1").arg(location));
    }
    return wrapper;
}

bool CrawlmereArchiveWrapper::isPlainFileName(const QString& fileName)
{
    return !fileName.isEmpty() && fileName != u"." && fileName != u".." && !fileName.contains(u'/')
        && !fileName.contains(QChar(0)) && fileName != kIndexFile;
}

QVariantList CrawlmereArchiveWrapper::versionsOf(const QString& url) const
{
    return indexDictionary.value(detail::indexKey(url)).toList();
}

qint64 CrawlmereArchiveWrapper::numberOfVersionsForURL(const QString& url) const { return versionsOf(url).size(); }

qint64 CrawlmereArchiveWrapper::typeForURL(const QString& url) const
{
    const QVariantList versions = versionsOf(url);
    return versions.isEmpty() ? 0 : versions.first().toMap().value(QStringLiteral("type")).toLongLong();
}

std::optional<qint64> CrawlmereArchiveWrapper::statusOfMostRecentVersionForURL(const QString& url) const
{
    const auto version = indexDictionaryRepresentationOfMostRecentVersionForURL(url);
    const QVariant status = version ? version->value(QStringLiteral("status")) : QVariant();
    if (!status.isValid())
        return std::nullopt;
    return status.toLongLong();
}

QString CrawlmereArchiveWrapper::fullFilePathForFile(const QString& fileName) const
{
    return strings::appendingPathComponent(location, fileName);
}

std::optional<QByteArray> CrawlmereArchiveWrapper::readFile(const QString& fileName) const
{
    if (!isPlainFileName(fileName))
        return std::nullopt;
    QFile file(detail::childPath(location, fileName));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return std::nullopt;
    return file.readAll();
}

std::optional<QString> CrawlmereArchiveWrapper::textOf(const std::optional<QByteArray>& data, const QString& what) const
{
    if (!data) {
        logLine(0, QStringLiteral("unable to get data using dataRepresentationOfThisVersion: for %1").arg(what));
        return std::nullopt;
    }
    return dataToString(*data);
}

std::optional<QString> CrawlmereArchiveWrapper::stringRepresentationOfMostRecentVersionForURL(const QString& url) const
{
    return textOf(dataRepresentationOfMostRecentVersionForURL(url), url);
}

std::optional<QString> CrawlmereArchiveWrapper::stringRepresentationOfVersionWithFilename(
    const QString& fileName, const QString& url) const
{
    return textOf(dataRepresentationOfVersionWithFilename(fileName, url), fileName);
}

std::optional<QString> CrawlmereArchiveWrapper::stringRepresentationOfVersion(
    const QVariantMap& version, const QString& /*url*/) const
{
    return textOf(dataRepresentationOfThisVersion(version), version.value(kFilename).toString());
}

std::optional<qsizetype> CrawlmereArchiveWrapper::previousIndex(
    const QVariantList& versions, const QString& fileName) const
{
    for (qsizetype i = 1; i < versions.size(); ++i) {
        if (versions.at(i).toMap().value(kFilename).toString() == fileName)
            return i - 1;
    }
    return std::nullopt;
}

std::optional<QString> CrawlmereArchiveWrapper::stringRepresentationOfPreviousVersionOfVersionWithFilename(
    const QString& fileName, const QString& url) const
{
    const QVariantList versions = versionsOf(url);
    const auto previous = previousIndex(versions, fileName);
    if (!previous)
        return std::nullopt;
    return stringRepresentationOfVersion(versions.at(*previous).toMap(), url);
}

QString CrawlmereArchiveWrapper::URLForVersionWithFilename(const QString& fileName) const
{
    for (auto it = indexDictionary.cbegin(); it != indexDictionary.cend(); ++it) {
        for (const QVariant& version : it.value().toList()) {
            if (version.toMap().value(kFilename).toString() == fileName)
                return it.key();
        }
    }
    return QString();
}

std::optional<QVariantMap> CrawlmereArchiveWrapper::versionForURL(const QString& url, const QString& fileName) const
{
    for (const QVariant& version : versionsOf(url)) {
        if (version.toMap().value(kFilename).toString() == fileName)
            return version.toMap();
    }
    return std::nullopt;
}

std::optional<QByteArray> CrawlmereArchiveWrapper::dataRepresentationOfThisVersion(const QVariantMap& version) const
{
    if (!version.contains(kFilename))
        return std::nullopt;
    return readFile(version.value(kFilename).toString());
}

std::optional<QByteArray> CrawlmereArchiveWrapper::dataRepresentationOfMostRecentVersionForURL(const QString& url) const
{
    const auto version = indexDictionaryRepresentationOfMostRecentVersionForURL(url);
    return version ? dataRepresentationOfThisVersion(*version) : std::nullopt;
}

std::optional<QByteArray> CrawlmereArchiveWrapper::dataRepresentationOfVersionWithFilename(
    const QString& fileName, const QString& /*url*/) const
{
    return readFile(fileName);
}

std::optional<QByteArray> CrawlmereArchiveWrapper::dataRepresentationOfPreviousVersionOfVersionWithFilename(
    const QString& fileName, const QString& url) const
{
    const QVariantList versions = versionsOf(url);
    const auto previous = previousIndex(versions, fileName);
    if (!previous)
        return std::nullopt;
    return dataRepresentationOfThisVersion(versions.at(*previous).toMap());
}

std::optional<QDateTime> CrawlmereArchiveWrapper::dateOfNthVersion(qint64 n, const QString& url) const
{
    const auto version = indexDictionaryRepresentationOfNthVersion(n, url);
    if (!version || !version->value(kDate).isValid())
        return std::nullopt;
    return version->value(kDate).toDateTime();
}

std::optional<QVariantMap> CrawlmereArchiveWrapper::indexDictionaryRepresentationOfMostRecentVersionForURL(
    const QString& url) const
{
    const QVariantList versions = versionsOf(url);
    if (versions.isEmpty())
        return std::nullopt;
    return versions.last().toMap();
}

std::optional<QVariantMap> CrawlmereArchiveWrapper::indexDictionaryRepresentationOfMostRecentVersionForUrl(
    const QString& url, const QDateTime& date) const
{
    if (url.isEmpty())
        return std::nullopt;
    QVariantList versions = versionsOf(url);
    if (versions.isEmpty()) {
        if (strings::lastPathComponent(url).contains(u'.'))
            return std::nullopt;
        versions = versionsOf(url.endsWith(u'/') ? url.chopped(1) : url + u'/');
    }
    std::optional<QVariantMap> candidate;
    for (const QVariant& entry : std::as_const(versions)) {
        const QVariantMap version = entry.toMap();
        const QVariant when = version.value(kDate);
        if (when.isValid() && when.toDateTime() > date)
            break;
        candidate = version;
    }
    return candidate;
}

std::optional<QVariantMap> CrawlmereArchiveWrapper::indexDictionaryRepresentationOfNthVersion(
    qint64 n, const QString& url) const
{
    const QVariantList versions = versionsOf(url);
    if (n < 0 || n >= versions.size())
        return std::nullopt;
    return versions.at(n).toMap();
}

QString CrawlmereArchiveWrapper::filenameRepresentationOfMostRecentVersionForUrl(const QString& url) const
{
    const auto version = indexDictionaryRepresentationOfMostRecentVersionForURL(url);
    return version ? version->value(kFilename).toString() : QString();
}

QString CrawlmereArchiveWrapper::filenameRepresentationOfMostRecentVersionForUrl(
    const QString& url, const QDateTime& date) const
{
    const auto version = indexDictionaryRepresentationOfMostRecentVersionForUrl(url, date);
    return version ? version->value(kFilename).toString() : QString();
}

QString CrawlmereArchiveWrapper::fullFilepathRepresentationOfMostRecentVersionForURL(const QString& url) const
{
    return fullFilePathForFile(filenameRepresentationOfMostRecentVersionForUrl(url));
}

std::optional<QString> CrawlmereArchiveWrapper::dataToString(const QByteArray& data)
{
    using namespace platform::Encoding;
    if (auto text = platform::TextEncoding::decode(data, UTF8))
        return text;
    struct Fallback {
        platform::EncodingId id;
        const char* name;
    };
    static constexpr Fallback fallbacks[]
        = { { UTF8, "UTF-8" }, { WindowsCP1252, "Windows-1252" }, { ISOLatin1, "ISO Latin 1" },
              { ISOLatin2, "ISO Latin 2" }, { WindowsCP1251, "Windows-1251" }, { WindowsCP1253, "Windows-1253" },
              { WindowsCP1254, "Windows-1254" }, { WindowsCP1250, "Windows-1250" }, { MacOSRoman, "Mac OS Roman" },
              { Unicode, "UTF-16" }, { NonLossyASCII, "non-lossy ASCII" }, { ASCII, "ASCII" } };
    for (const Fallback& fallback : fallbacks) {
        if (auto text = platform::TextEncoding::decode(data, fallback.id)) {
            logLine(1, QStringLiteral("converted data to string using %1").arg(QLatin1String(fallback.name)));
            return text;
        }
    }
    logLine(0, QStringLiteral("failed to convert data to string using any encoding"));
    return std::nullopt;
}

bool CrawlmereArchiveWrapper::rangeIsWithinCodeOf(qsizetype start, qsizetype length, const QString& text)
{
    return strings::rangeIsWithinCodeOf(start, length, text);
}

std::pair<qsizetype, qsizetype> CrawlmereArchiveWrapper::firstURLOccurrenceInStyleSheetSource(
    const QString& text, qsizetype from)
{
    return CrwlParser::firstURLOccurrenceInStyleSheetSource(text, from);
}

QVariantMap CrawlmereArchiveWrapper::indexOfImagesInCSSFileWithURL(const QString& url, const QDateTime& date) const
{
    QVariantMap map;
    const auto text = stringRepresentationOfMostRecentVersionForURL(url);
    if (!text) {
        logLine(0,
            QStringLiteral("indexOfImagesInCSSFileWithURL unable to obtain string version of %1 - dipping out")
                .arg(url));
        return map;
    }
    const auto base = detail::urlFromText(url);
    if (!base)
        return map;
    for (qsizetype from = 0;;) {
        const auto [start, length] = firstURLOccurrenceInStyleSheetSource(*text, from);
        if (start < 0)
            break;
        from = start + 5;
        const auto resolved = Url::resolved(strings::trimmingQuotesAndSpaces(text->mid(start, length)), *base);
        if (!resolved)
            continue;
        const QString absolute = resolved->absoluteString();
        const auto version = indexDictionaryRepresentationOfMostRecentVersionForUrl(absolute, date.addSecs(300));
        if (version && !map.contains(absolute))
            map.insert(absolute, QVariantList { *version });
    }
    return map;
}

QVariantMap CrawlmereArchiveWrapper::indexOfFilesForVersion(const QVariantMap& version, const QString& url) const
{
    QVariantMap map { { url, QVariantList { version } } };
    const auto data = dataRepresentationOfThisVersion(version);
    if (!data)
        return map;
    CrwlParser::Options options;
    options.checkNoIndex = true;
    options.useEncoding = platform::Encoding::UTF8;
    options.fileType = CrwlParser::HTML;
    options.lazyload = true;
    // Images and linked files are what the map is for, whatever the defaults say.
    options.checkImages = true;
    options.linkedFiles = true;
    const auto parser = CrwlParser::initWithData(*data, options);
    if (!parser)
        return map;
    const QString baseHref = parser->getBaseHref();
    const bool ownBase = baseHref.isEmpty() || baseHref == u"/" || baseHref == u"//";
    const auto base = detail::urlFromText(ownBase ? url : baseHref);
    if (!base)
        return map;
    const QDateTime date = version.value(kDate).toDateTime();
    int styleSheets = 0;
    while (const auto href = parser->getNextHref()) {
        const auto resolved = Url::resolved(*href, *base);
        if (!resolved)
            continue;
        const QString absolute = resolved->absoluteString();
        const auto found = indexDictionaryRepresentationOfMostRecentVersionForUrl(absolute, date);
        if (!found)
            continue;
        const QString fileName = found->value(kFilename).toString();
        if ((strings::containsCaseInsensitive(strings::pathExtension(fileName), u"css")
                || strings::containsCaseInsensitive(fileName, u".css?"))
            && styleSheets++ < kMaxStyleSheetsPerPage) {
            const QVariantMap images = indexOfImagesInCSSFileWithURL(absolute, date);
            for (auto it = images.cbegin(); it != images.cend(); ++it) {
                if (!map.contains(it.key()))
                    map.insert(it.key(), it.value());
            }
        }
        if (found->value(QStringLiteral("type")).toLongLong() == 2 && !map.contains(absolute))
            map.insert(absolute, QVariantList { *found });
    }
    return map;
}

// ===== Writer ===============================================================================

QString CrawlmereArchiveWrapper::getUniqueFilenameForURL(const QString& url) const
{
    const QDateTime now = QDateTime::currentDateTime();
    if (!detail::urlFromText(url))
        return QStringLiteral("nourl") + ArchiveWriter::archiveStamp(now);
    QString text = url;
    QString forcedExtension;
    for (const QLatin1StringView cut : { QLatin1StringView(".css?"), QLatin1StringView(".js?") }) {
        const qsizetype at = text.indexOf(cut);
        if (at >= 0) {
            forcedExtension = cut.mid(1, cut.size() - 2).toString();
            text = text.left(at);
            break;
        }
    }
    QString name
        = ArchiveWriter::fileNameForURL(text + (forcedExtension.isEmpty() ? QString() : u'.' + forcedExtension), now);
    return name.remove(u'?');
}

void CrawlmereArchiveWrapper::addNewVersionForURL(
    const QString& url, const std::optional<QByteArray>& data, qint64 reason)
{
    const QByteArray bytes = data ? *data : dataRepresentationOfMostRecentVersionForURL(url).value_or(QByteArray());
    // A name another version took in the same millisecond gets a counter, so no version's file
    // is ever replaced by another's bytes.
    const QString wanted = getUniqueFilenameForURL(url);
    QString fileName = detail::ExclusiveFile::create(location, bytes, ArchiveWriter::kMaxNameClashes,
        [&](int attempt) { return ArchiveWriter::nameForAttempt(wanted, attempt); });
    if (fileName.isNull()) {
        logLine(0, QStringLiteral("unable to write a new version of %1 to %2").arg(url, location));
        fileName = wanted;
    }
    QVariantList versions = versionsOf(url);
    versions.append(QVariantMap { { QStringLiteral("reason"), reason }, { kFilename, fileName },
        { kDate, QDateTime::currentDateTime() }, { QStringLiteral("type"), 2 } });
    indexDictionary.insert(detail::indexKey(url), versions);
    changesToIndex = true;
}

void CrawlmereArchiveWrapper::addNewVersionForURL(
    const QString& url, const CrawlmereArchiveWrapper& source, qint64 reason, const QVariantList& resourceChanges)
{
    const auto version = source.indexDictionaryRepresentationOfMostRecentVersionForURL(url);
    if (!version || !version->contains(kFilename) || !version->contains(kDate))
        return;
    const QString fileName = version->value(kFilename).toString();
    const auto bytes = source.dataRepresentationOfThisVersion(*version);
    const QString target = detail::childPath(location, fileName);
    if (bytes && isPlainFileName(fileName))
        QFile::remove(target);
    if (!bytes || !isPlainFileName(fileName) || !detail::ExclusiveFile::createAt(target, *bytes)) {
        logLine(0,
            QStringLiteral("error copying file %1 to %2: %3")
                .arg(source.fullFilePathForFile(fileName), target, QStringLiteral("cannot be copied")));
        return;
    }
    const QVariant status = version->value(QStringLiteral("status"));
    QVariantList versions = versionsOf(url);
    versions.append(
        QVariantMap { { QStringLiteral("reason"), reason }, { QStringLiteral("resourceChanges"), resourceChanges },
            { kFilename, fileName }, { kDate, QDateTime::currentDateTime() }, { QStringLiteral("type"), 1 },
            { QStringLiteral("status"), status.isValid() ? status : QVariant(QString()) } });
    indexDictionary.insert(detail::indexKey(url), versions);
    changesToIndex = true;
}

void CrawlmereArchiveWrapper::processCSSFileWithURL(const QString& url)
{
    auto text = stringRepresentationOfMostRecentVersionForURL(url);
    const QString sheetFile = filenameRepresentationOfMostRecentVersionForUrl(url);
    const auto base = detail::urlFromText(url);
    if (!text || !base || !isPlainFileName(sheetFile)) {
        logLine(0, QStringLiteral("unable to process the style sheet %1").arg(url));
        return;
    }
    bool replaced = false;
    for (qsizetype from = 0;;) {
        const auto [start, length] = firstURLOccurrenceInStyleSheetSource(*text, from);
        if (start < 0)
            break;
        from = start + length + 1;
        const auto resolved = Url::resolved(strings::trimmingQuotesAndSpaces(text->mid(start, length)), *base);
        if (!resolved) {
            logLine(1, QStringLiteral("unable to make base url for %1").arg(text->mid(start, length)));
            continue;
        }
        const QString resource = resolved->absoluteString();
        const platform::UrlLoadResult loaded = platform::UrlSession::loadSynchronously(
            platform::UrlRequest(resource, static_cast<double>(kFetchTimeout.count())), kFetchTimeout);
        if (loaded.succeeded() && !loaded.body.isEmpty()) {
            if (numberOfVersionsForURL(resource) == 0)
                addNewVersionForURL(resource, loaded.body, 0);
            else if (dataRepresentationOfMostRecentVersionForURL(resource) != loaded.body)
                addNewVersionForURL(resource, loaded.body, 4);
        } else {
            logLine(1, QStringLiteral("unable to fetch %1 for the style sheet %2").arg(resource, url));
        }
        const QString newest = filenameRepresentationOfMostRecentVersionForUrl(resource);
        if (newest.isEmpty())
            continue;
        const QString replacement = QStringLiteral("'%1'").arg(newest);
        text->replace(start, length, replacement);
        from = start + replacement.size() + 1;
        replaced = true;
    }
    const QString output = detail::childPath(location, u'R' + sheetFile);
    if (replaced || !QFile::exists(output)) {
        QFile::remove(output);
        if (!detail::ExclusiveFile::createAt(output, text->toUtf8()))
            logLine(0, QStringLiteral("unable to write the style sheet %1").arg(output));
    }
}

bool CrawlmereArchiveWrapper::writeChangesToIndexIfNecessary()
{
    if (!changesToIndex)
        return true;
    const QString path = QDir(location).filePath(kIndexFile);
    QFile::remove(path);
    return platform::PropertyList::writeXmlFile(path, indexDictionary).ok();
}

std::optional<QString> CrawlmereArchiveWrapper::deleteArchive()
{
    logLine(1, QStringLiteral("wrapper deleting %1").arg(location));
    if (!QDir(location).removeRecursively())
        return QStringLiteral("unable to delete %1").arg(location);
    return std::nullopt;
}

} // namespace crawlmere::archive
