#include "views/LocateText.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "support/Fixtures.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

using crawlmere::test::fixturePath;
using crawlmere::views::LocateText;

namespace {

/// A small crawled site: pages and images linked by occurrences, in the order they were found.
class Site {
public:
    std::shared_ptr<CrwlUrl> page(const QString& url, const QString& title = QStringLiteral("T"))
    {
        auto record = std::make_shared<CrwlUrl>();
        record->setLinkURL(url);
        record->setLinkPageTitle(title);
        record->setStatus(200);
        records.push_back(record);
        return record;
    }
    std::shared_ptr<CrwlLinkInstance> link(
        const std::shared_ptr<CrwlUrl>& from, const std::shared_ptr<CrwlUrl>& to, const QString& text)
    {
        auto occurrence = std::make_shared<CrwlLinkInstance>();
        occurrence->setParent(from);
        occurrence->setTarget(to);
        occurrence->setLinkText(text);
        to->addInboundInstance(occurrence);
        occurrences.push_back(occurrence);
        return occurrence;
    }
    std::vector<std::shared_ptr<CrwlUrl>> records;
    std::vector<std::shared_ptr<CrwlLinkInstance>> occurrences;
};

void expectGolden(const QString& text, const QString& name)
{
    const QString path = fixturePath(QStringLiteral("locate/") + name);
    if (qEnvironmentVariableIsSet("CRAWLMERE_WRITE_GOLDEN")) {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text.toUtf8() + '\n');
    }
    EXPECT_EQ(text + u'\n', QString::fromUtf8(crawlmere::test::readFixture(QStringLiteral("locate/") + name))) << name.toStdString();
}

} // namespace

TEST(LocateText, TheRouteCountsAndMarkersReadAsTheGoldenTexts)
{
    Site site;
    auto home = site.page(QStringLiteral("http://127.0.0.1/"), QStringLiteral("Home"));
    home->setIsStartingPoint(true);
    auto a = site.page(QStringLiteral("http://127.0.0.1/a%3A"), QStringLiteral("A"));
    auto b = site.page(QStringLiteral("http://127.0.0.1/b"), QStringLiteral("B"));
    auto c = site.page(QStringLiteral("http://127.0.0.1/c"), QStringLiteral("C"));
    auto target = site.page(QStringLiteral("http://127.0.0.1/t"));
    auto image = site.page(QStringLiteral("http://127.0.0.1/i.png"));
    image->setIsImage(true);
    site.link(home, a, QStringLiteral("to a"));
    site.link(a, b, QStringLiteral("[alt]: pic of b"));
    site.link(b, c, QStringLiteral("[linked img]logo"));
    const auto onHome = site.link(home, target, QStringLiteral("target"));
    site.link(home, target, QStringLiteral("again"));
    site.link(home, target, QStringLiteral("thrice"));
    site.link(c, target, QStringLiteral("deep"));
    const auto alone = site.link(c, image, QStringLiteral("[alt]:"));

    expectGolden(LocateText::locate(*onHome, false), QStringLiteral("on-starting-page.html"));
    expectGolden(LocateText::locate(*alone, true), QStringLiteral("three-steps-alt-alone.html"));

    // A route that comes back to a page it has passed ends there.
    Site loop;
    auto x = loop.page(QStringLiteral("http://127.0.0.1/x"));
    auto y = loop.page(QStringLiteral("http://127.0.0.1/y"));
    loop.link(y, x, QStringLiteral("to x"));
    loop.link(x, y, QStringLiteral("to y"));
    const auto found = loop.link(x, loop.page(QStringLiteral("http://127.0.0.1/z")), QStringLiteral("z"));
    expectGolden(LocateText::locate(*found, false), QStringLiteral("cycle.html"));
}

TEST(LocateText, CrawledValuesShowAsTheyAreAndNeverAsMarkup)
{
    Site site;
    const QString hostile = QStringLiteral("</ul><img src=x> & \"q\"");
    auto home = site.page(QStringLiteral("http://127.0.0.1/?a=1&b=\"<"), hostile);
    home->setIsStartingPoint(true);
    const auto occurrence = site.link(home, site.page(QStringLiteral("http://127.0.0.1/t")), hostile);
    const QString html = LocateText::locate(*occurrence, false);
    EXPECT_FALSE(html.contains(QStringLiteral("<img")));
    QTextDocument document;
    document.setHtml(html);
    EXPECT_TRUE(document.toPlainText().contains(QStringLiteral("(") + hostile + QStringLiteral(")")));
    EXPECT_TRUE(document.toPlainText().contains(QStringLiteral("link text: \"") + hostile + u'"'));
    EXPECT_TRUE(LocateText::locate(CrwlLinkInstance(), false).isEmpty());
}

TEST(LocateText, TheHeadingIsBoldAtTheSizeOfTheRoute)
{
    Site site;
    auto home = site.page(QStringLiteral("http://127.0.0.1/"), QStringLiteral("Home"));
    home->setIsStartingPoint(true);
    const auto occurrence = site.link(home, site.page(QStringLiteral("http://127.0.0.1/t")), QStringLiteral("t"));
    QTextDocument document;
    document.setHtml(LocateText::locate(*occurrence, false));
    const QTextBlock heading = document.begin();
    ASSERT_TRUE(heading.text().startsWith(QStringLiteral("Locating the link")));
    const QTextBlock route = document.lastBlock();
    ASSERT_TRUE(route.text().startsWith(QStringLiteral("On the page")));
    const QFont headingFont = heading.begin().fragment().charFormat().font();
    EXPECT_TRUE(headingFont.bold());
    EXPECT_EQ(headingFont.pointSizeF(), route.begin().fragment().charFormat().font().pointSizeF());
    EXPECT_EQ(heading.blockFormat().headingLevel(), 0);
}
