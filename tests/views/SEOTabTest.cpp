// The SEO tab over its manager: the four tables' models, and the image preview fetched from a
// loopback server with its headers, a stalled reply and a body that is no image.
#include "views/SEOTab.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/UrlRequest.h"
#include "platform/UserDefaults.h"
#include "reports/ReportsDefaults.h"
#include "reports/SEOManager.h"
#include "support/LoopbackServer.h"
#include "support/RecordingPasteboard.h"
#include "views/ResultItemModel.h"
#include "views/crawlmereTableView.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using crawlmere::reports::SEOManager;
using crawlmere::views::SEOTab;
using namespace std::chrono_literals;

namespace {

class SEOTabTest : public ::testing::Test {
protected:
    SEOTabTest() { crawlmere::reports::registerReportsDefaults(defaults); }

    std::shared_ptr<CrwlUrl> page(const QString& url, const QString& title)
    {
        auto record = std::make_shared<CrwlUrl>();
        record->setLinkURL(url);
        record->setLinkPageTitle(title);
        pages.push_back(record);
        return record;
    }
    /// An image on `on`; with `inbound` the image knows the occurrence (its Referer source).
    void image(const std::shared_ptr<CrwlUrl>& on, const QString& url, const QString& text, bool inbound = true)
    {
        auto target = std::make_shared<CrwlUrl>();
        target->setLinkURL(url);
        target->setIsImage(true);
        auto occurrence = CrwlLinkInstance::make();
        occurrence->setParent(on);
        occurrence->setTarget(target);
        occurrence->setLinkText(text);
        on->addOutboundInstance(occurrence);
        if (inbound)
            target->addInboundInstance(occurrence);
        targets.push_back(target);
    }
    /// Double-clicks image row `row` and waits for the preview to end; answers whether an image
    /// is shown.
    bool preview(int row)
    {
        auto* images = tab.table(SEOManager::kImagesTab);
        images->setCurrentIndex(images->model()->index(row, 0));
        bool ended = false;
        bool shown = false;
        const auto connection = QObject::connect(&tab, &SEOTab::previewFinished, [&](bool image) {
            ended = true;
            shown = image;
        });
        Q_EMIT images->doubleClicked(images->model()->index(row, 0));
        EXPECT_FALSE(tab.previewIndicator()->isHidden());
        crawlmere::platform::Dispatch::runUntil([&] { return ended; }, 20s);
        QObject::disconnect(connection);
        EXPECT_TRUE(ended);
        EXPECT_TRUE(tab.previewIndicator()->isHidden());
        return shown;
    }

    QTemporaryDir folder;
    crawlmere::platform::UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    crawlmere::views::RecordingPasteboard pasteboard;
    SEOManager manager { defaults };
    SEOTab tab { manager, defaults, pasteboard };
    CrwlUrlList pages;
    CrwlUrlList targets;
};

TEST_F(SEOTabTest, FourModelsStaySoundThroughFiltersAndSearch)
{
    std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
    for (const char* id : { "1", "2", "3", "4" })
        testers.push_back(std::make_unique<QAbstractItemModelTester>(
            &tab.table(QLatin1String(id))->itemModel(), QAbstractItemModelTester::FailureReportingMode::Fatal));
    const auto home = page(QStringLiteral("https://example.test/"), QStringLiteral("Home"));
    page(QStringLiteral("https://example.test/untitled"), QString());
    image(home, QStringLiteral("https://example.test/a.png"), QStringLiteral("[alt]: "));
    image(home, QStringLiteral("https://example.test/b.png"), QStringLiteral("[alt]: a boat"));
    manager.populate(pages);
    tab.reloadAllData();
    EXPECT_EQ(tab.table(SEOManager::kPagesTab)->itemModel().rowCount(), 2);
    EXPECT_EQ(tab.table(SEOManager::kImagesTab)->itemModel().rowCount(), 2);

    auto* filter = tab.filterPopUp();
    const int untitled = filter->findData(1);
    filter->setCurrentIndex(untitled);
    Q_EMIT filter->activated(untitled);
    EXPECT_EQ(tab.table(SEOManager::kMetaDataTab)->itemModel().rowCount(), 1);
    tab.findChild<QLineEdit*>(QStringLiteral("SEOSearchBox"))->setText(QStringLiteral("boat"));
    EXPECT_EQ(tab.table(SEOManager::kImagesTab)->itemModel().rowCount(), 1);
    tab.clear();
    for (const char* id : { "1", "2", "3", "4" })
        EXPECT_EQ(tab.table(QLatin1String(id))->itemModel().rowCount(), 0) << id;
    EXPECT_EQ(filter->currentIndex(), 0);
}

TEST_F(SEOTabTest, PreviewFetchesWithItsHeadersAndEndsOnEveryOutcome)
{
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");

    std::mutex lock;
    QList<httplib::Headers> seen;
    crawlmere::test::LoopbackServer server;
    server.server().Get(R"(/img/(\w+))", [&](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard guard(lock);
            seen.append(request.headers);
        }
        const std::string name = request.matches[1];
        if (name == "stall")
            std::this_thread::sleep_for(1500ms);
        if (name == "text")
            response.set_content("<p>not a picture</p>", "text/html");
        else
            response.set_content(png.constData(), size_t(png.size()), "image/png");
    });
    ASSERT_TRUE(server.start());

    const auto home = page(server.url(QStringLiteral("/home")), QStringLiteral("Home"));
    image(home, server.url(QStringLiteral("/img/ok")), QStringLiteral("[alt]: ok"));
    image(home, server.url(QStringLiteral("/img/orphan")), QStringLiteral("[alt]: orphan"), /*inbound=*/false);
    image(home, server.url(QStringLiteral("/img/text")), QStringLiteral("[alt]: text"));
    image(home, server.url(QStringLiteral("/img/stall")), QStringLiteral("[alt]: stall"));
    manager.populate(pages);
    manager.setPreviewTimeout(0.5);
    EXPECT_EQ(SEOManager::imagePreviewRequest(*targets[0], SEOManager::kPreviewTimeoutSeconds).timeoutInterval, 10.0);

    EXPECT_TRUE(preview(0));
    EXPECT_FALSE(tab.previewImageView()->pixmap().isNull());
    EXPECT_TRUE(tab.previewPanel()->isVisible());
    EXPECT_TRUE(preview(1));
    EXPECT_FALSE(preview(2));
    EXPECT_TRUE(tab.previewImageView()->pixmap().isNull());
    EXPECT_FALSE(preview(3));

    std::lock_guard guard(lock);
    ASSERT_GE(seen.size(), 3);
    const auto header = [&](int request, const char* name) {
        const auto it = seen[request].find(name);
        return it == seen[request].end() ? std::string("(none)") : it->second;
    };
    EXPECT_EQ(header(0, "User-Agent"), SEOManager::kPreviewUserAgent.toStdString());
    EXPECT_EQ(header(0, "Referer"), server.url(QStringLiteral("/home")).toStdString());
    EXPECT_EQ(header(0, "Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(header(1, "Referer"), "(none)");
}

} // namespace
