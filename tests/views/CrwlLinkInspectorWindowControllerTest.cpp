#include "views/CrwlLinkInspectorWindowController.h"
#include "engine/CrawlSettingKeys.h"

#include "LinkViewsTestSupport.h"
#include "SiteScanTestSupport.h"
#include "engine/ScopedDefaults.h"
#include "engine/Z12Ara.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UrlOpener.h"
#include "support/RecordingUrlOpener.h"
#include "views/InspectorWindows.h"
#include "views/LinkInspectorOnPageTable.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <atomic>

using namespace crawlmere;
using views::CrwlLinkInspectorWindowController;
using views::LinkInspectorContent;

namespace {

QStringList tabIdentifiers(const CrwlLinkInspectorWindowController& window)
{
    QStringList identifiers;
    for (int tab = 0; tab < window.tabView()->count(); ++tab)
        identifiers.append(window.tabView()->widget(tab)->objectName());
    return identifiers;
}

bool shown(const QWidget& window, const char* name) { return !window.findChild<QWidget*>(QLatin1String(name))->isHidden(); }

QString field(const QWidget& window, const char* name) { return window.findChild<QLineEdit*>(QLatin1String(name))->text(); }

std::shared_ptr<CrwlUrl> settingsRecord(const QString& url, bool trimHash)
{
    QVariantMap values = CrwlUrl::defaultCrawlSettings();
    values.insert(crawlKey::shouldTrimHash, trimHash);
    auto record = CrwlUrl::make(nullptr, std::make_shared<CrawlSettings>(values));
    record->setLinkURL(url);
    return record;
}

} // namespace

TEST(LinkInspectorWindow, VisibilityFollowsTheTargetKind)
{
    test::ScopedDefaults defaults;
    defaults.set(QStringLiteral("htmlValidationEnabled"), false);
    test::LinkScan scan;
    struct Case {
        const char* name;
        bool html;
        bool internal;
        bool bad;
        QStringList tabs;
        bool external;
        bool badNotice;
        bool pageParts;
    };
    const QStringList targetKept { "link", "target", "redirectsTabViewItem" };
    const QStringList targetGone { "link", "redirectsTabViewItem" };
    for (const Case& c : { Case { "external HTML", true, false, false, targetGone, true, false, false },
             Case { "PDF", false, true, false, targetGone, false, false, false },
             Case { "bad internal HTML", true, true, true, targetKept, false, true, true },
             Case { "good internal HTML", true, true, false, targetKept, false, false, true } }) {
        SCOPED_TRACE(c.name);
        auto target = scan.url(QStringLiteral("/t"), c.bad ? 404 : 200);
        target->setIsHTML(c.html);
        target->setIsInternal(c.internal);
        target->setIsInBadCollection(c.bad);
        CrwlLinkInspectorWindowController window;
        window.setLcurl(target);
        window.windowDidLoad();
        EXPECT_EQ(tabIdentifiers(window), c.tabs);
        EXPECT_EQ(shown(window, "inspectorPagePropertiesExternalWarning"), c.external);
        EXPECT_EQ(shown(window, "inspectorPagePropertiesWarning"), c.badNotice);
        EXPECT_EQ(shown(window, "inspectorPageTitle"), c.pageParts);
        EXPECT_EQ(shown(window, "inspectorPageTitleLabel"), c.pageParts);
        EXPECT_EQ(shown(window, "inspectorInspectTarget"), c.pageParts);
    }
    defaults.set(QStringLiteral("htmlValidationEnabled"), true);
    CrwlLinkInspectorWindowController window;
    window.setLcurl(scan.url(QStringLiteral("/w"), 200));
    window.windowDidLoad();
    EXPECT_TRUE(tabIdentifiers(window).contains(QStringLiteral("warnings")));
}

TEST(LinkInspectorWindow, OnPageRowsWithAndWithoutFragmentsCounted)
{
    test::LinkScan scan;
    for (const bool trimHash : { false, true }) {
        SCOPED_TRACE(trimHash);
        auto target = settingsRecord(QStringLiteral("https://site.test/target"), trimHash);
        const auto second = scan.page(QStringLiteral("/second"));
        const auto first = scan.page(QStringLiteral("/first#top"));
        const auto firstAgain = scan.page(QStringLiteral("/first#end"));
        scan.link(second, target, QStringLiteral("b"));
        scan.link(first, target, QStringLiteral("a"));
        scan.link(firstAgain, target, QStringLiteral("a again"));
        scan.link(second, target, QStringLiteral("b again"));
        const auto list = LinkInspectorContent::onPageList(*target);
        QStringList texts;
        for (qsizetype row = 0; row < qsizetype(list.size()); ++row)
            texts.append(LinkInspectorContent::onPageCell(list, row, QStringLiteral("linktext"), 0, target->occurrencesCount()));
        // Off: one row per page without its fragment, in the order first met.
        EXPECT_EQ(texts, trimHash ? QStringList({ "b", "a", "a again", "b again" }) : QStringList({ "b", "a" }));
    }
}

// At its opening size the window gives the page addresses and link texts most of the table; the
// YES/NO columns wait in the column pop-up, and every shown column lies within the view.
TEST(LinkInspectorWindow, TheAppearsOnTableGivesItsTextColumnsTheRoom)
{
    test::LinkScan scan;
    auto target = settingsRecord(QStringLiteral("https://site.test/target"), false);
    for (int page = 0; page < 3; ++page)
        scan.link(scan.page(QStringLiteral("/documents/a-rather-long-folder-name/page-%1.html").arg(page)), target,
            QStringLiteral("link %1").arg(page));
    CrwlLinkInspectorWindowController window;
    window.setLcurl(target);
    window.windowDidLoad();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(window.width(), 760);
    QTableWidget* table = window.onPageTable();
    const int viewport = table->viewport()->width();
    const QStringList flags { "nofollow", "noreferrer", "noopener", "author", "alternate", "sponsored", "ugc" };
    int text = 0;
    for (int column = 0; column < table->columnCount(); ++column) {
        const QString identifier = window.onPageTable()->tableColumns().at(column).identifier;
        EXPECT_EQ(table->isColumnHidden(column), flags.contains(identifier))
            << qPrintable(identifier);
        if (table->isColumnHidden(column))
            continue;
        const int x = table->horizontalHeader()->sectionViewportPosition(column);
        const int width = table->columnWidth(column);
        EXPECT_TRUE(x >= 0 && x + width <= viewport && width >= 20) << qPrintable(identifier) << " " << x << "+" << width;
        if (identifier == u"1" || identifier == u"linktext")
            text += width;
    }
    EXPECT_GT(text, viewport / 2);
}

TEST(LinkInspectorWindow, OnPageCellsSortingAndChoosing)
{
    test::ScopedDefaults defaults;
    test::LinkScan scan;
    auto target = scan.url(QStringLiteral("/target"), 200);
    auto beta = scan.page(QStringLiteral("/beta"));
    beta->setLinkPageTitle(QStringLiteral("alpha title"));
    auto alpha = scan.page(QStringLiteral("/alpha"));
    alpha->setLinkPageTitle(QStringLiteral("Beta title"));
    scan.link(beta, target, QStringLiteral("one"))->setRel(QStringLiteral("NoFollow"));
    scan.link(alpha, target, QStringLiteral("two"))->setLineNumber(12);
    target->addRedir(QStringLiteral("https://site.test/moved"), 301, 0);

    CrwlLinkInspectorWindowController window;
    window.setLcurl(target);
    window.windowDidLoad();
    auto* table = window.onPageTable();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "Appears on");
    EXPECT_EQ(table->tableColumns().front().identifier, "1");
    EXPECT_EQ(table->item(0, 0)->text(), "https://site.test/beta");
    EXPECT_EQ(table->item(0, 2)->text(), "YES");
    EXPECT_EQ(table->item(1, 2)->text(), "NO");
    EXPECT_EQ(table->item(1, int(table->columnCount()) - 1)->text(), "12");

    // Sorting on "Appears on" goes by URL, or by title when titles are shown.
    table->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(table->item(0, 0)->text(), "https://site.test/alpha");
    defaults.set(QStringLiteral("displayPageTitle"), 1);
    table->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(table->item(0, 0)->text(), "Beta title");
    table->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(table->item(0, 0)->text(), "alpha title");

    // Only the on-page table chooses the occurrence.
    EXPECT_EQ(window.getLastClickedOnPage(), -1);
    window.redirectTable()->selectRow(0);
    EXPECT_EQ(window.getLastClickedOnPage(), -1);
    table->selectRow(1);
    EXPECT_EQ(window.getLastClickedOnPage(), 1);
    EXPECT_EQ(window.getSelectedInstance()->parent(), alpha);
}

TEST(LinkInspectorWindow, WindowlessLocateAndHighlightMakeNoWidgets)
{
    test::LinkScan scan;
    auto target = scan.url(QStringLiteral("/target"), 200);
    auto page = scan.page(QStringLiteral("/page"));
    scan.link(page, target, QStringLiteral("other"));
    const auto chosen = scan.link(page, target, QStringLiteral("chosen"));
    const auto stray = CrwlLinkInstance::make();
    stray->setTarget(target);

    qfDataSource owner;
    auto recorder = std::make_shared<platform::RecordingUrlOpener>();
    views::InspectorWindows windows(owner, recorder);
    std::vector<std::shared_ptr<CrwlLinkInstance>> located;
    windows.setLocateHandler([&](const std::shared_ptr<CrwlLinkInstance>& occurrence) { located.push_back(occurrence); });
    const auto before = QApplication::topLevelWidgets().size();
    windows.locate(chosen);
    windows.locate(stray);
    windows.locate(target);
    EXPECT_EQ(located, std::vector<std::shared_ptr<CrwlLinkInstance>>({ chosen }));
    windows.highlight(stray);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
    EXPECT_EQ(owner.retainCount(), 0);
}

namespace {

class LinkInspectorScan : public test::SiteScanTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SiteScanTest::SetUp());
        server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(
                "<html><body><a href=\"/flaky.html\">flaky</a> <a href=\"/a.html\">a</a></body></html>", "text/html");
        });
        server.server().Get("/a.html", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html><body><a href=\"/flaky.html\">flaky again</a></body></html>", "text/html");
        });
        server.server().Get("/flaky.html", [this](const httplib::Request&, httplib::Response& response) {
            if (fixed.load() && moves.load()) {
                response.status = 301;
                response.set_header("Location", "/caf%C3%A9.html");
                return;
            }
            response.status = fixed.load() ? 200 : 404;
            response.set_content("<html><body>flaky</body></html>", "text/html");
        });
        ASSERT_TRUE(server.start());
        ASSERT_NO_FATAL_FAILURE(scan());
        flaky = flakyRecord();
        ASSERT_TRUE(flaky);
        ASSERT_EQ(flaky->getStatus(), 404);
    }
    std::shared_ptr<CrwlUrl> flakyRecord() const
    {
        for (const auto& item : hub->linksCollection())
            if (auto record = std::dynamic_pointer_cast<CrwlUrl>(item); record && record->absoluteString().endsWith(u"/flaky.html"))
                return record;
        return nullptr;
    }
    /// Mends the flaky page and scans again; answers the new scan's record of it.
    std::shared_ptr<CrwlUrl> rescanMended()
    {
        fixed = true;
        hub->clear();
        scan();
        return HasFatalFailure() ? nullptr : flakyRecord();
    }

    std::atomic<bool> fixed { false };
    std::atomic<bool> moves { false }; // mended by a redirect
    std::shared_ptr<CrwlUrl> flaky;
};

} // namespace

TEST_F(LinkInspectorScan, RecheckStopsTheIndicatorAndShowsTheNewStatus)
{
    CrwlLinkInspectorWindowController window;
    window.setLcurl(flaky);
    window.windowDidLoad();
    EXPECT_EQ(field(window, "inspectorStatus"), flaky->descriptionForStatusCode(404));
    fixed = true;
    window.recheck();
    // Spinning, although putting the target back in the queue was already a status notification.
    EXPECT_EQ(window.recheckingIndicator()->maximum(), 0);
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return window.recheckingIndicator()->maximum() != 0; }, std::chrono::seconds(20)));
    EXPECT_EQ(field(window, "inspectorStatus"), flaky->descriptionForStatusCode(200));
}

TEST_F(LinkInspectorScan, AnInspectorFollowsTheCurrentScanAndOffersNothingOnceItsScanIsGone)
{
    CrwlLinkInspectorWindowController window;
    std::vector<std::shared_ptr<CrwlUrl>> marked;
    window.setMarkFixedHandler([&](const std::shared_ptr<CrwlUrl>& target) { marked.push_back(target); });
    window.setLcurl(flaky);
    window.windowDidLoad();

    // The next scan finds the page mended: the window shows, and acts on, that scan's record.
    const auto current = rescanMended();
    ASSERT_TRUE(current);
    ASSERT_NE(current, flaky);
    EXPECT_EQ(hub->currentRecordOf(flaky), current);
    EXPECT_EQ(window.getLcurl(), current);
    EXPECT_EQ(field(window, "inspectorStatus"), current->descriptionForStatusCode(200));
    window.markAsFixedMenuItem();
    EXPECT_EQ(marked, std::vector<std::shared_ptr<CrwlUrl>> { current });
    EXPECT_TRUE(window.offersActions());

    // Cleared with no scan after it: nothing to act on.
    hub->clear();
    window.markAsFixedMenuItem();
    EXPECT_EQ(marked.size(), 1u);
    EXPECT_FALSE(window.offersActions());
    for (const char* button : { "inspectorMarkFixed", "inspectorRecheck", "inspectorLocate", "inspectorHighlight" })
        EXPECT_FALSE(window.findChild<QPushButton*>(QLatin1String(button))->isEnabled()) << button;
}

// After a rescan an open inspector reads, in every field and row, as one opened on the new scan's
// record; once cleared it says that its scan is gone.
TEST_F(LinkInspectorScan, EveryFieldOfAnOpenInspectorFollowsTheRescan)
{
    CrwlLinkInspectorWindowController window;
    window.setLcurl(flaky);
    window.windowDidLoad();
    moves = true;
    const auto current = rescanMended();
    ASSERT_TRUE(current);
    ASSERT_EQ(current->occurrencesCount(), 2);
    CrwlLinkInspectorWindowController fresh;
    fresh.setLcurl(current);
    fresh.windowDidLoad();
    EXPECT_TRUE(field(fresh, "inspectorRedir").endsWith(QString::fromUtf8("/caf\xC3\xA9.html")))
        << qPrintable(field(fresh, "inspectorRedir"));
    for (const QLineEdit* shown : fresh.findChildren<QLineEdit*>()) {
        if (!shown->objectName().startsWith(u"inspector"))
            continue;
        EXPECT_EQ(field(window, shown->objectName().toLatin1().constData()), shown->text())
            << qPrintable(shown->objectName());
    }
    EXPECT_EQ(window.onPageTable()->rowCount(), 2);
    EXPECT_EQ(window.redirectButton()->text(), fresh.redirectButton()->text());
    const auto* gone = window.findChild<QLabel*>(QStringLiteral("inspectorScanGoneNotice"));
    ASSERT_NE(gone, nullptr);
    EXPECT_TRUE(gone->isHidden());

    hub->clear();
    EXPECT_FALSE(gone->isHidden());
    EXPECT_FALSE(window.offersActions());
}

TEST_F(LinkInspectorScan, AClosedInspectorIsReleasedAndHearsNothing)
{
    qfDataSource owner;
    views::InspectorWindows windows(owner, std::make_shared<platform::RecordingUrlOpener>());
    windows.inspect(flaky);
    QPointer<CrwlLinkInspectorWindowController> window = windows.lastLinkInspector();
    ASSERT_TRUE(window);
    EXPECT_EQ(owner.retainCount(), 1);
    window->close();
    EXPECT_EQ(owner.retainCount(), 0);
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return window.isNull(); }, std::chrono::seconds(5)));
    // A status notification after the window is gone reaches no freed window (ASan would tell).
    platform::NotificationCenter::defaultCenter().post(Z12Ara::CrwlUrlStatusUpdated, flaky);
    fixed = true;
    flaky->recheckLink();
    EXPECT_TRUE(platform::Dispatch::runUntil([&] { return flaky->getStatus() == 200; }, std::chrono::seconds(20)));
}

// The Redirects tab of a three-hop chain: the addresses take the room the short status and
// reason leave, and a cut address reads whole in its tool tip.
TEST(LinkInspectorWindow, RedirectAddressesTakeTheRoomAndReadWholeInATip)
{
    test::ScopedDefaults defaults;
    test::LinkScan scan;
    const QString deep = QStringLiteral("/a-very-long-directory-name-for-columns/another-rather-long-directory-name"
                                        "/and-a-third-one-to-make-the-address-long/");
    auto target = scan.url(deep + QStringLiteral("start.html"), 200);
    scan.link(scan.page(QStringLiteral("/")), target, QStringLiteral("start"));
    for (const char* hop : { "first.html", "second.html", "third-and-last-of-the-chain.html" })
        target->addRedir(QStringLiteral("http://site.test") + deep + QLatin1String(hop), 301, 0);

    CrwlLinkInspectorWindowController window;
    window.setLcurl(target);
    window.windowDidLoad();
    window.tabView()->setCurrentWidget(window.findChild<QWidget*>(QStringLiteral("redirectsTabViewItem")));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTableWidget* table = window.redirectTable();
    ASSERT_EQ(table->rowCount(), 4);
    QHeaderView* header = table->horizontalHeader();
    EXPECT_GE(header->sectionSize(1), header->sectionSizeHint(1));
    EXPECT_GT(header->sectionSize(0), header->sectionSize(1) + header->sectionSize(2));
    EXPECT_LE(header->sectionSize(0) + header->sectionSize(1) + header->sectionSizeHint(2), table->viewport()->width());
    const QPoint point = table->visualItemRect(table->item(3, 0)).center();
    QHelpEvent help(QEvent::ToolTip, point, table->viewport()->mapToGlobal(point));
    QApplication::sendEvent(table->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), table->item(3, 0)->text());
    EXPECT_TRUE(QToolTip::text().endsWith(QLatin1String("third-and-last-of-the-chain.html")));
}
