// The spelling results over a headless table and outline: the by-page list, the by-word outline,
// learning and removing words, the reviewed page, and the four exports against golden files.
#include "reports/WbtlySpellingManager.h"

#include "engine/CrwlUrl.h"
#include "engine/CrwlUrlTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "platform/FakeSpellChecker.h"
#include "platform/SavePanel.h"
#include "platform/UrlOpener.h"
#include "reports/RecordingSpellingDialogue.h"
#include "reports/SpellingCountUpdator.h"
#include "support/Fixtures.h"
#include "support/RecordingSavePanel.h"
#include "support/RecordingUrlOpener.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using crawlmere::reports::WbtlySpellingManager;
using crawlmere::test::ScopedDefaults;

namespace {

struct RecordingUpdator final : crawlmere::reports::SpellingCountUpdator {
    void addPages(const QList<std::shared_ptr<CrwlUrl>>& pages) override
    {
        for (const auto& page : pages)
            added << page->absoluteString().section(u'/', -1);
    }
    QStringList added;
};

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class WbtlySpellingManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto page = [this](const QString& path, qint64 count, const QString& title = QStringLiteral("Page")) {
            auto record = CrwlUrl::make(owner, settings);
            record->setLinkURL(QStringLiteral("http://example.com/") + path);
            record->setLinkPageTitle(title);
            record->setSpellingCount(count);
            return record;
        };
        a = page(QStringLiteral("a"), 2, QStringLiteral("Tom \"Q\"\nline two"));
        zero = page(QStringLiteral("zero"), 0);
        reviewed = page(QStringLiteral("reviewed"), 5);
        reviewed->setSpellingReviewed(true);
        script = page(QStringLiteral("s"), 1, QStringLiteral("<script>alert(1)</script> & more"));
        longUrl = page(QStringLiteral("01234567890123456789012345678901"), 3); // 51 characters in all
        manager.setCollection({ a, zero, reviewed, script, longUrl });
        manager.setMisspelledWordDictionary({ { QStringLiteral("teh"), { a, script } },
            { QStringLiteral("wrold"), { a } }, { QStringLiteral("colour"), { longUrl } } });
        outline.setSource(&manager);
        manager.reloadData();
    }
    QStringList byPage()
    {
        QStringList names;
        for (const auto& item : manager.getSpellingCollection())
            names << item->getFieldByName(QStringLiteral("url")).section(u'/', -1);
        return names;
    }
    QStringList rows()
    {
        QStringList texts;
        for (qsizetype r = 0; r < outline.numberOfRows(); ++r)
            texts << manager.outlineObjectValue(outline, QStringLiteral("duffword"), outline.itemAtRow(r)) + u'|'
                    + manager.outlineObjectValue(outline, QStringLiteral("url"), outline.itemAtRow(r))
                          .section(u'/', -1);
        return texts;
    }

    std::shared_ptr<crawlmere::test::RecordingOwner> owner = std::make_shared<crawlmere::test::RecordingOwner>();
    SharedCrawlSettings settings = crawlmere::test::makeSettings({});
    std::shared_ptr<CrwlUrl> a, zero, reviewed, script, longUrl;
    HeadlessTableView table { { { QStringLiteral("url"), QStringLiteral("URL") },
        { QStringLiteral("spellingcount"), QStringLiteral("Spelling") },
        { QStringLiteral("linkpagetitle"), QStringLiteral("Title"), /*hidden=*/true } } };
    HeadlessOutlineView outline { { { QStringLiteral("duffword"), QStringLiteral("Word") },
                                      { QStringLiteral("url"), QStringLiteral("URL") },
                                      { QStringLiteral("note"), QStringLiteral("Note"), /*hidden=*/true } },
        QStringLiteral("duffword") };
    crawlmere::test::RecordingSpellingDialogue dialogue;
    RecordingUpdator updator;
    crawlmere::test::FakeSpellChecker checker;
    crawlmere::platform::RecordingSavePanel panel;
    crawlmere::platform::RecordingUrlOpener opener;
    QStringList clipped;
    int beeps = 0;
    WbtlySpellingManager manager { table, outline,
        { &dialogue, &updator, &checker, &opener, &panel, [this](const QString& text) { clipped << text; },
            [this] { ++beeps; }, {}, {} } };
    ScopedDefaults defaults;
};

} // namespace

TEST_F(WbtlySpellingManagerTest, ByPageListLeavesOutCleanAndReviewedPagesAndFollowsTheSort)
{
    EXPECT_EQ(manager.getBadSpellingShortSummary(),
        QStringLiteral("<h1>Spelling</h1>\n<p>0 page(s) with spelling issues</p>\n"));
    EXPECT_EQ(byPage(), (QStringList { "a", "s", "01234567890123456789012345678901" }));
    EXPECT_TRUE(manager.getBadSpellingShortSummary().contains(QStringLiteral("<p>3 page(s)")));
    table.setSortDescriptors({ { QStringLiteral("spellingcount"), /*ascending=*/false } });
    EXPECT_EQ(byPage(), (QStringList { "01234567890123456789012345678901", "a", "s" }));
    script->setSpellingCount(0); // a recount found nothing: gone at the next rebuild
    manager.spellingRunnerDidFinish();
    EXPECT_EQ(manager.numberOfRowsInTableView(table), 2);
    manager.clear();
    EXPECT_FALSE(manager.dataAvailableForSitemap());
    EXPECT_TRUE(table.sortDescriptors().isEmpty());
    EXPECT_EQ(outline.numberOfRows(), 0);
}

TEST_F(WbtlySpellingManagerTest, OutlineExpandsCollapsesAndCountsPages)
{
    EXPECT_EQ(rows(), (QStringList { "colour|occurs on 1 page", "teh|occurs on 2 pages", "wrold|occurs on 1 page" }));
    manager.expandAllButton();
    EXPECT_EQ(rows(),
        (QStringList { "colour|occurs on 1 page", "|01234567890123456789012345678901", "teh|occurs on 2 pages", "|a",
            "|s", "wrold|occurs on 1 page", "|a" }));
    manager.collapseAllButton();
    EXPECT_EQ(outline.numberOfRows(), 3);

    manager.selectTab(QStringLiteral("1"));
    outline.selectRowIndexes({ 1 });
    manager.spellingDoubleClick(); // a word row opens nothing
    EXPECT_TRUE(dialogue.shown.isEmpty());
}

TEST_F(WbtlySpellingManagerTest, LearningAndRemovingWordsHandTheirPagesToTheRecount)
{
    manager.spellingDiallogDidLearnWord(QStringLiteral("Teh")); // as the dialogue shows it
    EXPECT_EQ(updator.added, (QStringList { "a", "s" }));
    EXPECT_EQ(rows(), (QStringList { "colour|occurs on 1 page", "wrold|occurs on 1 page" }));
    manager.spellingDiallogDidLearnWord(std::nullopt);

    updator.added.clear();
    outline.selectRowIndexes({ 0 });
    manager.RemoveWithoutLearning();
    EXPECT_TRUE(checker.learned.isEmpty());
    EXPECT_EQ(updator.added, (QStringList { "01234567890123456789012345678901" }));
    manager.expandAllButton();
    outline.selectRowIndexes({ 0, 1 }); // the word and its page: only the word is learned
    manager.learnAllSelected();
    EXPECT_EQ(checker.learned, (QStringList { "wrold" }));
    EXPECT_TRUE(outline.selectedRowIndexes().isEmpty());
    EXPECT_EQ(outline.numberOfRows(), 0);
}

TEST_F(WbtlySpellingManagerTest, FinishedReviewMarksThePageTheDialogueShowed)
{
    manager.setSelectedPageRow(0); // page "a" selected in the table
    manager.selectTab(QStringLiteral("1"));
    manager.expandAllButton();
    outline.selectRowIndexes({ 4 }); // "s" under "teh"
    manager.spellingDoubleClick();
    EXPECT_EQ(dialogue.shown, (QStringList { "http://example.com/s|teh" }));

    manager.spellingDiallogDidFinishReviewing(); // removeWhenSpellingReviewed is off
    EXPECT_EQ(byPage().size(), 3);
    defaults.set(QStringLiteral("removeWhenSpellingReviewed"), true);
    manager.spellingDiallogDidFinishReviewing();
    EXPECT_TRUE(script->getSpellingReviewed());
    EXPECT_FALSE(a->getSpellingReviewed());
    EXPECT_EQ(byPage(), (QStringList { "a", "01234567890123456789012345678901" }));

    manager.selectTab(QStringLiteral("0"));
    manager.spellingDoubleClick();
    EXPECT_EQ(dialogue.shown.last(), QStringLiteral("http://example.com/a|"));
}

TEST_F(WbtlySpellingManagerTest, FourExportsMatchTheirGoldenFilesAndReadBack)
{
    defaults.set(QStringLiteral("csvQuoteEscapeOption"), 2);
    defaults.set(QStringLiteral("flattenByWordOutline"), true);
    QTemporaryDir folder;
    const auto exportTo = [&](const QString& name, const std::function<void()>& action) {
        const QString path = folder.filePath(name);
        panel.answers = { path };
        action();
        const QString text = readAll(path);
        const QString golden = QStringLiteral("exports/") + name;
        if (qEnvironmentVariableIsSet("CRAWLMERE_UPDATE_GOLDEN")) {
            QFile file(crawlmere::test::fixturePath(golden));
            if (file.open(QIODevice::WriteOnly))
                file.write(text.toUtf8());
        }
        EXPECT_EQ(text, QString::fromUtf8(crawlmere::test::readFixture(golden))) << name.toStdString();
        return path;
    };
    const auto pythonRows = [](const QString& path) {
        QProcess python;
        python.start(QStringLiteral("python3"),
            { QStringLiteral("-c"),
                QStringLiteral(
                    "import csv, json, sys; print(json.dumps(list(csv.reader(open(sys.argv[1], newline='')))))"),
                path });
        python.waitForFinished(30000);
        return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    };
    const auto xmllintErrors = [](const QString& path) {
        QProcess xmllint;
        xmllint.start(QStringLiteral("xmllint"), { QStringLiteral("--html"), QStringLiteral("--noout"), path });
        xmllint.waitForFinished(30000);
        return xmllint.exitCode() == 0 ? xmllint.readAllStandardError() : QByteArray("failed");
    };

    manager.selectTab(QStringLiteral("0"));
    const QString byPageCsv
        = exportTo(QStringLiteral("spelling-bypage.csv"), [&] { manager.exportSpellingAsCSVMenuItem(); });
    const QJsonArray pageRows = pythonRows(byPageCsv);
    ASSERT_EQ(pageRows.size(), 4);
    EXPECT_EQ(pageRows.at(0).toArray().size(), 3); // the hidden title column too
    EXPECT_EQ(pageRows.at(1).toArray().at(2).toString(), QStringLiteral("Tom \"Q\"\nline two"));
    const QString byPageHtml
        = exportTo(QStringLiteral("spelling-bypage.html"), [&] { manager.exportSpellingAsHTMLMenuItem(); });
    EXPECT_EQ(xmllintErrors(byPageHtml), QByteArray());
    EXPECT_FALSE(readAll(byPageHtml).contains(QStringLiteral("<script>")));
    EXPECT_TRUE(
        readAll(byPageHtml).contains(QStringLiteral(">http://example.com/0123...567890123456789012345678901<")));

    manager.selectTab(QStringLiteral("1"));
    manager.expandAllButton();
    const QString byWordCsv
        = exportTo(QStringLiteral("spelling-byword.csv"), [&] { manager.exportSpellingAsCSVMenuItem(); });
    const QJsonArray wordRows = pythonRows(byWordCsv);
    ASSERT_EQ(wordRows.size(), 8);
    EXPECT_EQ(wordRows.at(5).toArray().at(0).toString(), QStringLiteral("teh")); // flattened page row
    const QString byWordHtml
        = exportTo(QStringLiteral("spelling-byword.html"), [&] { manager.exportSpellingAsHTMLMenuItem(); });
    EXPECT_EQ(xmllintErrors(byWordHtml), QByteArray());

    // Not flattened, page rows hold a tab; collapsed, only the words; the preference text expands.
    EXPECT_TRUE(
        manager.getDataAsCSVusingOutlineView(outline).contains(QStringLiteral("\"\t\",\"http://example.com/a\"")));
    manager.collapseAllButton();
    EXPECT_EQ(manager.getDataAsCSVusingOutlineView(outline).count(u'\n'), 4);
    EXPECT_EQ(manager.getDataAsCSVusingMisspelledWordOutlineViewAndFlattenAccordingToPreference()->count(u'\n'), 8);

    manager.clear();
    panel.answers = { folder.filePath(QStringLiteral("never.csv")) };
    manager.exportSpellingAsCSVMenuItem();
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(manager.getDataAsCSVusingMisspelledWordOutlineViewAndFlattenAccordingToPreference());
}

TEST_F(WbtlySpellingManagerTest, OutlineExportsMoveTheProgressOncePerWholePercent)
{
    QList<float> proportions;
    WbtlySpellingManager::MisspelledWordDictionary words;
    for (int i = 0; i < 200; ++i)
        words[QStringLiteral("word%1").arg(i, 3, 10, QLatin1Char('0'))] = { a };
    HeadlessOutlineView view { outline.tableColumns(), QStringLiteral("duffword") };
    WbtlySpellingManager::Services services;
    services.setProportion = [&](float p) { proportions << p; };
    WbtlySpellingManager many { table, view, services };
    many.setMisspelledWordDictionary(words);
    view.setSource(&many);
    ASSERT_EQ(view.numberOfRows(), 200);
    many.getDataAsCSVusingOutlineView(view);
    ASSERT_EQ(proportions.size(), 101); // 0 first, 99 changes of the whole percent, 0 last
    EXPECT_EQ(proportions.first(), 0.0f);
    EXPECT_FLOAT_EQ(proportions.at(1), 0.01f);
    EXPECT_EQ(proportions.last(), 0.0f);
    proportions.clear();
    many.getDataAsHTMLusingOutlineView(view);
    EXPECT_EQ(proportions.size(), 100); // no report at the start of the HTML table
}

TEST_F(WbtlySpellingManagerTest, CopyAndVisitTakeTheFirstSelectedRowOfTheirKind)
{
    manager.copyURLInSpellingView(); // nothing selected: nothing copied
    manager.expandAllButton();
    outline.selectRowIndexes({ 2, 3 }); // the word "teh", then page "a"
    manager.copyURLInSpellingView();
    manager.visitURLInSpellingView();
    manager.copyWordInSpellingView();
    EXPECT_EQ(clipped, (QStringList { "teh" }));
    EXPECT_TRUE(opener.opened.isEmpty());
    outline.selectRowIndexes({ 3 });
    manager.copyURLInSpellingView();
    manager.visitURLInSpellingView();
    EXPECT_EQ(clipped.last(), QStringLiteral("http://example.com/a"));
    ASSERT_EQ(opener.opened.size(), 1);

    a->setLinkURL(QStringLiteral("http://example.com/a b")); // valid once percent-escaped
    manager.visitLink(*a);
    EXPECT_EQ(opener.opened.last().toString(QUrl::FullyEncoded), QStringLiteral("http://example.com/a%20b"));
}
