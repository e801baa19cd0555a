// Tabs and line breaks inside a link or a base href are removed before it is resolved, as a
// browser's URL parser removes them: the address requested is the one a browser requests.
#include "Z12AraExtractionTestSupport.h"

using namespace crawlmere::test::extraction;

namespace {

TEST_F(Z12AraExtractionTest, TabsAndLineBreaksInsideALinkAreRemovedBeforeItIsResolved)
{
    start(QStringLiteral("http://site.test/dir/page.html"));
    const struct {
        const char* href;
        const char* target;
    } rows[] = {
        { "c\t.html", "http://site.test/dir/c.html" },
        { "\td\t.html\t", "http://site.test/dir/d.html" },
        { "e\n.html", "http://site.test/dir/e.html" },
        { "f\r\n.html", "http://site.test/dir/f.html" },
        { "g.html?q=a\tb", "http://site.test/dir/g.html?q=ab" },
        { "/h\t/i.html", "http://site.test/h/i.html" },
        { "ht\ttp://site.test/j.html", "http://site.test/j.html" },
    };
    Script page;
    for (const auto& row : rows)
        page.links.emplace_back(QString::fromLatin1(row.href), QStringLiteral("t"));
    extract(home, page);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.href);
        EXPECT_TRUE(known(QString::fromLatin1(row.target)));
    }
    EXPECT_EQ(home->getOutboundInstances().size(), std::size(rows));
}

TEST_F(Z12AraExtractionTest, ATabInsideTheBaseHrefIsRemovedToo)
{
    start(QStringLiteral("http://site.test/dir/page.html"));
    Script page;
    page.baseHref = QStringLiteral("/ba\tse/");
    page.links.emplace_back(QStringLiteral("k.html"), QStringLiteral("k"));
    extract(home, page);
    EXPECT_TRUE(known(QStringLiteral("http://site.test/base/k.html")));
}

} // namespace
