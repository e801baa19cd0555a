// URL records: the crawl-settings defaults and their completion, construction, the link URL
// and its forms, and the setters that carry a rule.
#include "engine/CrwlUrl.h"
#include "engine/CrawlSettingKeys.h"

#include "engine/CrwlUrlTestSupport.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <vector>

using crawlmere::platform::UserDefaults;
using crawlmere::test::makeSettings;
using crawlmere::test::RecordingOwner;

namespace {

struct ExpectedDefault {
    crawlmere::engine::CrawlSettingKey key;
    QMetaType::Type type;
    QVariant value; // invalid: checked by type only
};

// Every crawl setting with its default and property-list type.
const std::vector<ExpectedDefault>& expectedDefaults()
{
    static const std::vector<ExpectedDefault> table = {
        { crawlKey::startingPointWasXML, QMetaType::Bool, false },
        { crawlKey::linkedFiles, QMetaType::Bool, false },
        { crawlKey::searchMetaDataForURLs, QMetaType::Bool, false },
        { crawlKey::checkSpelling, QMetaType::Bool, false },
        { crawlKey::language, QMetaType::QString, QVariant() },
        { crawlKey::singlePage, QMetaType::Bool, false },
        { crawlKey::shouldParseCSS, QMetaType::Bool, false },
        { crawlKey::shouldParsePDFs, QMetaType::Bool, false },
        { crawlKey::shouldParseDOCXs, QMetaType::Bool, false },
        { crawlKey::plainTextMode, QMetaType::LongLong, qint64(0) },
        { crawlKey::wixSite, QMetaType::Bool, false },
        { crawlKey::runJS, QMetaType::Bool, false },
        { crawlKey::shouldTrimHash, QMetaType::Bool, true },
        { crawlKey::limitLevels, QMetaType::Bool, false },
        { crawlKey::hashIsBad, QMetaType::Bool, false },
        { crawlKey::shouldArchive, QMetaType::Bool, false },
        { crawlKey::tolerateUpADirectory, QMetaType::Bool, false },
        { crawlKey::sitemapOnly, QMetaType::Bool, false },
        { crawlKey::lookForLazyLoadImageURLs, QMetaType::Bool, false },
        { crawlKey::trimWhitespace, QMetaType::Bool, true },
        { crawlKey::numberOfThreads, QMetaType::LongLong, qint64(12) },
        { crawlKey::delay, QMetaType::Double, 0.0 },
        { crawlKey::timeout, QMetaType::Double, 30.0 },
        { crawlKey::maxRPM, QMetaType::LongLong, qint64(1000) },
        { crawlKey::limitRPM, QMetaType::Bool, false },
        { crawlKey::linksLimit, QMetaType::LongLong, qint64(2000000) },
        { crawlKey::levelsLimit, QMetaType::LongLong, qint64(100) },
        { crawlKey::occurrencesLimit, QMetaType::LongLong, qint64(100) },
        { crawlKey::limitOccurrences, QMetaType::Bool, false },
        { crawlKey::customHeaderAcceptLanguage, QMetaType::QString, QStringLiteral("*") },
        { crawlKey::defaultLocalFileName, QMetaType::QString, QStringLiteral("index.html") },
        { crawlKey::caseSensitiveFileURLs, QMetaType::Bool, true },
        { crawlKey::userAgentString, QMetaType::QString,
            QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like "
                           "Gecko) Version/17.3 Safari/605.1.15") },
        { crawlKey::checkImages, QMetaType::Bool, true },
        { crawlKey::blacklistByRobotsTxt, QMetaType::Bool, false },
        { crawlKey::internalOnly, QMetaType::Bool, false },
        { crawlKey::dontFollowNofollowLinks, QMetaType::Bool, false },
        { crawlKey::followSubdomains, QMetaType::Bool, false },
        { crawlKey::crawlUpwards, QMetaType::Bool, false },
        { crawlKey::trimQuery, QMetaType::Bool, false },
        { crawlKey::wordpressUrls, QMetaType::Bool, false },
        { crawlKey::shouldIgnoreSlash, QMetaType::Bool, true },
        { crawlKey::ftpserver, QMetaType::QString, QStringLiteral("") },
        { crawlKey::ftpport, QMetaType::QString, QStringLiteral("") },
        { crawlKey::ftpdirectory, QMetaType::QString, QStringLiteral("") },
        { crawlKey::ftpusername, QMetaType::QString, QStringLiteral("") },
        { crawlKey::ftppassword, QMetaType::QString, QStringLiteral("") },
        { crawlKey::ftpUsesTLS, QMetaType::Bool, false },
        { crawlKey::archiveSaveLocation, QMetaType::QString, QStringLiteral("") },
        { crawlKey::runAllToCompletion, QMetaType::Bool, false },
        { crawlKey::notifyAllResourcesRegardlessOfFileType, QMetaType::Bool, false },
        { crawlKey::shouldLoadImages, QMetaType::Bool, false },
        { crawlKey::shouldCheckForSoft404, QMetaType::Bool, false },
        { crawlKey::dontReportRedirects, QMetaType::Bool, false },
        { crawlKey::ignoreSessid, QMetaType::Bool, false },
        { crawlKey::sessidParam, QMetaType::QString, QStringLiteral("sid") },
    };
    return table;
}

} // namespace

// ----- Crawl settings -------------------------------------------------------------------------

TEST(CrwlUrlSettings, DefaultsHoldEveryKeyWithItsValueAndType)
{
    const QVariantMap defaults = CrwlUrl::defaultCrawlSettings();
    EXPECT_EQ(defaults.size(), qsizetype(expectedDefaults().size()));
    for (const ExpectedDefault& expected : expectedDefaults()) {
        SCOPED_TRACE(expected.key.name());
        const QString key = expected.key;
        ASSERT_TRUE(defaults.contains(key));
        EXPECT_EQ(defaults.value(key).metaType().id(), int(expected.type));
        if (expected.value.isValid()) {
            EXPECT_EQ(defaults.value(key), expected.value);
        }
    }
    EXPECT_FALSE(defaults.value(crawlKey::language).toString().isEmpty());
}

TEST(CrwlUrlSettings, DefaultsAreANewDictionaryEachTime)
{
    QVariantMap first = CrwlUrl::defaultCrawlSettings();
    first.insert(crawlKey::numberOfThreads, qint64(1));
    first.remove(crawlKey::timeout);
    const QVariantMap second = CrwlUrl::defaultCrawlSettings();
    EXPECT_EQ(second.value(crawlKey::numberOfThreads), QVariant(qint64(12)));
    EXPECT_TRUE(second.contains(crawlKey::timeout));
}

TEST(CrwlUrlSettings, FirstRecordCompletesTheSharedDictionaryWithoutReplacingStoredValues)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto settings = makeSettings({
        { crawlKey::numberOfThreads, qint64(4) }, { crawlKey::shouldTrimHash, false },
        { crawlKey::sessidParam, QStringLiteral("PHPSESSID") },
        { crawlKey::startingUrl, QStringLiteral("http://h.com/") },
        { crawlKey::timeout, QVariant() }, // stored, though empty: not replaced
    });
    const auto first = CrwlUrl::make(owner, settings);
    EXPECT_EQ(first->getCrawlSettings(), settings); // the same dictionary, not a copy
    for (const ExpectedDefault& expected : expectedDefaults())
        EXPECT_TRUE(settings->contains(expected.key)) << expected.key.name();
    EXPECT_EQ(settings->value(crawlKey::numberOfThreads), QVariant(qint64(4)));
    EXPECT_EQ(settings->value(crawlKey::shouldTrimHash), QVariant(false));
    EXPECT_EQ(settings->value(crawlKey::sessidParam), QVariant(QStringLiteral("PHPSESSID")));
    EXPECT_EQ(settings->value(crawlKey::startingUrl), QVariant(QStringLiteral("http://h.com/")));
    EXPECT_FALSE(settings->value(crawlKey::timeout).isValid());
    EXPECT_EQ(settings->value(crawlKey::shouldIgnoreSlash), QVariant(true));

    // The hub changes the scan's copy; a later record sees the change and keeps it.
    settings->insert(crawlKey::wixSite, true);
    settings->insert(crawlKey::linksLimit, qint64(50));
    const qsizetype sizeBefore = settings->size();
    const auto second = CrwlUrl::make(owner, settings);
    EXPECT_EQ(settings->size(), sizeBefore);
    EXPECT_EQ(settings->value(crawlKey::wixSite), QVariant(true));
    EXPECT_EQ(settings->value(crawlKey::linksLimit), QVariant(qint64(50)));
    EXPECT_EQ(second->getCrawlSettings().get(), first->getCrawlSettings().get());
}

TEST(CrwlUrlSettings, ARecordWithoutDictionaryReadsEverySettingAsOff)
{
    CrwlUrl record;
    EXPECT_EQ(record.getCrawlSettings(), nullptr);
    EXPECT_EQ(record.getOwner(), nullptr);
    EXPECT_FALSE(record.shouldParsePDFs());
    // shouldTrimHash reads NO: a fragment stays; shouldIgnoreSlash reads NO: the slash stays.
    record.setLinkURL(QStringLiteral("http://h.com/a/#top"));
    EXPECT_EQ(record.getLinkURL(), QStringLiteral("http://h.com/a/#top"));
    EXPECT_EQ(record.prepareUrlForLookup(QStringLiteral("http://h.com/a/")), QStringLiteral("http://h.com/a/"));
}

// ----- Construction ---------------------------------------------------------------------------

TEST(CrwlUrlConstruction, ANewRecordStartsUnchecked)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    EXPECT_EQ(record->getOwner(), owner);
    EXPECT_EQ(record->getStatus(), -1);
    EXPECT_EQ(record->getSortableStatus(), QVariant(qint64(-1)));
    EXPECT_TRUE(record->isInternal());
    EXPECT_FALSE(record->isImage());
    EXPECT_FALSE(record->isStartingPoint());
    EXPECT_FALSE(record->isFileURL());
    EXPECT_FALSE(record->getRecursion());
    EXPECT_TRUE(record->getVisible());
    EXPECT_FALSE(record->getVisible2());
    EXPECT_EQ(record->getDistanceFromHome(), 0);
    EXPECT_TRUE(record->getLinkURL().isEmpty());
    EXPECT_EQ(record->mimeType(), QStringLiteral(""));
    EXPECT_FALSE(record->mimeType().isNull());
    EXPECT_FALSE(record->getCanonical().isNull());
    EXPECT_FALSE(record->getLastmodified().isNull());
    EXPECT_FALSE(record->getChangefrequency().isNull());
    EXPECT_FALSE(record->getPriority().has_value());
    EXPECT_TRUE(record->getInboundInstances().empty());
    EXPECT_TRUE(record->redirectArray().isEmpty());
    EXPECT_EQ(record->getFieldByName(QStringLiteral("anything")), QStringLiteral(""));
}

TEST(CrwlUrlConstruction, RecordsDoNotKeepTheirOwnerAlive)
{
    auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    owner->lookup.clear();
    const std::weak_ptr<RecordingOwner> watch = owner;
    owner.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(record->getOwner(), nullptr);
    record->setLinkURL(QStringLiteral("http://h.com/after")); // no owner to tell: no crash
    EXPECT_EQ(record->getLinkURL(), QStringLiteral("http://h.com/after"));
}

TEST(CrwlDataObject, NumericAndDateColumnKeysIgnoreCase)
{
    EXPECT_TRUE(CrwlDataObject::isNumber(QStringLiteral("LinkCount")));
    EXPECT_TRUE(CrwlDataObject::isNumber(QStringLiteral("linenumber")));
    EXPECT_TRUE(CrwlDataObject::isNumber(QStringLiteral("TOTALOCURRENCES")));
    EXPECT_TRUE(CrwlDataObject::isNumber(QStringLiteral("h1count")));
    EXPECT_FALSE(CrwlDataObject::isNumber(QStringLiteral("totaloccurrences")));
    EXPECT_FALSE(CrwlDataObject::isNumber(QStringLiteral("url")));
    EXPECT_FALSE(CrwlDataObject::isNumber(QStringLiteral("timestamp")));
    EXPECT_FALSE(CrwlDataObject::isNumber(QString()));
    EXPECT_TRUE(CrwlDataObject::isDate(QStringLiteral("TimeStamp")));
    EXPECT_FALSE(CrwlDataObject::isDate(QStringLiteral("lastmodified")));
    EXPECT_FALSE(CrwlDataObject::isDate(QStringLiteral("timestamps")));
}

// ----- Link URL -------------------------------------------------------------------------------

TEST(CrwlUrlLinkURL, DecodesTrimsAndFilesWithTheOwner)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    record->setLinkURL(QStringLiteral("http://h.com/caf%C3%A9/men%C3%BC.html#section-2"));
    const QString expected = QStringLiteral("http://h.com/caf\u00e9/men\u00fc.html");
    EXPECT_EQ(record->getLinkURL(), expected);
    EXPECT_EQ(record->absoluteString(), expected);
    EXPECT_EQ(record->getAbsoluteString(), expected);
    ASSERT_EQ(owner->lookupCalls.size(), 1u);
    EXPECT_EQ(owner->lookupCalls[0].first, record);
    EXPECT_EQ(owner->lookupCalls[0].second, expected);
    EXPECT_EQ(owner->lookup.at(expected), record);
}

TEST(CrwlUrlLinkURL, EmptyURLIsStoredButNotFiled)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    record->setLinkURL(QStringLiteral(""));
    EXPECT_TRUE(record->getLinkURL().isEmpty());
    record->setLinkURL(QStringLiteral("#top")); // empty once its fragment is cut
    EXPECT_TRUE(record->getLinkURL().isEmpty());
    EXPECT_TRUE(owner->lookupCalls.empty());
}

TEST(CrwlUrlLinkURL, KeepsEscapesThatChangeTheURLsMeaning)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    record->setLinkURL(QStringLiteral("http://h.com/files/a%2Fb%20c.pdf?name=x%26y%3Dz%2B1&pct=100%25"));
    EXPECT_EQ(record->getLinkURL(), QStringLiteral("http://h.com/files/a%2Fb c.pdf?name=x%26y%3Dz%2B1&pct=100%25"));
    // Requested as the page wrote it: the space is encoded again, the kept escapes stay.
    EXPECT_EQ(record->getLinkUrlForTesting(),
        QStringLiteral("http://h.com/files/a%2Fb%20c.pdf?name=x%26y%3Dz%2B1&pct=100%25"));
    // Shown decoded.
    EXPECT_EQ(record->getAbsoluteStringDecoded(), QStringLiteral("http://h.com/files/a/b c.pdf?name=x&y=z+1&pct=100%"));
}

// The readable form follows each new URL, whether or not it decodes to itself.
TEST(CrwlUrlLinkURL, TheReadableFormFollowsEveryNewUrl)
{
    const auto record = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    const struct {
        const char* url;
        const char* readable;
    } cases[] = {
        { "http://h.com/plain", "http://h.com/plain" },
        { "http://xn--bcher-kva.de/a", "http://b\u00fccher.de/a" },
        { "http://h.com/again", "http://h.com/again" },
        { "http://h.com/a%2Fb%20c", "http://h.com/a/b c" },
        { "http://h.com/last", "http://h.com/last" },
    };
    for (const auto& c : cases) {
        record->setLinkURL(QString::fromLatin1(c.url));
        EXPECT_EQ(record->getAbsoluteStringDecoded(), QString::fromUtf8(c.readable)) << c.url;
    }
}

TEST(CrwlUrlLinkURL, TheStoredDecodingIsAvailableToLookups)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    const QString href = QStringLiteral("http://h.com/a%2Fb/%C3%A9t%C3%A9?x=%3D");
    record->setLinkURL(href);
    EXPECT_EQ(CrwlUrl::decodedLinkURLString(href), record->getLinkURL());
    EXPECT_EQ(CrwlUrl::decodedLinkURLString(href), QStringLiteral("http://h.com/a%2Fb/\u00e9t\u00e9?x=%3D"));
    EXPECT_EQ(
        CrwlUrl::decodedLinkURLString(QStringLiteral("http://h.com/plain")), QStringLiteral("http://h.com/plain"));
}

TEST(CrwlUrlLinkURL, AnEscapedPercentIsNotDecodedTwice)
{
    const auto record = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    record->setLinkURL(QStringLiteral("http://h.com/%2541"));
    EXPECT_EQ(record->getLinkURL(), QStringLiteral("http://h.com/%2541"));
    EXPECT_EQ(record->getLinkUrlForTesting(), QStringLiteral("http://h.com/%2541"));
}

TEST(CrwlUrlLinkURL, GuardCharactersInTheInputLeaveItAsWritten)
{
    const auto record = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    const QString odd = QStringLiteral("http://h.com/\ufdd0/a%2Fb%20c");
    record->setLinkURL(odd);
    EXPECT_EQ(record->getLinkURL(), odd);
}

TEST(CrwlUrlLinkURL, FileURLsAreMarkedAndTrimmedOnlyTheFirstTime)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    record->setLinkURL(QStringLiteral("file:///tmp/site/index.html#top"));
    EXPECT_TRUE(record->isFileURL());
    EXPECT_EQ(record->getLinkURL(), QStringLiteral("file:///tmp/site/index.html"));
    // Once marked, later URLs are stored untrimmed.
    record->setLinkURL(QStringLiteral("file:///tmp/site/page.html#part"));
    EXPECT_EQ(record->getLinkURL(), QStringLiteral("file:///tmp/site/page.html#part"));
    // The mark stays even for a URL that is not a file URL.
    record->setLinkURL(QStringLiteral("http://h.com/a#b"));
    EXPECT_TRUE(record->isFileURL());
    EXPECT_EQ(record->getLinkURL(), QStringLiteral("http://h.com/a#b"));
}

TEST(CrwlUrlLinkURL, RecordsNotHeldBySharedPointerAreNotFiled)
{
    const auto owner = std::make_shared<RecordingOwner>();
    CrwlUrl record(owner, makeSettings());
    record.setLinkURL(QStringLiteral("http://h.com/x"));
    EXPECT_EQ(record.getLinkURL(), QStringLiteral("http://h.com/x"));
    EXPECT_TRUE(owner->lookupCalls.empty());
}

// ----- URL forms ------------------------------------------------------------------------------

TEST(CrwlUrlForms, FinalURLAndRequestURL)
{
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings({ { crawlKey::shouldTrimHash, false } }));
    record->setLinkURL(QStringLiteral("http://h.com/caf\u00e9#frag"));
    EXPECT_EQ(record->finalURLString(), QStringLiteral("http://h.com/caf\u00e9#frag"));
    EXPECT_EQ(record->getLinkurl(), QStringLiteral("http://h.com/caf%C3%A9"));
    EXPECT_EQ(record->getLinkUrlForTesting(), QStringLiteral("http://h.com/caf%C3%A9"));
    EXPECT_EQ(record->finalURLStringDecoded(), QStringLiteral("http://h.com/caf\u00e9#frag"));
}

TEST(CrwlUrlForms, WidthPlaceholderIsRequestedAs250)
{
    const auto record = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    record->setLinkURL(QStringLiteral("http://h.com/img/{width}/photo-{width}.jpg"));
    EXPECT_EQ(record->getLinkUrlForTesting(), QStringLiteral("http://h.com/img/250/photo-250.jpg"));
    const auto encoded = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    encoded->setLinkURL(QStringLiteral("http://h.com/img/%7Bwidth%7D/a.jpg"));
    EXPECT_EQ(encoded->getLinkUrlForTesting(), QStringLiteral("http://h.com/img/250/a.jpg"));
    // A brace that is not the placeholder is requested encoded.
    const auto other = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    other->setLinkURL(QStringLiteral("http://h.com/a{b}"));
    EXPECT_EQ(other->getLinkUrlForTesting(), QStringLiteral("http://h.com/a%7Bb%7D"));
}

TEST(CrwlUrlForms, URLObjectAndHost)
{
    const auto record = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    record->setLinkURL(QStringLiteral("http://caf\u00e9.example:8080/a b"));
    const auto url = record->getNSURL();
    ASSERT_TRUE(url.has_value());
    // Not parseable as written: made from the encoded form.
    EXPECT_EQ(url->absoluteString(), QStringLiteral("http://xn--caf-dma.example:8080/a%20b"));
    EXPECT_EQ(record->getHost(), QStringLiteral("xn--caf-dma.example"));

    // The cache is dropped by the next link URL.
    record->setLinkURL(QStringLiteral("https://other.example/x"));
    EXPECT_EQ(record->getHost(), QStringLiteral("other.example"));

    const auto empty = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    EXPECT_FALSE(empty->getNSURL().has_value());
    EXPECT_TRUE(empty->getHost().isNull());
}

TEST(CrwlUrlForms, FileURLObjectIsMadeFromThePath)
{
    const auto record = CrwlUrl::make(std::make_shared<RecordingOwner>(), makeSettings());
    record->setLinkURL(QStringLiteral("file:///tmp/my site/index.html"));
    const auto url = record->getNSURL();
    ASSERT_TRUE(url.has_value());
    EXPECT_TRUE(url->isFileUrl());
    EXPECT_EQ(url->toLocalFile(), QStringLiteral("/tmp/my site/index.html"));
    EXPECT_TRUE(record->getHost().isNull());
    EXPECT_EQ(record->getLinkUrlForTesting(), QStringLiteral("file:///tmp/my%20site/index.html"));
}

// ----- Setters with a rule --------------------------------------------------------------------

TEST(CrwlUrlSetters, DistanceKeepsTheSmallestPositiveValue)
{
    CrwlUrl record;
    record.setDistanceFromHome(3);
    record.setDistanceFromHome(2);
    EXPECT_EQ(record.getDistanceFromHome(), 2);
    record.setDistanceFromHome(3);
    EXPECT_EQ(record.getDistanceFromHome(), 2);
    EXPECT_EQ(record.getDistance(), QVariant(qint64(2)));

    CrwlUrl fresh;
    fresh.setDistanceFromHome(5);
    EXPECT_EQ(fresh.getDistanceFromHome(), 5);
    fresh.setDistanceFromHome(0); // smaller than 5: stored, as any smaller value is
    EXPECT_EQ(fresh.getDistanceFromHome(), 0);
}

TEST(CrwlUrlSetters, NullTextsDoNotReplaceStoredOnes)
{
    CrwlUrl record;
    record.setCanonical(QStringLiteral("http://h.com/c"));
    record.setCanonical(QString());
    EXPECT_EQ(record.getCanonical(), QStringLiteral("http://h.com/c"));
    record.setChangeFrequency(QStringLiteral("daily"));
    record.setChangeFrequency(QString());
    EXPECT_EQ(record.getChangefrequency(), QStringLiteral("daily"));
    record.setCanonical(QStringLiteral(""));
    EXPECT_EQ(record.getCanonical(), QStringLiteral(""));
}

TEST(CrwlUrlSetters, LastModifiedUsesTheCalendarYear)
{
    CrwlUrl record;
    // Midday in GMT keeps the same date in every time zone from UTC-11 to UTC+11.
    record.setTargetLastModified(QStringLiteral("Mon, 30 Dec 2024 12:00:00 GMT"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral("2024-12-30"));
    record.setTargetLastModified(QStringLiteral("Sat, 01 Jan 2022 12:00:00 GMT"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral("2022-01-01"));
    record.setTargetLastModified(QStringLiteral("Sunday, 06-Nov-94 12:49:37 GMT"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral("1994-11-06"));
    record.setTargetLastModified(QStringLiteral("Sun Nov  6 12:49:37 1994"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral("1994-11-06"));
    record.setTargetLastModified(QStringLiteral("not a date"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral(""));
}

TEST(CrwlUrlSetters, LastModifiedReadsLooseFormsOfTheUsualDateAlike)
{
    CrwlUrl record;
    // White space around or inside, and a numeric zone, go through the general reader.
    record.setTargetLastModified(QStringLiteral("  Mon, 30 Dec 2024   12:00:00 GMT "));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral("2024-12-30"));
    record.setTargetLastModified(QStringLiteral("Mon, 30 Dec 2024 12:00:00 +0000"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral("2024-12-30"));
    // Close to midnight the day is the local one, whatever zone the test runs in.
    record.setTargetLastModified(QStringLiteral("Mon, 30 Dec 2024 23:59:59 GMT"));
    EXPECT_EQ(record.getLastmodified(),
        QDateTime(QDate(2024, 12, 30), QTime(23, 59, 59), QTimeZone::utc()).toLocalTime().toString(QStringLiteral("yyyy-MM-dd")));
    // Digits where a month or a number belongs: not a date.
    record.setTargetLastModified(QStringLiteral("Mon, 3x Dec 2024 12:00:00 GMT"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral(""));
    record.setTargetLastModified(QStringLiteral("Mon, 30 Dek 2024 12:00:00 GMT"));
    EXPECT_EQ(record.getLastmodified(), QStringLiteral(""));
}

TEST(CrwlUrlSetters, BlacklistWarningFollowsTheDefault)
{
    UserDefaults& defaults = UserDefaults::standard();
    const auto owner = std::make_shared<RecordingOwner>();
    const auto record = CrwlUrl::make(owner, makeSettings());
    record->setLinkURL(QStringLiteral("http://h.com/private/"));

    defaults.setBool(false, QStringLiteral("shouldFlagBlacklisted"));
    record->setIsBlacklisted(true);
    EXPECT_TRUE(record->isBlacklisted());
    EXPECT_TRUE(owner->warningRecords.empty());

    defaults.setBool(true, QStringLiteral("shouldFlagBlacklisted"));
    record->setIsBlacklisted(false);
    EXPECT_FALSE(record->isBlacklisted());
    EXPECT_TRUE(owner->warningRecords.empty());
    record->setIsBlacklisted(true);
    ASSERT_EQ(owner->warningRecords.size(), 1u);
    EXPECT_EQ(
        owner->warningRecords[0].first, QStringLiteral("The link url is blacklisted by a blacklist / whitelist rule"));
    EXPECT_EQ(owner->warningRecords[0].second, record);
    defaults.removeObjectForKey(QStringLiteral("shouldFlagBlacklisted"));
}

TEST(CrwlUrlSetters, SendTimeAndTimeSinceSent)
{
    CrwlUrl record;
    EXPECT_FALSE(record.getTimestamp().isValid());
    EXPECT_EQ(record.getTimeSinceSent(), 0.0);
    record.setTimestamp(QDateTime::currentDateTimeUtc().addSecs(-90));
    EXPECT_GE(record.getTimeSinceSent(), 89.0);
    record.setSentRequest();
    EXPECT_TRUE(record.getTimestamp().isValid());
    EXPECT_LT(record.getTimeSinceSent(), 60.0);
}
