// Construction of URL records, the link URL and its forms, and the record's plain fields.
#include "engine/CrwlUrl.h"

#include "engine/PunycodeAdditions.h"
#include "engine/detail/BlockPool.h"
#include "engine/detail/CrwlUrlCaches.h"
#include "engine/LookupKeys.h"
#include "engine/detail/RecordReference.h"
#include "engine/SettingsValue.h"
#include "platform/UserDefaults.h"

#include <QLocale>
#include <QTimeZone>

#include <array>

using crawlmere::engine::settingBool;
using crawlmere::platform::Url;
using crawlmere::platform::UserDefaults;

// ===== Construction ===========================================================================

CrwlUrl::CrwlUrl()
{
    initialise();
    setCrawlDefaultValues();
}

CrwlUrl::CrwlUrl(const std::shared_ptr<CrwlURLDelegate>& recordOwner, Settings settings)
{
    initialise();
    crawlSettings = std::move(settings);
    owner = recordOwner;
    setCrawlDefaultValues();
}

CrwlUrl::~CrwlUrl() { crawlmere::engine::detail::RecordReference::release(sharedReference); }

std::shared_ptr<CrwlUrl> CrwlUrl::make(const std::shared_ptr<CrwlURLDelegate>& recordOwner, Settings settings)
{
    return std::allocate_shared<CrwlUrl>(
        crawlmere::engine::detail::PooledAllocator<CrwlUrl>(), recordOwner, std::move(settings));
}

UserDefaults* CrwlUrl::userDefaults() { return &UserDefaults::standard(); }

void CrwlUrl::initialise()
{
    // Every other field starts at its declared value: null strings and empty lists for the
    // fields that start as nothing, 0 for counters and times, status -1 (not yet checked),
    // isHTML and isInternal YES, the other flags NO.
    mimeTypeText = QStringLiteral("");
    changeFrequency = QStringLiteral("");
    setVisible(true);
}

// ===== Link URL ===============================================================================

namespace {

/// Escapes that change what a URL means when decoded: "/" and "?" move the path and query
/// apart, "#" starts a fragment, "&", "+" and "=" split query parameters, "%" starts an escape.
constexpr std::array<QLatin1String, 7> meaningfulEscapes = {
    QLatin1String("2F"),
    QLatin1String("3F"),
    QLatin1String("23"),
    QLatin1String("26"),
    QLatin1String("2B"),
    QLatin1String("3D"),
    QLatin1String("25"),
};

/// Stand-ins for the kept escapes while the rest is decoded: Unicode noncharacters, which no
/// decoding produces or changes.
constexpr char16_t firstGuard = 0xFDD0;
constexpr char16_t lastGuard = firstGuard + char16_t(meaningfulEscapes.size() - 1);

/// `decodedURLString` of a link URL, but with the meaningful escapes left as they were written,
/// so that the URL requested later is the URL the page gave.
QString decodedKeepingMeaningfulEscapes(const QString& url)
{
    for (const QChar c : url) {
        if (c.unicode() >= firstGuard && c.unicode() <= lastGuard)
            return url; // cannot guard its escapes: keep the URL as written
    }
    QString guarded;
    guarded.reserve(url.size());
    QStringList kept;
    for (qsizetype i = 0; i < url.size(); ++i) {
        if (url[i] == u'%' && i + 2 < url.size()) {
            const QStringView pair = QStringView(url).mid(i + 1, 2);
            bool guardedHere = false;
            for (size_t k = 0; k < meaningfulEscapes.size(); ++k) {
                if (pair.compare(meaningfulEscapes[k], Qt::CaseInsensitive) == 0) {
                    guarded.append(QChar(char16_t(firstGuard + k)));
                    kept.append(url.mid(i, 3));
                    i += 2;
                    guardedHere = true;
                    break;
                }
            }
            if (guardedHere)
                continue;
        }
        guarded.append(url[i]);
    }
    const QString decoded = PunycodeAdditions::decodedURLString(guarded);
    QString result;
    result.reserve(decoded.size() + 2 * kept.size());
    qsizetype next = 0;
    for (const QChar c : decoded) {
        if (c.unicode() >= firstGuard && c.unicode() <= lastGuard) {
            // The escapes come back in the order they were taken out; should a part of the URL
            // have been dropped on the way, the escape is written in its usual upper-case form.
            const QString original = next < kept.size() ? kept.at(next) : QString();
            const QString canonical = u'%' + QString(meaningfulEscapes[c.unicode() - firstGuard]);
            result.append(original.compare(canonical, Qt::CaseInsensitive) == 0 ? original : canonical);
            ++next;
            continue;
        }
        result.append(c);
    }
    return result;
}

} // namespace

QString CrwlUrl::decodedLinkURLString(const QString& url) { return decodedKeepingMeaningfulEscapes(url); }

QString CrwlUrl::storedSpellingOf(const QString& url) const
{
    QString stored = url;
    if (stored.contains(u'%'))
        stored = decodedLinkURLString(stored);
    // The file-URL mark from before this call decides: a new record's first URL is trimmed.
    if (!isFileURLFlag)
        stored = trimHash(stored, settingBool(crawlSettings, crawlKey::trimQuery));
    // Scheme and host read alike in any case, and a bare host names its root: the record keeps
    // them as every export writes them, whichever spelling was met first.
    return crawlmere::engine::withStoredSpelling(stored);
}

void CrwlUrl::setLinkURL(const QString& url)
{
    linkURL = storedSpellingOf(url);
    linkURLDecodesToItself = PunycodeAdditions::decodesToItself(linkURL);
    if (!linkURL.isEmpty()) {
        const auto recordOwner = owner.lock();
        const auto self = weak_from_this().lock();
        if (recordOwner && self)
            recordOwner->addToLookup(self, linkURL);
    }
    if (linkURL.startsWith(u"file://"))
        isFileURLFlag = true;
    const std::lock_guard lock(nsurlLock);
    nsurl.reset();
}

QString CrwlUrl::getAbsoluteStringDecoded() const
{
    return linkURLDecodesToItself ? linkURL : PunycodeAdditions::decodedURLString(linkURL);
}

QString CrwlUrl::finalURLString() const
{
    if (getRedirectCount() == 0)
        return linkURL;
    const std::lock_guard lock(redirLock);
    if (!chain || chain->target.isEmpty())
        return linkURL;
    if (!chain->lastHopOnlyRecorded)
        return chain->target;
    // The hop before the one only recorded, if any, is where the body came from.
    const qsizetype followed = chain->hops.size() - 1;
    return followed > 0 ? chain->hops.at(followed - 1).toMap().value(QStringLiteral("url")).toString() : linkURL;
}

QString CrwlUrl::finalURLStringDecoded() const { return PunycodeAdditions::decodedURLString(finalURLString()); }

QString CrwlUrl::getLinkurl() const { return PunycodeAdditions::encodedURLString(forceTrimHash(linkURL)); }

QString CrwlUrl::getLinkUrlForTesting() const
{
    if (isFileURLFlag)
        return PunycodeAdditions::encodedURLString(linkURL);
    const QString target = getRedir();
    QString url = forceTrimHash(target.isEmpty() ? linkURL : target);
    const QString decoded = PunycodeAdditions::decodedURLString(url);
    if (decoded.contains(u'{')) {
        url = decoded;
        url.replace(QStringLiteral("{width}"), QStringLiteral("250"));
    }
    return PunycodeAdditions::encodedURLString(url);
}

std::optional<Url> CrwlUrl::getNSURL() const
{
    const std::lock_guard lock(nsurlLock);
    if (nsurl)
        return *nsurl;
    std::optional<Url> made;
    if (!linkURL.startsWith(u"file://")) {
        const QString final = finalURLString();
        made = Url::fromString(final);
        if (!made)
            made = Url::fromString(PunycodeAdditions::encodedURLString(final));
    } else {
        const QString path = linkURL.mid(7);
        made = Url::fromLocalFile(path);
        if (!made)
            made = Url::fromLocalFile(PunycodeAdditions::encodedPath(path));
    }
    if (made)
        nsurl = std::make_unique<Url>(*made);
    return made;
}

QString CrwlUrl::getHost() const
{
    const auto url = getNSURL();
    return url ? url->host() : QString();
}

// ===== Plain fields ===========================================================================

void CrwlUrl::setMimeType(const QString& value)
{
    thread_local QString lastType;
    if (value == lastType && value.isNull() == lastType.isNull()) {
        mimeTypeText = lastType;
        return;
    }
    mimeTypeText = value;
    lastType = value;
}

QString CrwlUrl::mimeType() const { return mimeTypeText.isNull() ? QStringLiteral("") : mimeTypeText; }

QString CrwlUrl::getCanonical() const { return canonical.isNull() ? QStringLiteral("") : canonical; }

QString CrwlUrl::getLastmodified() const
{
    return targetLastModified.isValid() ? targetLastModified.toString(QStringLiteral("yyyy-MM-dd"))
                                        : QStringLiteral("");
}

// ===== Setters with a rule ====================================================================

void CrwlUrl::setData(const QByteArray& value)
{
    if (value.isNull() && !bodies)
        return;
    bodiesRef().data = value;
    dropNullBodies();
}

void CrwlUrl::clearData()
{
    if (!bodies)
        return;
    bodies->data.clear();
    dropNullBodies();
}

CrwlUrl::Bodies& CrwlUrl::bodiesRef()
{
    if (!bodies)
        bodies = std::make_unique<Bodies>();
    return *bodies;
}

void CrwlUrl::dropNullBodies()
{
    if (bodies && bodies->data.isNull() && bodies->sourceData.isNull())
        bodies.reset();
}

void CrwlUrl::setCanonical(const QString& value)
{
    if (!value.isNull())
        canonical = value;
}

void CrwlUrl::setChangeFrequency(const QString& value)
{
    if (!value.isNull())
        changeFrequency = value;
}

const QString& CrwlUrl::getChangefrequency() const { return changeFrequency; }

void CrwlUrl::setTypeAttribute(const QString& value)
{
    // Only a non-empty type is ever read.
    if (caches || !value.isEmpty())
        cachesRef().typeAttribute = value;
}

void CrwlUrl::setPriority(std::optional<double> value)
{
    if (caches || value)
        cachesRef().priority = value;
}

std::optional<double> CrwlUrl::getPriority() const { return caches ? caches->priority : std::nullopt; }

void CrwlUrl::setJsonld(const QVariantList& value)
{
    if (caches || !value.isEmpty())
        cachesRef().jsonld = value;
}

const QVariantList& CrwlUrl::getJsonld() const
{
    static const QVariantList none;
    return caches ? caches->jsonld : none;
}

void CrwlUrl::setSearchTerms(const QStringList& value)
{
    if (caches || !value.isEmpty())
        cachesRef().searchTerms = value;
}

const QStringList& CrwlUrl::getSearchTerms() const
{
    static const QStringList none;
    return caches ? caches->searchTerms : none;
}

void CrwlUrl::setLinkPageTitle(const QString& value)
{
    if (!value.isNull())
        linkPageTitle = crawlmere::engine::detail::CompactText(value);
}

void CrwlUrl::setDistanceFromHome(qint64 value)
{
    if (distanceFromHome >= 1 && distanceFromHome < value)
        return;
    distanceFromHome = value;
}

void CrwlUrl::setIsBlacklisted(bool value)
{
    isBlacklistedFlag = value;
    if (value && userDefaults()->value(defaultsKey::shouldFlagBlacklisted))
        addWarning(QStringLiteral("The link url is blacklisted by a blacklist / whitelist rule"));
}

namespace {

/// The usual RFC 1123 form exactly as servers send it ("Sun, 06 Nov 1994 08:49:37 GMT"), read
/// without the general date parser; nullopt for anything else (other forms, extra white space,
/// a day name that does not match the date), which the general parser then reads.
std::optional<QDateTime> parseRfc1123Exactly(const QString& text)
{
    if (text.size() != 29 || text[3] != u',' || text[4] != u' ' || text[7] != u' ' || text[11] != u' '
        || text[16] != u' ' || text[19] != u':' || text[22] != u':' || text[25] != u' '
        || QStringView(text).sliced(26) != u"GMT")
        return std::nullopt;
    const auto number = [&](qsizetype at, qsizetype length) -> int {
        int value = 0;
        for (qsizetype i = at; i < at + length; ++i) {
            const char16_t ch = text[i].unicode();
            if (ch < u'0' || ch > u'9')
                return -1;
            value = value * 10 + (ch - u'0');
        }
        return value;
    };
    static constexpr std::array<char16_t[4], 12> kMonths { u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul",
        u"Aug", u"Sep", u"Oct", u"Nov", u"Dec" };
    static constexpr std::array<char16_t[4], 7> kDays { u"Mon", u"Tue", u"Wed", u"Thu", u"Fri", u"Sat", u"Sun" };
    const QStringView monthName = QStringView(text).sliced(8, 3);
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (monthName == QStringView(kMonths[static_cast<size_t>(i)], 3))
            month = i + 1;
    }
    const int day = number(5, 2);
    const int year = number(12, 4);
    const int hour = number(17, 2);
    const int minute = number(20, 2);
    const int second = number(23, 2);
    if (month == 0 || day < 0 || year < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()
        || QStringView(text).first(3) != QStringView(kDays[static_cast<size_t>(date.dayOfWeek() - 1)], 3))
        return std::nullopt;
    return QDateTime(date, time, QTimeZone::utc());
}

/// A Last-Modified value as a point in time: the HTTP date forms (RFC 1123, RFC 850, asctime)
/// and ISO 8601; an invalid QDateTime when none fits.
QDateTime parseHttpDate(const QString& headerValue)
{
    if (auto exact = parseRfc1123Exactly(headerValue))
        return *exact;
    const QString text = headerValue.simplified();
    if (text.isEmpty())
        return {};
    const QLocale c = QLocale::c();
    const auto inUtc = [](QDateTime d) {
        d.setTimeZone(QTimeZone::utc());
        return d;
    };
    // RFC 1123, the usual form: "Sun, 06 Nov 1994 08:49:37 GMT".
    QDateTime date = c.toDateTime(text, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (date.isValid())
        return inUtc(date);
    // The same with a numeric zone ("+0100") or without the day name.
    date = QDateTime::fromString(text, Qt::RFC2822Date);
    if (date.isValid())
        return date;
    // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT" (a two-digit year below 70 is in this century).
    date = c.toDateTime(text, QStringLiteral("dddd, dd-MMM-yy HH:mm:ss 'GMT'"));
    if (date.isValid()) {
        if (date.date().year() < 1970)
            date = date.addYears(100);
        return inUtc(date);
    }
    // asctime: "Sun Nov  6 08:49:37 1994" (the double space is gone after simplified()).
    date = c.toDateTime(text, QStringLiteral("ddd MMM d HH:mm:ss yyyy"));
    if (date.isValid())
        return inUtc(date);
    date = QDateTime::fromString(text, Qt::ISODate);
    return date;
}

} // namespace

void CrwlUrl::setTargetLastModified(const QString& headerValue)
{
    const QDateTime date = parseHttpDate(headerValue);
    // The calendar year ("yyyy"), not the week-based one: 30 December 2024 is in 2024.
    targetLastModified = date.isValid() ? date.toLocalTime().date() : QDate();
}

void CrwlUrl::setFileSize(qint64 bytes)
{
    fileSizeBytes = bytes;
}

void CrwlUrl::setFileSizeCompressed(qint64 bytes) { fileSizeCompressed = bytes / 1024; }

void CrwlUrl::setSentRequest() { sentRequest = QDateTime::currentDateTimeUtc(); }

double CrwlUrl::getTimeSinceSent() const
{
    if (!sentRequest.isValid())
        return 0.0;
    return static_cast<double>(sentRequest.msecsTo(QDateTime::currentDateTimeUtc())) / 1000.0;
}

// ===== Warnings ===============================================================================

void CrwlUrl::addWarning(const QString& warning)
{
    if (warnings.isEmpty())
        warnings.reserve(6);
    warnings.append(warning);
    if (const auto recordOwner = owner.lock())
        recordOwner->sendWarningToWarningsManager(warning, weak_from_this().lock());
}

void CrwlUrl::addWarnings(const QStringList& list)
{
    for (const QString& warning : list)
        addWarning(warning);
}
