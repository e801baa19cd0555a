// URL records: the column texts of getFieldByName for a page filled as link extraction fills
// it, the page facts behind them (meta elements, headings, JSON-LD, fragments, warnings,
// duplicates), byte formatting, and sorting of records through their sort values.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "engine/qfDataSource.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using crawlmere::test::makeSettings;
using crawlmere::test::RecordingOwner;
using crawlmere::test::ScopedDefaults;

namespace {

/// An owner that answers the questions a page's columns ask, as the hub would.
class PageOwner : public RecordingOwner {
public:
    qint64 getNumberOfRedirectsTo(const CrwlUrl& record) const override
    {
        ++redirectQuestions;
        return record.getLinkURL() == redirectedTo ? 3 : 0;
    }
    CrwlUrlList getDuplicatesForCrwlUrl(const CrwlUrl& /*record*/) const override
    {
        ++duplicateQuestions;
        return duplicates;
    }
    CrwlUrlGroups getDuplicateTitles() const override { return titles; }
    CrwlUrlGroups getDuplicateDescriptions() const override { return descriptions; }
    void incBadLinkCount(const std::shared_ptr<CrwlUrl>& record) override { badLinks.push_back(record); }

    QString redirectedTo;
    CrwlUrlList duplicates;
    CrwlUrlGroups titles;
    CrwlUrlGroups descriptions;
    std::vector<std::shared_ptr<CrwlUrl>> badLinks;
    mutable int redirectQuestions = 0;
    mutable int duplicateQuestions = 0;
};

QVariantMap meta(std::initializer_list<std::pair<QString, QVariant>> attributes)
{
    QVariantMap element;
    for (const auto& [name, value] : attributes)
        element.insert(name, value);
    return element;
}

const QString twoDescriptionsWarning = QStringLiteral(
    "The page contains more than one meta description in the head. The *last* one found will be reported. This may "
    "not be the same as the one that browsers use");

class CrwlUrlFields : public testing::Test {
protected:
    void SetUp() override
    {
        owner = std::make_shared<PageOwner>();
        settings = makeSettings();
        page = make(QStringLiteral("http://bakery.test/bread/rye%20loaf.html"));
        owner->redirectedTo = page->getLinkURL();
    }

    std::shared_ptr<CrwlUrl> make(const QString& url)
    {
        auto record = CrwlUrl::make(owner, settings);
        record->setLinkURL(url);
        return record;
    }

    /// Fills `page` as a fetch and link extraction of a real page do.
    void fillLikeARealPage()
    {
        page->setStatus(200);
        page->setMimeType(QStringLiteral("text/html"));
        page->setFileSize(20 * 1024 + 300);
        page->setFileSizeCompressed(6 * 1024);
        page->setResponseTimeInterval(0.123456);
        page->setLinkPageTitle(QStringLiteral("Rye loaf – Bakery"));
        page->setMetaData({
            meta({ { "charset", "utf-8" } }),
            meta({ { "name", "description" }, { "content", "First description" } }),
            meta({ { "property", "og:title" }, { "content", "Rye loaf" } }),
            meta({ { "property", "OG:description" }, { "content", "capitals do not count" } }),
            meta({ { "property", "og:description" }, { "content", "Dark and sour" } }),
            meta({ { "name", "twitter:card" }, { "content", "summary" } }),
            meta({ { "itemprop", "name" } }), // no content: skipped
            meta({ { "itemprop", "name" }, { "content", "Rye" } }),
            meta({ { "name", "Description" }, { "content", "Second description" } }),
        });
        page->setHeadings({ QStringLiteral("Rye loaf"), QStringLiteral("\tIngredients "), QStringLiteral("\tMethod"),
            QStringLiteral("\t\tProving"), QStringLiteral("\t\t\tTimes"), QStringLiteral("Other breads") });
        page->setWordCount(812);
        page->setSpellingCount(3);
        page->setSearchTerms({ QStringLiteral("rye"), QStringLiteral("sour") });
        page->setHeadContainsNoIndex(true);
        page->setCanonical(QStringLiteral("http://bakery.test/bread/rye"));
        page->setDistanceFromHome(2);
        page->setJsonld(QJsonDocument::fromJson(R"([{"@context": "https://schema.org",
            "@graph": [{"@type": "Organization", "name": "Bakery"},
                       {"@type": "WebSite", "publisher": {"@type": "Organization"}}]}])")
                            .toVariant()
                            .toList());

        const auto home = make(QStringLiteral("http://bakery.test/"));
        home->setLinkPageTitle(QStringLiteral("Bakery home"));
        auto inbound = CrwlLinkInstance::make();
        inbound->setParent(home);
        inbound->setTarget(page);
        page->addInboundInstance(inbound);
        home->addOutboundInstance(inbound);
        keep.push_back(home);

        for (const auto& [url, kilobytes] :
            { std::pair { "http://bakery.test/rye.jpg", 10 }, std::pair { "http://bakery.test/crumb.png", 5 } }) {
            const auto image = make(QString::fromUtf8(url));
            image->setIsImage(true);
            image->setFileSize(kilobytes * 1024);
            linkFromPage(image);
        }
        linkFromPage(make(QStringLiteral("http://bakery.test/bread/")));
        const auto external = make(QStringLiteral("http://mill.test/"));
        external->setIsInternal(false);
        linkFromPage(external);
        owner->duplicates
            = { make(QStringLiteral("http://bakery.test/bread/rye")), make(QStringLiteral("http://bakery.test/rye")) };
    }

    void linkFromPage(const std::shared_ptr<CrwlUrl>& target)
    {
        auto instance = CrwlLinkInstance::make();
        instance->setParent(page);
        instance->setTarget(target);
        target->addInboundInstance(instance);
        page->addOutboundInstance(instance);
        keep.push_back(target);
    }

    QString field(const char* key) const { return page->getFieldByName(QString::fromUtf8(key)); }

    std::shared_ptr<PageOwner> owner;
    CrwlUrl::Settings settings;
    std::shared_ptr<CrwlUrl> page;
    std::vector<std::shared_ptr<CrwlUrl>> keep;
    ScopedDefaults defaults;
};

TEST_F(CrwlUrlFields, ColumnsOfARealPage)
{
    fillLikeARealPage();
    const std::vector<std::pair<const char*, QString>> table = {
        { "url", "http://bakery.test/bread/rye loaf.html" },
        { "URL", "http://bakery.test/bread/rye loaf.html" },
        { "linkurldecoded", "http://bakery.test/bread/rye loaf.html" },
        { "actualurl", "http://bakery.test/bread/rye loaf.html" },
        { "finalstringdecoded", "http://bakery.test/bread/rye loaf.html" },
        { "status", "200 ok" },
        { "redir", "" },
        { "metadescription", "Second description" },
        { "titlelength", "17" },
        { "descriptionlength", "18" },
        { "responsetime", "0.12346 s" },
        { "filesize", "20kb" },
        { "linkcount", "2" },
        { "wordcount", "812" },
        { "possibleduplicates", "2" },
        { "onpagecount", "1" },
        { "robots", "noindex" },
        { "canonical", "http://bakery.test/bread/rye" },
        { "imageweight", "15kb" },
        { "imageqty", "2" },
        { "distance", "2" },
        { "distancefromhome", "2" },
        { "internallinkcount", "3" },
        { "externallinkcount", "1" },
        { "numberofredirectstohere", "3" },
        { "ogtitle", "Rye loaf" },
        { "ogdescription", "Dark and sour" },
        { "ogimage", "" },
        { "twittercard", "summary" },
        { "itempropname", "Rye" },
        { "linkpagetitle", "Rye loaf – Bakery" },
        { "h1", "Rye loaf, Other breads" },
        { "h2", "Ingredients, Method" },
        { "h3", "Proving" },
        { "h4", "Times" },
        { "spellingcount", "3" },
        { "spelling", "3" },
        { "searchterms", "rye, sour" },
        { "keywordstuffed", "" },
        { "jsonldtypes", "Organization, WebSite" },
        { "onpageurl", "http://bakery.test/" },
        { "lastmodified", "" },
        { "changefrequency", "" },
        { "loadtime", "" }, // a key of other tables
        { "nonsense", "" },
    };
    for (const auto& [key, text] : table) {
        EXPECT_EQ(field(key), text) << key;
        EXPECT_FALSE(field(key).isNull()) << key;
    }
    EXPECT_EQ(page->h1Count(), 2);
    EXPECT_EQ(page->getWarningsAsArray(), QStringList { twoDescriptionsWarning });
    ASSERT_EQ(owner->warningRecords.size(), 1u);
    EXPECT_EQ(owner->warningRecords[0].second, page);

    page->setKeywordStuffed(true);
    EXPECT_EQ(field("keywordstuffed"), QString("YES"));
    defaults.set(QStringLiteral("displayPageTitle"), 1);
    EXPECT_EQ(field("onpageurl"), QString("Bakery home"));
}

TEST_F(CrwlUrlFields, EveryKeyAnswersOnAnEmptyRecord)
{
    const auto empty = CrwlUrl::make(nullptr, nullptr);
    const QStringList numeric = { "titlelength", "descriptionlength", "linkcount", "wordcount", "onpagecount",
        "imageqty", "distance", "distancefromhome", "internallinkcount", "externallinkcount", "numberofredirectstohere",
        "spellingcount", "spelling" };
    for (const QString& key : numeric)
        EXPECT_EQ(empty->getFieldByName(key), QString("0")) << key.toStdString();
    EXPECT_EQ(empty->getFieldByName("imageweight"), QString("0kb"));
    EXPECT_EQ(empty->getFieldByName("onpageurl"), QString("appears 0 times"));
    for (const char* key : { "url", "status", "redir", "filesize", "possibleduplicates", "timestamp", "responsetime",
             "metadescription", "h1", "jsonldtypes", "searchterms", "robots", "canonical", "ogsite_name" })
        EXPECT_EQ(empty->getFieldByName(QString::fromUtf8(key)), QString("")) << key;
}

TEST_F(CrwlUrlFields, ResponseTimeFormat)
{
    const std::vector<std::pair<double, QString>> table = {
        { 0.00001, "" },
        { 0.0, "" },
        { -1.0, "" },
        { 0.000011, "0.00001 s" },
        { 2.5, "2.50000 s" },
    };
    for (const auto& [seconds, text] : table) {
        page->setResponseTimeInterval(seconds);
        EXPECT_EQ(field("responsetime"), text) << seconds;
    }
}

TEST_F(CrwlUrlFields, FileSizeColumnAndGetters)
{
    page->setStatus(200);
    EXPECT_EQ(field("filesize"), QString(""));
    EXPECT_EQ(page->getFilesizeinkbytes(), std::nullopt);
    page->setFileSizeCompressed(3 * 1024);
    EXPECT_EQ(field("filesize"), QString("?3kb"));
    EXPECT_EQ(page->getFilesizeinkbytes(), 3);
    EXPECT_EQ(page->getFilesize(), 3);
    page->setFileSize(1500);
    EXPECT_EQ(field("filesize"), QString("1kb"));
    EXPECT_EQ(page->getFilesize(), 1); // 1 kilobyte is below 2: bytes / 1024
    page->setFileSize(1023);
    EXPECT_EQ(page->getFilesize(), 0);
    page->setFileSize(50 * 1024);
    EXPECT_EQ(field("filesize"), QString("50kb"));
    EXPECT_EQ(page->getFileSizeCompressed(), QString("3kb"));
    page->setStatus(404);
    EXPECT_EQ(field("filesize"), QString(""));
    page->setStatus(-15);
    EXPECT_EQ(field("filesize"), QString("50kb"));
}

TEST_F(CrwlUrlFields, OnPageUrlVariants)
{
    EXPECT_EQ(field("onpageurl"), QString("appears 0 times"));
    page->setIsStartingPoint(true);
    EXPECT_EQ(field("onpageurl"), QString("starting url"));

    // One occurrence on a page whose URL keeps an escaped "%": shown decoded once.
    const auto holder = make(QStringLiteral("http://bakery.test/100%2525"));
    auto first = CrwlLinkInstance::make();
    first->setParent(holder);
    page->addInboundInstance(first);
    EXPECT_EQ(field("onpageurl"), QString("http://bakery.test/100%25"));

    page->addInboundInstance(CrwlLinkInstance::make());
    EXPECT_EQ(field("onpageurl"), QString("starting url"));
    page->setIsStartingPoint(false);
    EXPECT_EQ(field("onpageurl"), QString("appears 2 times"));
}

TEST_F(CrwlUrlFields, TimestampColumns)
{
    EXPECT_EQ(field("timestamp"), QString(""));
    EXPECT_EQ(page->getHumanReadableTimestamp(), QString(""));
    page->setTimestamp(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 6), QTimeZone::utc()));
    EXPECT_TRUE(field("timestamp").contains(QStringLiteral("2024"))) << field("timestamp").toStdString();
    const QString utc = page->getHumanReadableTimestamp();
    EXPECT_TRUE(utc.endsWith(QStringLiteral(" UTC"))) << utc.toStdString();
    EXPECT_TRUE(utc.contains(QStringLiteral("2024"))) << utc.toStdString();
    EXPECT_TRUE(utc.contains(QStringLiteral("05:06")) || utc.contains(QStringLiteral("5:06"))) << utc.toStdString();
}

TEST_F(CrwlUrlFields, OwnerQuestionsWithoutAnOwner)
{
    const auto orphan = CrwlUrl::make(nullptr, makeSettings());
    EXPECT_EQ(orphan->getNumberofredirectstohere(), 0);
    EXPECT_EQ(orphan->getPossibleduplicates(), 0);
    EXPECT_EQ(orphan->getFieldByName("possibleduplicates"), QString(""));
    EXPECT_TRUE(orphan->getUrlsWithDuplicateTitlesRefresh(true).empty());
}

// ===== Meta elements ==========================================================================

TEST_F(CrwlUrlFields, MetaDescriptionsCountedPerCall)
{
    const QVariantList three = {
        meta({ { "name", "description" }, { "content", "one" } }),
        meta({ { "name", "Description" }, { "content", "two" } }),
        meta({ { "name", "DESCRIPTION" }, { "content", "three" } }),
    };
    page->setMetaData(three);
    EXPECT_EQ(page->getMetadescription(), QString("three"));
    EXPECT_EQ(page->getWarningsAsArray(), (QStringList { twoDescriptionsWarning, twoDescriptionsWarning }));
    page->setMetaData({ meta({ { "name", "keywords" }, { "content", "bread" } }) });
    EXPECT_EQ(page->getMetadescription(), QString("")); // cleared by the new elements
    EXPECT_EQ(page->getWarningsAsArray().size(), 2);
}

TEST_F(CrwlUrlFields, MetaElementsReadBackAsGivenAndAnswerAsAListWould)
{
    const QString longText = QString(70'000, u'r') + QStringLiteral("ye");
    const struct {
        const char* name;
        QVariantList elements;
    } cases[] = {
        { "none", {} },
        { "a page's description", { meta({ { "name", "description" }, { "content", "Page 7: rye loaf" } }) } },
        { "all four keys, empty texts, other scripts",
            { meta({ { "name", "" }, { "content", "" } }),
                meta({ { "property", "og:title" }, { "itemprop", "name" }, { "name", "t\u00e9" },
                    { "content", QStringLiteral("Brot \u00fc \U0001F35E") } }),
                meta({}) } },
        { "two descriptions and a copy of one",
            { meta({ { "name", "description" }, { "content", "one" } }),
                meta({ { "name", "DESCRIPTION" }, { "content", "two" } }),
                meta({ { "property", "og:description" }, { "content", "two" } }) } },
        { "a text longer than 65,535 units",
            { meta({ { "name", "keywords" }, { "content", longText } }),
                meta({ { "name", "description" }, { "content", longText } }) } },
        { "a key of its own", { meta({ { "http-equiv", "refresh" }, { "content", "5" } }) } },
        { "a number", { meta({ { "name", "rating" }, { "content", 5 } }) } },
        { "a null text", { meta({ { "name", "robots" }, { "content", QString() } }) } },
    };
    const QStringList keys = { "content", "name", "itemprop", "property", "http-equiv" };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Set over other elements: nothing of the earlier ones may remain.
        page->setMetaData({ meta({ { "name", "twitter:card" }, { "content", "summary" } }) });
        page->setMetaData({ meta({ { "http-equiv", "x" }, { "content", "y" } }) });
        page->setMetaData(c.elements);
        EXPECT_EQ(page->getMetaData(), c.elements);
        // Every attribute and value asked for answers the content a search of the list finds.
        for (const QVariant& element : c.elements) {
            for (const QString& key : keys) {
                const QString value = element.toMap().value(key).toString();
                QString expected = QStringLiteral("");
                for (const QVariant& each : c.elements) {
                    const QVariantMap attributes = each.toMap();
                    if (attributes.contains(QStringLiteral("content")) && attributes.contains(key)
                        && attributes.value(key).toString() == value) {
                        expected = attributes.value(QStringLiteral("content")).toString();
                        break;
                    }
                }
                EXPECT_EQ(page->metaContent(key, value), expected) << qPrintable(key + u'=' + value);
            }
        }
        EXPECT_EQ(page->metaContent(QStringLiteral("name"), QStringLiteral("twitter:card")), QString(""));
    }
}

TEST_F(CrwlUrlFields, MetaGettersCompareExactly)
{
    page->setMetaData({
        meta({ { "property", "OG:title" }, { "content", "capitals" } }),
        meta({ { "property", "og:title" }, { "content", "first" } }),
        meta({ { "property", "og:title" }, { "content", "second" } }),
        meta({ { "property", "og:site_name" }, { "content", "Bakery" } }),
        meta({ { "name", "twitter:description" }, { "content", "Bread daily" } }),
        meta({ { "itemprop", "image" }, { "content", "/loaf.jpg" } }),
        meta({ { "property", "og:latitude" }, { "content", "47.1" } }),
    });
    EXPECT_EQ(page->getOgtitle(), QString("first"));
    EXPECT_EQ(page->getOgsite_name(), QString("Bakery"));
    EXPECT_EQ(page->getTwitterdescription(), QString("Bread daily"));
    EXPECT_EQ(page->getItempropimage(), QString("/loaf.jpg"));
    EXPECT_EQ(page->getOglatitude(), QString("47.1"));
    EXPECT_EQ(page->getOglongitude(), QString(""));
    EXPECT_EQ(page->getTwittertitle(), QString(""));
}

// ===== Headings and JSON-LD ===================================================================

TEST_F(CrwlUrlFields, HeadingLevels)
{
    page->setHeadings({ QStringLiteral("Main"), QStringLiteral("\tSub"), QStringLiteral("\tOther") });
    EXPECT_EQ(page->getH1s(), QString("Main"));
    EXPECT_EQ(page->getH2s(), QString("Sub, Other"));
    EXPECT_EQ(page->getH3s(), QString(""));
    EXPECT_EQ(page->h1Count(), 1);
    EXPECT_EQ(page->getSortValue(QStringLiteral("h1count")), QVariant(qint64(1)));

    EXPECT_TRUE(CrwlUrl::thisIsAnH1(QStringLiteral("x")));
    EXPECT_FALSE(CrwlUrl::thisIsAnH1(QStringLiteral("")));
    EXPECT_FALSE(CrwlUrl::thisIsAnH1(QStringLiteral("\tx")));
    EXPECT_FALSE(CrwlUrl::thisIsAnH2(QStringLiteral("\t")));
    EXPECT_FALSE(CrwlUrl::thisIsAnH2(QStringLiteral("\t\tx")));
    EXPECT_TRUE(CrwlUrl::thisIsAnH3(QStringLiteral("\t\tx")));
    EXPECT_TRUE(CrwlUrl::thisIsAnH4(QStringLiteral("\t\t\tx")));
    EXPECT_FALSE(CrwlUrl::thisIsAnH4(QStringLiteral("\t\t\t\tx")));

    page->setHeadings({});
    EXPECT_EQ(page->h1Count(), 0);
    EXPECT_EQ(page->getH1s(), QString(""));
}

TEST_F(CrwlUrlFields, HeadingsReadBackAsGivenAndJoinAsTheListWould)
{
    const QString longHeading = QStringLiteral("\t") + QString(66'000, u'h');
    const struct {
        const char* name;
        QStringList headings;
    } cases[] = {
        { "none", {} },
        { "a page's", { "Page 7", "\tMore pages" } },
        { "empty and tab-only texts", { "", "\t", "\t\t", "Main", "" } },
        { "every level, padded", { " Top ", "\t Two ", "\t\t Three\n", "\t\t\tFour\t", "\t\t\t\tFive" } },
        { "other scripts and a long one", { QStringLiteral("Brot \u00fc \U0001F35E"), longHeading, "Main" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        page->setHeadings({ "Earlier", "\tEarlier too" });
        page->setHeadings(c.headings);
        EXPECT_EQ(page->getHeadings(), c.headings);
        // Each level as a filter and join over the list gives it.
        const auto joined = [&](bool (*test)(const QString&), bool trim) {
            QStringList texts;
            for (const QString& heading : c.headings) {
                if (test(heading))
                    texts.append(trim ? heading.trimmed() : heading);
            }
            return texts.join(QStringLiteral(", "));
        };
        EXPECT_EQ(page->getH1s(), joined(&CrwlUrl::thisIsAnH1, false));
        EXPECT_EQ(page->getH2s(), joined(&CrwlUrl::thisIsAnH2, true));
        EXPECT_EQ(page->getH3s(), joined(&CrwlUrl::thisIsAnH3, true));
        EXPECT_EQ(page->getH4s(), joined(&CrwlUrl::thisIsAnH4, true));
        EXPECT_EQ(page->h1Count(), std::count_if(c.headings.cbegin(), c.headings.cend(), &CrwlUrl::thisIsAnH1));
    }
}

// A record keeps its page's texts in fewer bytes where it can; every text must still read back
// exactly, whatever its script and whatever odd units a page's references put in it.
TEST_F(CrwlUrlFields, TitleDescriptionMetaAndHeadingsReadBackExactlyInAnyScript)
{
    const QChar loneHigh(char16_t(0xD83C));
    const QChar loneLow(char16_t(0xDF5E));
    const struct {
        const char* name;
        QString text;
    } cases[] = {
        { "ASCII", QStringLiteral("Rye loaf and the morning bake") },
        { "accents and a dash", QStringLiteral("Brot f\u00fcr \u00e9t\u00e9 \u2013 Bakery") },
        { "CJK, where UTF-16 is smaller", QStringLiteral("\u9762\u5305\u5e97\u306e\u671d\u3054\u306f\u3093") },
        { "a pair of surrogates", QStringLiteral("Bread \U0001F35E today") },
        { "a lone high surrogate", QStringLiteral("Bread ") + loneHigh + QStringLiteral(" today") },
        { "a lone low surrogate at the end", QStringLiteral("Bread ") + loneLow },
        { "a leading byte-order mark", QStringLiteral("\uFEFFTitle after a mark") },
        { "a NUL inside", QStringLiteral("before") + QChar(u'\0') + QStringLiteral("after") },
        { "one character", QStringLiteral("x") },
        { "empty", QStringLiteral("") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        page->setLinkPageTitle(c.text);
        page->setMetaData({ meta({ { "name", "description" }, { "content", c.text } }),
            meta({ { "property", "og:title" }, { "content", c.text + u'!' } }) });
        page->setHeadings({ c.text, u'\t' + c.text, "Main" });

        EXPECT_EQ(page->getLinkpagetitle(), c.text);
        EXPECT_EQ(page->getTitlelength(), c.text.size());
        EXPECT_EQ(page->getMetadescription(), c.text);
        EXPECT_EQ(page->getDescriptionlength(), c.text.size());
        EXPECT_EQ(page->getOgtitle(), c.text + u'!');
        EXPECT_EQ(page->getMetaData().at(0).toMap().value("content").toString(), c.text);
        EXPECT_EQ(page->getHeadings(), QStringList({ c.text, u'\t' + c.text, "Main" }));
    }
    // A page without a description answers an empty one, its length 0.
    page->setMetaData({});
    EXPECT_EQ(page->getMetadescription(), QString(""));
    EXPECT_FALSE(page->getMetadescription().isNull());
    EXPECT_EQ(page->getDescriptionlength(), 0);
}

TEST_F(CrwlUrlFields, JsonldTypesOncePerTypeDepthFirst)
{
    const auto types = [&](const char* json) {
        page->setJsonld(QJsonDocument::fromJson(json).toVariant().toList());
        return page->getJsonldTypes();
    };
    EXPECT_EQ(types(R"([])"), QString(""));
    EXPECT_EQ(types(R"([{"@graph": [{"@type": "Organization"}, {"@type": "WebSite",
                        "publisher": {"@type": "Organization"}}]}])"),
        QString("Organization, WebSite"));
    EXPECT_EQ(types(R"([{"@type": "Recipe", "author": {"@type": "Person"}}, [{"@type": "Bakery"}], 7, "text"])"),
        QString("Recipe, Person, Bakery"));
    // Several types on one node each count.
    EXPECT_EQ(types(R"([{"@type": ["Bakery", "LocalBusiness"], "x": {"@type": "Bakery"}}])"),
        QString("Bakery, LocalBusiness"));

    // Values stored as JSON objects are read too.
    const QJsonDocument document = QJsonDocument::fromJson(R"({"@type": "Product"})");
    page->setJsonld({ QVariant::fromValue(document.object()) });
    EXPECT_EQ(page->getJsonldTypes(), QString("Product"));

    // Deep nesting is cut off, not followed to the end of the stack.
    QVariantMap nested { { QStringLiteral("@type"), QStringLiteral("Top") } };
    for (int i = 0; i < 3000; ++i)
        nested = QVariantMap { { QStringLiteral("@type"), QStringLiteral("Level") }, { QStringLiteral("x"), nested } };
    page->setJsonld({ nested });
    EXPECT_EQ(page->getJsonldTypes(), QString("Level"));
}

// ===== Fragments and warnings =================================================================

TEST_F(CrwlUrlFields, MissingAnchorIsWarnedAndCounted)
{
    settings->insert(crawlKey::shouldTrimHash, false);
    const auto record = make(QStringLiteral("http://bakery.test/menu#lunch"));
    EXPECT_EQ(record->getAnchorFragment(), QString("lunch"));
    record->setNamesOnThisPage({ QStringLiteral("breakfast"), QStringLiteral("Lunch") });
    EXPECT_TRUE(record->getLinksAnchorDoesntAppearOnTargetPage());
    EXPECT_EQ(record->getWarningsAsArray(),
        QStringList {
            "This link url contains the anchor fragment #lunch which Crawlmere hasn't found on the target page" });
    EXPECT_TRUE(record->getWarningsArrayIncludesAnchors());
    // The status, as the views and exports show it, says why the link is bad.
    record->setStatus(200);
    EXPECT_EQ(record->getStatusDescription(), u"200 ok, no such #fragment on the page");
    EXPECT_EQ(record->getFieldByName(QStringLiteral("status")), record->getStatusDescription());
    ASSERT_EQ(owner->badLinks.size(), 1u);
    EXPECT_EQ(owner->badLinks[0], record);

    const auto found = make(QStringLiteral("http://bakery.test/menu#lunch"));
    found->setNamesOnThisPage({ QStringLiteral("lunch") });
    EXPECT_FALSE(found->getLinksAnchorDoesntAppearOnTargetPage());
    EXPECT_FALSE(found->getWarningsArrayIncludesAnchors());
    found->setStatus(200);
    EXPECT_EQ(found->getStatusDescription(), u"200 ok");
    EXPECT_EQ(make(QStringLiteral("http://bakery.test/menu#"))->getAnchorFragment(), QString(""));
}

TEST_F(CrwlUrlFields, NoFragmentCheckWhileFragmentsAreTrimmed)
{
    const auto record = make(QStringLiteral("http://bakery.test/menu#lunch"));
    settings->insert(crawlKey::shouldTrimHash, true);
    record->setNamesOnThisPage({});
    EXPECT_FALSE(record->getLinksAnchorDoesntAppearOnTargetPage());
    EXPECT_TRUE(record->getWarningsAsArray().isEmpty());
    EXPECT_TRUE(owner->badLinks.empty());
}

TEST_F(CrwlUrlFields, WarningsWithTheRedirectLine)
{
    page->addRedir(QStringLiteral("http://bakery.test/bread/rye"), 301, 0);
    page->addWarning(QStringLiteral("Unclosed element <p> at line 12/7."));
    const QString original = QStringLiteral("http://bakery.test/bread/rye loaf.html");
    EXPECT_EQ(page->getWarningsAsArray(),
        (QStringList {
            QStringLiteral("The original url %1 was redirected once to: http://bakery.test/bread/rye").arg(original),
            QStringLiteral("Unclosed element <p> at line 12.") }));
    EXPECT_EQ(page->getWarningsAsArrayIncludingRedirects(false), QStringList { "Unclosed element <p> at line 12." });
    EXPECT_EQ(page->getWarningsAsString(), page->getWarningsAsArray().join(u'\n'));

    page->addRedir(QStringLiteral("http://bakery.test/rye"), 302, 0);
    EXPECT_EQ(page->getWarningsAsArray().first(),
        QStringLiteral("The original url %1 was redirected 2 times, final url: http://bakery.test/rye").arg(original));
    page->addRedir(QStringLiteral("http://bakery.test/r2"), 302, 0);
    page->addRedir(QStringLiteral("http://bakery.test/r3"), 302, 0);
    EXPECT_EQ(page->getWarningsAsArray().first(),
        QStringLiteral("The original link url %1 redirected 4 times, which may be considered a redirect chain")
            .arg(original));
    defaults.set(QStringLiteral("redirectChain"), 4);
    EXPECT_TRUE(page->getWarningsAsArray().first().contains(QStringLiteral("was redirected 4 times")));
    defaults.set(crawlKey::dontReportRedirects, true);
    EXPECT_EQ(page->getWarningsAsArray(), QStringList { "Unclosed element <p> at line 12." });

    const auto quiet = make(QStringLiteral("http://bakery.test/quiet"));
    EXPECT_TRUE(quiet->getWarningsAsArray().isEmpty());
    EXPECT_EQ(quiet->getWarningsAsString(), QString(""));
}

TEST(CrwlUrlWarningText, CleanedOfColumnNumbersOnly)
{
    const std::vector<std::pair<QString, QString>> table = {
        { "Unclosed element <p> at line 12/7.", "Unclosed element <p> at line 12." },
        { "Bad link http://bakery.test/7 at line 3/7.", "Bad link http://bakery.test/7 at line 3." },
        { "Two places: at line 1/2 and at line 3/4.", "Two places: at line 1 and at line 3." },
        { "Ends at line 12/75", "Ends at line 12" },
        { "No place here/7.", "No place here/7." },
        { "", "" },
    };
    for (const auto& [warning, cleaned] : table)
        EXPECT_EQ(CrwlUrl::cleanedWarningString(warning), cleaned) << warning.toStdString();
}

// ===== Duplicates =============================================================================

TEST_F(CrwlUrlFields, DuplicateListsAreCachedUntilRefreshed)
{
    owner->duplicates = { make(QStringLiteral("http://bakery.test/a")) };
    EXPECT_EQ(page->getPossibleduplicates(), 1);
    owner->duplicates.push_back(make(QStringLiteral("http://bakery.test/b")));
    EXPECT_EQ(page->getPossibleduplicates(), 1);
    EXPECT_EQ(page->getUrlsWithDuplicatesRefresh(true).size(), 2u);
    EXPECT_EQ(page->getFieldByName("possibleduplicates"), QString("2"));

    page->setLinkPageTitle(QStringLiteral("Bread"));
    const auto titled = [&](const char* url, const char* title) {
        auto record = make(QString::fromUtf8(url));
        record->setLinkPageTitle(QString::fromUtf8(title));
        return record;
    };
    owner->titles[QStringLiteral("Bread")] = { titled("http://bakery.test/x", "bread"),
        titled("http://bakery.test/y", "Bread"), titled("http://bakery.test/z", "BREAD") };
    const CrwlUrlList sameTitle = page->getUrlsWithDuplicateTitlesRefresh(false);
    ASSERT_EQ(sameTitle.size(), 3u);
    EXPECT_EQ(sameTitle[0]->getLinkURL(), QString("http://bakery.test/x")); // equal ignoring case: kept in order
    owner->titles.clear();
    EXPECT_EQ(page->getUrlsWithDuplicateTitlesRefresh(false).size(), 3u);
    EXPECT_TRUE(page->getUrlsWithDuplicateTitlesRefresh(true).empty());

    page->setMetaData({ meta({ { "name", "description" }, { "content", "Fresh" } }) });
    const auto described = [&](const char* url, const char* text) {
        auto record = make(QString::fromUtf8(url));
        record->setMetaData({ meta({ { "name", "description" }, { "content", text } }) });
        return record;
    };
    owner->descriptions[QStringLiteral("Fresh")]
        = { described("http://bakery.test/2", "fresh"), described("http://bakery.test/1", "Fresh") };
    EXPECT_EQ(page->getUrlsWithDuplicateDescriptionsRefresh(false).size(), 2u);
}

// ===== Byte formatting ========================================================================

TEST(CrwlUrlFormatBytes, UnitsAndTruncation)
{
    const std::vector<std::pair<double, QString>> table = {
        { 0.5, "512b" },
        { 0.0, "0b" },
        { 0.9999, "1023b" },
        { 1.0, "1kb" },
        { 1.99, "1kb" },
        { 1023.9, "1023kb" },
        { 1024.0, "1Mb" },
        { 1048575.0, "1023Mb" },
        { 1048576.0, "1Gb" },
        { 5.5 * 1048576.0, "5Gb" },
        { std::nan(""), "0b" },
        { 1e300, "9223372036854775807Gb" },
    };
    for (const auto& [kilobytes, text] : table)
        EXPECT_EQ(CrwlUrl::formatBytes(kilobytes), text) << kilobytes;
}

// ===== Sorting ================================================================================

TEST_F(CrwlUrlFields, SortValuesAreNumbersWhereTheGetterIs)
{
    fillLikeARealPage();
    const std::vector<std::pair<const char*, QVariant>> table = {
        { "linkcount", QVariant(qint64(2)) },
        { "status", QVariant(qint64(200)) },
        { "distancefromhome", QVariant(qint64(2)) },
        { "distance", QVariant(qint64(2)) },
        { "filesize", QVariant(qint64(20)) },
        { "fileSize", QVariant(QString("20kb")) },
        { "imageweight", QVariant(15.0) },
        { "internal", QVariant(true) },
        { "redirectcount", QVariant(qint64(0)) },
        { "numberofredirectstohere", QVariant(qint64(3)) },
        { "responsetime", QVariant(0.123456) },
        { "linkpagetitle", QVariant(QString("Rye loaf – Bakery")) },
        { "url", QVariant(QString("http://bakery.test/bread/rye loaf.html")) }, // no getter: the column text
        { "onpageurl", QVariant(QString("http://bakery.test/")) },
    };
    for (const auto& [key, value] : table)
        EXPECT_EQ(page->getSortValue(QString::fromUtf8(key)), value) << key;
    EXPECT_EQ(page->getSortValue(QStringLiteral("timestamp")).typeId(), QMetaType::QDateTime);
}

TEST_F(CrwlUrlFields, TableSortsRecordsThroughTheirSortValues)
{
    class Rows : public qfDataSource { };
    Rows rows;
    const std::vector<std::pair<const char*, qint64>> pages = {
        { "http://bakery.test/a", 100 },
        { "http://bakery.test/b", 9 },
        { "http://bakery.test/c", 25 },
    };
    for (const auto& [url, distance] : pages) {
        auto record = make(QString::fromUtf8(url));
        record->setDistanceFromHome(distance);
        record->setStatus(distance == 9 ? 404 : 200);
        rows.add(record);
    }
    HeadlessTableView table;
    const auto order = [&](const QString& key, bool ascending) {
        table.setSortDescriptors({ { key, ascending } });
        rows.tableViewSortDescriptorsDidChange(table);
        QStringList urls;
        for (const auto& item : rows.getSortedAndFilteredArray())
            urls.append(std::static_pointer_cast<CrwlUrl>(item)->getLinkURL().right(1));
        return urls.join(QString());
    };
    EXPECT_EQ(order(QStringLiteral("distancefromhome"), true), QString("bca")); // 9 < 25 < 100
    EXPECT_EQ(order(QStringLiteral("distance"), false), QString("acb"));
    EXPECT_EQ(order(QStringLiteral("status"), false), QString("bac")); // stable among equal statuses
    EXPECT_EQ(order(QStringLiteral("url"), true), QString("abc"));
}

} // namespace
