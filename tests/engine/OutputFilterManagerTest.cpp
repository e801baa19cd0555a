// Output filters: the pass decision, single rules, sentences and the stored rule list.
#include "engine/OutputFilterManager.h"

#include "platform/Url.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

using crawlmere::platform::UserDefaults;

namespace {

QVariantMap rule(int scope, int orNot, int method, const QString& text)
{
    return QVariantMap {
        { "mipContainsScope", scope },
        { "mipContainsOrNot", orNot },
        { "mipContainsMethod", method },
        { "mipContains", text },
    };
}

// Rule shorthands: URL/content, does/does not, contain/regex.
QVariantMap urlContains(const QString& text) { return rule(0, 1, 0, text); }
QVariantMap urlLacks(const QString& text) { return rule(0, 0, 0, text); }
QVariantMap urlMatches(const QString& pattern) { return rule(0, 1, 1, pattern); }
QVariantMap urlMismatches(const QString& pattern) { return rule(0, 0, 1, pattern); }

class OutputFilterTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_defaults = std::make_unique<UserDefaults>(storePath());
    }

    QString storePath() const { return m_dir.filePath("defaults.plist"); }
    UserDefaults& defaults() { return *m_defaults; }

    // A store on the same file, as the next run would see it.
    std::unique_ptr<UserDefaults> reopenedStore()
    {
        EXPECT_TRUE(m_defaults->synchronize());
        return std::make_unique<UserDefaults>(storePath());
    }

    void filterOn(int andOr)
    {
        defaults().setBool(true, "mipFilter");
        defaults().setInteger(andOr, "mipContainsAndOr");
    }

    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
};

TEST_F(OutputFilterTest, FilterOffPassesEverything)
{
    OutputFilterManager filters(defaults());
    filters.implementRules({ urlContains("never-there"), urlMatches("^nothing$") });
    defaults().setInteger(0, "mipContainsAndOr");

    // `mipFilter` absent means off.
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/page"));
    defaults().setBool(false, "mipFilter");
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/page"));
    defaults().setBool(true, "mipFilter");
    EXPECT_FALSE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/page"));
}

TEST_F(OutputFilterTest, NoRulesPassEverything)
{
    filterOn(0);
    OutputFilterManager filters(defaults());
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/"));
    filters.implementRules({});
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/"));
}

struct ModeCase {
    const char* name;
    int andOr;
    QString url;
    bool expected;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class CombineModes : public OutputFilterTest, public testing::WithParamInterface<ModeCase> { };

TEST_P(CombineModes, CombinesTheRules)
{
    const ModeCase& c = GetParam();
    filterOn(c.andOr);
    OutputFilterManager filters(defaults());
    filters.implementRules({ urlContains("/blog/"), urlLacks("draft") });
    EXPECT_EQ(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules(c.url), c.expected);
    EXPECT_EQ(filters.shouldWeScrapeThisUrlBasedOnCurrentRules(c.url), c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Filters, CombineModes, testing::Values(
    ModeCase { "allBoth", 0, "http://h.com/blog/post", true },
    ModeCase { "allOne", 0, "http://h.com/blog/draft", false },
    ModeCase { "allNone", 0, "http://h.com/shop/draft", false },
    ModeCase { "anyBoth", 1, "http://h.com/blog/post", true },
    ModeCase { "anyOne", 1, "http://h.com/shop/post", true },
    ModeCase { "anyNone", 1, "http://h.com/shop/draft", false },
    ModeCase { "otherModePasses", 2, "http://h.com/shop/draft", true },
    ModeCase { "negativeModePasses", -1, "http://h.com/shop/draft", true }
), [](const testing::TestParamInfo<ModeCase>& param) { return std::string(param.param.name); });
// clang-format on

TEST_F(OutputFilterTest, UrlObjectsAreTestedByTheirAbsoluteString)
{
    filterOn(0);
    OutputFilterManager filters(defaults());
    filters.implementRules({ urlContains("/blog/"), urlLacks("draft") });
    const auto post = crawlmere::platform::Url::fromString("http://h.com/blog/post");
    const auto draft = crawlmere::platform::Url::fromString("http://h.com/blog/draft");
    ASSERT_TRUE(post && draft);
    EXPECT_TRUE(filters.shouldWeScrapeThisUrlBasedOnCurrentRules(*post));
    EXPECT_FALSE(filters.shouldWeScrapeThisUrlBasedOnCurrentRules(*draft));
}

TEST_F(OutputFilterTest, AllModeFailsEveryUrlWithARuleWithoutText)
{
    OutputFilterManager filters(defaults());
    const QString url = "http://h.com/blog/post";
    for (const QVariantMap& textless : { urlContains(""), urlLacks(""), QVariantMap { { "mipContainsOrNot", 0 } },
             QVariantMap { { "mipContainsMethod", 7 }, { "mipContains", 42 } } }) {
        filters.implementRules({ urlContains("/blog/"), textless });
        filterOn(0);
        EXPECT_FALSE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules(url))
            << OutputFilterManager::sentenceFromRule(textless).toStdString();
        // Any mode: the rule with a text carries the list.
        filterOn(1);
        EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules(url));
    }
}

TEST_F(OutputFilterTest, ElementsThatAreNotRulesDoNotCrash)
{
    OutputFilterManager filters(defaults());
    filters.implementRules({ QString("junk"), 12, urlContains("/blog/") });
    filterOn(1);
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/blog/"));
    filterOn(0);
    EXPECT_FALSE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/blog/"));
    EXPECT_EQ(filters.sentenceForRow(0), "");
    EXPECT_EQ(filters.sentenceForRow(2), "URL does contain: /blog/");
    EXPECT_FALSE(filters.oneRuleRequiresContent());
}

TEST_F(OutputFilterTest, ContentRulesSeeTheEmptyStringInTheListTest)
{
    OutputFilterManager filters(defaults());
    filterOn(1);
    filters.implementRules({ rule(1, 1, 0, "http") });
    EXPECT_FALSE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/"));
    filters.implementRules({ rule(1, 1, 1, ".*") }); // even a pattern matching everything
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/"));
    filters.implementRules({ rule(1, 1, 1, ".+") });
    EXPECT_FALSE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/"));
    filters.implementRules({ rule(1, 0, 0, "http") });
    EXPECT_TRUE(filters.shouldWeScrapeThisstrUrlBasedOnCurrentRules("http://h.com/"));
}

TEST_F(OutputFilterTest, ContentRuleTestsContentOrTheUrlWhenThereIsNone)
{
    const OutputFilterManager filters(defaults());
    const QVariantMap contentHasPrice = rule(1, 1, 0, "price");
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule("http://h.com/", "<p>price</p>", contentHasPrice));
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule("http://h.com/price", "<p>cost</p>", contentHasPrice));
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule("http://h.com/price", QString(), contentHasPrice));
    // A URL rule ignores the content.
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule("http://h.com/", "price", urlContains("price")));
}

TEST_F(OutputFilterTest, PlainContainIsCaseSensitiveRegexIsNot)
{
    const OutputFilterManager filters(defaults());
    const QString url = "http://h.com/blog/Post";
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule(url, "", urlContains("/blog/")));
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule(url, "", urlContains("/BLOG/")));
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule(url, "", urlLacks("/BLOG/")));
    // Contain is plain text: no wildcards, no negation, no percent-decoding.
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule(url, "", urlContains("blog*Post")));
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule(url, "", urlContains("!shop")));
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule("http://h.com/a%20b", "", urlContains("a b")));

    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule(url, "", urlMatches("/BLOG/p")));
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule(url, "", urlMismatches("/BLOG/p")));
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule(url, "", urlMismatches("/shop/")));
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule(url, "", urlMatches("h\\.com/(blog|shop)/")));
}

TEST_F(OutputFilterTest, InvalidRegexFindsNothing)
{
    const OutputFilterManager filters(defaults());
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule("http://h.com/(", "", urlMatches("(")));
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule("http://h.com/(", "", urlMismatches("(")));
}

TEST_F(OutputFilterTest, UnknownMethodAlwaysComplies)
{
    const OutputFilterManager filters(defaults());
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule("http://h.com/", "", rule(0, 1, 2, "absent")));
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule("http://h.com/", "", rule(0, 0, 2, "h.com")));
}

struct SentenceCase {
    const char* name;
    QVariantMap rule;
    QString expected;
};

void PrintTo(const SentenceCase& c, std::ostream* os) { *os << c.name; }

class Sentences : public testing::TestWithParam<SentenceCase> { };

TEST_P(Sentences, ReadTheRule)
{
    EXPECT_EQ(OutputFilterManager::sentenceFromRule(GetParam().rule), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Filters, Sentences, testing::Values(
    SentenceCase { "urlDoesContain", rule(0, 1, 0, "/blog/"), "URL does contain: /blog/" },
    SentenceCase { "urlDoesNotMatch", rule(0, 0, 1, "\\.pdf$"), "URL does not match Regex: \\.pdf$" },
    SentenceCase { "contentDoesMatch", rule(1, 1, 1, "price"), "Content does match Regex: price" },
    SentenceCase { "contentDoesNotContain", rule(1, 0, 0, "404"), "Content does not contain: 404" },
    SentenceCase { "emptyText", rule(0, 1, 0, ""), "URL does contain: " },
    SentenceCase { "onlyText", QVariantMap { { "mipContains", "blog" } }, "blog" },
    SentenceCase { "noText", QVariantMap { { "mipContainsScope", 1 }, { "mipContainsOrNot", 1 } }, "Content does " },
    SentenceCase { "storedForms", QVariantMap { { "mipContainsScope", qint64(0) }, { "mipContainsOrNot", true },
                                                 { "mipContainsMethod", qint64(1) }, { "mipContains", "x" } },
                   "URL does match Regex: x" },
    SentenceCase { "noKeys", QVariantMap {}, "" }
), [](const testing::TestParamInfo<SentenceCase>& param) { return std::string(param.param.name); });
// clang-format on

TEST_F(OutputFilterTest, AddedRuleIsStoredAndLoadedAgain)
{
    int reloads = 0;
    {
        OutputFilterManager filters(defaults());
        filters.awakeFromNib();
        filters.setReloadHandler([&reloads] { ++reloads; });
        EXPECT_EQ(filters.numberOfRows(), 0);

        filters.setNewRuleDefaults();
        defaults().setObject(QString("/blog/"), "mipContains");
        filters.addRuleFromDefaults();
        defaults().setInteger(1, "mipContainsScope");
        defaults().setInteger(0, "mipContainsOrNot");
        defaults().setInteger(1, "mipContainsMethod");
        defaults().setObject(QString("lorem"), "mipContains");
        filters.addRuleFromDefaults();

        EXPECT_EQ(reloads, 2);
        ASSERT_EQ(filters.numberOfRows(), 2);
        EXPECT_EQ(filters.sentenceForRow(0), "URL does contain: /blog/");
        EXPECT_EQ(filters.sentenceForRow(1), "Content does not match Regex: lorem");
        EXPECT_EQ(filters.sentenceForRow(2), "");
        EXPECT_EQ(filters.sentenceForRow(-1), "");
        EXPECT_TRUE(filters.oneRuleRequiresContent());
    }

    const auto store = reopenedStore();
    ASSERT_EQ(store->arrayForKey("mipFilterRules").size(), 2);
    OutputFilterManager loaded(*store);
    EXPECT_EQ(loaded.numberOfRows(), 0); // nothing until loaded
    loaded.awakeFromNib();
    ASSERT_EQ(loaded.numberOfRows(), 2);
    EXPECT_EQ(loaded.sentenceForRow(0), "URL does contain: /blog/");
    EXPECT_EQ(loaded.sentenceForRow(1), "Content does not match Regex: lorem");
    EXPECT_EQ(loaded.getArray().at(0).toMap(), urlContains("/blog/"));
}

TEST_F(OutputFilterTest, AddedRuleHoldsOnlyTheKeysTheStoreHas)
{
    OutputFilterManager filters(defaults());
    defaults().setObject(QString("blog"), "mipContains");
    defaults().setInteger(0, "mipContainsOrNot");
    filters.addRuleFromDefaults(); // makes the list
    ASSERT_EQ(filters.getArray().size(), 1);
    const QVariantMap added = filters.getArray().first().toMap();
    EXPECT_EQ(added.keys(), (QStringList { "mipContains", "mipContainsOrNot" }));
    EXPECT_EQ(filters.sentenceForRow(0), "does not blog");
    // Without a method key the rule is a plain contain.
    EXPECT_TRUE(filters.urlAndContentCompliesWithThisRule("http://h.com/shop/", "", added));
    EXPECT_FALSE(filters.urlAndContentCompliesWithThisRule("http://h.com/blog/", "", added));
}

TEST_F(OutputFilterTest, DeletingOneOfTwoIdenticalRulesRemovesBoth)
{
    OutputFilterManager filters(defaults());
    filters.awakeFromNib();
    int reloads = 0;
    filters.setReloadHandler([&reloads] { ++reloads; });
    filters.setNewRuleDefaults();
    defaults().setObject(QString("/blog/"), "mipContains");
    filters.addRuleFromDefaults();
    defaults().setObject(QString("/shop/"), "mipContains");
    filters.addRuleFromDefaults();
    defaults().setObject(QString("/blog/"), "mipContains");
    filters.addRuleFromDefaults();
    ASSERT_EQ(filters.numberOfRows(), 3);
    reloads = 0;

    EXPECT_FALSE(filters.removeRule(3));
    EXPECT_FALSE(filters.removeRule(-1));
    EXPECT_EQ(reloads, 0);

    EXPECT_TRUE(filters.removeRule(2));
    EXPECT_EQ(reloads, 1);
    ASSERT_EQ(filters.numberOfRows(), 1);
    EXPECT_EQ(filters.sentenceForRow(0), "URL does contain: /shop/");
    const auto store = reopenedStore();
    EXPECT_EQ(store->arrayForKey("mipFilterRules").size(), 1);
}

TEST_F(OutputFilterTest, RulesEqualInValueAreEqualWhateverTheirNumberTypes)
{
    OutputFilterManager filters(defaults());
    // One rule as the editor stores it, one as a list from outside might hold it.
    filters.implementRules({ rule(0, 1, 0, "x"),
        QVariantMap { { "mipContainsScope", qint64(0) }, { "mipContainsOrNot", qint64(1) },
            { "mipContainsMethod", qint64(0) }, { "mipContains", "x" } } });
    EXPECT_TRUE(filters.removeRule(0));
    EXPECT_EQ(filters.numberOfRows(), 0);
}

TEST_F(OutputFilterTest, ClearRulesRemovesTheStoredListWithoutStoringAnEmptyOne)
{
    OutputFilterManager filters(defaults());
    filters.awakeFromNib();
    int reloads = 0;
    filters.setReloadHandler([&reloads] { ++reloads; });
    filters.setNewRuleDefaults();
    defaults().setObject(QString("/blog/"), "mipContains");
    filters.addRuleFromDefaults();
    ASSERT_TRUE(defaults().objectForKey("mipFilterRules").isValid());

    filters.clearRules();
    EXPECT_EQ(reloads, 2);
    EXPECT_EQ(filters.numberOfRows(), 0);
    EXPECT_TRUE(filters.getArray().isEmpty());
    EXPECT_FALSE(defaults().objectForKey("mipFilterRules").isValid());
    filters.synchroniseRules();
    EXPECT_FALSE(defaults().objectForKey("mipFilterRules").isValid());

    filters.addRuleFromDefaults();
    EXPECT_EQ(filters.numberOfRows(), 1);
    EXPECT_EQ(defaults().arrayForKey("mipFilterRules").size(), 1);
}

TEST_F(OutputFilterTest, ImplementedRulesAreNotStored)
{
    defaults().setObject(QVariantList { urlContains("kept") }, "mipFilterRules");
    OutputFilterManager scan(defaults());
    scan.implementRules({ urlContains("/blog/"), urlLacks("draft") });
    EXPECT_EQ(scan.getArray(), (QVariantList { urlContains("/blog/"), urlLacks("draft") }));
    EXPECT_EQ(defaults().arrayForKey("mipFilterRules"), (QVariantList { urlContains("kept") }));
}

TEST_F(OutputFilterTest, SetNewRuleDefaultsResetsTheForm)
{
    OutputFilterManager filters(defaults());
    defaults().setInteger(1, "mipContainsScope");
    defaults().setInteger(0, "mipContainsOrNot");
    defaults().setInteger(1, "mipContainsMethod");
    defaults().setObject(QString("old"), "mipContains");
    filters.setNewRuleDefaults();
    filters.addRuleFromDefaults();
    EXPECT_EQ(filters.sentenceForRow(0), "URL does contain: ");
    EXPECT_EQ(defaults().stringForKey("mipContains"), "");
}

TEST(OutputFilterTerms, TriesEveryTermHoweverShort)
{
    EXPECT_EQ(OutputFilterManager::stringContainsOneOfTheseTerms(u"http://h.com/", { "h", "zz", "*.com/$" }, false),
        (QStringList { "h", "*.com/$" }));
    EXPECT_EQ(
        OutputFilterManager::stringContainsOneOfTheseTerms(u"http://h.com/", { "!" }, false), (QStringList { "!" }));
    EXPECT_TRUE(OutputFilterManager::stringContainsOneOfTheseTerms(u"http://h.com/", {}, false).isEmpty());
}

TEST(OutputFilterTerms, RegexModeUsesTheFirstTerm)
{
    EXPECT_EQ(OutputFilterManager::stringContainsOneOfTheseTerms(u"a1b22", { "(\\d)+", "b" }, true),
        (QStringList { "1", "2" }));
    EXPECT_TRUE(OutputFilterManager::stringContainsOneOfTheseTerms(u"abc", { "(", "abc" }, true).isEmpty());
    EXPECT_EQ(OutputFilterManager::applyRegex("B(\\d)", u"b1 B2"), (QStringList { "1", "2" }));
}

} // namespace
