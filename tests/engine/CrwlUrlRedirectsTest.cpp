// URL records: the redirect chain, the occurrence lists with their caches and counters, the
// views' search, the colour class with its label colour, and the bad-link verdict.
#include "engine/CrawlSettingKeys.h"
#include "engine/CrwlUrl.h"

#include "engine/CrwlLabelColour.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

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

/// Links `page` to `target` as link extraction does.
std::shared_ptr<CrwlLinkInstance> link(const std::shared_ptr<CrwlUrl>& page, const std::shared_ptr<CrwlUrl>& target,
    const QString& text = QStringLiteral("a link"))
{
    auto instance = CrwlLinkInstance::make();
    instance->setParent(page);
    instance->setTarget(target);
    instance->setLinkText(text);
    target->addInboundInstance(instance);
    page->addOutboundInstance(instance);
    return instance;
}

// ===== Redirect chain =========================================================================

TEST(CrwlUrlRedirectChain, EmptyTargetChangesNothing)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/a"));
    record->setStatus(-2);
    record->addRedir(QString(), 301, 0);
    record->addRedir(QStringLiteral(""), 301, 0);
    EXPECT_EQ(record->getStatus(), -2);
    EXPECT_EQ(record->getRedirectCount(), 0);
    EXPECT_EQ(record->getRedir(), QString(""));
    EXPECT_FALSE(record->getRedir().isNull());
    // A target that is only a fragment trims to nothing.
    record->addRedir(QStringLiteral("#top"), 301, 0);
    EXPECT_EQ(record->getRedirectCount(), 0);
}

TEST(CrwlUrlRedirectChain, TwoHops)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/a"));
    record->addRedir(QStringLiteral("http://bakery.test/b#frag"), 301, 0);
    record->addRedir(QStringLiteral("http://bakery.test/c"), 302, 1);
    EXPECT_EQ(record->getRedir(), QString("http://bakery.test/c"));
    EXPECT_EQ(record->initialStatus(), 301);
    EXPECT_EQ(record->getStatus(), 302);
    EXPECT_EQ(record->getRedirectCount(), 2);
    EXPECT_TRUE(record->lastRedirectWasMeta());
    EXPECT_EQ(record->finalURLString(), QString("http://bakery.test/c"));
    EXPECT_EQ(record->absoluteString(), QString("http://bakery.test/a"));

    const QVariantList chain = record->getRedirTable();
    ASSERT_EQ(chain.size(), 2);
    EXPECT_EQ(chain[0].toMap(), CrwlUrl::makeRedirectHop("http://bakery.test/b", 301, 0)); // fragment trimmed
    EXPECT_EQ(chain[1].toMap().value("reason").toInt(), 1);
}

TEST(CrwlUrlRedirectChain, QueryTrimmedOnlyForInternalRecordsWithTrimQuery)
{
    const QVariantMap trimQuery { { crawlKey::trimQuery, true } };
    const auto internal = recordFor(QStringLiteral("http://bakery.test/a"), trimQuery);
    internal->addRedir(QStringLiteral("http://bakery.test/b?session=1"), 301, 0);
    EXPECT_EQ(internal->getRedir(), QString("http://bakery.test/b"));

    const auto external = recordFor(QStringLiteral("http://mill.test/a"), trimQuery);
    external->setIsInternal(false);
    external->addRedir(QStringLiteral("http://mill.test/b?session=1"), 301, 0);
    EXPECT_EQ(external->getRedir(), QString("http://mill.test/b?session=1"));
}

TEST(CrwlUrlRedirectChain, MetaReasonsAndTableOperations)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/a"));
    EXPECT_FALSE(record->lastRedirectWasMeta());
    record->addRedir(QStringLiteral("http://bakery.test/b"), 200, 2);
    EXPECT_TRUE(record->lastRedirectWasMeta());
    record->addRedir(QStringLiteral("http://bakery.test/c"), 307, 0);
    EXPECT_FALSE(record->lastRedirectWasMeta());

    // Copying hops moves neither the target nor the status.
    record->setStatus(200);
    record->addRedirsFromArray({ CrwlUrl::makeRedirectHop("http://bakery.test/x", 301, 0) });
    EXPECT_EQ(record->getRedirectCount(), 3);
    EXPECT_EQ(record->getRedir(), QString("http://bakery.test/c"));
    EXPECT_EQ(record->getStatus(), 200);

    record->setRedirTable({});
    EXPECT_EQ(record->getRedirectCount(), 3);
    record->setRedirTable({ CrwlUrl::makeRedirectHop("http://bakery.test/y", 301, 0),
        CrwlUrl::makeRedirectHop("http://bakery.test/z", 302, 0) });
    EXPECT_EQ(record->getRedirectCount(), 2);
    EXPECT_EQ(record->getRedir(), QString("http://bakery.test/z"));

    record->clearRedir();
    EXPECT_EQ(record->getRedirectCount(), 0);
    EXPECT_EQ(record->getRedir(), QString(""));
    EXPECT_EQ(record->finalURLString(), QString("http://bakery.test/a"));
}

TEST(CrwlUrlRedirectChain, RedirectTargetIsDecodedForDisplay)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/a"));
    record->addRedir(QStringLiteral("http://bakery.test/caf%C3%A9"), 301, 0);
    EXPECT_EQ(record->getRedirDecoded(), QString("http://bakery.test/café"));
}

TEST(CrwlUrlRedirectChain, ChainIsCappedButTheTargetStillMoves)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/loop"));
    for (int i = 0; i < CrwlUrl::maxRedirectHops + 20; ++i)
        record->addRedir(QStringLiteral("http://bakery.test/hop%1").arg(i), 301, 0);
    EXPECT_EQ(record->getRedirectCount(), CrwlUrl::maxRedirectHops);
    EXPECT_EQ(record->getRedir(), QStringLiteral("http://bakery.test/hop%1").arg(CrwlUrl::maxRedirectHops + 19));
}

TEST(CrwlUrlRedirectChain, HopsAddedOnAnotherThreadWhileTheMainThreadReads)
{
    const auto record = recordFor(QStringLiteral("http://bakery.test/a"));
    std::thread fetch([&] {
        for (int i = 0; i < 50; ++i)
            record->addRedir(QStringLiteral("http://bakery.test/hop%1").arg(i), 301, 0);
    });
    qsizetype seen = 0;
    for (int i = 0; i < 200; ++i) {
        seen += record->finalURLString().size() + record->getRedirTable().size();
        record->isEqualToUrl(QStringLiteral("http://bakery.test/hop3"));
    }
    fetch.join();
    EXPECT_GT(seen, 0);
    EXPECT_EQ(record->getRedirectCount(), 50);
}

// ===== Occurrences ============================================================================

TEST(CrwlUrlOccurrences, ListsCountersAndLinkText)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/"));
    const auto internal = recordFor(QStringLiteral("http://bakery.test/bread"));
    const auto external = recordFor(QStringLiteral("http://mill.test/"));
    external->setIsInternal(false);
    EXPECT_EQ(internal->getLinkText(), QString(""));
    EXPECT_EQ(internal->lastInboundInstance(), nullptr);

    const auto first = link(page, internal, QStringLiteral("Our bread"));
    const auto second = link(page, internal, QStringLiteral("Bread again"));
    link(page, external, QStringLiteral("Flour"));
    EXPECT_EQ(page->outboundLinkCount(), 3);
    EXPECT_EQ(page->getInternallinkcount(), 2);
    EXPECT_EQ(page->getExternallinkcount(), 1);
    EXPECT_EQ(internal->occurrencesCount(), 2);
    EXPECT_EQ(internal->getLinkText(), QString("Our bread"));
    EXPECT_EQ(internal->lastInboundInstance(), second);
    EXPECT_EQ(page->occurrencesCount(), 0);
}

TEST(CrwlUrlOccurrences, MediaListsAndLinkCountAreRebuiltAfterANewOutboundOccurrence)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/"));
    const auto image = recordFor(QStringLiteral("http://bakery.test/loaf.jpg"));
    image->setIsImage(true);
    const auto video = recordFor(QStringLiteral("http://bakery.test/oven.mp4"));
    video->setIsVideo(true);
    const auto audio = recordFor(QStringLiteral("http://bakery.test/jingle.mp3"));
    audio->setIsAudio(true);
    const auto text = recordFor(QStringLiteral("http://bakery.test/about"));
    const auto pdf = recordFor(QStringLiteral("http://bakery.test/menu.pdf"));

    link(page, image);
    link(page, text);
    EXPECT_EQ(page->linkedImagesArray().size(), 1u);
    EXPECT_EQ(page->getLinkcount(), 1);
    link(page, video);
    link(page, audio);
    link(page, pdf, QStringLiteral("[linked file]"));
    const auto second = recordFor(QStringLiteral("http://bakery.test/rolls.png"));
    second->setIsImage(true);
    const auto secondLink = link(page, second);
    ASSERT_EQ(page->linkedImagesArray().size(), 2u);
    EXPECT_EQ(page->linkedImagesArray()[1], secondLink); // the occurrences, in page order
    EXPECT_EQ(page->linkedVideoArray().size(), 1u);
    EXPECT_EQ(page->linkedAudioArray().size(), 1u);
    EXPECT_EQ(page->getLinkcount(), 1); // only the text page: media and "[linked file]" excluded
    link(page, recordFor(QStringLiteral("http://bakery.test/contact")));
    EXPECT_EQ(page->getLinkcount(), 2);
}

TEST(CrwlUrlOccurrences, BecomingAnImageRefreshesTheImageListsOfLinkingPages)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/"));
    const auto target = recordFor(QStringLiteral("http://bakery.test/photo"));
    link(page, target);
    EXPECT_TRUE(page->linkedImagesArray().empty()); // now cached
    target->setIsImage(true);
    EXPECT_EQ(page->linkedImagesArray().size(), 1u);
}

TEST(CrwlUrlOccurrences, PagesAndLinksDoNotKeepEachOtherAlive)
{
    std::weak_ptr<CrwlUrl> weakPage;
    std::weak_ptr<CrwlLinkInstance> weakLink;
    {
        const auto page = recordFor(QStringLiteral("http://bakery.test/"));
        const auto self = link(page, page); // a page that links to itself
        weakPage = page;
        weakLink = self;
    }
    EXPECT_TRUE(weakPage.expired());
    EXPECT_TRUE(weakLink.expired());

    // An occurrence that outlives its pages answers as one without them.
    std::shared_ptr<CrwlLinkInstance> kept;
    {
        const auto page = recordFor(QStringLiteral("http://bakery.test/"));
        const auto target = recordFor(QStringLiteral("http://bakery.test/b"));
        target->setStatus(404);
        kept = link(page, target);
        EXPECT_EQ(kept->getStatus(), 404);
    }
    EXPECT_EQ(kept->getStatus(), -1);
    EXPECT_EQ(kept->getOnPageUrl(), QString(""));
}

TEST(CrwlUrlOccurrences, RetainArrayKeepsObjectsAlive)
{
    std::weak_ptr<int> watched;
    {
        const auto record = recordFor(QStringLiteral("http://bakery.test/"));
        auto window = std::make_shared<int>(7);
        watched = window;
        record->addToRetainArray(window);
        window.reset();
        EXPECT_FALSE(watched.expired());
    }
    EXPECT_TRUE(watched.expired());
}

TEST(CrwlUrlSearch, MatchesUrlRedirectOrStatusNumber)
{
    const auto record = recordFor(QStringLiteral("http://Bakery.test/Rye"));
    record->setStatus(404);
    EXPECT_TRUE(record->contains(QStringLiteral("bakery.TEST/rye")));
    EXPECT_TRUE(record->contains(QStringLiteral("404")));
    EXPECT_FALSE(record->contains(QStringLiteral("403")));
    EXPECT_FALSE(record->contains(QStringLiteral("0"))); // 0 matches only as text
    EXPECT_FALSE(record->contains(QStringLiteral("moved")));
    record->addRedir(QStringLiteral("http://bakery.test/moved"), 301, 0);
    EXPECT_TRUE(record->contains(QStringLiteral("MOVED")));
    EXPECT_TRUE(record->contains(QStringLiteral("301")));
    record->setStatus(0);
    EXPECT_FALSE(record->contains(QStringLiteral("0")));
    EXPECT_TRUE(record->contains(QStringLiteral("/R"))); // text match
}

// ===== Colour class and bad links =============================================================

struct VerdictRow {
    const char* name;
    qint64 status;
    bool redirected = false;
    bool missingAnchor = false;
    bool blacklisted = false;
    bool warning = false;
    int colour;
    bool bad;
};

TEST(CrwlUrlVerdicts, UnderTheRegisteredDefaults)
{
    const std::vector<VerdictRow> table = {
        { "200", 200, false, false, false, false, 0, false },
        { "200 redirected", 200, true, false, false, false, 2, false },
        { "200 with a warning", 200, false, false, false, true, 0, false },
        { "200 missing anchor", 200, false, true, false, false, 3, false },
        { "404 missing anchor", 404, false, true, false, false, 3, true },
        { "404", 404, false, false, false, false, 3, true },
        { "301", 301, false, false, false, false, 0, false },
        { "500", 500, false, false, false, false, 4, true },
        { "999", 999, false, false, false, false, 2, false },
        { "0", 0, false, false, false, false, 4, true },
        { "150", 150, false, false, false, false, 0, false },
        { "150 redirected", 150, true, false, false, false, 2, false },
        { "blacklisted 200", 200, false, false, true, false, 0, false },
        { "-1", -1, false, false, false, false, 0, false },
        { "-1 redirected", -1, true, false, false, false, 2, false },
        { "-4", -4, false, false, false, false, 0, false },
        { "-5", -5, false, false, false, false, 3, false },
        { "-6", -6, false, false, false, false, 0, false },
        { "-7", -7, true, false, false, false, 0, false },
        { "-8", -8, false, false, false, false, 4, true },
        { "-9 redirected", -9, true, false, false, false, 2, false },
        { "-10", -10, false, false, false, false, 4, true },
        { "-11", -11, false, false, false, false, 3, false },
        { "-12", -12, false, false, false, false, 2, false },
        { "-13", -13, false, false, false, false, 2, false },
        { "-14", -14, false, false, false, false, 4, true },
        { "-15", -15, false, false, false, false, 0, false },
        { "-16", -16, false, false, false, false, 2, false },
        { "-17", -17, false, false, false, false, 4, true },
        { "-18", -18, false, false, false, false, 4, true },
        { "-19", -19, false, false, false, false, 2, false },
        { "-20", -20, false, false, false, false, 2, false },
        { "-21", -21, false, false, false, false, 3, false },
    };
    for (const VerdictRow& row : table) {
        const auto record = recordFor(QStringLiteral("http://bakery.test/page"));
        if (row.redirected)
            record->addRedir(QStringLiteral("http://bakery.test/elsewhere"), 301, 0);
        record->setStatus(row.status);
        record->setLinksAnchorDoesntAppearOnTargetPage(row.missingAnchor);
        record->setIsBlacklisted(row.blacklisted);
        if (row.warning)
            record->addWarning(QStringLiteral("Unclosed element <p> at line 4/9."));
        EXPECT_EQ(record->colourForCrwlUrl(), row.colour) << row.name;
        EXPECT_EQ(record->shouldBeMemberOfBadCollection(), row.bad) << row.name;
        EXPECT_EQ(record->shouldBeMemberOfDubiusCollection(), row.colour == 2) << row.name;
    }
}

TEST(CrwlUrlVerdicts, WarningsCountOnceTheyAreReported)
{
    ScopedDefaults defaults;
    const auto record = recordFor(QStringLiteral("http://bakery.test/page"));
    record->setStatus(200);
    record->addWarning(QStringLiteral("Unclosed element <p> at line 4/9."));
    EXPECT_EQ(record->colourForCrwlUrl(), 0);
    defaults.set(QStringLiteral("dontReportWarnings"), false);
    EXPECT_EQ(record->colourForCrwlUrl(), 2);

    // A recursive redirect counts like a warning.
    const auto recursive = recordFor(QStringLiteral("http://bakery.test/self"));
    recursive->setStatus(200);
    EXPECT_EQ(recursive->colourForCrwlUrl(), 0);
    EXPECT_TRUE(recursive->isEqualToUrl(QStringLiteral("http:///bakery.test/self")));
    EXPECT_TRUE(recursive->getRecursion());
    EXPECT_EQ(recursive->colourForCrwlUrl(), 2);
}

TEST(CrwlUrlVerdicts, RedirectLabelsFollowTheirDefaults)
{
    ScopedDefaults defaults;
    const auto record = recordFor(QStringLiteral("http://bakery.test/old"));
    record->addRedir(QStringLiteral("http://bakery.test/new"), 301, 0);
    record->setStatus(200);
    EXPECT_EQ(record->colourForCrwlUrl(), 2);
    defaults.set(crawlKey::dontReportRedirects, true);
    EXPECT_EQ(record->colourForCrwlUrl(), 0);
    defaults.set(crawlKey::dontReportRedirects, false);
    defaults.set(QStringLiteral("displayLabelsForRedirects"), false);
    EXPECT_EQ(record->colourForCrwlUrl(), 0);
    // Statuses below 200 ignore displayLabelsForRedirects.
    record->setStatus(-1);
    EXPECT_EQ(record->colourForCrwlUrl(), 2);
}

TEST(CrwlUrlVerdicts, BlacklistedCountsOnlyWhileFlagged)
{
    ScopedDefaults defaults;
    const auto record = recordFor(QStringLiteral("http://bakery.test/private"));
    record->setStatus(200);
    record->setIsBlacklisted(true);
    EXPECT_EQ(record->colourForCrwlUrl(), 0);
    EXPECT_FALSE(record->shouldBeMemberOfBadCollection());
    defaults.set(QStringLiteral("shouldFlagBlacklisted"), true);
    EXPECT_EQ(record->colourForCrwlUrl(), 3);
    // A 2xx answer is never a bad link, blacklisted or not (the first step of the test).
    EXPECT_FALSE(record->shouldBeMemberOfBadCollection());
    // Other statuses count while flagged: -4 and 301 are flagged before their "not bad" steps.
    for (const qint64 status : { -4, 301, -1 }) {
        record->setStatus(status);
        EXPECT_TRUE(record->shouldBeMemberOfBadCollection()) << status;
        EXPECT_EQ(record->colourForCrwlUrl(), 3) << status;
    }
    defaults.set(QStringLiteral("shouldFlagBlacklisted"), false);
    EXPECT_FALSE(record->shouldBeMemberOfBadCollection());
    EXPECT_EQ(record->colourForCrwlUrl(), 0);
}

TEST(CrwlLabelColours, ByClassAndGatedByTheDefault)
{
    EXPECT_EQ(CrwlLabelColour::forColourClass(3), CrwlLabelColour::error());
    EXPECT_EQ(CrwlLabelColour::forColourClass(4), CrwlLabelColour::error());
    EXPECT_EQ(CrwlLabelColour::forColourClass(2), CrwlLabelColour::warning());
    EXPECT_EQ(CrwlLabelColour::forColourClass(0), std::nullopt);
    EXPECT_EQ(CrwlLabelColour::forColourClass(1), std::nullopt);
    const CrwlLabelColour error = CrwlLabelColour::error();
    EXPECT_DOUBLE_EQ(error.red, 1.0);
    EXPECT_DOUBLE_EQ(error.green, 0.4);
    EXPECT_DOUBLE_EQ(error.blue, 0.4);
    EXPECT_DOUBLE_EQ(error.alpha, 0.76);
    const CrwlLabelColour warning = CrwlLabelColour::warning();
    EXPECT_DOUBLE_EQ(warning.red, 0.8);
    EXPECT_DOUBLE_EQ(warning.green, 0.63);
    EXPECT_DOUBLE_EQ(warning.blue, 0.32);
    EXPECT_DOUBLE_EQ(warning.alpha, 0.76);

    ScopedDefaults defaults;
    const auto broken = recordFor(QStringLiteral("http://bakery.test/gone"));
    broken->setStatus(404);
    EXPECT_EQ(CrwlLabelColour::forRow(broken.get()), CrwlLabelColour::error());
    const auto occurrence = CrwlLinkInstance::make();
    occurrence->setTarget(broken);
    EXPECT_EQ(CrwlLabelColour::forRow(occurrence.get()), std::nullopt);
    EXPECT_EQ(CrwlLabelColour::forRow(nullptr), std::nullopt);
    defaults.set(QStringLiteral("displayLabels"), false);
    EXPECT_EQ(CrwlLabelColour::forRow(broken.get()), std::nullopt);
}

} // namespace
