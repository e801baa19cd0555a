// What a headless scan sends in each request's User-Agent and Accept-Language when `--set` gives
// an empty text or `--default` gives the application's value.
#include "HeadlessScanTestSupport.h"

#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"

#include <mutex>
#include <set>

using namespace crawlmere::test::headless;

namespace {

class HeadlessHeadersTest : public HeadlessScanTest {
protected:
    void serveSite(httplib::Server& site) override
    {
        site.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            {
                const std::lock_guard lock(mutex);
                seen.insert({ QString::fromStdString(request.get_header_value("User-Agent")),
                    QString::fromStdString(request.get_header_value("Accept-Language")) });
            }
            response.set_content("<html><body><a href=\"/a.html\">a</a></body></html>", "text/html");
        });
    }
    std::mutex mutex;
    std::set<std::pair<QString, QString>> seen;
};

TEST_F(HeadlessHeadersTest, AnEmptyTextIsTheDefaultAndTheApplicationsValuesAreSent)
{
    const QString agent = CrwlUrl::defaultCrawlSettings().value(crawlKey::userAgentString).toString();
    const struct {
        QStringList options;
        QString agent;
        QString language;
    } cases[] = {
        { { "--set", "userAgentString=" }, agent, "*" },
        { { "--set", "customHeaderAcceptLanguage=" }, agent, "*" },
        { { "--set", "userAgentString=   ", "--set", "customHeaderAcceptLanguage= \t" }, agent, "*" },
        { { "--default", "userAgentString=  ", "--default", "customHeaderAcceptLanguage= " }, agent, "*" },
        { { "--default", "userAgentString=AppAgent/1.0", "--set", "userAgentString=" }, "AppAgent/1.0", "*" },
        { { "--default", "customHeaderAcceptLanguage=de-CH" }, agent, "de-CH" },
        { { "--default", "customHeaderAcceptLanguage=de-CH", "--set", "customHeaderAcceptLanguage=fr" }, agent, "fr" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(u' ').toStdString());
        {
            const std::lock_guard lock(mutex);
            seen.clear();
        }
        ASSERT_EQ(run(QStringList(c.options) << url(QStringLiteral("/"))), kExitFinished) << err.text().toStdString();
        const std::lock_guard lock(mutex);
        EXPECT_EQ(seen, (std::set<std::pair<QString, QString>> { { c.agent, c.language } }));
    }
}

} // namespace
