// The column keys of a URL record: the text of each column, the sort values behind them, and
// the size, count and time getters the columns are made of.
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/PunycodeAdditions.h"
#include "engine/detail/RedirectOnly.h"
#include "engine/UrlRecordFieldNames.h"
#include "platform/UserDefaults.h"

#include <QHash>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

// ===== Column getters =========================================================================

QString CrwlUrl::getLinkpagetitle() const
{
    return linkPageTitle.isNull() ? QStringLiteral("") : linkPageTitle.toString();
}

namespace {

/// A redirect has no page of its own: it shows the page it leads to. Null for any other record.
std::shared_ptr<CrwlUrl> pageShownInstead(const CrwlUrl& record, const std::shared_ptr<CrwlURLDelegate>& owner)
{
    if (!owner || !crawlmere::engine::detail::isOnlyARedirect(record))
        return nullptr;
    return owner->getFinalRecordOf(record);
}

} // namespace

QString CrwlUrl::getPageTitleShown() const
{
    const auto final = pageShownInstead(*this, owner.lock());
    return final ? final->getLinkpagetitle() : getLinkpagetitle();
}

QString CrwlUrl::getMetadescriptionShown() const
{
    const auto final = pageShownInstead(*this, owner.lock());
    return final ? final->getMetadescription() : getMetadescription();
}

QString CrwlUrl::getH1sShown() const
{
    const auto final = pageShownInstead(*this, owner.lock());
    return final ? final->getH1s() : getH1s();
}

QString CrwlUrl::getMetadescription() const
{
    return metaDescription.isNull() ? QStringLiteral("") : metaDescription.toString();
}

qint64 CrwlUrl::getTitlelength() const { return linkPageTitle.size(); }

qint64 CrwlUrl::getDescriptionlength() const { return metaDescription.size(); }

qint64 CrwlUrl::getLinkcount() const
{
    if (linkCountCache < 0) {
        qint32 count = 0;
        for (const auto& instance : outboundInstanceArray) {
            if (!instance)
                continue;
            const auto target = instance->target();
            if (target && (target->isAudio() || target->isVideo() || target->isImage()))
                continue;
            if (instance->linkTextEquals(u"[linked file]"))
                continue;
            ++count;
        }
        linkCountCache = count;
    }
    return linkCountCache;
}

qint64 CrwlUrl::getImageqty() const { return qint64(linkedImagesArray().size()); }

double CrwlUrl::getImageweight() const
{
    qint64 kilobytes = 0;
    for (const auto& instance : linkedImagesArray()) {
        if (const auto target = instance->target())
            kilobytes += target->getFilesizeinkbytes().value_or(0);
    }
    return double(kilobytes);
}

qint64 CrwlUrl::getNumberofredirectstohere() const
{
    const auto recordOwner = owner.lock();
    return recordOwner ? recordOwner->getNumberOfRedirectsTo(*this) : 0;
}

qint64 CrwlUrl::getPossibleduplicates() const { return qint64(getUrlsWithDuplicatesRefresh(false).size()); }

QString CrwlUrl::getRobots() const
{
    if (headContainsNoFollowFlag && headContainsNoIndexFlag)
        return QStringLiteral("nofollow,noindex");
    if (headContainsNoFollowFlag)
        return QStringLiteral("nofollow");
    if (headContainsNoIndexFlag)
        return QStringLiteral("noindex");
    return QStringLiteral("");
}

std::optional<qint64> CrwlUrl::getFilesizeinkbytes() const
{
    if (const qint64 kilobytes = fileSizeKilobytes(); kilobytes >= 1)
        return kilobytes;
    if (fileSizeCompressed >= 1)
        return fileSizeCompressed;
    return std::nullopt;
}

qint64 CrwlUrl::getFilesize() const
{
    if (fileSizeBytes >= 2)
        return fileSizeKilobytes();
    return fileSizeCompressed;
}

QString CrwlUrl::getFileSize() const
{
    if (!isGoodLink())
        return QStringLiteral("");
    if (const qint64 kilobytes = fileSizeKilobytes(); kilobytes != 0)
        return kilobytes < 1 ? QStringLiteral("") : QStringLiteral("%1kb").arg(kilobytes);
    return fileSizeCompressed >= 1 ? QStringLiteral("?%1kb").arg(fileSizeCompressed) : QStringLiteral("");
}

QString CrwlUrl::getFileSizeCompressed() const { return QStringLiteral("%1kb").arg(fileSizeCompressed); }

namespace {

/// `value` truncated towards zero into a 64-bit integer; NaN gives 0, values beyond the range
/// give its ends.
qint64 truncated(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<qint64>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<qint64>::min();
    return qint64(std::trunc(value));
}

} // namespace

QString CrwlUrl::formatBytes(double kilobytes)
{
    const double bytes = std::isnan(kilobytes) ? 0.0 : kilobytes * 1024.0;
    if (bytes < 1024.0)
        return QStringLiteral("%1b").arg(truncated(bytes));
    if (bytes < 1048576.0)
        return QStringLiteral("%1kb").arg(truncated(bytes / 1024.0));
    if (bytes < 1073741824.0)
        return QStringLiteral("%1Mb").arg(truncated(bytes / 1048576.0));
    return QStringLiteral("%1Gb").arg(truncated(bytes / 1073741824.0));
}

namespace {

/// The locale's medium date and time: its short date with the month abbreviated and a
/// four-digit year, and its time with seconds.
QString mediumDateTime(const QDateTime& time, const QLocale& locale)
{
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QStringLiteral("yyyy")))
        dateFormat.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    if (!dateFormat.contains(QStringLiteral("MMM"))) {
        if (dateFormat.contains(QStringLiteral("MM")))
            dateFormat.replace(QStringLiteral("MM"), QStringLiteral("MMM"));
        else
            dateFormat.replace(QStringLiteral("M"), QStringLiteral("MMM"));
    }
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(u's'))
        timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return locale.toString(time, dateFormat + u' ' + timeFormat);
}

} // namespace

QString CrwlUrl::getHumanReadableTimestamp() const
{
    if (!sentRequest.isValid())
        return QStringLiteral("");
    return QStringLiteral("%1 UTC").arg(mediumDateTime(sentRequest.toUTC(), QLocale::system()));
}

// ===== Column texts ===========================================================================

namespace {

using FieldGetter = std::function<QString(const CrwlUrl&)>;

QString number(qint64 value) { return QString::number(value); }

/// "onpageurl": where the link stands.
QString onPageUrlText(const CrwlUrl& record)
{
    const auto& inbound = record.getInboundInstances();
    if (inbound.size() == 1 && inbound.front()) {
        if (crawlmere::platform::UserDefaults::standard().value(defaultsKey::displayPageTitle))
            return inbound.front()->getOnPageTitle();
        // getOnPageUrl is already decoded; decoding again would turn a kept "%25" into "%".
        return inbound.front()->getOnPageUrl();
    }
    if (record.isStartingPoint())
        return QStringLiteral("starting url");
    // A page no link names is reached through the redirects that lead to it.
    if (const auto recordOwner = inbound.empty() ? record.getOwner() : nullptr) {
        const CrwlUrlList redirects = recordOwner->getRedirectsTo(record);
        if (redirects.size() == 1)
            return QStringLiteral("redirected from %1").arg(redirects.front()->getAbsoluteStringDecoded());
        if (redirects.size() > 1)
            return QStringLiteral("redirected from %1 and %2 more")
                .arg(redirects.front()->getAbsoluteStringDecoded(), QString::number(qint64(redirects.size() - 1)));
    }
    return QStringLiteral("appears %1 times").arg(qint64(inbound.size()));
}

const QHash<QString, FieldGetter>& fieldGetters()
{
    static const QHash<QString, FieldGetter> getters = {
        { QStringLiteral("url"), [](const CrwlUrl& r) { return r.absoluteString(); } },
        { QStringLiteral("linkurldecoded"), [](const CrwlUrl& r) { return r.getAbsoluteStringDecoded(); } },
        { QStringLiteral("actualurl"), [](const CrwlUrl& r) { return r.absoluteString(); } },
        { QStringLiteral("actualurldecoded"), [](const CrwlUrl& r) { return r.getAbsoluteStringDecoded(); } },
        { QStringLiteral("absolutestringdecoded"), [](const CrwlUrl& r) { return r.getAbsoluteStringDecoded(); } },
        { QStringLiteral("finalstringdecoded"), [](const CrwlUrl& r) { return r.finalURLStringDecoded(); } },
        { QStringLiteral("status"), [](const CrwlUrl& r) { return r.getStatusDescription(); } },
        { QStringLiteral("redir"), [](const CrwlUrl& r) { return r.getRedirDecoded(); } },
        { QStringLiteral("metadescription"), [](const CrwlUrl& r) { return r.getMetadescriptionShown(); } },
        { QStringLiteral("titlelength"), [](const CrwlUrl& r) { return number(r.getTitlelength()); } },
        { QStringLiteral("descriptionlength"), [](const CrwlUrl& r) { return number(r.getDescriptionlength()); } },
        { QStringLiteral("responsetime"),
            [](const CrwlUrl& r) {
                const double seconds = r.getResponsetime();
                return seconds > 0.00001 ? QStringLiteral("%1 s").arg(seconds, 0, 'f', 5) : QStringLiteral("");
            } },
        { QStringLiteral("filesize"), [](const CrwlUrl& r) { return r.getFileSize(); } },
        { QStringLiteral("linkcount"), [](const CrwlUrl& r) { return number(r.getLinkcount()); } },
        { QStringLiteral("wordcount"), [](const CrwlUrl& r) { return number(r.getWordcount()); } },
        { QStringLiteral("possibleduplicates"),
            [](const CrwlUrl& r) {
                const qint64 count = r.getPossibleduplicates();
                return count > 0 ? number(count) : QStringLiteral("");
            } },
        { QStringLiteral("onpagecount"), [](const CrwlUrl& r) { return number(r.getOnpagecount()); } },
        { QStringLiteral("lastmodified"), [](const CrwlUrl& r) { return r.getLastmodified(); } },
        { QStringLiteral("timestamp"),
            [](const CrwlUrl& r) {
                const QDateTime& sent = r.getTimestamp();
                return sent.isValid() ? mediumDateTime(sent.toLocalTime(), QLocale::system()) : QStringLiteral("");
            } },
        { QStringLiteral("changefrequency"), [](const CrwlUrl& r) { return r.getChangefrequency(); } },
        { QStringLiteral("robots"), [](const CrwlUrl& r) { return r.getRobots(); } },
        { QStringLiteral("canonical"), [](const CrwlUrl& r) { return r.getCanonical(); } },
        { QStringLiteral("imageweight"),
            [](const CrwlUrl& r) { return QStringLiteral("%1kb").arg(qint64(r.getImageweight())); } },
        { QStringLiteral("imageqty"), [](const CrwlUrl& r) { return number(r.getImageqty()); } },
        { QStringLiteral("distance"), [](const CrwlUrl& r) { return number(r.getDistanceFromHome()); } },
        { QStringLiteral("distancefromhome"), [](const CrwlUrl& r) { return number(r.getDistanceFromHome()); } },
        { QStringLiteral("internallinkcount"), [](const CrwlUrl& r) { return number(r.getInternallinkcount()); } },
        { QStringLiteral("externallinkcount"), [](const CrwlUrl& r) { return number(r.getExternallinkcount()); } },
        { QStringLiteral("numberofredirectstohere"),
            [](const CrwlUrl& r) { return number(r.getNumberofredirectstohere()); } },
        { QStringLiteral("oglatitude"), [](const CrwlUrl& r) { return r.getOglatitude(); } },
        { QStringLiteral("oglongitude"), [](const CrwlUrl& r) { return r.getOglongitude(); } },
        { QStringLiteral("oglocality"), [](const CrwlUrl& r) { return r.getOglocality(); } },
        { QStringLiteral("ogtitle"), [](const CrwlUrl& r) { return r.getOgtitle(); } },
        { QStringLiteral("ogdescription"), [](const CrwlUrl& r) { return r.getOgdescription(); } },
        { QStringLiteral("ogurl"), [](const CrwlUrl& r) { return r.getOgurl(); } },
        { QStringLiteral("ogimage"), [](const CrwlUrl& r) { return r.getOgimage(); } },
        { QStringLiteral("ogtype"), [](const CrwlUrl& r) { return r.getOgtype(); } },
        { QStringLiteral("ogsite_name"), [](const CrwlUrl& r) { return r.getOgsite_name(); } },
        { QStringLiteral("twittertitle"), [](const CrwlUrl& r) { return r.getTwittertitle(); } },
        { QStringLiteral("twitterdescription"), [](const CrwlUrl& r) { return r.getTwitterdescription(); } },
        { QStringLiteral("twitterurl"), [](const CrwlUrl& r) { return r.getTwitterurl(); } },
        { QStringLiteral("twitterimage"), [](const CrwlUrl& r) { return r.getTwitterimage(); } },
        { QStringLiteral("twittercard"), [](const CrwlUrl& r) { return r.getTwittercard(); } },
        { QStringLiteral("itempropname"), [](const CrwlUrl& r) { return r.getItempropname(); } },
        { QStringLiteral("itempropdescription"), [](const CrwlUrl& r) { return r.getItempropdescription(); } },
        { QStringLiteral("itempropimage"), [](const CrwlUrl& r) { return r.getItempropimage(); } },
        { QStringLiteral("linkpagetitle"), [](const CrwlUrl& r) { return r.getPageTitleShown(); } },
        { QStringLiteral("h1"), [](const CrwlUrl& r) { return r.getH1sShown(); } },
        { QStringLiteral("h2"), [](const CrwlUrl& r) { return r.getH2s(); } },
        { QStringLiteral("h3"), [](const CrwlUrl& r) { return r.getH3s(); } },
        { QStringLiteral("h4"), [](const CrwlUrl& r) { return r.getH4s(); } },
        { QStringLiteral("spellingcount"), [](const CrwlUrl& r) { return number(r.getSpellingcount()); } },
        { QStringLiteral("spelling"), [](const CrwlUrl& r) { return number(r.getSpellingcount()); } },
        { QStringLiteral("searchterms"),
            [](const CrwlUrl& r) { return r.getSearchTerms().join(QStringLiteral(", ")); } },
        { QStringLiteral("keywordstuffed"),
            [](const CrwlUrl& r) { return r.isKeywordStuffed() ? QStringLiteral("YES") : QStringLiteral(""); } },
        { QStringLiteral("jsonldtypes"), [](const CrwlUrl& r) { return r.getJsonldTypes(); } },
        { QStringLiteral("onpageurl"), onPageUrlText },
    };
    return getters;
}

} // namespace

bool CrwlUrl::namesField(const QString& key) { return fieldGetters().contains(key.toLower()); }

QStringList urlRecordFieldNames()
{
    QStringList names = fieldGetters().keys();
    names.sort();
    return names;
}

QString CrwlUrl::getFieldByName(const QString& key) const
{
    const auto& getters = fieldGetters();
    // Column identifiers are mostly lower case already: fold only when needed.
    const bool lower = std::none_of(key.cbegin(), key.cend(), [](QChar c) { return c.isUpper(); });
    const auto it = getters.constFind(lower ? key : key.toLower());
    if (it == getters.cend())
        return QStringLiteral("");
    const QString text = it.value()(*this);
    return text.isNull() ? QStringLiteral("") : text;
}

// ===== Sort values ============================================================================

namespace {

using SortGetter = std::function<QVariant(const CrwlUrl&)>;

struct SortGetterTables {
    /// Keyed by the getter name after "get", exactly as written.
    QHash<QString, SortGetter> exact;
    /// The same names lower-cased; where two getters differ only in case the numeric one is
    /// kept ("filesize" → getFilesize).
    QHash<QString, SortGetter> folded;
};

const SortGetterTables& sortGetters()
{
    static const SortGetterTables tables = [] {
        // Numeric getters come first so that they win the lower-cased names.
        const std::vector<std::pair<QString, SortGetter>> list = {
            { QStringLiteral("Status"), [](const CrwlUrl& r) { return QVariant(r.getStatus()); } },
            { QStringLiteral("SortableStatus"), [](const CrwlUrl& r) { return QVariant(r.getStatus()); } },
            { QStringLiteral("Distance"), [](const CrwlUrl& r) { return QVariant(r.getDistanceFromHome()); } },
            { QStringLiteral("DistanceFromHome"), [](const CrwlUrl& r) { return QVariant(r.getDistanceFromHome()); } },
            { QStringLiteral("Titlelength"), [](const CrwlUrl& r) { return QVariant(r.getTitlelength()); } },
            { QStringLiteral("Descriptionlength"),
                [](const CrwlUrl& r) { return QVariant(r.getDescriptionlength()); } },
            { QStringLiteral("Responsetime"), [](const CrwlUrl& r) { return QVariant(r.getResponsetime()); } },
            { QStringLiteral("LoadTime"), [](const CrwlUrl& r) { return QVariant(r.getLoadTime()); } },
            { QStringLiteral("Linkcount"), [](const CrwlUrl& r) { return QVariant(r.getLinkcount()); } },
            { QStringLiteral("Onpagecount"), [](const CrwlUrl& r) { return QVariant(r.getOnpagecount()); } },
            { QStringLiteral("Wordcount"), [](const CrwlUrl& r) { return QVariant(r.getWordcount()); } },
            { QStringLiteral("Imageqty"), [](const CrwlUrl& r) { return QVariant(r.getImageqty()); } },
            { QStringLiteral("Imageweight"), [](const CrwlUrl& r) { return QVariant(r.getImageweight()); } },
            { QStringLiteral("Internal"), [](const CrwlUrl& r) { return QVariant(r.getInternal()); } },
            { QStringLiteral("Internallinkcount"),
                [](const CrwlUrl& r) { return QVariant(r.getInternallinkcount()); } },
            { QStringLiteral("Externallinkcount"),
                [](const CrwlUrl& r) { return QVariant(r.getExternallinkcount()); } },
            { QStringLiteral("Numberofredirectstohere"),
                [](const CrwlUrl& r) { return QVariant(r.getNumberofredirectstohere()); } },
            { QStringLiteral("Possibleduplicates"),
                [](const CrwlUrl& r) { return QVariant(r.getPossibleduplicates()); } },
            { QStringLiteral("RedirectCount"), [](const CrwlUrl& r) { return QVariant(r.getRedirectCount()); } },
            { QStringLiteral("H1count"), [](const CrwlUrl& r) { return QVariant(r.h1Count()); } },
            { QStringLiteral("Spellingcount"), [](const CrwlUrl& r) { return QVariant(r.getSpellingcount()); } },
            { QStringLiteral("Filesize"), [](const CrwlUrl& r) { return QVariant(r.getFilesize()); } },
            { QStringLiteral("Filesizeinbytes"), [](const CrwlUrl& r) { return QVariant(r.getFilesizeinbytes()); } },
            { QStringLiteral("Filesizecompressed"),
                [](const CrwlUrl& r) { return QVariant(r.getFilesizecompressed()); } },
            { QStringLiteral("Filesizeinkbytes"),
                [](const CrwlUrl& r) {
                    const auto kilobytes = r.getFilesizeinkbytes();
                    return kilobytes ? QVariant(*kilobytes) : QVariant();
                } },
            { QStringLiteral("Priority"),
                [](const CrwlUrl& r) {
                    const auto priority = r.getPriority();
                    return priority ? QVariant(*priority) : QVariant();
                } },
            { QStringLiteral("LinkJuice"), [](const CrwlUrl& r) { return QVariant(double(r.getLinkJuice())); } },
            { QStringLiteral("Timestamp"), [](const CrwlUrl& r) { return QVariant(r.getTimestamp()); } },
            // Texts.
            { QStringLiteral("StatusDescription"),
                [](const CrwlUrl& r) { return QVariant(r.getStatusDescription()); } },
            { QStringLiteral("LinkURL"), [](const CrwlUrl& r) { return QVariant(r.getLinkURL()); } },
            { QStringLiteral("Linkurl"), [](const CrwlUrl& r) { return QVariant(r.getLinkurl()); } },
            { QStringLiteral("AbsoluteString"), [](const CrwlUrl& r) { return QVariant(r.getAbsoluteString()); } },
            { QStringLiteral("AbsoluteStringDecoded"),
                [](const CrwlUrl& r) { return QVariant(r.getAbsoluteStringDecoded()); } },
            { QStringLiteral("Redir"), [](const CrwlUrl& r) { return QVariant(r.getRedir()); } },
            { QStringLiteral("RedirDecoded"), [](const CrwlUrl& r) { return QVariant(r.getRedirDecoded()); } },
            { QStringLiteral("Linkpagetitle"), [](const CrwlUrl& r) { return QVariant(r.getPageTitleShown()); } },
            { QStringLiteral("Metadescription"),
                [](const CrwlUrl& r) { return QVariant(r.getMetadescriptionShown()); } },
            { QStringLiteral("Canonical"), [](const CrwlUrl& r) { return QVariant(r.getCanonical()); } },
            { QStringLiteral("Lastmodified"), [](const CrwlUrl& r) { return QVariant(r.getLastmodified()); } },
            { QStringLiteral("Changefrequency"), [](const CrwlUrl& r) { return QVariant(r.getChangefrequency()); } },
            { QStringLiteral("Robots"), [](const CrwlUrl& r) { return QVariant(r.getRobots()); } },
            { QStringLiteral("FileSize"), [](const CrwlUrl& r) { return QVariant(r.getFileSize()); } },
            { QStringLiteral("FileSizeCompressed"),
                [](const CrwlUrl& r) { return QVariant(r.getFileSizeCompressed()); } },
            { QStringLiteral("HumanReadableTimestamp"),
                [](const CrwlUrl& r) { return QVariant(r.getHumanReadableTimestamp()); } },
            { QStringLiteral("SearchTerms"),
                [](const CrwlUrl& r) { return QVariant(r.getSearchTerms().join(QStringLiteral(", "))); } },
            { QStringLiteral("JsonldTypes"), [](const CrwlUrl& r) { return QVariant(r.getJsonldTypes()); } },
            { QStringLiteral("AnchorFragment"), [](const CrwlUrl& r) { return QVariant(r.getAnchorFragment()); } },
            { QStringLiteral("LinkText"), [](const CrwlUrl& r) { return QVariant(r.getLinkText()); } },
            { QStringLiteral("H1s"), [](const CrwlUrl& r) { return QVariant(r.getH1sShown()); } },
            { QStringLiteral("H2s"), [](const CrwlUrl& r) { return QVariant(r.getH2s()); } },
            { QStringLiteral("H3s"), [](const CrwlUrl& r) { return QVariant(r.getH3s()); } },
            { QStringLiteral("H4s"), [](const CrwlUrl& r) { return QVariant(r.getH4s()); } },
            { QStringLiteral("Oglatitude"), [](const CrwlUrl& r) { return QVariant(r.getOglatitude()); } },
            { QStringLiteral("Oglongitude"), [](const CrwlUrl& r) { return QVariant(r.getOglongitude()); } },
            { QStringLiteral("Oglocality"), [](const CrwlUrl& r) { return QVariant(r.getOglocality()); } },
            { QStringLiteral("Ogtitle"), [](const CrwlUrl& r) { return QVariant(r.getOgtitle()); } },
            { QStringLiteral("Ogdescription"), [](const CrwlUrl& r) { return QVariant(r.getOgdescription()); } },
            { QStringLiteral("Ogurl"), [](const CrwlUrl& r) { return QVariant(r.getOgurl()); } },
            { QStringLiteral("Ogimage"), [](const CrwlUrl& r) { return QVariant(r.getOgimage()); } },
            { QStringLiteral("Ogtype"), [](const CrwlUrl& r) { return QVariant(r.getOgtype()); } },
            { QStringLiteral("Ogsite_name"), [](const CrwlUrl& r) { return QVariant(r.getOgsite_name()); } },
            { QStringLiteral("Twittertitle"), [](const CrwlUrl& r) { return QVariant(r.getTwittertitle()); } },
            { QStringLiteral("Twitterdescription"),
                [](const CrwlUrl& r) { return QVariant(r.getTwitterdescription()); } },
            { QStringLiteral("Twitterurl"), [](const CrwlUrl& r) { return QVariant(r.getTwitterurl()); } },
            { QStringLiteral("Twitterimage"), [](const CrwlUrl& r) { return QVariant(r.getTwitterimage()); } },
            { QStringLiteral("Twittercard"), [](const CrwlUrl& r) { return QVariant(r.getTwittercard()); } },
            { QStringLiteral("Itempropname"), [](const CrwlUrl& r) { return QVariant(r.getItempropname()); } },
            { QStringLiteral("Itempropimage"), [](const CrwlUrl& r) { return QVariant(r.getItempropimage()); } },
            { QStringLiteral("Itempropdescription"),
                [](const CrwlUrl& r) { return QVariant(r.getItempropdescription()); } },
        };
        SortGetterTables made;
        for (const auto& [name, getter] : list) {
            made.exact.insert(name, getter);
            const QString lower = name.toLower();
            if (!made.folded.contains(lower))
                made.folded.insert(lower, getter);
        }
        return made;
    }();
    return tables;
}

} // namespace

QVariant CrwlUrl::getSortValue(const QString& key) const
{
    if (key.isEmpty())
        return getFieldByName(key);
    const QString name = key.at(0).toUpper() + key.mid(1);
    const SortGetterTables& tables = sortGetters();
    if (const auto it = tables.exact.constFind(name); it != tables.exact.cend())
        return it.value()(*this);
    if (const auto it = tables.folded.constFind(name.toLower()); it != tables.folded.cend())
        return it.value()(*this);
    return getFieldByName(key);
}
