// URL records: status texts (internal codes, HTTP codes with their reason phrases, redirected
// URLs under each display setting), the good and error tests, and classification by MIME type,
// type attribute and file extension.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "engine/detail/HttpReasonPhrases.h"

#include <gtest/gtest.h>

#include <vector>

using crawlmere::engine::detail::reasonPhraseForStatusCode;
using crawlmere::test::makeSettings;
using crawlmere::test::RecordingOwner;
using crawlmere::test::ScopedDefaults;

namespace {

std::shared_ptr<CrwlUrl> recordFor(const QString& url, const QVariantMap& settings = {})
{
    auto record = CrwlUrl::make(nullptr, makeSettings(settings));
    record->setLinkURL(url);
    return record;
}

// ===== Status texts ===========================================================================

TEST(CrwlUrlStatusText, NewRecordIsNotYetCheckedAndDescribedAsEmpty)
{
    const auto record = CrwlUrl::make(nullptr, makeSettings());
    EXPECT_EQ(record->getStatus(), CrwlStatus::notYetChecked);
    EXPECT_EQ(record->getStatusDescription(), QString(""));
    EXPECT_FALSE(record->getStatusDescription().isNull());
}

TEST(CrwlUrlStatusText, EveryInternalCodeHasItsText)
{
    const std::vector<std::pair<qint64, QString>> table = {
        { -1, "" },
        { -2, "Request sent" },
        { -3, "User marked fixed" },
        { -4, "Not checked" },
        { -5, "Unable to make valid url" },
        { -6, "Disallowed by robots.txt" },
        { -7, "File is directory" },
        { -8, "File doesn't exist" },
        { -9, "Recurring redirect" },
        { -10, "possible 'soft 404'" },
        { -11, "Missing link url" },
        { -12, "blocked by LinkedIn" },
        { -13, "blocked by Cloudflare" },
        { -14, "Completed with error" },
        { -15, "OK" },
        { -16, "blocked by Incapsula" },
        { -17, "Unknown error" },
        { -18, "Unauthorized" },
        { -19, "Response header field Refresh:" },
        { -20, "Redirection to nowhere" },
        { -21, "Missing image src" },
    };
    const auto record = CrwlUrl::make(nullptr, makeSettings());
    for (const auto& [code, text] : table) {
        record->setStatus(code);
        EXPECT_EQ(record->getStatusDescription(), text) << code;
        EXPECT_EQ(record->descriptionForStatusCode(code), text) << code;
    }
}

TEST(CrwlUrlStatusText, TransportErrorShowsTheErrorTextWhenThereIsOne)
{
    const auto record = CrwlUrl::make(nullptr, makeSettings());
    record->setStatus(CrwlStatus::completedWithError);
    EXPECT_EQ(record->getStatusDescription(), QString("Completed with error"));
    record->setError(QStringLiteral("Could not resolve host: nowhere.invalid"));
    EXPECT_EQ(record->getStatusDescription(), QString("Could not resolve host: nowhere.invalid"));
    // The error text belongs to -14 only.
    record->setStatus(CrwlStatus::unknownError);
    EXPECT_EQ(record->getStatusDescription(), QString("Unknown error"));
    record->setError(QString());
    record->setStatus(CrwlStatus::completedWithError);
    EXPECT_EQ(record->getStatusDescription(), QString("Completed with error"));
}

TEST(CrwlUrlStatusText, OtherCodesAreTheCodeAndItsReasonPhrase)
{
    const std::vector<std::pair<qint64, QString>> table = {
        { 200, "200 ok" },
        { 301, "301 moved permanently" },
        { 404, "404 not found" },
        { 410, "410 gone" },
        { 500, "500 internal server error" },
        { 505, "505 HTTP version not supported" },
        // Unregistered codes are named by their class.
        { 199, "199 informational" },
        { 299, "299 success" },
        { 399, "399 redirected" },
        { 499, "499 client error" },
        { 599, "599 server error" },
        // Outside the HTTP range: still "%ld %@", never an internal text.
        { 0, "0 unknown" },
        { 999, "999 unknown" },
        { -22, "-22 unknown" },
        { 600, "600 unknown" },
    };
    const auto record = CrwlUrl::make(nullptr, makeSettings());
    for (const auto& [code, text] : table) {
        record->setStatus(code);
        EXPECT_EQ(record->getStatusDescription(), text) << code;
    }
    // Texts are formatted once per code; more codes than are kept still give their own texts.
    for (qint64 code = 1000; code < 3100; ++code)
        ASSERT_EQ(record->descriptionForStatusCode(code), QStringLiteral("%1 unknown").arg(code));
    for (const auto& [code, text] : table) {
        record->setStatus(code);
        EXPECT_EQ(record->getStatusDescription(), text) << code;
    }
}

TEST(CrwlUrlStatusText, ReasonPhrasesAreNeverEmpty)
{
    for (qint64 code = -30; code <= 1000; ++code)
        EXPECT_FALSE(reasonPhraseForStatusCode(code).isEmpty()) << code;
}

class CrwlUrlRedirectedStatusText : public testing::Test {
protected:
    /// First answered 301, finally 200.
    std::shared_ptr<CrwlUrl> redirectedRecord(const QVariantMap& settings = {})
    {
        auto record = recordFor(QStringLiteral("http://bakery.test/old"), settings);
        record->addRedir(QStringLiteral("http://bakery.test/new"), 301, 0);
        record->setStatus(200);
        return record;
    }
    ScopedDefaults defaults;
};

TEST_F(CrwlUrlRedirectedStatusText, UnsetSettingShowsFinalThenInitial)
{
    EXPECT_EQ(redirectedRecord()->getStatusDescription(), QString("200 ok < 301 moved permanently"));
}

TEST_F(CrwlUrlRedirectedStatusText, EachValueOfTheSetting)
{
    const std::vector<std::pair<qint64, QString>> table = {
        { 2, "200 ok < 301 moved permanently" },
        { 1, "200 ok" },
        { 0, "301 moved permanently" },
        { 5, "" },
        { -1, "" },
    };
    const auto record = redirectedRecord();
    for (const auto& [setting, text] : table) {
        defaults.set(QStringLiteral("byStatusWhichStatus"), setting);
        EXPECT_EQ(record->getStatusDescription(), text) << setting;
    }
}

TEST_F(CrwlUrlRedirectedStatusText, DontReportRedirectsShowsTheFinalStatusWhateverTheSetting)
{
    const auto record = redirectedRecord({ { crawlKey::dontReportRedirects, true } });
    for (const qint64 setting : { 0, 1, 2, 5 }) {
        defaults.set(QStringLiteral("byStatusWhichStatus"), setting);
        EXPECT_EQ(record->getStatusDescription(), QString("200 ok")) << setting;
    }
}

TEST_F(CrwlUrlRedirectedStatusText, ThePreferenceThatColoursRedirectsDropsTheirTextToo)
{
    const auto record = redirectedRecord();
    defaults.set(crawlKey::dontReportRedirects, true);
    EXPECT_EQ(record->getStatusDescription(), QString("200 ok"));
    defaults.set(crawlKey::dontReportRedirects, false);
    EXPECT_EQ(record->getStatusDescription(), QString("200 ok < 301 moved permanently"));
}

TEST_F(CrwlUrlRedirectedStatusText, InitialStatusComesFromTheFirstHop)
{
    auto record = recordFor(QStringLiteral("http://bakery.test/a"));
    EXPECT_EQ(record->initialStatus(), -1);
    record->setStatus(404);
    EXPECT_EQ(record->initialStatus(), 404);
    record->addRedir(QStringLiteral("http://bakery.test/b"), 302, 0);
    record->addRedir(QStringLiteral("http://bakery.test/c"), 308, 0);
    record->setStatus(200);
    EXPECT_EQ(record->initialStatus(), 302);
    EXPECT_EQ(record->finalStatus(), 200);

    // A hop without a status reads as not yet checked.
    auto copied = recordFor(QStringLiteral("http://bakery.test/a"));
    copied->addRedirsFromArray({ QVariantMap { { "url", "http://bakery.test/b" }, { "reason", 0 } } });
    copied->setStatus(200);
    EXPECT_EQ(copied->initialStatus(), -1);
    EXPECT_EQ(copied->getStatusDescription(), QString("200 ok < "));
}

TEST(CrwlUrlStatusTests, GoodLinkAndErrorPage)
{
    struct Row {
        qint64 status;
        bool good;
        bool errorPage;
    };
    const std::vector<Row> table = {
        { 200, true, false },
        { 299, true, false },
        { 300, true, true },
        { 399, true, true },
        { 400, false, true },
        { 199, false, false },
        { -15, true, false },
        { -1, false, false },
        { 0, false, false },
        { 999, false, true },
    };
    const auto record = CrwlUrl::make(nullptr, makeSettings());
    for (const Row& row : table) {
        record->setStatus(row.status);
        EXPECT_EQ(record->isGoodLink(), row.good) << row.status;
        EXPECT_EQ(record->isErrorPage(), row.errorPage) << row.status;
    }
}

// ===== Classification =========================================================================

struct TypeRow {
    const char* url;
    const char* mimeType;
    bool xml, js, css, pdf, docx, rtf, txt, csv;
};

TEST(CrwlUrlClassification, ByExtensionAndMimeType)
{
    const std::vector<TypeRow> table = {
        // url, mime: xml js css pdf docx rtf txt csv
        { "http://bakery.test/data.json", "", false, true, false, false, false, false, false, false },
        { "http://bakery.test/sitemap.xml?page=2", "", true, false, false, false, false, false, false, false },
        { "http://bakery.test/sitemap.XML", "", true, false, false, false, false, false, false, false },
        { "http://bakery.test/sitemap.Xml", "", false, false, false, false, false, false, false, false },
        { "http://bakery.test/feed", "Text/XML; charset=utf-8", true, false, false, false, false, false, false, false },
        { "http://bakery.test/app.js?v=3", "", false, true, false, false, false, false, false, false },
        { "http://bakery.test/app", "text/javascript", false, true, false, false, false, false, false, false },
        { "http://bakery.test/style.css?v=1", "", false, false, true, false, false, false, false, false },
        { "http://bakery.test/Style.SCSS", "", false, false, true, false, false, false, false, false },
        { "http://bakery.test/menu.PDF", "", false, false, false, true, false, false, false, false },
        { "http://bakery.test/menu", "application/pdf", false, false, false, true, false, false, false, false },
        { "http://bakery.test/order.docx", "", false, false, false, false, true, false, false, false },
        { "http://bakery.test/order", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", false,
            false, false, false, false, false, false, false },
        { "http://bakery.test/recipe.rtf?dl=1", "", false, false, false, false, false, true, false, false },
        { "http://bakery.test/recipe", "text/rtf", false, false, false, false, false, true, false, false },
        { "http://bakery.test/notes.TXT", "", false, false, false, false, false, false, true, false },
        { "http://bakery.test/notes.Txt", "", false, false, false, false, false, false, false, false },
        { "http://bakery.test/prices.csv", "", false, false, false, false, false, false, false, true },
        { "http://bakery.test/prices.CSV?x=1", "", false, false, false, false, false, false, false, true },
        { "http://bakery.test/", "text/html", false, false, false, false, false, false, false, false },
    };
    for (const TypeRow& row : table) {
        const auto record = recordFor(QString::fromUtf8(row.url));
        record->setMimeType(QString::fromUtf8(row.mimeType));
        EXPECT_EQ(record->isXML(), row.xml) << row.url;
        EXPECT_EQ(record->isJS(), row.js) << row.url;
        EXPECT_EQ(record->isCSS(), row.css) << row.url;
        EXPECT_EQ(record->isPDF(), row.pdf) << row.url;
        EXPECT_EQ(record->isDOCX(), row.docx) << row.url;
        EXPECT_EQ(record->isRTF(), row.rtf) << row.url;
        EXPECT_EQ(record->isTXT(), row.txt) << row.url;
        EXPECT_EQ(record->isCSV(), row.csv) << row.url;
    }
}

TEST(CrwlUrlClassification, TypeAttributeOverridesTheHtmlFlag)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/logo"));
    EXPECT_TRUE(record->isHTML()); // a new record is HTML
    const std::vector<std::pair<QString, bool>> table = {
        { "image/png", false },
        { "application/rss+xml", false },
        { "application/json", false },
        { "application/wlwmanifest+xml", false },
        { "font/woff2", false },
        { "IMAGE/PNG", true }, // compared as written
        { "text/html", true },
        { "", true },
    };
    for (const auto& [type, html] : table) {
        record->setTypeAttribute(type);
        EXPECT_EQ(record->isHTML(), html) << type.toStdString();
    }
    record->setTypeAttribute(QString());
    record->setIsHTML(false);
    EXPECT_FALSE(record->isHTML());
}

TEST(CrwlUrlClassification, HttpScheme)
{
    EXPECT_TRUE(recordFor(QStringLiteral("HTTP://bakery.test/"))->isHttp());
    EXPECT_FALSE(recordFor(QStringLiteral("https://bakery.test/"))->isHttp());
    EXPECT_FALSE(CrwlUrl::make(nullptr, makeSettings())->isHttp());
}

TEST(CrwlUrlClassification, DirectoryDepthAndClimbs)
{
    const std::vector<std::pair<QString, qint64>> table = {
        { "http://bakery.test", 0 },
        { "http://bakery.test/", 0 },
        { "http://bakery.test/bread", 1 },
        { "http://bakery.test/bread/rye", 2 },
        { "http://bakery.test/bread/rye/", 2 },
        { "http://bakery.test/bread/rye.html?slice=2", 2 },
        { "http://bakery.test/brød/rye", 2 }, // not a valid URL as stored: the encoded form is used
        { "", 0 },
    };
    for (const auto& [url, depth] : table)
        EXPECT_EQ(recordFor(url)->getDirectoryDepth(), depth) << url.toStdString();
    EXPECT_TRUE(recordFor(QStringLiteral("http://bakery.test/a/../../b"))->directoryTooHigh());
    EXPECT_FALSE(recordFor(QStringLiteral("http://bakery.test/a/b"))->directoryTooHigh());
}

TEST(CrwlUrlClassification, DeepContentFollowsTheDefault)
{
    ScopedDefaults defaults;
    const auto record = recordFor(QStringLiteral("http://bakery.test/deep"));
    record->setDistanceFromHome(6);
    EXPECT_FALSE(record->isDeepContent());
    record->setDistanceFromHome(0);
    record->setDistanceFromHome(7);
    EXPECT_TRUE(record->isDeepContent());
    defaults.set(QStringLiteral("minDeepContent"), 7);
    EXPECT_FALSE(record->isDeepContent());
}

// ===== Nofollow ===============================================================================

TEST(CrwlUrlNofollow, OnlyWhenEveryInboundOccurrenceIsNofollow)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/"));
    const auto target = recordFor(QStringLiteral("http://bakery.test/offers"));
    EXPECT_FALSE(target->isNofollow()); // nothing links here

    const auto link = [&](const QString& rel) {
        auto instance = CrwlLinkInstance::make();
        instance->setParent(page);
        instance->setTarget(target);
        if (!rel.isEmpty())
            instance->setRel(rel);
        target->addInboundInstance(instance);
        page->addOutboundInstance(instance);
    };
    link(QStringLiteral("nofollow"));
    EXPECT_TRUE(target->isNofollow());
    link(QString());
    EXPECT_FALSE(target->isNofollow()); // one of two followed
    const auto other = recordFor(QStringLiteral("http://bakery.test/sale"));
    for (int i = 0; i < 2; ++i) {
        auto instance = CrwlLinkInstance::make();
        instance->setTarget(other);
        instance->setRel(QStringLiteral("Sponsored NoFollow"));
        other->addInboundInstance(instance);
    }
    EXPECT_TRUE(other->isNofollow());
}

} // namespace
