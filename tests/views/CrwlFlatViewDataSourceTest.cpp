// The flat view: rows, cells, sorting, the bad collection and the flat CSV writer.
#include "views/CrwlFlatViewDataSource.h"

#include "LinkViewsTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "support/FileSizeLimit.h"
#include "support/Fixtures.h"
#include "support/RecordingPasteboard.h"
#include "views/ResultItemModel.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crawlmere::views;
using namespace crawlmere::test;

namespace {

QString viewsFixture(const QString& name) { return fixturePath(QStringLiteral("views/") + name); }

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A site of three pages: a home page (distance 0) linking to a page with every fact, a broken
// link with a recorded size and a link whose text holds a quote and a line break.
class FlatFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = scan.page(QStringLiteral("/"));
        full = scan.page(QStringLiteral("/full"));
        broken = scan.url(QStringLiteral("/missing"), 404);
        broken->setFileSize(2048);
        quoted = scan.url(QStringLiteral("/quoted"), 200);
        fullLink = scan.link(home, full, QStringLiteral("Full page"));
        LinkScan::setEveryFact(*full, *fullLink, *home);
        home->setDistanceFromHome(0);
        brokenLink = scan.link(full, broken, QStringLiteral("Broken"));
        quotedLink = scan.link(full, quoted, QStringLiteral("Say \"hi\"\nthere"));
        source.setCollection(scan.occurrences);
        source.setTableView(&table);
    }

    LinkScan scan;
    std::shared_ptr<CrwlUrl> home, full, broken, quoted;
    std::shared_ptr<CrwlLinkInstance> fullLink, brokenLink, quotedLink;
    HeadlessTableView table { CrwlFlatViewDataSource::columns().tableColumns() };
    CrwlFlatViewDataSource source;
};

TEST_F(FlatFixture, EveryColumnShowsTextForARecordWithEveryFact)
{
    for (const ViewColumn& column : CrwlFlatViewDataSource::columns().columns())
        EXPECT_FALSE(CrwlFlatViewDataSource::getColumnValue(column.identifier, *fullLink).isEmpty())
            << qPrintable(column.identifier);
    EXPECT_EQ(
        CrwlFlatViewDataSource::getColumnValue(QStringLiteral("linkurldecoded"), *fullLink), "https://site.test/full");
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("nofollow"), *fullLink), "YES");
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("nofollow"), *brokenLink), "NO");
}

TEST_F(FlatFixture, EdgeCasesOfTheCells)
{
    ScopedDefaults defaults;
    // Links on the starting page stand at depth 0; an unrecorded line shows nothing.
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("distance"), *fullLink), "0");
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("lineNumber"), *brokenLink), "");
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("redirectCount"), *brokenLink), "");
    // A broken link's recorded size is not shown.
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("filesize"), *brokenLink), "");
    EXPECT_EQ(
        CrwlFlatViewDataSource::getColumnValue(QStringLiteral("onpageurl"), *brokenLink), "https://site.test/full");
    defaults.set(QStringLiteral("displayPageTitle"), 1);
    EXPECT_EQ(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("onpageurl"), *fullLink), "Holding page");
    // An occurrence without a target answers empty texts, never a null.
    const auto orphan = CrwlLinkInstance::make();
    EXPECT_FALSE(CrwlFlatViewDataSource::getColumnValue(QStringLiteral("timestamp"), *orphan).isNull());
}

TEST_F(FlatFixture, RowsAreTheOccurrencesWhoseTargetPassesTheByLinkFilter)
{
    broken->setVisible(false);
    source.filter();
    EXPECT_EQ(table.reloadCount(), 0); // filter: does not reload
    ASSERT_EQ(source.numberOfRowsInTableView(table), 2);
    EXPECT_EQ(source.getItemAtRowIndex(0), scan.occurrences[0]);
    EXPECT_EQ(source.getItemAtRowIndex(1), scan.occurrences[2]);
    EXPECT_EQ(source.getItemAtRowIndex(2), nullptr);
}

TEST_F(FlatFixture, TheBadCollectionIsGatheredOnceAndKept)
{
    source.filter();
    ASSERT_EQ(source.getBadCollection().size(), 1);
    broken->setStatus(-3); // marked fixed later: the collection stays as gathered
    source.filter();
    EXPECT_EQ(source.getBadCollection().size(), 1);
    source.clear();
    source.setCollection(scan.occurrences);
    source.filter();
    EXPECT_TRUE(source.getBadCollection().isEmpty());
}

TEST_F(FlatFixture, HeaderSortUsesTheColumnsSortKeyAndKeepsEqualRowsInOrder)
{
    source.filter();
    table.setSortDescriptors({ { QStringLiteral("linkurldecoded"), false } });
    source.tableViewSortDescriptorsDidChange(table);
    EXPECT_EQ(table.reloadCount(), 1);
    QStringList urls;
    for (int row = 0; row < 3; ++row)
        urls << source.tableViewObjectValue(table, table.tableColumns()[0], row).toString();
    EXPECT_EQ(urls, QStringList({ "https://site.test/quoted", "https://site.test/missing", "https://site.test/full" }));
    // A numeric key sorts by number: status 200, 200, 404 ascending, equal ones as they were.
    table.setSortDescriptors({ { QStringLiteral("status"), true } });
    source.tableViewSortDescriptorsDidChange(table);
    EXPECT_EQ(source.getItemAtRowIndex(0), quotedLink);
    EXPECT_EQ(source.getItemAtRowIndex(1), fullLink);
    EXPECT_EQ(source.getItemAtRowIndex(2), brokenLink);
}

TEST_F(FlatFixture, CopyCommandsTakeTheSelectedRows)
{
    RecordingPasteboard pasteboard;
    source.setPasteboard(&pasteboard);
    source.copyUrlFromFlatView({});
    EXPECT_TRUE(pasteboard.strings.isEmpty());
    source.copyAppearsOnFromFlatView({ brokenLink, fullLink });
    source.copyRedirFromFlatView({ fullLink });
    EXPECT_EQ(pasteboard.strings, QStringList({ "https://site.test/full", "https://site.test/moved%20here" }));
}

// The flat CSV for every quote option and for bad links only, compared with its golden file and
// read back by Python's csv module as the fields the cells show.
TEST_F(FlatFixture, FlatCsvMatchesTheGoldenFilesAndReadsBackAsItsCells)
{
    QTemporaryDir folder;
    ScopedDefaults defaults;
    for (int column = 5; column < table.tableColumns().size(); ++column)
        table.setColumnHidden(column, column != 5 && column != 20); // Depth and Line shown too
    struct Golden {
        int option;
        bool badLinks;
        const char* file;
        const char* dialect;
    };
    const Golden goldens[] = {
        { 0, false, "flat-option0.csv", "backslash" },
        { 1, false, "flat-option1.csv", "plain" },
        { 2, false, "flat-option2.csv", "doubled" },
        { 1, true, "flat-bad-links.csv", "plain" },
    };
    for (const Golden& golden : goldens) {
        defaults.set(QStringLiteral("csvQuoteEscapeOption"), golden.option);
        const QString path = folder.filePath(QString::fromLatin1(golden.file));
        ASSERT_TRUE(source.exportLinksAsFlatCSVAndSaveTo(path, golden.badLinks));
        expectGolden(readFile(path), QString::fromLatin1(golden.file));

        QProcess python;
        python.start(QStringLiteral("python3"),
            { viewsFixture(QStringLiteral("read_csv.py")), path, QString::fromLatin1(golden.dialect) });
        ASSERT_TRUE(python.waitForFinished(30000));
        ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
        const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        const qsizetype rows = golden.badLinks ? 1 : 3;
        ASSERT_EQ(lines.size(), rows + 1) << golden.file;
        EXPECT_EQ(lines[0], "URL|Status|Appears on|Link text|Redirected to|Depth|Line");
        // The quoted link's text comes back with its quote per the option and the break a space.
        const QString quote = golden.option == 1 ? QStringLiteral("'") : QStringLiteral("\"");
        if (!golden.badLinks) {
            EXPECT_EQ(lines[3].section(u'|', 3, 3), QStringLiteral("Say %1hi%1 there").arg(quote)) << golden.file;
        }
    }
}

TEST_F(FlatFixture, AnEmptySourceWritesNothingAndAFailedWriteAnswersNo)
{
    QTemporaryDir folder;
    CrwlFlatViewDataSource empty;
    const QString path = folder.filePath(QStringLiteral("none.csv"));
    EXPECT_TRUE(empty.exportLinksAsFlatCSVAndSaveTo(path, false));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(source.exportLinksAsFlatCSVAndSaveTo(folder.filePath(QStringLiteral("no/such/folder.csv")), false));
}

TEST_F(FlatFixture, ALargeExportIsWrittenInRunsThatMakeTheWholeTextAndAFullDiskKeepsTheOldFile)
{
    QTemporaryDir folder;
    // Enough rows for many runs, with characters of two, three and four bytes in UTF-8.
    for (int i = 0; i < 3000; ++i)
        scan.link(home, quoted, QStringLiteral("Lien é %1 — 𝄞").arg(i));
    source.setCollection(scan.occurrences);
    int runs = 0;
    ASSERT_TRUE(source.writeFlatCSV(false, [&runs](QStringView) { return ++runs < 1000; }));
    EXPECT_GT(runs, 2);
    const QByteArray whole = source.flatCSV(false).toUtf8();
    ASSERT_GT(whole.size(), 3 * (1 << 16));
    const QString path = folder.filePath(QStringLiteral("links.csv"));
    ASSERT_TRUE(source.exportLinksAsFlatCSVAndSaveTo(path, false));
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), whole);
    written.close();

    // A refused run stops the writing.
    runs = 0;
    EXPECT_FALSE(source.writeFlatCSV(false, [&runs](QStringView) { return ++runs < 2; }));
    EXPECT_EQ(runs, 2);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    bool saved = true;
    ASSERT_TRUE(crawlmere::test::withFileSizeLimit(
        100'000, [&] { saved = source.exportLinksAsFlatCSVAndSaveTo(path, false); }));
    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(path), QStringLiteral("old"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList { QStringLiteral("links.csv") });
}

TEST_F(FlatFixture, ModelPassesTheTesterAcrossFilterSortAndClear)
{
    ResultItemModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setColumns(table.tableColumns());
    model.setDataSource(&source);
    source.filter();
    model.reload();
    EXPECT_EQ(model.rowCount(), 3);
    broken->setVisible(false);
    source.filter();
    model.reload();
    EXPECT_EQ(model.rowCount(), 2);
    table.setSortDescriptors({ { QStringLiteral("linktext"), true } });
    source.tableViewSortDescriptorsDidChange(table);
    model.reload();
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "Full page");
    source.clear();
    model.reload();
    EXPECT_EQ(model.rowCount(), 0);
}

} // namespace
