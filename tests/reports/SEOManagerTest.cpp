// The SEO tables' manager without widgets: the finding filter over real page records and their
// duplicate groups, the images without alt text, the row actions and the exports' texts.
#include "reports/SEOManager.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ExportText.h"
#include "platform/Dispatch.h"
#include "platform/SavePanel.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "reports/EngineSEOManager.h"
#include "reports/ReportsDefaults.h"
#include "support/Fixtures.h"
#include "support/RecordingSavePanel.h"
#include "support/RecordingUrlOpener.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <map>

using crawlmere::platform::UserDefaults;
using crawlmere::reports::EngineSEOManager;
using crawlmere::reports::SEOManager;
using namespace crawlmere::test;

namespace {

/// Hands the pages the groups of a crawl-time register, as the hub does.
class GroupsOwner final : public RecordingOwner {
public:
    explicit GroupsOwner(EngineSEOManager& register_)
        : seo(register_)
    {
    }
    CrwlUrlList getDuplicatesForCrwlUrl(const CrwlUrl& record) const override
    {
        CrwlUrlList others;
        const auto& groups = seo.getDuplicates();
        if (const auto it = groups.find(record.getLinkpagetitle()); it != groups.end()) {
            for (const auto& page : it->second) {
                if (page.get() != &record)
                    others.push_back(page);
            }
        }
        return others;
    }
    CrwlUrlGroups getDuplicateTitles() const override { return seo.getDuplicateTitles(); }
    CrwlUrlGroups getDuplicateDescriptions() const override { return seo.getDuplicateDescriptions(); }
    quint64 duplicateGroupsGeneration() const override { return seo.groupsGeneration(); }

    EngineSEOManager& seo;
};

class SEOManagerTest : public ::testing::Test {
protected:
    SEOManagerTest() { crawlmere::reports::registerReportsDefaults(defaults); }

    std::shared_ptr<CrwlUrl> page(const QString& name, const QString& title = QStringLiteral("Title"),
        std::optional<int> description = 60, qint64 bytes = 1000)
    {
        auto record = CrwlUrl::make(owner, settings);
        record->setLinkURL(QStringLiteral("https://example.test/") + name);
        record->setLinkPageTitle(title);
        if (description)
            record->setMetaData({ QVariantMap { { QStringLiteral("name"), QStringLiteral("description") },
                { QStringLiteral("content"), QString(*description, u'd') } } });
        record->setWordCount(300);
        record->setFileSize(bytes);
        seo.add(record);
        return record;
    }
    /// An image on `on` with `linkText`; the image record is kept alive by the fixture.
    std::shared_ptr<CrwlLinkInstance> image(const std::shared_ptr<CrwlUrl>& on, const QString& name, const QString& text)
    {
        auto target = std::make_shared<CrwlUrl>();
        target->setLinkURL(QStringLiteral("https://example.test/img/") + name);
        target->setIsImage(true);
        auto occurrence = CrwlLinkInstance::make();
        occurrence->setParent(on);
        occurrence->setTarget(target);
        occurrence->setLinkText(text);
        on->addOutboundInstance(occurrence);
        target->addInboundInstance(occurrence);
        images.push_back(target);
        return occurrence;
    }
    QStringList visibleNames()
    {
        QStringList names;
        for (const auto& item : manager.getSortedAndFilteredArray())
            names << std::static_pointer_cast<CrwlUrl>(item)->absoluteString().section(u'/', -1);
        return names;
    }
    void select(TableView& table, qsizetype row) { selected[&table] = row; }

    QTemporaryDir folder;
    UserDefaults defaults { folder.path() + QStringLiteral("/defaults.plist") };
    EngineSEOManager seo { defaults };
    std::shared_ptr<GroupsOwner> owner = std::make_shared<GroupsOwner>(seo);
    SharedCrawlSettings settings = makeSettings();
    CrwlUrlList images;
    HeadlessTableView pagesTable { SEOManager::pageColumns() };
    HeadlessTableView metaDataTable { SEOManager::metaDataColumns() };
    HeadlessTableView headingsTable { SEOManager::headingsColumns() };
    HeadlessTableView imagesTable { SEOManager::imagesColumns() };
    std::map<TableView*, qsizetype> selected;
    QStringList clipboard;
    CrwlUrlList inspected;
    std::shared_ptr<crawlmere::platform::RecordingUrlOpener> opener
        = std::make_shared<crawlmere::platform::RecordingUrlOpener>();
    SEOManager manager { defaults };

    void SetUp() override
    {
        manager.setTables(&pagesTable, &metaDataTable, &headingsTable, &imagesTable);
        crawlmere::reports::SEOManagerHooks hooks;
        hooks.selectedRow = [this](TableView& table) {
            const auto it = selected.find(&table);
            return it == selected.end() ? qsizetype(-1) : it->second;
        };
        hooks.toClip = [this](const QString& text) { clipboard << text; };
        hooks.showInspector = [this](const std::shared_ptr<CrwlUrl>& p) { inspected.push_back(p); };
        manager.setHooks(std::move(hooks));
        manager.setUrlOpener(opener);
    }
};

struct FilterCase {
    int tag;
    const char* shown;
};

TEST_F(SEOManagerTest, FilterMatrixOverRecordsAndGroups)
{
    // Descriptions of 49, 50, 300, 301 characters and none; two same-size pages under one title,
    // one of them canonical elsewhere; a non-HTML page that would pass every test.
    page(QStringLiteral("d49"), QStringLiteral("A"), 49);
    page(QStringLiteral("d50"), QStringLiteral("B"), 50);
    page(QStringLiteral("d300"), QStringLiteral("C"), 300);
    page(QStringLiteral("d301"), QStringLiteral("D"), 301);
    page(QStringLiteral("nodesc"), QStringLiteral("E"), std::nullopt);
    page(QStringLiteral("twin1"), QStringLiteral("Twin"), 80, 1200);
    page(QStringLiteral("twin2"), QStringLiteral("Twin"), 80, 1200);
    page(QStringLiteral("elsewhere"), QStringLiteral("Twin"), 80, 1200)->setCanonical(QStringLiteral("https://other.test/"));
    const auto pdf = page(QStringLiteral("doc.pdf"), QString(), std::nullopt, 1200);
    pdf->setIsHTML(false);
    pdf->setWordCount(0);
    pdf->setKeywordStuffed(true);
    manager.setCollection(seo.internalPagesCollection());

    const FilterCase cases[] = {
        { 0, "d49,d50,d300,d301,nodesc,twin1,twin2,elsewhere,doc.pdf" },
        { 1, "" },
        // "elsewhere" is in no group of its own, but the group under its title has others.
        { 2, "twin1,twin2,elsewhere" },
        { 5, "d49,d301,nodesc" },
        { 6, "twin1,twin2,elsewhere" },
        { 7, "nodesc" },
        { 9, "twin1,twin2,elsewhere" },
        { 10, "" },
        { 11, "" },
        { 12, "" },
        { 15, "" },
        { 16, "d49,d50,d300,d301,nodesc,twin1,twin2,elsewhere" },
    };
    for (const FilterCase& c : cases) {
        manager.handleSwitch(c.tag);
        EXPECT_EQ(visibleNames().join(u','), QLatin1String(c.shown)) << "tag " << c.tag;
    }
    EXPECT_EQ(manager.selectedTab(), SEOManager::kPagesTab);
    manager.handleSwitch(12);
    EXPECT_EQ(manager.selectedTab(), SEOManager::kImagesTab);
    for (int tag = 1; tag <= 18; ++tag)
        EXPECT_FALSE(SEOManager::shouldDisplayBasedOnFilterButton(*pdf, tag, defaults)) << tag;
}

TEST_F(SEOManagerTest, ThresholdsComparedSignedAndThinContentWithoutKey)
{
    UserDefaults bare { folder.path() + QStringLiteral("/bare.plist") };
    const auto thin = page(QStringLiteral("thin"));
    thin->setWordCount(249);
    const auto enough = page(QStringLiteral("enough"));
    enough->setWordCount(250);
    EXPECT_TRUE(SEOManager::shouldDisplayBasedOnFilterButton(*thin, 11, bare));
    EXPECT_FALSE(SEOManager::shouldDisplayBasedOnFilterButton(*enough, 11, bare));
    bare.setObject(QStringLiteral("-5"), QStringLiteral("metaTitleMax"));
    EXPECT_TRUE(SEOManager::shouldDisplayBasedOnFilterButton(*thin, 8, bare));
    bare.setObject(QStringLiteral("words"), QStringLiteral("maxThinContent"));
    EXPECT_FALSE(SEOManager::shouldDisplayBasedOnFilterButton(*thin, 11, bare));
}

TEST_F(SEOManagerTest, FilterOffKeepsTheVisibleFlags)
{
    const auto a = page(QStringLiteral("a"));
    const auto b = page(QStringLiteral("b"), QString());
    defaults.setBool(false, QStringLiteral("SEOEnabled"));
    a->setVisible(false);
    b->setVisible(true);
    manager.setCollection(seo.internalPagesCollection());
    manager.handleSwitch(1);
    EXPECT_FALSE(a->getVisible());
    EXPECT_TRUE(b->getVisible());
    EXPECT_EQ(visibleNames(), QStringList { QStringLiteral("b") });
}

TEST_F(SEOManagerTest, ImagesWithoutAltTextKeepTheirBuildOrder)
{
    const auto p = page(QStringLiteral("p"));
    image(p, QStringLiteral("z.png"), QStringLiteral("[alt]: "));
    image(p, QStringLiteral("one.png"), QStringLiteral("[alt]: x"));
    image(p, QStringLiteral("a.png"), QStringLiteral("[alt]:"));
    image(p, QStringLiteral("described.png"), QStringLiteral("[img alt]: a harbour"));
    manager.populate(seo.internalPagesCollection());
    ASSERT_EQ(manager.countVisibleImages(), 4);
    EXPECT_EQ(manager.numberOfRowsInTableView(imagesTable), 4);

    const auto names = [this] {
        QStringList found;
        for (qsizetype row = 0; row < manager.numberOfRowsInTableView(imagesTable); ++row)
            found << manager.tableViewObjectValue(imagesTable, imagesTable.tableColumns()[1], row).toString().section(u'/', -1);
        return found.join(u',');
    };
    EXPECT_EQ(manager.tableViewObjectValue(imagesTable, imagesTable.tableColumns()[0], 3).toString(), " a harbour");
    manager.setSearchText(QStringLiteral("anything"));
    EXPECT_EQ(names(), "z.png,a.png");
    imagesTable.setSortDescriptors({ { QStringLiteral("absoluteStringDecoded"), true } });
    manager.tableViewSortDescriptorsDidChange(imagesTable);
    EXPECT_EQ(names(), "z.png,a.png");
    manager.setSearchText(QString());
    EXPECT_EQ(names(), "a.png,described.png,one.png,z.png");

    // The exported list takes link texts under 10 characters; its "linkText" column the raw text.
    HeadlessTableView exportColumns({ { QStringLiteral("linkText"), QStringLiteral("Alt"), false },
        { QStringLiteral("url"), QStringLiteral("URL"), true } });
    manager.setTables(&pagesTable, &metaDataTable, &headingsTable, &exportColumns);
    EXPECT_EQ(manager.getImagesWithoutAltText(QVariant()).value_or(QString()),
        "\"Alt\",\"URL\"\n\"[alt]:\",\"https://example.test/img/a.png\"\n"
        "\"[alt]: x\",\"https://example.test/img/one.png\"\n\"[alt]: \",\"https://example.test/img/z.png\"\n");
    manager.clear();
    EXPECT_FALSE(manager.getImagesWithoutAltText(QVariant()).has_value());
}

TEST_F(SEOManagerTest, DoubleClickCopyVisitAndValidate)
{
    const auto p = page(QStringLiteral("a&b#c"));
    const auto q = page(QStringLiteral("q"));
    const auto i = image(p, QStringLiteral("i.png"), QStringLiteral("[alt]: x"));
    manager.populate(seo.internalPagesCollection());

    manager.copyURL();
    manager.SEODoubleClick();
    EXPECT_TRUE(clipboard.isEmpty());
    EXPECT_TRUE(inspected.empty());

    select(pagesTable, 1);
    select(headingsTable, 0);
    select(imagesTable, 0);
    manager.SEODoubleClick();
    manager.setSelectedTab(SEOManager::kHeadingsTab);
    manager.SEODoubleClick();
    manager.setSelectedTab(SEOManager::kImagesTab);
    manager.SEODoubleClick();
    manager.copyURL();
    select(pagesTable, 0);
    manager.validateURL();
    manager.setSelectedTab(SEOManager::kPagesTab);
    manager.selectTag(SEOManager::kKeywordTag);
    manager.SEODoubleClick();
    EXPECT_EQ(inspected, (CrwlUrlList { q, p }));
    EXPECT_EQ(clipboard, QStringList { QStringLiteral("https://example.test/img/i.png") });

    ASSERT_EQ(opener->opened.size(), 1);
    const QUrl opened = opener->opened.first();
    EXPECT_EQ(opened.toString(QUrl::FullyEncoded), "https://validator.w3.org/check?uri=https%3A%2F%2Fexample.test%2Fa%26b");
    const QUrl encoded = SEOManager::validatorAddress(QStringLiteral("https://example.test/a&b#c?d+e"));
    EXPECT_EQ(encoded.fragment(), QString());
    EXPECT_EQ(QUrlQuery(encoded).queryItemValue(QStringLiteral("uri"), QUrl::FullyDecoded),
        "https://example.test/a&b#c?d+e");
}

// ----- exports -----

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

class SEOExportTest : public SEOManagerTest {
protected:
    void SetUp() override
    {
        SEOManagerTest::SetUp();
        manager.setSavePanel(&panel);
        pagesTable.setColumns({ { QStringLiteral("url"), QStringLiteral("URL"), false },
            { QStringLiteral("linkpagetitle"), QStringLiteral("Title"), false },
            { QStringLiteral("wordcount"), QStringLiteral("Words"), true } });
    }
    /// Runs a saved export of the selected tab and answers the file it wrote.
    QString exported(bool csv)
    {
        const QString path = folder.filePath(QStringLiteral("export-%1").arg(++exports));
        panel.answers.append(path);
        csv ? manager.exportSEOAsCSV() : manager.exportSEOAsHTML();
        crawlmere::platform::Dispatch::runUntil([&] { return QFile::exists(path); }, std::chrono::seconds(10));
        return readFile(path);
    }

    crawlmere::platform::RecordingSavePanel panel;
    int exports = 0;
};

TEST_F(SEOExportTest, EmptyTablesWriteHeadersOnly)
{
    EXPECT_EQ(exported(true), "\"URL\",\"Title\"\n");
    EXPECT_EQ(exported(false).toStdString(), readFixture(QStringLiteral("reports/seo-empty.html")).toStdString());
    EXPECT_EQ(panel.requests.first().allowedFileTypes, QStringList { QStringLiteral("csv") });
    EXPECT_EQ(panel.requests.last().allowedFileTypes, QStringList { QStringLiteral("html") });
}

TEST_F(SEOExportTest, HtmlPageLinksWholeValuesAndEscapesEverything)
{
    const QString fifty = QStringLiteral("https://example.test/") + QString(29, u'f');
    page(fifty.section(u'/', -1), QStringLiteral("<script>alert(\"x\")</script> & co"));
    page(QString(30, u'g'), QStringLiteral("Read https://example.test/a b first"));
    manager.setCollection(seo.internalPagesCollection());
    const QString html = exported(false);
    EXPECT_EQ(html.toStdString(), readFixture(QStringLiteral("reports/seo-pages.html")).toStdString());

    const QString file = folder.filePath(QStringLiteral("pages.html"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(html.toUtf8());
    out.close();
    // Parsed as HTML, the title is text and no script element exists.
    const QString scripts = runTool(QStringLiteral("xmllint"),
        { QStringLiteral("--html"), QStringLiteral("--xpath"), QStringLiteral("count(//script)"), file });
    EXPECT_EQ(scripts.trimmed(), "0");
    const QString hrefs = runTool(QStringLiteral("xmllint"),
        { QStringLiteral("--html"), QStringLiteral("--xpath"), QStringLiteral("string(//tr[3]/td[2]/a/@href)"), file });
    EXPECT_EQ(hrefs.trimmed().toStdString(), "Read https://example.test/a b first");
}

TEST_F(SEOExportTest, CsvQuotesReadBackByPythonUnderEachOption)
{
    page(QStringLiteral("q"), QStringLiteral("say \"hi\"\nnow"));
    manager.setCollection(seo.internalPagesCollection());
    auto& standard = UserDefaults::standard();
    const struct {
        int option;
        const char* dialect;
        const char* title;
    } cases[] = { { 0, "backslash", "say \"hi\"\nnow" }, { 1, "plain", "say 'hi'\nnow" },
        { 2, "doubled", "say \"hi\"\nnow" } };
    for (const auto& c : cases) {
        standard.setInteger(c.option, QStringLiteral("csvQuoteEscapeOption"));
        exported(true);
        const QString path = folder.filePath(QStringLiteral("export-%1").arg(exports));
        const QString rows = runTool(QStringLiteral("python3"),
            { fixturePath(QStringLiteral("views/read_csv.py")), path, QLatin1String(c.dialect) });
        EXPECT_EQ(rows, QStringLiteral("URL|Title\nhttps://example.test/q|%1\n").arg(QLatin1String(c.title)))
            << c.option;
    }
    standard.removeObjectForKey(QStringLiteral("csvQuoteEscapeOption"));
}

TEST_F(SEOExportTest, HeadingsTabExportsTheHeadingsTable)
{
    page(QStringLiteral("h"))->setHeadings({ QStringLiteral("Welcome") });
    manager.setCollection(seo.internalPagesCollection());
    manager.setSelectedTab(SEOManager::kHeadingsTab);
    EXPECT_EQ(exported(true), "\"URL\",\"H1\",\"H2\",\"H3\",\"H4\"\n\"https://example.test/h\",\"Welcome\",\"\",\"\",\"\"\n");
    EXPECT_TRUE(exported(false).contains(QLatin1String("<th class = h1>H1</th>")));
}

TEST_F(SEOExportTest, FilteredExportLeavesThePopUpAndFlags)
{
    const auto a = page(QStringLiteral("a"), QString());
    page(QStringLiteral("b"));
    manager.setCollection(seo.internalPagesCollection());
    manager.handleSwitch(1);
    EXPECT_EQ(manager.exportSEOAsCSVFilteredFor(0).value_or(QString()),
        "\"URL\",\"Title\",\"Words\"\n\"https://example.test/a\",\"\",\"300\"\n"
        "\"https://example.test/b\",\"Title\",\"300\"\n");
    EXPECT_FALSE(manager.exportSEOAsCSVFilteredFor(14).has_value());
    EXPECT_EQ(manager.selectedTag(), 1);
    EXPECT_EQ(visibleNames(), QStringList { QStringLiteral("a") });
}

TEST(SEOExportText, UrlsShortenedPastFiftyCharacters)
{
    const QString fifty = QStringLiteral("https://example.test/") + QString(29, u'x');
    const QString fiftyOne = fifty + QStringLiteral("y");
    EXPECT_EQ(crawlmere::engine::truncateURLByAddingElipsisInMiddle(fifty), fifty);
    const QString shortened = crawlmere::engine::truncateURLByAddingElipsisInMiddle(fiftyOne);
    EXPECT_EQ(shortened.size(), 53);
    EXPECT_EQ(shortened, fiftyOne.left(23) + QStringLiteral("...") + fiftyOne.right(27));
}

} // namespace
