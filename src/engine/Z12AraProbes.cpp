// The two synchronous requests a scan makes before its first fetch: the site's robots.txt,
// turned into absolute disallowed and allowed prefixes, and the starting page, whose text
// encoding the parsers of the whole scan then use.
#include "engine/Z12Ara.h"

#include "engine/CrwlPatternMatcher.h"
#include "engine/CrwlUrl.h"
#include "engine/FetchTransport.h"
#include "engine/HubPageReader.h"
#include "engine/SettingsValue.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/Url.h"
#include "platform/UrlSession.h"
#include "platform/UserDefaults.h"

#include <QRegularExpression>

#include <array>

using crawlmere::engine::settingString;
using crawlmere::platform::logLine;
using crawlmere::platform::TextEncoding;
using crawlmere::platform::UrlRequest;
using crawlmere::platform::UrlSession;
using crawlmere::platform::Encoding::UTF8;
using crawlmere::platform::strings::containsCaseInsensitive;
using crawlmere::platform::strings::hasPrefixCaseInsensitive;
using crawlmere::platform::strings::trimmingWhitespaceAndNewlines;

namespace {

/// The encodings tried on undecoded bytes, in order: UTF-8, else windows-1252, as browsers read a
/// page that names no charset (it reads every byte, so nothing after it would ever be tried).
constexpr std::array<crawlmere::platform::EncodingId, 2> kTrialEncodings
    = { crawlmere::platform::Encoding::UTF8, crawlmere::platform::Encoding::WindowsCP1252 };

QString trimSpacesAndTabs(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && (text.at(start) == u' ' || text.at(start) == u'\t'))
        ++start;
    while (end > start && (text.at(end - 1) == u' ' || text.at(end - 1) == u'\t'))
        --end;
    return text.mid(start, end - start).toString();
}

std::chrono::milliseconds secondsToMs(double seconds)
{
    return std::chrono::milliseconds(static_cast<qint64>(seconds * 1000.0));
}

} // namespace

crawlmere::platform::UrlLoadResult Z12Ara::loadSynchronously(
    const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout)
{
    if (transport)
        return transport->loadSynchronously(request, timeout);
    return UrlSession::loadSynchronously(request, timeout);
}

// ===== robots.txt ===========================================================================

QString Z12Ara::robotsLocation(const QString& domain, bool https, std::optional<int> port)
{
    QString host = domain;
    if (host.contains(u':') && !host.startsWith(u'['))
        host = u'[' + host + u']';
    QString location = (https ? QStringLiteral("https://") : QStringLiteral("http://")) + host;
    if (port && *port != (https ? 443 : 80))
        location += u':' + QString::number(*port);
    return location + QStringLiteral("/robots.txt");
}

Z12Ara::RobotsRules Z12Ara::parseRobotsRules(const QString& text)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\\n\\r\\x{0B}\\x{0C}\\x{85}\\x{2028}\\x{2029}]"));
    RobotsRules rules;
    // A group is a run of User-agent lines and the rules after them; it is ours when one of its
    // agents is the main search-engine agent or "*". Of those two kinds, the first met is
    // obeyed and groups of the other kind are ignored; groups of the kind obeyed add up.
    bool recording = false;
    bool readingAgents = false;
    bool groupNamesMainAgent = false;
    bool groupNamesStar = false;
    bool googlebotSectionTaken = false;
    bool starSectionTaken = false;
    for (const QString& rawLine : text.split(lineBreaks, Qt::SkipEmptyParts)) {
        // A "#" starts a comment that runs to the end of the line.
        const qsizetype hash = rawLine.indexOf(u'#');
        const QStringView line = hash >= 0 ? QStringView(rawLine).left(hash) : QStringView(rawLine);
        // The value is everything after the first ":", since a path may hold ":" itself.
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        const QString field = trimSpacesAndTabs(line.left(colon));
        const QStringView rawValue = line.mid(colon + 1);

        if (containsCaseInsensitive(field, u"User-agent")) {
            if (!readingAgents) {
                readingAgents = true;
                groupNamesMainAgent = false;
                groupNamesStar = false;
            }
            const QString value = trimSpacesAndTabs(rawValue);
            if (containsCaseInsensitive(value, u"Googlebot-Image"))
                continue;
            if (containsCaseInsensitive(value, u"Googlebot") && !containsCaseInsensitive(value, u"Googlebot-"))
                groupNamesMainAgent = true;
            else if (value.contains(u'*'))
                groupNamesStar = true;
            continue;
        }
        const bool disallow = hasPrefixCaseInsensitive(field, u"Disallow");
        const bool allow = !disallow && hasPrefixCaseInsensitive(field, u"Allow");
        if (!disallow && !allow)
            continue; // Sitemap, Crawl-delay and the like belong to no group
        if (readingAgents) {
            // The group's first rule: its agents are all known.
            readingAgents = false;
            recording = false;
            if (groupNamesMainAgent && !starSectionTaken) {
                logLine(2, QStringLiteral("robots.txt: taking the section of the main search-engine agent"));
                googlebotSectionTaken = true;
                recording = true;
            } else if (groupNamesStar && !googlebotSectionTaken) {
                logLine(2, QStringLiteral("we are star"));
                starSectionTaken = true;
                recording = true;
            }
        }
        if (recording)
            (disallow ? rules.disallow : rules.allow).append(rawValue.toString());
    }
    return rules;
}

Z12Ara::RobotsVerdict Z12Ara::robotsVerdict(QStringView url) const
{
    std::shared_lock lock(otherRobotsLock);
    if (robotsRules.isEmpty() && otherRobotsRules.isEmpty())
        return RobotsVerdict::NoDisallowMatches;
    QString authority;
    const QString pathAndQuery = RobotsTxt::pathAndQueryOf(url, &authority);
    if (pathAndQuery.isNull())
        return RobotsVerdict::NoDisallowMatches;
    if (authority == robotsAuthority)
        return robotsRules.verdict(pathAndQuery);
    const auto other = otherRobotsRules.constFind(authority);
    if (other == otherRobotsRules.cend())
        return RobotsVerdict::NoDisallowMatches;
    return other->verdict(pathAndQuery);
}

void Z12Ara::setRobotsRules(const QString& authority, const RobotsRules& rules)
{
    robotsAuthority = authority.toLower();
    robotsRules = RobotsTxt(rules.disallow, rules.allow);
    if (authority.isEmpty()) {
        robotsBlacklistArray.clear();
        robotsWhitelistArray.clear();
        return;
    }
    robotsBlacklistArray = makeEachItemInArray(rules.disallow, robotsAuthority);
    robotsWhitelistArray = makeEachItemInArray(rules.allow, robotsAuthority);
}

QStringList Z12Ara::makeEachItemInArray(const QStringList& items, const QString& domain)
{
    if (domain.isEmpty()) {
        logLine(0, QStringLiteral("makeEachItemInArray: absoluteUsing:  0-length string"));
        return items;
    }
    QString prefix = domain;
    if (prefix.endsWith(u'/'))
        prefix.chop(1);
    QStringList out;
    out.reserve(items.size());
    for (const QString& item : items) {
        const QString trimmed = trimmingWhitespaceAndNewlines(item);
        if (trimmed.isEmpty())
            continue;
        out.append(trimmed.startsWith(u'/') ? prefix + trimmed : trimmed);
    }
    return out;
}

void Z12Ara::parseRobotsTxt(const UrlPtr& startingRecord)
{
    if (!startingRecord || startingRecord->isFileURL())
        return;
    const QStringList internal = getDomains();
    if (internal.isEmpty())
        return;
    const QString domain = internal.first();
    const auto startingUrl = startingRecord->getNSURL();
    const std::optional<int> port = startingUrl ? startingUrl->port() : std::nullopt;
    const QString location = robotsLocation(domain, scanningHttpsSite, port);
    logLine(1, QStringLiteral("robots's location is %1").arg(location));
    // The rules hold for this host on this port only.
    QString authority = domain.contains(u':') && !domain.startsWith(u'[') ? u'[' + domain + u']' : domain;
    if (port && *port != (scanningHttpsSite ? 443 : 80))
        authority += u':' + QString::number(*port);
    robotsAskedFor.insert(authority.toLower());

    const auto rules
        = robotsRulesFromLoad(loadSynchronously(robotsRequest(location), secondsToMs(kRobotsTimeoutSeconds)), location);
    if (!rules)
        return;
    setRobotsRules(authority, *rules);
    logLine(1, QStringLiteral("robots.txt disallows: %1").arg(robotsBlacklistArray.join(u", ")));
    logLine(1, QStringLiteral("robots.txt allows: %1").arg(robotsWhitelistArray.join(u", ")));
}

crawlmere::platform::UrlRequest Z12Ara::robotsRequest(const QString& location) const
{
    UrlRequest request(location, kRobotsTimeoutSeconds);
    request.userAgent = settingString(crawlSettings, crawlKey::userAgentString);
    request.setValue(crawlmere::engine::settingAcceptLanguage(crawlSettings).toUtf8(), "Accept-Language");
    request.httpShouldHandleCookies = false;
    request.maxBodyBytes = kRobotsMaxBytes;
    return request;
}

std::optional<Z12Ara::RobotsRules> Z12Ara::robotsRulesFromLoad(
    crawlmere::platform::UrlLoadResult result, const QString& location)
{
    if (result.error && result.error->code == crawlmere::platform::UrlErrorCode::BodyTooLarge) {
        // The rules past the cap are ignored; so is the line the cap cut.
        logLine(1, QStringLiteral("robots.txt is larger than %1 KiB: the rest is ignored").arg(kRobotsMaxBytes / 1024));
        result.body.truncate(result.body.lastIndexOf('\n') + 1);
        result.error.reset();
    }
    if (result.error) {
        // A site that cannot be reached fails its starting page too, which says so plainly: the
        // same failure is not told a second time unless asked for.
        logLine(1, QStringLiteral("robots.txt has returned with error: %1").arg(result.error->localizedDescription));
        return std::nullopt;
    }
    if (result.statusCode() > 399 || result.body.isEmpty()) {
        logLine(1,
            QStringLiteral("no data returned for robots.txt at location %1, status code %2")
                .arg(location, QString::number(result.statusCode())));
        return std::nullopt;
    }
    const auto text = TextEncoding::decode(result.body, UTF8);
    if (!text) {
        logLine(0,
            QStringLiteral("Unable to make string from %1 bytes of data returned at %2")
                .arg(QString::number(result.body.size()), location));
        return std::nullopt;
    }
    return parseRobotsRules(*text);
}

// ===== robots.txt of the other hosts of the site ============================================

qint64 Z12Ara::recordsWaitingForRobots() const
{
    qint64 count = 0;
    for (const QList<UrlPtr>& records : waitingForRobots)
        count += records.size();
    return count;
}

void Z12Ara::queueAfterRobotsOf(const UrlPtr& record)
{
    if (!record)
        return;
    QString authority;
    const QString& url = record->absoluteString();
    const bool web
        = url.startsWith(u"http://", Qt::CaseInsensitive) || url.startsWith(u"https://", Qt::CaseInsensitive);
    if (!web || RobotsTxt::pathAndQueryOf(url, &authority).isNull() || authority.isEmpty() || !transport) {
        addToCheckQueue(record);
        return;
    }
    if (robotsAskedFor.contains(authority)) {
        if (const auto waiting = waitingForRobots.find(authority); waiting != waitingForRobots.end())
            waiting->append(record);
        else
            addToCheckQueue(record);
        return;
    }
    robotsAskedFor.insert(authority);
    waitingForRobots.insert(authority, { record });
    const QString location = url.left(url.indexOf(u"://") + 3) + authority + QStringLiteral("/robots.txt");
    logLine(1, QStringLiteral("robots's location is %1").arg(location));
    transport->loadInBackground(robotsRequest(location), secondsToMs(kRobotsTimeoutSeconds),
        [weakHub = weak_from_this(), generation = scanGeneration, authority, location](
            crawlmere::platform::UrlLoadResult result) {
            if (const auto hub = weakHub.lock())
                hub->robotsArrived(generation, authority, location, std::move(result));
        });
}

void Z12Ara::robotsArrived(
    quint64 generation, const QString& authority, const QString& location, crawlmere::platform::UrlLoadResult result)
{
    if (generation != scanGeneration)
        return;
    if (const auto rules = robotsRulesFromLoad(std::move(result), location)) {
        {
            std::unique_lock lock(otherRobotsLock);
            otherRobotsRules.insert(authority, RobotsTxt(rules->disallow, rules->allow));
        }
        robotsBlacklistArray += makeEachItemInArray(rules->disallow, authority);
        robotsWhitelistArray += makeEachItemInArray(rules->allow, authority);
        logLine(1, QStringLiteral("robots.txt of %1 disallows: %2").arg(authority, rules->disallow.join(u", ")));
    }
    for (const UrlPtr& record : waitingForRobots.take(authority))
        addToCheckQueue(record);
    getNextUrlToCrawl(nullptr);
}

// ===== page encoding ========================================================================

std::optional<QString> Z12Ara::tryEncodingData(const QByteArray& data, EncodingId encoding)
{
    return TextEncoding::decode(data, encoding);
}

Z12Ara::EncodingId Z12Ara::stringEncodingForData(const QByteArray& data, QString* converted)
{
    for (const EncodingId encoding : kTrialEncodings) {
        if (auto text = tryEncodingData(data, encoding)) {
            if (converted)
                *converted = std::move(*text);
            return encoding;
        }
    }
    return 0;
}

void Z12Ara::detectEncoding(const UrlPtr& startingRecord)
{
    detectedEncoding = 0;
    EncodingId encoding = 0;
    if (startingRecord) {
        UrlRequest request(startingRecord->getLinkUrlForTesting(), kEncodingProbeTimeoutSeconds);
        request.userAgent = settingString(crawlSettings, crawlKey::userAgentString);
        // The same page as the scan reads it, in the language the scan asks for.
        request.setValue(crawlmere::engine::settingAcceptLanguage(crawlSettings).toUtf8(), "Accept-Language");
        request.httpShouldHandleCookies = false;
        logLine(2, QStringLiteral("sending encoding test request"));
        const auto result = loadSynchronously(request, secondsToMs(kEncodingProbeTimeoutSeconds));
        if (result.body.isEmpty()) {
            logLine(1, QStringLiteral("unable to get data for starting url"));
        } else {
            QString text;
            encoding = stringEncodingForData(result.body, &text);
            logLine(3, QStringLiteral("point a = detected encoding is %1").arg(encoding));
            if (pageReader) {
                if (const auto charset = pageReader->extractCharsetFromHTML(result.body)) {
                    logLine(2, QStringLiteral("override if poss with charset:  charset is: '%1'").arg(*charset));
                    if (const EncodingId declared = pageReader->encodingForCharset(*charset))
                        encoding = declared;
                }
            }
            const QString generatorPattern = defaults->value(defaultsKey::siteBuilderGeneratorPattern);
            if (encoding != 0 && !generatorPattern.isEmpty()) {
                const QStringList matches = CrwlPatternMatcher::applyRegex(generatorPattern, text);
                if (!matches.isEmpty()) {
                    logLine(3, QStringLiteral("we have a site-builder generator: %1").arg(matches.first()));
                    crawlSettings->insert(crawlKey::wixSite, true);
                    crawlSettings->insert(crawlKey::wordpressUrls, true);
                }
            }
        }
    }
    if (encoding == 0) {
        logLine(1, QStringLiteral("unable to detect encoding. Using utf-8"));
        encoding = UTF8;
    } else {
        logLine(1, QStringLiteral("encoding detected as %1").arg(encoding));
    }
    detectedEncoding = encoding;
    if (crawlSettings)
        crawlSettings->insert(QStringLiteral("detectedEncoding"), static_cast<qint64>(encoding));
}
