// The warnings table: its caps, types and filter, hiding a kind, the cell sentences, the most
// common warnings and the summary (which must parse as HTML).
#include "reports/WarningsManager.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/Z12Ara.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"
#include "reports/WarningInspectorOpener.h"
#include "reports/WarningRecord.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;
using crawlmere::reports::WarningRecord;
using crawlmere::reports::WarningsManager;

namespace {

class WarningsManagerTest : public ::testing::Test {
protected:
    WarningsManagerTest()
    {
        crawlmere::reports::registerReportsDefaults(defaults);
        manager.setLogger([this](const QString& line) { logged.append(line); });
    }
    std::shared_ptr<CrwlUrl> page(const QString& path)
    {
        auto record = CrwlUrl::make(owner, crawlmere::test::makeSettings());
        record->setLinkURL(QStringLiteral("http://example.com") + path);
        return record;
    }
    QStringList shownWarnings()
    {
        QStringList texts;
        for (qsizetype row = 0; row < manager.numberOfRows(table); ++row)
            texts << manager.recordAtRow(row)->warning;
        return texts;
    }

    QTemporaryDir folder;
    UserDefaults defaults { folder.path() + QStringLiteral("/defaults.plist") };
    std::shared_ptr<crawlmere::test::RecordingOwner> owner = std::make_shared<crawlmere::test::RecordingOwner>();
    WarningsManager manager { defaults };
    HeadlessTableView table { { { QStringLiteral("url"), QStringLiteral("URL") },
        { QStringLiteral("warning"), QStringLiteral("Warning") }, { QStringLiteral("type"), QStringLiteral("Type") } } };
    QStringList logged;
};

TEST_F(WarningsManagerTest, OneKeyYieldsOneRecordLessThanItsCapAndCountsOn)
{
    const auto p = page(QStringLiteral("/a"));
    QList<HubWarningRecord> list;
    for (int i = 0; i < 150; ++i)
        list.append({ p->absoluteString(), p, QStringLiteral("Unclosed div at line %1/%2.").arg(i + 1).arg(i * 40) });
    manager.setWarningsCollection(list, &table);

    EXPECT_EQ(manager.getCount(), 99);
    EXPECT_EQ(manager.countForKey(QStringLiteral("Unclosed div")), 150);
    EXPECT_EQ(logged, QStringList { QStringLiteral("the warning: 'Unclosed div' has exceeded 100. No more similar warnings "
                                                   "will be logged this scan.") });

    // Filling again replaces rather than appends; a held table is refilled only when asked.
    EXPECT_FALSE(manager.populateIfNotPopulated(list.mid(0, 1), /*viewsRequireRefresh=*/false));
    EXPECT_TRUE(manager.populateIfNotPopulated(list, /*viewsRequireRefresh=*/true));
    EXPECT_EQ(manager.getCount(), 99);
    EXPECT_EQ(manager.countForKey(QStringLiteral("Unclosed div")), 150);
    EXPECT_EQ(logged.size(), 2);
}

TEST_F(WarningsManagerTest, TheTotalCapStopsRecordingAndCountingAndShowsTheNotice)
{
    defaults.setObject(qint64(3), QStringLiteral("warningsMaximumCount"));
    const auto p = page(QStringLiteral("/a"));
    for (const char* text : { "one", "two", "three", "four" })
        manager.add(QString::fromLatin1(text), p);
    EXPECT_EQ(manager.getCount(), 3);
    EXPECT_EQ(manager.keyCount(), 3);
    EXPECT_EQ(manager.countForKey(QStringLiteral("four")), 0);
    manager.numberOfRows(table);
    EXPECT_TRUE(manager.limitNoticeShown());
    EXPECT_TRUE(manager.getWarningShortSummary().contains(QStringLiteral("has been capped")));

    manager.add(QString(), p);
    manager.add(QStringLiteral("x"), nullptr);
    EXPECT_EQ(logged.size(), 2);
}

TEST_F(WarningsManagerTest, TypesByPrefixAndTheFilterTags)
{
    EXPECT_EQ(WarningRecord::typeOfWarning(QStringLiteral("The server sent no type")), 3);
    EXPECT_EQ(WarningRecord::typeOfWarning(QStringLiteral("The page has no title")), 1);
    EXPECT_EQ(WarningRecord::typeOfWarning(QStringLiteral("the page has no title")), 2);
    EXPECT_EQ(WarningRecord::typeOfWarning(QStringLiteral("Odd: The server")), 2);

    const auto p = page(QStringLiteral("/a"));
    manager.add(QStringLiteral("The server sent no type"), p);
    manager.add(QStringLiteral("The page has no title"), p);
    manager.add(QStringLiteral("Unclosed p at line 3/9."), p);
    const std::vector<std::pair<int, QStringList>> cases {
        { 0, { "The server sent no type", "The page has no title", "Unclosed p at line 3/9." } },
        { 1, { "The page has no title" } },
        { 3, { "The server sent no type" } },
        { 2, { "Unclosed p at line 3/9." } },
        { 7, { "Unclosed p at line 3/9." } },
    };
    for (const auto& [tag, expected] : cases) {
        manager.setFilterTag(tag);
        manager.filter(table);
        EXPECT_EQ(shownWarnings(), expected) << tag;
    }
}

TEST_F(WarningsManagerTest, HidingAKindTemporarilyOrUntilTheNextScan)
{
    const auto p = page(QStringLiteral("/a"));
    manager.add(QStringLiteral("Unclosed p at line 3/9."), p);
    manager.add(QStringLiteral("Stray end tag"), p);
    manager.add(QStringLiteral("Unclosed p at line 8/90."), p);
    manager.add(QStringLiteral("Stray end tag </b>"), p);

    manager.removeTemporarily(1, table); // no " at line ": the whole text is the key
    EXPECT_EQ(shownWarnings(), (QStringList { "Unclosed p at line 3/9.", "Unclosed p at line 8/90." }));
    manager.filter(table);
    EXPECT_EQ(manager.numberOfRows(table), 4);

    manager.removeUntilNextScan(0, table);
    EXPECT_EQ(shownWarnings(), (QStringList { "Stray end tag", "Stray end tag </b>" }));
    EXPECT_EQ(manager.getCount(), 2);
    manager.removeTemporarily(-1, table);
    EXPECT_EQ(manager.numberOfRows(table), 2);
}

TEST_F(WarningsManagerTest, LinkUrlSentencesAndTheDoubleClick)
{
    const auto target = page(QStringLiteral("/t"));
    const auto holder = page(QStringLiteral("/holder"));
    manager.add(QStringLiteral("The link url has a space at line 4/77."), target);
    const TableColumn warning { QStringLiteral("warning"), QStringLiteral("Warning") };
    EXPECT_EQ(manager.tableViewObjectValue(table, warning, 0).toString(),
        QStringLiteral("The link url has a space at line 4. There is one link with this link url, it appears on "
                       "http://example.com/t"));

    CrwlUrl::InstanceList inbound;
    for (int i = 0; i < 2; ++i) {
        auto instance = CrwlLinkInstance::make();
        instance->setParent(holder);
        inbound.push_back(instance);
    }
    target->setInboundInstanceArray({ inbound.front() });
    EXPECT_TRUE(manager.tableViewObjectValue(table, warning, 0).toString().endsWith(QStringLiteral("appears on http://example.com/holder")));
    target->setInboundInstanceArray(inbound);
    EXPECT_TRUE(manager.tableViewObjectValue(table, warning, 0).toString().endsWith(
        QStringLiteral("There are 2 instances of the link url over one or more pages.")));

    struct Opener : crawlmere::reports::WarningInspectorOpener {
        void openWarningInspector(std::shared_ptr<WarningRecord> record) override { opened.push_back(record); }
        std::vector<std::shared_ptr<WarningRecord>> opened;
    };
    auto opener = std::make_shared<Opener>();
    manager.setWarningInspectorOpener(opener);
    manager.doubleClick(-1);
    manager.doubleClick(0);
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(opener->opened.front()->lcurl, target);
    EXPECT_EQ(manager.urlOfRow(0), QStringLiteral("http://example.com/t"));
}

TEST_F(WarningsManagerTest, MostCommonInFirstSeenOrderOnTiesAndASummaryThatParses)
{
    EXPECT_EQ(manager.getWarningShortSummary(), QStringLiteral("<h1>HTML validation and other warnings</h1>\n<p>0 warning(s)</p>\n"));
    const auto p = page(QStringLiteral("/a"));
    for (const char* text : { "b <img> at line 1/1.", "a & co", "c", "b <img> at line 2/2.", "d", "a & co", "c" })
        manager.add(QString::fromLatin1(text), p);
    EXPECT_EQ(manager.getMostCommonErrors(), QStringLiteral("b <img>, a & co, c"));

    const QString summary = manager.getWarningShortSummary();
    EXPECT_TRUE(summary.contains(QStringLiteral("b &lt;img&gt;, a &amp; co, c"))) << qPrintable(summary);
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not installed";
    QProcess check;
    check.start(xmllint, { QStringLiteral("--noout"), QStringLiteral("-") });
    check.write(("<div>" + summary + "</div>").toUtf8());
    check.closeWriteChannel();
    ASSERT_TRUE(check.waitForFinished(10000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
}

TEST_F(WarningsManagerTest, CsvIsTheTableAsShown)
{
    const auto p = page(QStringLiteral("/a"));
    manager.add(QStringLiteral("The page has no title"), p);
    manager.add(QStringLiteral("Unclosed p at line 3/9."), p);
    manager.setFilterTag(2);
    manager.filter(table);
    EXPECT_EQ(manager.getWarningsAsCSV(table),
        QStringLiteral("\"URL\",\"Warning\",\"Type\"\n\"http://example.com/a\",\"Unclosed p at line 3.\",\"2\"\n"));
}

} // namespace
