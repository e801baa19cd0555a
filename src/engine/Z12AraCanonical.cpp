// A page's canonical address: recorded as a link of the page, checked, and told when it is
// another page.
#include "engine/detail/LinkExtraction.h"

using namespace crawlmere::engine::detail;

void Z12Ara::LinkExtraction::recordCanonical(const LinkExtractionParser& parser)
{
    QString canonical = parser.getCanonical();
    const QString finalString = page->finalURLString();
    std::optional<Url> finalURL = Url::fromString(PunycodeAdditions::encodedURLString(finalString));
    if (!finalURL)
        finalURL = Url::fromString(finalString);
    if (!finalURL)
        return;

    // A canonical that names only a scheme.
    if (canonical == u"http://" || canonical == u"https://") {
        const auto here = Url::resolved(QStringLiteral("./"), *finalURL);
        canonical = here && here->absoluteString().endsWith(u"./") ? QStringLiteral("") : QStringLiteral("./");
    }

    std::optional<Url> resolved;
    // A local page's root-relative canonical names a file of the scanned folder, as its links do.
    if (finalURL->isFileUrl() && canonical.startsWith(u'/') && localRootFolder())
        resolved = hub.makeNSURLFromString(canonical.mid(1), *localRootFolder());
    if (!resolved)
        resolved = Url::resolved(canonical, *finalURL);
    if (!resolved)
        resolved = Url::resolved(PunycodeAdditions::encodedURLString(canonical), *finalURL);
    if (!resolved)
        resolved = Url::resolved(percentEscaped(canonical, hub.detectedEncoding.load()), *finalURL);
    if (!resolved) {
        logLine(2, QStringLiteral("unable to make a URL of the canonical %1 of %2").arg(canonical, finalString));
        return;
    }
    const Url target = hub.dealWithUpADirectory(*resolved);
    const QString& targetString = target.absoluteString();
    page->setCanonical(targetString);

    if (page->getDistanceFromHome() >= s.levelsLimit || hub.collection.size() >= s.linksLimit)
        return;

    bool internal = hub.compareHost(target.host(), hub.domains);
    if (internal && hub.scanningHttpsSite && s.httpIsExternal && schemeIs(target, u"http")) {
        internal = false;
        // Only a secure page is made less so by an http canonical: a plain page's is no worse.
        if (finalString.startsWith(u"https://", Qt::CaseInsensitive)) {
            logLine(1, QStringLiteral("*** adding canonical to insecure list"));
            appendInsecure(kInsecureCanonical, finalString, targetString);
        }
    }

    UrlPtr record = hub.weHaveThisOneAlready(targetString, nullptr, internal);
    if (!record) {
        record = newRecord(internal, targetString);
        const RobotsVerdict robots = hub.robotsVerdict(targetString);
        bool statusSet = false;
        if (CrwlUrl::isLocalFileBeyondReach(*page, target)) {
            record->setStatus(CrwlStatus::notChecked);
            record->addWarning(CrwlUrl::localFileBeyondReachWarning());
            statusSet = true;
        } else if (!Z12Ara::stringContainsOneOfTheseTerms(targetString, hub.checkBlacklistArray).isEmpty()) {
            record->setStatus(CrwlStatus::notChecked);
            record->setIsBlacklisted(true);
            statusSet = true;
        } else if (robots == RobotsVerdict::Disallowed) {
            record->setIsDisallowed(true);
            record->addWarning(
                QStringLiteral("The page has a canonical url %1 which is disallowed by robots.txt").arg(targetString));
            if (s.blacklistByRobotsTxt) {
                record->setStatus(CrwlStatus::disallowedByRobotsTxt);
                record->setIsBlacklisted(true);
                statusSet = true;
            }
        } else if (schemeIs(target, u"ftp") || (!internal && s.sitemapOnly)) {
            record->setStatus(CrwlStatus::notChecked);
            statusSet = true;
        }
        if (robots == RobotsVerdict::AllowedOverDisallow)
            logLine(1, QStringLiteral("Canonical %1 is disallowed by Robots.txt but also allowed").arg(targetString));
        if (statusSet)
            hub.incNumberDone(record);
        if (record->directoryTooHigh())
            record->addWarning(kTooHighWarning);
        hub.add(record);
        if (record->getStatus() == CrwlStatus::notYetChecked)
            hub.addToCheckQueue(record);
    } else {
        hub.lowerDistanceFromHome(record, childDistance);
    }
    if (record != page)
        hub.addInstanceWithParent(
            page, record, QStringLiteral("canonical"), QString(), QString(), QString(), std::nullopt);
}
