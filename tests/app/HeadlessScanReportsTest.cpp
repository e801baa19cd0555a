// The scan without windows and what it counts per page: possible duplicates from the register,
// misspelled words, and the language whose dictionary counts them.
#include "HeadlessScanTestSupport.h"
#include "engine/CrawlSettingKeys.h"

using namespace crawlmere::test::headless;

namespace {

// Two pages of one title and size, a third of that title and another size, a fourth of that
// title whose canonical points elsewhere, and a four-hop redirect.
class HeadlessDuplicatesTest : public HeadlessScanTest {
protected:
    void SetUp() override
    {
        auto& site = server.server();
        const std::string twin = "<html><head><title>Twin</title></head><body><p>same words</p></body></html>";
        site.Get("/dup/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>Dup home</title></head><body><a href=\"a.html\">a</a>"
                                 "<a href=\"b.html\">b</a><a href=\"c.html\">c</a><a href=\"canon.html\">d</a>"
                                 "<a href=\"r0\">r</a></body></html>",
                "text/html");
        });
        for (const char* path : { "/dup/a.html", "/dup/b.html" }) {
            site.Get(path, [twin](const httplib::Request&, httplib::Response& response) {
                response.set_content(twin, "text/html");
            });
        }
        site.Get("/dup/c.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(
                "<html><head><title>Twin</title></head><body><p>other, longer words</p></body></html>", "text/html");
        });
        site.Get("/dup/canon.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>Twin</title><link rel=\"canonical\" href=\"/dup/a.html\"></head>"
                                 "<body><p>same words</p></body></html>",
                "text/html");
        });
        for (int hop = 0; hop < 4; ++hop) {
            const std::string to = hop == 3 ? "/dup/end.html" : "/dup/r" + std::to_string(hop + 1);
            site.Get("/dup/r" + std::to_string(hop),
                [to](const httplib::Request&, httplib::Response& response) { response.set_redirect(to, 301); });
        }
        site.Get("/dup/end.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>End</title></head><body>end</body></html>", "text/html");
        });
        HeadlessScanTest::SetUp();
    }
};

} // namespace

TEST_F(HeadlessDuplicatesTest, TheCsvCountsPossibleDuplicatesFromTheRegister)
{
    const int status = run({ QStringLiteral("--headless"), QStringLiteral("--columns"),
        QStringLiteral("url,status,linkpagetitle,possibleduplicates"), url(QStringLiteral("/dup/")) });
    ASSERT_EQ(status, kExitFinished) << err.text().toStdString();
    const CsvTable csv = readCsv(csvPath());
    const auto count = [&](const char* path) { return csv.rows.at(url(QLatin1String(path))).at("possibleduplicates"); };
    // a and b share a size, so the whole title group counts: each page has the two others.
    EXPECT_EQ(count("/dup/a.html"), "2");
    EXPECT_EQ(count("/dup/b.html"), "2");
    EXPECT_EQ(count("/dup/c.html"), "2");
    // Outside every group, a page is still counted against its title's group.
    EXPECT_EQ(count("/dup/canon.html"), "3");
    EXPECT_EQ(count("/dup/"), "");
    EXPECT_EQ(count("/dup/r0"), "");
}

namespace {

// A home page linking to two pages with planted misspellings, the second without links.
class HeadlessSpellingTest : public HeadlessScanTest {
protected:
    void SetUp() override
    {
        auto& site = server.server();
        const auto serve = [&site](const char* path, std::string body) {
            site.Get(path, [body](const httplib::Request&, httplib::Response& response) {
                response.set_content(
                    "<html><head><title>Spelling</title></head><body>" + body + "</body></html>", "text/html");
            });
        };
        serve("/sp/", "<p>Welcome home.</p><a href=\"a.html\">first</a> <a href=\"b.html\">second</a>");
        serve("/sp/a.html", "<p>The teh cat will recieve example.com today.</p><a href=\"/sp/\">home</a>");
        serve("/sp/b.html", "<p>Teh teh Wrold, said the well-known 42nd visitor.</p>");
        HeadlessScanTest::SetUp();
    }
};

} // namespace

TEST_F(HeadlessSpellingTest, TheCsvCountsEachPagesMisspelledWords)
{
    const int status = run({ QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("checkSpelling=YES"),
        QStringLiteral("--columns"), QStringLiteral("url,spellingcount"), url(QStringLiteral("/sp/")) });
    ASSERT_EQ(status, kExitFinished) << err.text().toStdString();
    const CsvTable csv = readCsv(csvPath());
    const auto count = [&](const char* path) { return csv.rows.at(url(QLatin1String(path))).at("spellingcount"); };
    EXPECT_EQ(count("/sp/"), "0");
    EXPECT_EQ(count("/sp/a.html"), "2"); // the web address is not counted
    EXPECT_EQ(count("/sp/b.html"), "3"); // "Teh" and "teh" are two
}

namespace {

// One page of British spellings, which American English counts as misspelled.
class HeadlessSpellingLanguageTest : public HeadlessScanTest {
protected:
    void SetUp() override
    {
        server.server().Get("/uk/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><head><title>Colours</title></head><body><p>Our favourite colour is blue. "
                                 "We organise the centre of the neighbourhood.</p></body></html>",
                "text/html");
        });
        HeadlessScanTest::SetUp();
    }
    QString countWith(const QString& language)
    {
        const int status = run({ QStringLiteral("--headless"), QStringLiteral("--set"),
            QStringLiteral("checkSpelling=YES"), QStringLiteral("--set"), QStringLiteral("language=") + language,
            QStringLiteral("--columns"), QStringLiteral("url,spellingcount"), url(QStringLiteral("/uk/")) });
        EXPECT_EQ(status, kExitFinished) << err.text().toStdString();
        return readCsv(csvPath()).rows.at(url(QStringLiteral("/uk/"))).at("spellingcount");
    }
};

} // namespace

TEST_F(HeadlessSpellingLanguageTest, TheSitesLanguageChoosesTheDictionaryOfTheCount)
{
    // favourite, colour, organise, centre, neighbourhood: wrong in the United States only.
    struct Case {
        const char* language;
        const char* count;
    };
    for (const Case& c : { Case { "English (United States)", "5" }, Case { "English (United Kingdom)", "0" },
             Case { "English (United States)", "5" } }) {
        SCOPED_TRACE(c.language);
        EXPECT_EQ(countWith(QLatin1String(c.language)).toStdString(), c.count);
    }
}

TEST_F(HeadlessSpellingLanguageTest, ANewSiteChecksInTheLocalesInstalledDictionaryWithoutANotice)
{
    const QString identifier = crawlmere::platform::localeLanguageIdentifier();
    if (!crawlmere::settings::SpellingLanguages::availableLanguages().contains(identifier))
        GTEST_SKIP() << "no dictionary for the locale's language " << qPrintable(identifier);
    const QString language = crawlmere::settings::SpellingLanguages::displayName(identifier);
    EXPECT_EQ(CrwlUrl::defaultCrawlSettings().value(crawlKey::language).toString(), language);
    ASSERT_EQ(run({ QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("checkSpelling=YES"),
                  url(QStringLiteral("/uk/")) }),
        kExitFinished);
    EXPECT_FALSE(err.text().contains(QStringLiteral("no spelling dictionary"))) << qPrintable(err.text());
}

TEST_F(HeadlessSpellingLanguageTest, ALanguageWithoutADictionaryIsSaidOnceWhenTheScanStarts)
{
    const QString german = QStringLiteral("German (Germany)");
    if (!crawlmere::settings::SpellingLanguages::identifierForLanguage(
            german, crawlmere::settings::SpellingLanguages::availableLanguages())
             .isEmpty())
        GTEST_SKIP() << "a German dictionary is installed";
    countWith(german); // the scan runs, in the checker's language
    const QString notice = QStringLiteral("crawlmere: no spelling dictionary for the language German (Germany)");
    EXPECT_EQ(err.text().count(notice), 1) << qPrintable(err.text());
    EXPECT_TRUE(err.text().contains(notice + QStringLiteral(": spelling is checked in English"))) << qPrintable(err.text());
}
