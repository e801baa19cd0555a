// The robots.txt verdict over the examples of RFC 9309 and the cases met on real sites: groups,
// "$" and "*", case, matching from the start of the path, and one percent-encoded form.
#include "engine/RobotsTxt.h"
#include "engine/Z12Ara.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct RobotsCase {
    const char* robots;
    const char* path; // path and query, encoded or not
    bool disallowed;
};

// RFC 9309 2.1: groups of one agent add up; consecutive User-agent lines open one group.
constexpr const char* kGroups = "user-agent: *\ndisallow: /c\n\nuser-agent: *\ndisallow: /d\n\n"
                                "user-agent: e\nuser-agent: *\ndisallow: /g\n\nuser-agent: h\ndisallow: /h\n";
// RFC 9309 5.1, read by an agent without a group of its own.
constexpr const char* kSimple
    = "User-Agent: *\nDisallow: *.gif$\nDisallow: /example/\nAllow: /publications/\n\n"
      "User-Agent: foobot\nDisallow:/\nAllow:/example/page.html\nAllow:/example/allowed.gif\n\n"
      "User-Agent: barbot\nUser-Agent: bazbot\nDisallow: /example/page.html\n\n"
      "User-Agent: quxbot\n";
// RFC 9309 5.2: the longest match.
constexpr const char* kLongest = "User-Agent: *\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n";
// RFC 9309 2.2.2 and 2.2.3: encoded and special characters.
constexpr const char* kEncoding = "User-agent: *\nDisallow: /foo/bar?baz=quz\nDisallow: /foo/bar/ツ\n"
                                  "Disallow: /foo/bar/%62%61%7A\nDisallow: /jp/%e3%83%84\n"
                                  "Disallow: /path/file-with-a-%2A.html\nDisallow: /path/foo-%24\n";
constexpr const char* kSpecial
    = "User-agent: *\nDisallow: /this/path/exactly$\nDisallow: /that/*/exactly\nDisallow: /*.pdf$\n";
constexpr const char* kPercent = "User-agent: *\nDisallow: /caf%C3%A9\nDisallow: /na%20me\n";
constexpr const char* kTwoAgents = "User-agent: *\nUser-agent: other\nDisallow: /g2\n";
constexpr const char* kTwoAgentsReversed = "User-agent: other\nUser-agent: *\nDisallow: /g2\n";
constexpr const char* kExact = "User-agent: *\nDisallow: /exact$\n";
constexpr const char* kCase = "User-agent: *\nDisallow: /Private\n";
constexpr const char* kShort = "User-agent: *\nDisallow: /p\n";
constexpr const char* kAdmin = "User-agent: *\nDisallow: /admin\n";
constexpr const char* kEverything = "User-agent: *\nDisallow: /\n";
constexpr const char* kAgents = "User-agent: Googlebot-Image\nDisallow: /images\n"
                                "User-agent: Googlebot\nDisallow: /main\nUser-agent: *\nDisallow: /star\n";

// Rules whose literal pieces overlap, repeat or come in another order than in the address.
constexpr const char* kPieces = "User-agent: *\nDisallow: *bc\nDisallow: /a*abc*bc$\nDisallow: /q*x*x\n"
                                "Disallow: /r*one*two\nDisallow: /s*Cd\n";

const RobotsCase kCases[] = {
    { kPieces, "/zzbcz", true },
    { kPieces, "/abc", true }, // "*bc" as well
    { kPieces, "/a-abcbc", true },
    { kPieces, "/q-x", false },
    { kPieces, "/q-x-x", true },
    { kPieces, "/r-two-one", false },
    { kPieces, "/r-one-two", true },
    { kPieces, "/s-cd", false },
    { kPieces, "/s-Cd", true },
    { kGroups, "/c", true },
    { kGroups, "/d/x", true },
    { kGroups, "/g", true },
    { kGroups, "/h", false },
    { kSimple, "/example/page.html", true },
    { kSimple, "/pic.gif", true },
    { kSimple, "/dir/pic.gif", true },
    { kSimple, "/pic.gif?size=2", false },
    { kSimple, "/publications/", false },
    { kSimple, "/publications/x.gif", false }, // "/publications/" is longer than "*.gif$"
    { kSimple, "/other", false },
    { kLongest, "/example/page/", false },
    { kLongest, "/example/page/disallowed.gif", true },
    { kEncoding, "/foo/bar?baz=quz", true },
    { kEncoding, "/foo/bar?baz=qux", false },
    { kEncoding, "/foo/bar/%E3%83%84", true },
    { kEncoding, "/foo/bar/ツ", true },
    { kEncoding, "/foo/bar/baz", true },
    { kEncoding, "/jp/ツ", true },
    { kEncoding, "/path/file-with-a-*.html", true },
    { kEncoding, "/path/file-with-a-x.html", false },
    { kEncoding, "/path/foo-$", true },
    { kEncoding, "/path/foo-%24", true },
    { kSpecial, "/this/path/exactly", true },
    { kSpecial, "/this/path/exactly/more", false },
    { kSpecial, "/that/a/b/exactly", true },
    { kSpecial, "/that/exactly", false },
    { kSpecial, "/docs/a.pdf", true },
    { kSpecial, "/docs/a.pdf?download=1", false },
    { kPercent, "/caf%C3%A9.html", true },
    { kPercent, "/caf%c3%a9b.html", true },
    { kPercent, "/café.html", true },
    { kPercent, "/na%20me.html", true },
    { kPercent, "/na me.html", true },
    { kPercent, "/cafe.html", false },
    { kTwoAgents, "/g2.html", true },
    { kTwoAgentsReversed, "/g2.html", true },
    { kExact, "/exact", true },
    { kExact, "/exact.html", false },
    { kExact, "/exactly", false },
    { kCase, "/private/x.html", false },
    { kCase, "/Private/x.html", true },
    { kShort, "/PAth/ok.html", false },
    { kShort, "/path/ok.html", true },
    { kAdmin, "/x.html?u=http://host/admin", false },
    { kAdmin, "/x/admin", false },
    { kAdmin, "/admin/x", true },
    { kAdmin, "/%61dmin/x", true }, // an encoded unreserved character is the character
    { kEverything, "/robots.txt", false },
    { kEverything, "/anything", true },
    { kAgents, "/main", true },
    { kAgents, "/star", false }, // the main agent's group came first
    { kAgents, "/images", false },
};

TEST(RobotsTxtTest, VerdictOverTheRfcExamplesAndTheCasesMetOnSites)
{
    for (const RobotsCase& c : kCases) {
        const auto rules = Z12Ara::parseRobotsRules(QString::fromUtf8(c.robots));
        const RobotsTxt robots(rules.disallow, rules.allow);
        EXPECT_EQ(robots.verdict(QString::fromUtf8(c.path)) == RobotsTxt::Verdict::Disallowed, c.disallowed)
            << c.path << " under\n"
            << c.robots;
    }
}

TEST(RobotsTxtTest, TheHubAsksWithAnyFormOfTheAddressAndOnlyForItsOwnSite)
{
    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults(folder.filePath(QStringLiteral("defaults.plist")));
    Z12Ara hub(defaults);
    hub.setRobotsRules(QStringLiteral("127.0.0.1:8080"), Z12Ara::parseRobotsRules(QString::fromUtf8(kPercent)));
    for (const char* url : { "http://127.0.0.1:8080/caf%C3%A9.html", "http://127.0.0.1:8080/café.html#top",
             "https://user@127.0.0.1:8080/na me.html" })
        EXPECT_EQ(hub.robotsVerdict(QString::fromUtf8(url)), Z12Ara::RobotsVerdict::Disallowed) << url;
    for (const char* url : { "http://127.0.0.1:9/café.html", "http://other.test:8080/café.html" })
        EXPECT_EQ(hub.robotsVerdict(QString::fromUtf8(url)), Z12Ara::RobotsVerdict::NoDisallowMatches) << url;
}

} // namespace

TEST(RobotsTxtTest, ARuleWhosePiecesTheAddressLacksIsNotTriedWhateverTheOtherRulesFind)
{
    // "*bc" is possible for the first address only; each other rule ends in a piece of a's and a
    // "K" of its own length. A rule is tried only when the address holds each of its pieces, so a
    // long list of rules with "*" costs one pass over the address, not one match per rule.
    QStringList disallow { QStringLiteral("*bc") };
    for (int i = 1; i <= 300; ++i)
        disallow.append(QStringLiteral("*") + QString(i, u'a') + QStringLiteral("K$"));
    const RobotsTxt robots(disallow, {});
    const struct {
        QString path;
        RobotsTxt::Verdict verdict;
        qsizetype tried;
    } cases[] = {
        { QStringLiteral("/bc") + QString(400, u'a'), RobotsTxt::Verdict::Disallowed, 1 },
        { QStringLiteral("/xaaaK"), RobotsTxt::Verdict::Disallowed, 3 }, // "*aK", "*aaK" and "*aaaK"
        { QStringLiteral("/x") + QString(400, u'a'), RobotsTxt::Verdict::NoDisallowMatches, 0 },
    };
    for (const auto& c : cases) {
        qsizetype tried = 0;
        EXPECT_EQ(robots.verdict(c.path, &tried), c.verdict) << c.path.left(10).toStdString();
        EXPECT_EQ(tried, c.tried) << c.path.left(10).toStdString();
    }
}
