// Link occurrences: rel flags, attribute setters, the link-row getters with and without their
// pages, the row search and sorting of link rows.
#include "engine/CrwlLinkInstance.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "engine/detail/RecordReference.h"
#include "engine/qfDataSource.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <optional>
#include <vector>

using crawlmere::test::makeSettings;

namespace {

std::shared_ptr<CrwlUrl> recordFor(const QString& url)
{
    auto record = CrwlUrl::make(nullptr, makeSettings());
    record->setLinkURL(url);
    return record;
}

struct RelRow {
    const char* rel;
    // nf nr nop au alt sp ugc pc
    std::array<bool, 8> flags;
};

std::array<bool, 8> flagsOf(const CrwlLinkInstance& link)
{
    return { link.nf(), link.nr(), link.nop(), link.au(), link.alt(), link.sp(), link.ugc(), link.pc() };
}

TEST(CrwlLinkInstanceRel, FlagsFromTheRelAttribute)
{
    const std::vector<RelRow> table = {
        { "nofollow noopener", { true, false, true, false, false, false, false, false } },
        { "NoFollow NOOPENER", { true, false, true, false, false, false, false, false } },
        { "nofollowed", { true, false, false, false, false, false, false, false } },
        { "preconnect", { false, false, false, false, false, false, false, true } },
        { "dns-prefetch", { false, false, false, false, false, false, false, true } },
        { "noreferrer author alternate sponsored ugc", { false, true, false, true, true, true, true, false } },
        { "external", { false, false, false, false, false, false, false, false } },
        { "", { false, false, false, false, false, false, false, false } },
    };
    for (const RelRow& row : table) {
        CrwlLinkInstance link;
        link.setRel(QString::fromUtf8(row.rel));
        EXPECT_EQ(flagsOf(link), row.flags) << row.rel;
        EXPECT_EQ(link.getRel(), QString::fromUtf8(row.rel)) << row.rel;
    }
}

TEST(CrwlLinkInstanceRel, FlagsAreOnlyRaised)
{
    CrwlLinkInstance link;
    EXPECT_EQ(flagsOf(link), (std::array<bool, 8> {}));
    link.setRel(QStringLiteral("nofollow"));
    link.setRel(QStringLiteral("noopener"));
    EXPECT_TRUE(link.nf());
    EXPECT_TRUE(link.nop());
    EXPECT_EQ(link.getRel(), QString("noopener"));
    EXPECT_TRUE(link.getVisible());
}

TEST(CrwlLinkInstanceRel, ClassTestsLookInsideEachPart)
{
    EXPECT_TRUE(CrwlLinkInstance::relContainsNofollow(QStringLiteral("noopener\nNOFOLLOWx")));
    EXPECT_FALSE(CrwlLinkInstance::relContainsNofollow(QStringLiteral("no follow")));
    EXPECT_TRUE(CrwlLinkInstance::relContainsExternal(QStringLiteral("noopener myexternal")));
    EXPECT_FALSE(CrwlLinkInstance::relContainsExternal(QStringLiteral("extern al")));
    EXPECT_FALSE(CrwlLinkInstance::relContainsExternal(QString()));
}

TEST(CrwlLinkInstanceFields, EmptyAttributesAreNotStored)
{
    CrwlLinkInstance link;
    link.setTargetAttr(QStringLiteral(""));
    link.setHreflang(QStringLiteral(""));
    EXPECT_TRUE(link.targetAttr().isNull());
    EXPECT_TRUE(link.hreflang().isNull());
    EXPECT_EQ(link.getTargetAttr(), QString(""));
    EXPECT_FALSE(link.getTargetAttr().isNull());
    EXPECT_EQ(link.getHreflang(), QString(""));
    link.setTargetAttr(QStringLiteral("_blank"));
    link.setHreflang(QStringLiteral("de-AT"));
    link.setTargetAttr(QStringLiteral(""));
    EXPECT_EQ(link.getTargetAttr(), QString("_blank"));
    EXPECT_EQ(link.getHreflang(), QString("de-AT"));
    EXPECT_EQ(link.getLineNumber(), 0);
    link.setLineNumber(42);
    EXPECT_EQ(link.getLineNumber(), 42);
    EXPECT_EQ(link.getLinkText(), QString(""));
    EXPECT_FALSE(link.getLinkText().isNull());
}

TEST(CrwlLinkTextPool, OneBlockPerSetOfTextsWithNullAndEmptyKeptApart)
{
    CrwlLinkTextPool pool;
    const auto page = pool.intern(QStringLiteral("Page 1"), QString(), QString(), QString());
    EXPECT_EQ(pool.intern(QStringLiteral("Page 1"), QString(), QString(), QString()).data(), page.data());
    EXPECT_NE(
        pool.intern(QStringLiteral("Page 1"), QStringLiteral("nofollow"), QString(), QString()).data(), page.data());
    const auto empty = pool.intern(QStringLiteral(""), QString(), QString(), QString());
    const auto emptyRel = pool.intern(QString(), QStringLiteral(""), QString(), QString());
    EXPECT_NE(empty.data(), emptyRel.data());
    EXPECT_FALSE(empty->linkTextIsNull());
    EXPECT_TRUE(emptyRel->linkTextIsNull());
    EXPECT_FALSE(pool.intern(QString(), QString(), QString(), QString()));
    EXPECT_EQ(pool.size(), 4u);

    // Occurrences on one block read it; a setter gives the changed one its own copy.
    CrwlLinkInstance first;
    CrwlLinkInstance second;
    first.setTexts(pool.intern(QStringLiteral("Rye"), QStringLiteral("sponsored noopener"), QString(), QString()));
    second.setTexts(pool.intern(QStringLiteral("Rye"), QStringLiteral("sponsored noopener"), QString(), QString()));
    EXPECT_EQ(flagsOf(second), (std::array<bool, 8> { false, false, true, false, false, true, false, false }));
    second.setLinkText(QStringLiteral("Spelt"));
    second.setLineNumber(std::numeric_limits<qint64>::max());
    EXPECT_EQ(first.getLinkText(), QStringLiteral("Rye"));
    EXPECT_EQ(second.getLinkText(), QStringLiteral("Spelt"));
    EXPECT_EQ(second.getRel(), QStringLiteral("sponsored noopener"));
    EXPECT_EQ(second.getLineNumber(), std::numeric_limits<qint32>::max());
    EXPECT_EQ(pool.intern(QStringLiteral("Rye"), QStringLiteral("sponsored noopener"), QString(), QString())->linkText(),
        QStringLiteral("Rye"));
}

TEST(CrwlLinkTextPool, ChangingAnAttributeOfASharedBlockLeavesTheOtherHolders)
{
    using Texts = std::array<QString, 6>;
    const auto textsOf = [](const CrwlLinkInstance& occurrence) {
        return Texts { occurrence.linkText(), occurrence.rel(), occurrence.targetAttr(), occurrence.hreflang(),
            occurrence.connectionType(), occurrence.connectionColour() };
    };
    const Texts shared { "Rye", "nofollow", "_blank", "de", QString(), QString() };
    const struct {
        const char* name;
        void (*change)(CrwlLinkInstance&);
        size_t field;
        QString value;
    } cases[] = {
        { "rel", [](CrwlLinkInstance& o) { o.setRel(QStringLiteral("ugc")); }, 1, "ugc" },
        { "target", [](CrwlLinkInstance& o) { o.setTargetAttr(QStringLiteral("_top")); }, 2, "_top" },
        { "hreflang", [](CrwlLinkInstance& o) { o.setHreflang(QStringLiteral("fr")); }, 3, "fr" },
        { "type", [](CrwlLinkInstance& o) { o.setConnectionType(QStringLiteral("image")); }, 4, "image" },
        { "colour", [](CrwlLinkInstance& o) { o.setConnectionColour(QStringLiteral("#a56")); }, 5, "#a56" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CrwlLinkTextPool pool;
        CrwlLinkInstance first;
        CrwlLinkInstance second;
        first.setTexts(pool.intern(shared[0], shared[1], shared[2], shared[3]));
        second.setTexts(pool.intern(shared[0], shared[1], shared[2], shared[3]));
        c.change(second);
        Texts expected = shared;
        expected[c.field] = c.value;
        EXPECT_EQ(textsOf(first), shared);
        EXPECT_EQ(textsOf(second), expected);
        EXPECT_EQ(textsOf(*CrwlLinkInstance::make()), (Texts {}));
    }
    // A block of a text alone takes attributes when an occurrence on it is given one.
    CrwlLinkTextPool pool;
    CrwlLinkInstance plain;
    plain.setTexts(pool.intern(QStringLiteral("Spelt"), QString(), QString(), QString()));
    plain.setHreflang(QStringLiteral("en"));
    EXPECT_EQ(textsOf(plain), (Texts { "Spelt", QString(), QString(), "en", QString(), QString() }));
    EXPECT_TRUE(pool.intern(QStringLiteral("Spelt"), QString(), QString(), QString())->hreflang().isNull());
}

TEST(CrwlLinkInstanceFields, LineNumbersOfAnySizeReadBackAsSet)
{
    // Small lines live in the occurrence, others beside it; either way each reads back as set
    // (beyond 32 bits as the nearest that fits), and a line replaced by another of the other
    // kind, or by none, leaves nothing of the first.
    constexpr qint64 int32Max = std::numeric_limits<qint32>::max();
    const struct {
        std::optional<qint64> set;
        std::optional<qint64> read;
    } cases[] = {
        { std::nullopt, std::nullopt },
        { 0, 0 },
        { 1, 1 },
        { 65532, 65532 },
        { 65533, 65533 },
        { 65534, 65534 },
        { 65535, 65535 },
        { 1'000'000, 1'000'000 },
        { -1, -1 },
        { int32Max, int32Max },
        { std::numeric_limits<qint64>::max(), int32Max },
        { std::numeric_limits<qint64>::min(), -int32Max },
    };
    for (const auto& first : cases) {
        for (const auto& then : cases) {
            auto occurrence = CrwlLinkInstance::make();
            occurrence->setLineNumber(first.set);
            EXPECT_EQ(occurrence->lineNumber(), first.read);
            auto neighbour = CrwlLinkInstance::make();
            neighbour->setLineNumber(7);
            occurrence->setLineNumber(then.set);
            EXPECT_EQ(occurrence->lineNumber(), then.read) << first.set.value_or(-99) << " then "
                                                           << then.set.value_or(-99);
            EXPECT_EQ(occurrence->getLineNumber(), then.read.value_or(0));
            EXPECT_EQ(neighbour->lineNumber(), std::optional<qint64>(7));
        }
    }
}

TEST(CrwlLinkTextPool, BlocksGoWithTheirLastHolder)
{
    using Texts = CrwlLinkTextPool::Texts;
    const std::size_t before = Texts::inUse();
    auto kept = CrwlLinkInstance::make();
    {
        CrwlLinkTextPool pool;
        std::vector<std::shared_ptr<CrwlLinkInstance>> occurrences;
        for (const QString& text : { QStringLiteral("Rye"), QStringLiteral("Rye"), QStringLiteral("Spelt \u2192") }) {
            occurrences.push_back(CrwlLinkInstance::make());
            occurrences.back()->setTexts(pool.intern(text, QString(), QString(), QString()));
        }
        kept->setTexts(pool.intern(QStringLiteral("Spelt \u2192"), QStringLiteral("ugc"), QString(), QString()));
        EXPECT_EQ(Texts::inUse() - before, 3u);
        occurrences[1]->setLinkText(QStringLiteral("Barley"));
        EXPECT_EQ(occurrences[0]->linkText(), QStringLiteral("Rye"));
        EXPECT_EQ(occurrences[1]->linkText(), QStringLiteral("Barley"));
        EXPECT_EQ(occurrences[2]->linkText(), QStringLiteral("Spelt \u2192"));
        EXPECT_TRUE(occurrences[2]->linkTextContains(u"\u2192", Qt::CaseSensitive));
        EXPECT_TRUE(occurrences[0]->linkTextContains(u"rYE", Qt::CaseInsensitive));
        EXPECT_FALSE(occurrences[0]->linkTextContains(u"rYE", Qt::CaseSensitive));
        EXPECT_EQ(Texts::inUse() - before, 4u);
    }
    // The pool and the other occurrences are gone: the one block still held stays readable.
    EXPECT_EQ(Texts::inUse() - before, 1u);
    EXPECT_EQ(kept->linkText(), QStringLiteral("Spelt \u2192"));
    EXPECT_EQ(kept->getRel(), QStringLiteral("ugc"));
    EXPECT_TRUE(kept->ugc());
    kept.reset();
    EXPECT_EQ(Texts::inUse(), before);
}

TEST(CrwlLinkInstanceFields, PageAndTargetAreHeldWeaklyThroughOneSharedReferenceEach)
{
    using crawlmere::engine::detail::RecordReference;
    const std::size_t referencesBefore = RecordReference::inUse();
    const auto references = [&] { return RecordReference::inUse() - referencesBefore; };

    // Which goes first: the page, the target, or the occurrences.
    enum class First { Page, Target, Occurrences };
    for (const First first : { First::Page, First::Target, First::Occurrences }) {
        SCOPED_TRACE(int(first));
        auto page = recordFor(QStringLiteral("http://127.0.0.1/"));
        auto other = recordFor(QStringLiteral("http://127.0.0.1/spelt"));
        auto target = recordFor(QStringLiteral("http://127.0.0.1/rye"));
        std::vector<std::shared_ptr<CrwlLinkInstance>> occurrences;
        for (int i = 0; i < 3; ++i) {
            auto occurrence = CrwlLinkInstance::make();
            occurrence->setParent(i == 2 ? other : page);
            occurrence->setTarget(target);
            occurrences.push_back(occurrence);
        }
        EXPECT_EQ(references(), 3u); // one for each page and one for the target
        // Moved to the first page: the other page's reference stays while the other page lives.
        occurrences[2]->setParent(page);
        EXPECT_EQ(references(), 3u);
        other.reset();
        EXPECT_EQ(references(), 2u);
        for (const auto& occurrence : occurrences) {
            EXPECT_EQ(occurrence->parent(), page);
            EXPECT_EQ(occurrence->target(), target);
            EXPECT_EQ(occurrence->getOnPageUrl(), QStringLiteral("http://127.0.0.1/"));
        }
        switch (first) {
        case First::Page:
            page.reset();
            EXPECT_EQ(references(), 2u); // the page's held by the occurrences
            for (const auto& occurrence : occurrences) {
                EXPECT_EQ(occurrence->parent(), nullptr);
                EXPECT_EQ(occurrence->target(), target);
                EXPECT_EQ(occurrence->getOnPageUrl(), QString(""));
            }
            break;
        case First::Target:
            target.reset();
            EXPECT_EQ(references(), 2u); // the target's held by the occurrences
            for (const auto& occurrence : occurrences) {
                EXPECT_EQ(occurrence->parent(), page);
                EXPECT_EQ(occurrence->target(), nullptr);
                EXPECT_EQ(occurrence->getStatus(), -1);
            }
            break;
        case First::Occurrences:
            occurrences.clear();
            EXPECT_EQ(references(), 2u); // the page and the target keep their own
            break;
        }
        occurrences.clear();
        page.reset();
        target.reset();
        EXPECT_EQ(references(), 0u);
    }

    // A null page clears the link; an occurrence never linked answers null.
    auto record = recordFor(QStringLiteral("http://127.0.0.1/"));
    CrwlLinkInstance occurrence;
    EXPECT_EQ(occurrence.parent(), nullptr);
    occurrence.setParent(record);
    occurrence.setParent(nullptr);
    EXPECT_EQ(occurrence.parent(), nullptr);
    EXPECT_EQ(references(), 1u);
}

TEST(CrwlLinkInstanceRow, WithoutPagesEveryValueIsEmptyOrZero)
{
    CrwlLinkInstance link;
    EXPECT_EQ(link.getStatus(), -1);
    for (const QString& text : { link.getStatusDescription(), link.getLinkUrl(), link.absoluteString(),
             link.getAbsoluteStringDecoded(), link.getRedir(), link.getRedirDecoded(), link.getOnPageUrl(),
             link.getOnpageurl(), link.getOnPageTitle(), link.getTargetInternal(), link.getInternal() }) {
        EXPECT_EQ(text, QString(""));
        EXPECT_FALSE(text.isNull());
    }
    EXPECT_EQ(link.getDistance(), 0);
    EXPECT_EQ(link.getRedirectCount(), 0);
    EXPECT_EQ(link.getTargetsize(), 0);
    EXPECT_EQ(link.getFieldByName(QStringLiteral("status")), QString("")); // the base answers ""
}

TEST(CrwlLinkInstanceRow, ValuesComeFromTargetAndParent)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/caf%C3%A9s"));
    page->setLinkPageTitle(QStringLiteral("Our cafés"));
    page->setDistanceFromHome(2);
    const auto target = recordFor(QStringLiteral("http://mill.test/flour"));
    target->setIsInternal(false);
    target->addRedir(QStringLiteral("http://mill.test/m%C3%BChle"), 301, 0);
    target->setStatus(200);
    target->setFileSize(40 * 1024);

    CrwlLinkInstance link;
    link.setParent(page);
    link.setTarget(target);
    link.setLinkText(QStringLiteral("Flour"));
    EXPECT_EQ(link.getStatus(), 200);
    EXPECT_EQ(link.getStatusDescription(), QString("200 ok < 301 moved permanently"));
    EXPECT_EQ(link.getLinkUrl(), QString("http://mill.test/flour"));
    EXPECT_EQ(link.getRedir(), QString("http://mill.test/m%C3%BChle"));
    EXPECT_EQ(link.getRedirDecoded(), QString("http://mill.test/mühle"));
    EXPECT_EQ(link.getOnPageUrl(), QString("http://bakery.test/cafés"));
    EXPECT_EQ(link.getOnPageTitle(), QString("Our cafés"));
    EXPECT_EQ(link.getDistance(), 2);
    EXPECT_EQ(link.getRedirectCount(), 1);
    EXPECT_EQ(link.getTargetsize(), 40);
    EXPECT_EQ(link.getTargetInternal(), QString("External"));
    target->setIsInternal(true);
    EXPECT_EQ(link.getInternal(), QString("Internal"));
}

TEST(CrwlLinkInstanceRow, SearchSkipsTheStatusTextOfStatusZero)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/"));
    const auto target = recordFor(QStringLiteral("http://bakery.test/rye"));
    CrwlLinkInstance link;
    link.setParent(page);
    link.setTarget(target);
    link.setLinkText(QStringLiteral("Rye Bread"));
    EXPECT_TRUE(link.contains(QString()));
    EXPECT_TRUE(link.contains(QStringLiteral("")));
    EXPECT_TRUE(link.contains(QStringLiteral("rye bread")));
    EXPECT_TRUE(link.contains(QStringLiteral("BAKERY.test/rye")));
    target->setStatus(404);
    EXPECT_TRUE(link.contains(QStringLiteral("Not Found")));
    target->setStatus(0);
    EXPECT_FALSE(link.contains(QStringLiteral("unknown"))); // "0 unknown" is not searched
    target->addRedir(QStringLiteral("http://bakery.test/sourdough"), 0, 0);
    EXPECT_TRUE(link.contains(QStringLiteral("sourdough")));
    EXPECT_FALSE(link.contains(QStringLiteral("wheat")));
}

TEST(CrwlLinkInstanceRow, SortValuesAreTheGettersValues)
{
    const auto page = recordFor(QStringLiteral("http://bakery.test/"));
    CrwlLinkInstance link;
    link.setParent(page);
    link.setRel(QStringLiteral("nofollow"));
    link.setLineNumber(12);
    EXPECT_EQ(link.getSortValue(QStringLiteral("nofollow")), QVariant(true));
    EXPECT_EQ(link.getSortValue(QStringLiteral("preConnect")), QVariant(false));
    EXPECT_EQ(link.getSortValue(QStringLiteral("lineNumber")), QVariant(qint64(12)));
    EXPECT_EQ(link.getSortValue(QStringLiteral("status")), QVariant(qint64(-1)));
    EXPECT_EQ(link.getSortValue(QStringLiteral("onPageUrl")), QVariant(QString("http://bakery.test/")));
    EXPECT_EQ(link.getSortValue(QStringLiteral("nonsense")), QVariant(QString("")));
}

TEST(CrwlLinkInstanceRow, TableSortsLinkRowsByNumbers)
{
    class Rows : public qfDataSource { };
    Rows rows;
    for (const qint64 line : { 100, 9, 25 }) {
        auto link = CrwlLinkInstance::make();
        link->setLineNumber(line);
        rows.add(link);
    }
    HeadlessTableView table;
    table.setSortDescriptors({ { QStringLiteral("linenumber"), true } });
    rows.tableViewSortDescriptorsDidChange(table);
    std::vector<qint64> order;
    for (const auto& item : rows.getSortedAndFilteredArray())
        order.push_back(std::static_pointer_cast<CrwlLinkInstance>(item)->getLineNumber());
    EXPECT_EQ(order, (std::vector<qint64> { 9, 25, 100 })); // as numbers, not as text
}

} // namespace
