// The page archive of a scan: files, names, the index and its property list.
#include "archive/ArchiveWriter.h"

#include "archive/detail/ExclusiveFile.h"
#include "archive/detail/UrlText.h"
#include "engine/CrwlTermsMatcher.h"
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "engine/Z12Ara.h"
#include "engine/LookupKeys.h"
#include "engine/SettingsValue.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>

#include <atomic>

namespace crawlmere::archive {

using engine::settingBool;
using platform::logLine;
namespace strings = platform::strings;

namespace {

// Room left after the stem for the stamp, a clash counter and a dot.
constexpr qsizetype kStampAndCounterBytes = 17 + 8 + 1;

QString withoutControlCharacters(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'_';
    }
    return text;
}

const QLatin1StringView kClearedInfix(".cleared-");

/// Deletes a folder moved aside; a symbolic link is removed, never followed.
void deleteClearedFolder(const QString& path)
{
    const QFileInfo info(path);
    const bool removed = info.isSymLink() ? QFile::remove(path) : QDir(path).removeRecursively();
    if (!removed)
        logLine(1, QStringLiteral("unable to delete the cleared archive folder %1").arg(path));
}

/// A name in the folder's parent no other clearing takes, in this run or another.
QString clearedName(const QString& folder)
{
    static std::atomic<quint64> counter { 0 };
    const QFileInfo info(folder);
    return info.dir().filePath(
        QStringLiteral("%1%2%3-%4-%5")
            .arg(info.fileName(), kClearedInfix, QString::number(QCoreApplication::applicationPid()),
                QString::number(QDateTime::currentMSecsSinceEpoch()), QString::number(counter.fetch_add(1))));
}

/// The index with each redirect's address listed under the page it leads to (see `saveArchive`).
QVariantMap withRedirects(QVariantMap index, const QMap<QString, QString>& redirects)
{
    if (redirects.isEmpty())
        return index;
    const auto lookupKey = [](const QString& url) {
        return engine::prepareUrlForLookup(url, /*shouldIgnoreSlash=*/true);
    };
    QHash<QString, QString> keyOf; // lookup form → index key; an exact key is preferred
    for (auto it = index.cbegin(); it != index.cend(); ++it)
        keyOf.insert(lookupKey(it.key()), it.key());
    QMap<QString, QStringList> sources; // index key of the page → addresses leading to it
    for (auto it = redirects.cbegin(); it != redirects.cend(); ++it) {
        if (index.contains(it.key()) || keyOf.contains(lookupKey(it.key())))
            continue; // archived itself: links to it lead to its own copy
        const QString target = detail::indexKey(it.value());
        const QString key = index.contains(target) ? target : keyOf.value(lookupKey(target));
        if (!key.isEmpty())
            sources[key].append(it.key());
    }
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
        QVariantList versions = index.value(it.key()).toList();
        if (versions.isEmpty())
            continue;
        QVariantMap newest = versions.last().toMap();
        newest.insert(ArchiveWriter::kRedirectedFromKey, it.value()); // sorted: the map's order
        versions.last() = newest;
        index.insert(it.key(), versions);
    }
    return index;
}

} // namespace

ArchiveWriter::ArchiveWriter(platform::UserDefaults& store, QString archiveFolder, Clock archiveClock)
    : defaults(store)
    , folder(std::move(archiveFolder))
    , clock(std::move(archiveClock))
{
    if (folder.isNull())
        folder = QDir(platform::Paths::applicationSupportFolder()).filePath(QStringLiteral("archive"));
    if (!clock)
        clock = [] { return QDateTime::currentDateTime(); };
    clearingQueue = [](std::function<void()> work) { platform::Dispatch::toGlobal(std::move(work)); };

    // Folders an earlier run moved aside and did not live to delete.
    const QFileInfo info(folder);
    const QStringList leftovers = info.dir().entryList({ info.fileName() + kClearedInfix + u'*' },
        QDir::Dirs | QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : leftovers)
        clearingQueue([path = info.dir().filePath(name)] { deleteClearedFolder(path); });
}

QString ArchiveWriter::archiveLocation()
{
    // Under the application-support folder it is the user's alone, as that folder is.
    QDir dir(folder);
    if (!dir.exists() && !platform::Paths::makeFolder(folder))
        logLine(
            1, QStringLiteral("error creating directory at %1 - %2").arg(folder, QStringLiteral("cannot create it")));
    return folder;
}

void ArchiveWriter::clearArchiveFolder()
{
    if (QDir(folder).exists()) {
        // A rename in one folder takes no time whatever the folder holds; the deletion can.
        const QString aside = clearedName(folder);
        if (QDir().rename(folder, aside))
            clearingQueue([aside] { deleteClearedFolder(aside); });
        else if (!QDir(folder).removeRecursively())
            logLine(1, QStringLiteral("unable to delete the archive folder %1").arg(folder));
    }
    std::lock_guard lock(archiveIndexLock);
    index = QVariantMap();
    redirects.clear();
}

QVariantMap ArchiveWriter::archiveIndex() const
{
    std::lock_guard lock(archiveIndexLock);
    return withRedirects(index, redirects);
}

QString ArchiveWriter::archiveStamp(const QDateTime& when)
{
    const int hour = when.time().hour() % 12;
    return when.toString(QStringLiteral("yyyyMMdd"))
        + QStringLiteral("%1").arg(hour == 0 ? 12 : hour, 2, 10, QChar(u'0'))
        + when.toString(QStringLiteral("mmsszzz"));
}

QString ArchiveWriter::fileNameForURL(const QString& urlText, const QDateTime& when)
{
    auto url = platform::Url::fromString(urlText);
    if (!url)
        url = platform::Url::fromString(PunycodeAdditions::encodedURLString(urlText));
    const qsizetype schemeLength = url ? url->scheme().size() : 0;
    const qsizetype hostLength = url ? url->host().size() : 0;
    QString rest;
    if (schemeLength + hostLength + 4 < urlText.size())
        rest = urlText.mid(schemeLength + hostLength + 4);
    else if (urlText.size() > 7)
        rest = urlText.mid(7);

    const QString extension = strings::pathExtension(rest);
    QString stem = extension.isEmpty() ? rest : strings::deletingPathExtension(rest);
    while (stem.endsWith(u'/'))
        stem.chop(1);
    stem = withoutControlCharacters(stem.remove(u'/'));
    QString tail = withoutControlCharacters(QString(extension).remove(u'/'));
    // A long query can make the extension alone too long: it is cut first, then the stem.
    tail = strings::leftFittingUtf8Bytes(tail, kMaxFileNameBytes / 2);
    const qsizetype tailBytes = tail.isEmpty() ? 0 : tail.toUtf8().size() + 1;
    stem = strings::leftFittingUtf8Bytes(stem, kMaxFileNameBytes - kStampAndCounterBytes - tailBytes);
    QString name = stem + archiveStamp(when);
    if (!tail.isEmpty())
        name += u'.' + tail;
    return name;
}

void ArchiveWriter::archivePage(const CrwlUrl& record)
{
    const SharedCrawlSettings& settings = record.getCrawlSettings();
    const QString& text = record.absoluteString();
    // The site's rule lists, as the scan's settings hold them.
    if (defaults.value(defaultsKey::skipArchiveBasedOnBlackAndWhitelists) && settings) {
        const QStringList blacklist = Z12Ara::trimEachItemInArray(settings->value(crawlKey::followBlacklistArray));
        if (!CrwlTermsMatcher::stringContainsOneOfTheseTerms(text, blacklist).isEmpty())
            return;
        const QStringList whitelist = Z12Ara::trimEachItemInArray(settings->value(crawlKey::followWhitelistArray));
        if (!whitelist.isEmpty() && CrwlTermsMatcher::stringContainsOneOfTheseTerms(text, whitelist).isEmpty())
            return;
    }
    // A single-page scan keeps its starting page only (the final address's page when the
    // starting point redirects).
    if (settingBool(settings, crawlKey::singlePage) && !record.isStartingPoint()) {
        const auto owner = record.getOwner();
        if (!owner || !owner->isStartingPage(record))
            return;
    }
    qint64 type = 0;
    if (record.isHTML())
        type = 1;
    if (record.isCSS() || record.isJS() || record.isImage() || record.isDOCX())
        type = 2;
    QVariantMap version;
    // A body the fetch did not read whole is only a part of the page: archived, it would stand
    // in the copy for the whole of it. Its entry says why it is missing.
    const QByteArray data = record.getData();
    const auto bodyRead = record.bodyRead();
    if (bodyRead == CrwlUrl::BodyRead::OverCap || (bodyRead == CrwlUrl::BodyRead::CutOff && data.size() >= 2)) {
        const QString why = bodyRead == CrwlUrl::BodyRead::OverCap
            ? QStringLiteral("its body is larger than %1 bytes and was not read whole").arg(CrwlUrl::maxBodyBytes())
            : QStringLiteral("its body was cut off before its end");
        logLine(1, QStringLiteral("not archiving %1: %2").arg(text, why));
        version.insert(kNotArchivedKey, why);
        version.insert(QStringLiteral("date"), clock());
        version.insert(QStringLiteral("status"), record.getStatus());
        version.insert(QStringLiteral("type"), type);
        std::lock_guard lock(archiveIndexLock);
        index.insert(detail::indexKey(text), QVariantList { version });
        return;
    }
    // 3-4. Data of at least 2 bytes.
    if (data.size() < 2)
        return;

    const QString location = archiveLocation();
    const QString name = fileNameForURL(text, clock());
    QString written = detail::ExclusiveFile::create(
        location, data, kMaxNameClashes, [&](int attempt) { return nameForAttempt(name, attempt); });
    if (written.isEmpty()) {
        logLine(0, QStringLiteral("error archiving page to %1").arg(detail::childPath(location, name)));
        written = name;
    }

    version.insert(QStringLiteral("filename"), written);
    version.insert(QStringLiteral("date"), clock());
    version.insert(QStringLiteral("status"), record.getStatus());
    version.insert(QStringLiteral("type"), type);
    if (type == 1) {
        // The charset the scan read the page in before its own markup said more.
        platform::EncodingId readAs = record.declaredTextEncoding();
        if (const auto owner = record.getOwner(); readAs == 0 && owner)
            readAs = owner->getDetectedEncoding();
        if (const QString charset = platform::TextEncoding::ianaName(readAs); !charset.isEmpty())
            version.insert(kCharsetKey, charset);
    }
    std::lock_guard lock(archiveIndexLock);
    index.insert(detail::indexKey(text), QVariantList { version });
}

void ArchiveWriter::archiveRedirect(const CrwlUrl& record)
{
    const QString target = record.getRedir();
    if (target.isEmpty())
        return;
    QStringList addresses { record.absoluteString() };
    const QVariantList hops = record.redirectArray();
    for (qsizetype i = 0; i + 1 < hops.size(); ++i)
        addresses.append(hops.at(i).toMap().value(QStringLiteral("url")).toString());
    std::lock_guard lock(archiveIndexLock);
    for (const QString& address : std::as_const(addresses)) {
        if (!address.isEmpty() && address != target)
            redirects.insert(detail::indexKey(address), target);
    }
}

QString ArchiveWriter::nameForAttempt(const QString& name, int attempt)
{
    if (attempt == 0)
        return name;
    const QString extension = strings::pathExtension(name);
    const QString stem = extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
    return stem + u'-' + QString::number(attempt) + (extension.isEmpty() ? QString() : u'.' + extension);
}

bool ArchiveWriter::saveArchive()
{
    const QVariantMap copy = archiveIndex();
    const auto written
        = platform::PropertyList::writeXmlFile(QDir(archiveLocation()).filePath(QStringLiteral("index.plist")), copy);
    std::lock_guard lock(archiveIndexLock);
    if (!written.ok()) {
        saveError = written.error();
        logLine(1, QStringLiteral("unable to write the archive index: %1").arg(saveError));
        return false;
    }
    saveError = QString();
    return true;
}

QString ArchiveWriter::lastSaveError() const
{
    std::lock_guard lock(archiveIndexLock);
    return saveError;
}

} // namespace crawlmere::archive
