#include "views/CrwlPageInspectorWindowController.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/UrlOpener.h"
#include "support/LoopbackServer.h"
#include "support/RecordingUrlOpener.h"
#include "views/CutCells.h"
#include "views/InspectorWindows.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace crawlmere;
using namespace std::chrono_literals;
using views::CrwlPageInspectorWindowController;

namespace {

QVariantMap tag(const char* key, const char* value, const char* content)
{
    return { { QLatin1String(key), QLatin1String(value) }, { QStringLiteral("content"), QLatin1String(content) } };
}

QString text(const QWidget& window, const char* name)
{
    if (auto* field = window.findChild<QLineEdit*>(QLatin1String(name)))
        return field->text();
    return window.findChild<QPlainTextEdit*>(QLatin1String(name))->toPlainText();
}

bool checked(const QWidget& window, const char* name) { return window.findChild<QCheckBox*>(QLatin1String(name))->isChecked(); }

QStringList column(QTableWidget* table, int column)
{
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row)
        cells.append(table->item(row, column)->text());
    return cells;
}

class PageInspector : public ::testing::Test {
protected:
    void SetUp() override
    {
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::red);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        server.server().set_keep_alive_timeout(1);
        server.server().Get(R"(/img/(\w+)\.png)", [this](const httplib::Request& request, httplib::Response& response) {
            ++imageRequests;
            if (request.matches[1] == "slow")
                std::this_thread::sleep_for(5s);
            if (request.matches[1] == "late") {
                std::this_thread::sleep_for(1s);
                ++lateAnswers;
            }
            response.set_content(png.constData(), size_t(png.size()), "image/png");
        });
        ASSERT_TRUE(server.start());
    }

    std::unique_ptr<CrwlPageInspectorWindowController> open(std::shared_ptr<CrwlUrl> page)
    {
        auto window = std::make_unique<CrwlPageInspectorWindowController>(opener);
        window->setLcurl(std::move(page));
        window->windowDidLoad();
        window->show();
        return window;
    }

    std::shared_ptr<CrwlUrl> page(const QString& path)
    {
        auto record = std::make_shared<CrwlUrl>();
        record->setLinkURL(server.url(path));
        return record;
    }

    QByteArray png; // outlives the server's handler threads
    test::LoopbackServer server;
    std::atomic<int> imageRequests { 0 };
    std::atomic<int> lateAnswers { 0 };
    std::shared_ptr<platform::RecordingUrlOpener> opener = std::make_shared<platform::RecordingUrlOpener>();
};

} // namespace

TEST_F(PageInspector, FieldsFromRecords)
{
    // Never fetched: no size, no load time, nothing ticked, no card. A robots tag in capitals
    // that the crawl did not take as its robots value ticks nothing either.
    auto unfetched = page(QStringLiteral("/new"));
    unfetched->setMetaData({ tag("name", "robots", "NOINDEX") });
    auto window = open(unfetched);
    EXPECT_EQ(text(*window, "inspectorFileSize"), "0 bytes");
    EXPECT_EQ(text(*window, "inspectorDownloadTime"), "");
    EXPECT_EQ(text(*window, "twitterTitle"), "");
    EXPECT_FALSE(checked(*window, "inspectorNoindexCheckbox"));
    EXPECT_FALSE(window->imageRequested());

    // A 5 GiB page with open-graph tags only, a robots flag and headings.
    auto fetched = page(QStringLiteral("/dir/page"));
    fetched->setFileSize(5LL * 1024 * 1024 * 1024);
    fetched->setLoadTimeInterval(0.25);
    fetched->setHeadContainsNoIndex(true);
    fetched->setHeadings({ QStringLiteral("\nFirst"), QStringLiteral("Second\n") });
    fetched->setMetaData({ tag("property", "og:title", "Card title"), tag("property", "og:description", "Card text"),
        tag("property", "og:image", "../img/fast.png"), tag("itemprop", "name", "Item"), tag("other", "x", "y") });
    window = open(fetched);
    EXPECT_EQ(text(*window, "inspectorFileSize"), "5368709120 bytes");
    EXPECT_EQ(text(*window, "inspectorDownloadTime"), "0.2500 seconds");
    EXPECT_EQ(text(*window, "inspectorHeadings"), "First\nSecond");
    // A level of heading (a tab) indents by a few spaces, not 80 pixels.
    const auto* headings = window->findChild<QPlainTextEdit*>(QStringLiteral("inspectorHeadings"));
    EXPECT_LE(headings->tabStopDistance(), headings->fontMetrics().horizontalAdvance(QStringLiteral("      ")));
    EXPECT_EQ(text(*window, "twitterTitle"), "Card title");
    EXPECT_EQ(text(*window, "twitterDescription"), "Card text");
    EXPECT_TRUE(checked(*window, "inspectorNoindexCheckbox"));
    EXPECT_FALSE(checked(*window, "inspectorNofollowCheckbox"));
    QTableWidget* tags = window->table(QStringLiteral("metadataTableView"));
    EXPECT_EQ(column(tags, 0),
        QStringList({ "property=\"og:title\"", "property=\"og:description\"", "property=\"og:image\"", "itemprop=\"name\"", "" }));
    EXPECT_EQ(column(tags, 1), QStringList({ "Card title", "Card text", "../img/fast.png", "Item", "y" }));
    // The relative og image resolves against the page and loads.
    bool shown = false;
    QObject::connect(window.get(), &CrwlPageInspectorWindowController::imageLoadFinished, [&](bool ok) { shown = ok; });
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return shown; }, 10s));
    EXPECT_FALSE(window->twitterImage()->pixmap().isNull());

    // Empty twitter and og image values request nothing (an empty value is no URL).
    const int before = imageRequests;
    auto empty = page(QStringLiteral("/empty"));
    empty->setMetaData({ tag("name", "twitter:image", ""), tag("property", "og:image", "  ") });
    window = open(empty);
    EXPECT_FALSE(window->imageRequested());
    platform::Dispatch::runFor(200ms);
    EXPECT_EQ(imageRequests, before);
}

TEST_F(PageInspector, ShowsAtOnceWhileTheImageWaits)
{
    auto record = page(QStringLiteral("/p"));
    record->setMetaData({ tag("name", "twitter:image", "/img/slow.png"), tag("property", "og:image", "/img/fast.png") });
    QElapsedTimer clock;
    clock.start();
    auto window = open(record);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->twitterImage()->pixmap().isNull());
    bool done = false;
    QObject::connect(window.get(), &CrwlPageInspectorWindowController::imageLoadFinished, [&](bool) { done = true; });
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return done; }, 15s));
    EXPECT_GE(clock.elapsed(), 4500);
    EXPECT_FALSE(window->twitterImage()->pixmap().isNull());
    EXPECT_EQ(imageRequests, 1); // twitter first; og never asked

    // A window closed while its image loads drops the answer.
    record->setMetaData({ tag("name", "twitter:image", "/img/late.png") });
    const int asked = imageRequests;
    auto closing = open(record);
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return imageRequests > asked; }, 15s));
    closing->close();
    closing.reset();
    // An image asked for after the late one is answered was answered after it: once it is in,
    // the late answer has reached the closed window's loader too.
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return lateAnswers == 1; }, 15s));
    auto after = page(QStringLiteral("/after"));
    after->setMetaData({ tag("name", "twitter:image", "/img/after.png") });
    auto next = open(after);
    bool nextDone = false;
    QObject::connect(next.get(), &CrwlPageInspectorWindowController::imageLoadFinished, [&](bool) { nextDone = true; });
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return nextDone; }, 15s));
    EXPECT_FALSE(next->twitterImage()->pixmap().isNull());
}

TEST_F(PageInspector, OccurrenceTablesSortCopies)
{
    auto target = page(QStringLiteral("/t"));
    auto holderB = page(QStringLiteral("/b"));
    auto holderA = page(QStringLiteral("/a"));
    for (const auto& holder : { holderB, holderA }) {
        auto occurrence = CrwlLinkInstance::make();
        occurrence->setParent(holder);
        occurrence->setTarget(target);
        occurrence->setLinkText(holder == holderA ? QStringLiteral("zeta") : QStringLiteral("alpha"));
        holder->addOutboundInstance(occurrence);
        target->addInboundInstance(occurrence);
    }
    auto window = open(target);
    QTableWidget* inbound = window->table(QStringLiteral("inboundLinksTableView"));
    EXPECT_EQ(column(inbound, 0), QStringList({ server.url("/b"), server.url("/a") }));
    // In page order, and no header says otherwise until one is clicked; the next page starts so.
    EXPECT_EQ(inbound->horizontalHeader()->sortIndicatorSection(), -1);
    inbound->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    EXPECT_EQ(column(inbound, 0), QStringList({ server.url("/a"), server.url("/b") }));
    window->windowDidLoad();
    EXPECT_EQ(inbound->horizontalHeader()->sortIndicatorSection(), -1);
    EXPECT_EQ(column(inbound, 0), QStringList({ server.url("/b"), server.url("/a") }));
    window->sortOccurrences(true, { { QStringLiteral("onPageUrl"), true } });
    EXPECT_EQ(column(inbound, 0), QStringList({ server.url("/a"), server.url("/b") }));
    EXPECT_EQ(column(inbound, 1), QStringList({ "zeta", "alpha" }));
    EXPECT_EQ(target->getInboundInstances().front()->getOnPageUrl(), server.url("/b"));
    EXPECT_EQ(column(window->table(QStringLiteral("outboundLinksTableView")), 0), QStringList());

    auto holder = open(holderA);
    EXPECT_EQ(column(holder->table(QStringLiteral("outboundLinksTableView")), 0), QStringList({ server.url("/t") }));
    holder->visitPage();
    ASSERT_EQ(opener->opened.size(), 1);
    EXPECT_EQ(opener->opened.front().toString(), server.url("/a"));
}

TEST_F(PageInspector, OpenerKeepsEachWindowUntilItCloses)
{
    qfDataSource owner;
    views::InspectorWindows windows(owner, opener);
    auto record = page(QStringLiteral("/p"));
    record->setLinkPageTitle(QStringLiteral("Shown"));
    windows.inspectPage(record);
    windows.inspectPage(record);
    QPointer<CrwlPageInspectorWindowController> second = windows.lastPageInspector();
    ASSERT_TRUE(second);
    EXPECT_EQ(owner.retainCount(), 2);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->windowTitle(), "Page Inspector");
    EXPECT_EQ(text(*second, "inspectorTitle"), "Shown");
    second->close();
    EXPECT_EQ(owner.retainCount(), 1);
    windows.inspect(record);
    ASSERT_TRUE(windows.lastLinkInspector());
    EXPECT_EQ(owner.retainCount(), 2);
    EXPECT_EQ(windows.lastLinkInspector()->windowTitle(), "Link Inspector");
    windows.lastLinkInspector()->close();
    EXPECT_EQ(owner.retainCount(), 1);
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return second.isNull(); }, 2s));
}

TEST_F(PageInspector, OpensWithTheKeyboardOffItsAddressWhichShowsItsHost)
{
    qfDataSource owner;
    views::InspectorWindows windows(owner, opener);
    auto record = page(QStringLiteral("/") + QString(u'p').repeated(180) + QStringLiteral(".html"));
    windows.inspectPage(record);
    QPointer<CrwlPageInspectorWindowController> window = windows.lastPageInspector();
    ASSERT_TRUE(window);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* url = window->findChild<QLineEdit*>(QStringLiteral("inspectorUrl"));
    EXPECT_NE(QApplication::focusWidget(), url);
    EXPECT_TRUE(views::shownFieldText(*url).startsWith(QLatin1String("http://127.0.0.1")))
        << qPrintable(views::shownFieldText(*url));
    window->close();
}
