#include "views/CrwlWarningInspectorWindowController.h"
#include "engine/CrawlSettingKeys.h"

#include "platform/Dispatch.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "reports/WarningContext.h"
#include "reports/WarningRecord.h"
#include "reports/WarningsManager.h"
#include "support/LoopbackServer.h"
#include "views/ViewsTestSupport.h"
#include "views/WarningInspectorWindows.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace crawlmere;
using namespace std::chrono_literals;
using reports::WarningContext;

namespace {

/// A page of `size` bytes whose byte i is 'a' + i % 26.
QByteArray page(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

} // namespace

TEST(WarningContext, WindowsAroundThePosition)
{
    struct Case {
        int size, position, from, to;
        bool more;
    };
    const Case cases[] = { { 150, 149, 0, 150, false }, { 5000, 4995, 4795, 4995, true }, { 5000, 4985, 4785, 4995, true },
        { 5000, 300, 100, 310, true } };
    for (const Case& c : cases) {
        const QByteArray bytes = page(c.size);
        const QString inner = QString::fromLatin1(bytes.mid(c.from, c.to - c.from));
        EXPECT_EQ(WarningContext::contextAt(bytes, c.position),
            c.more ? "..." + inner + "..." : "..." + inner)
            << c.size << " " << c.position;
        // The same answer from the leading bytes a stopped transfer keeps.
        EXPECT_EQ(WarningContext::contextAt(bytes.left(WarningContext::bytesNeeded(c.position)), c.position),
            WarningContext::contextAt(bytes, c.position));
    }
    EXPECT_FALSE(WarningContext::contextAt(page(300), 0));
    EXPECT_FALSE(WarningContext::contextAt(page(300), 300));
    // A two-byte character cut by the window's start shows as a replacement character.
    const QByteArray accented = page(199) + QByteArray("\xc3\xa9") + page(300);
    EXPECT_TRUE(WarningContext::contextAt(accented, 400)->startsWith(QStringLiteral("...\uFFFD")));

    EXPECT_EQ(WarningContext::positionInWarning(QStringLiteral("Bad tag AT LINE 3/77. More")), 77);
    EXPECT_EQ(WarningContext::positionInWarning(QStringLiteral("Bad tag at line 3/77")), std::nullopt);
    EXPECT_EQ(WarningContext::positionInWarning(QStringLiteral("Bad tag")), std::nullopt);
}

class WarningInspector : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.server().set_keep_alive_timeout(1);
        defaults.setObject(QStringLiteral("InspectorTest/1"), crawlKey::userAgentString);
        server.server().Get(R"(/size/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
            userAgent = request.get_header_value("User-Agent");
            const QByteArray bytes = page(std::stoi(request.matches[1]));
            response.status = 404;
            response.set_content(bytes.constData(), size_t(bytes.size()), "text/html");
        });
        server.server().Get("/big", [this](const httplib::Request&, httplib::Response& response) {
            constexpr size_t total = 5 * 1024 * 1024;
            response.set_content_provider(total, "text/html", [this](size_t offset, size_t length, httplib::DataSink& sink) {
                const std::string chunk(std::min<size_t>(length, 16384), char('a' + offset % 26));
                std::this_thread::sleep_for(2ms);
                if (!sink.write(chunk.data(), chunk.size()))
                    return false;
                bigSent += chunk.size();
                return true;
            }, [this](bool) { bigDone = true; });
        });
        ASSERT_TRUE(server.start());
    }

    /// Opens an inspector on `warning` for `url` and waits for its context.
    QString contextFor(const QString& url, const QString& warning)
    {
        auto record = std::make_shared<reports::WarningRecord>(url, test::makeRecord(url, 200), warning);
        opener.openWarningInspector(record);
        views::CrwlWarningInspectorWindowController* shown = lastWindow();
        platform::Dispatch::runUntil([&] { return !shown->contextField()->toPlainText().isEmpty(); }, 12s);
        EXPECT_EQ(shown->urlField()->text(), url);
        return shown->contextField()->toPlainText();
    }

    views::CrwlWarningInspectorWindowController* lastWindow()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<views::CrwlWarningInspectorWindowController*>(widget);
            if (window && window->warning() && !seen.contains(window)) {
                seen.insert(window);
                lastWindowOpened = window;
                return window;
            }
        }
        return nullptr;
    }

    test::LoopbackServer server;
    std::atomic<size_t> bigSent { 0 };
    std::atomic<bool> bigDone { false };
    QTemporaryDir folder;
    platform::UserDefaults defaults { folder.filePath(QStringLiteral("defaults.plist")) };
    reports::WarningsManager manager { defaults };
    std::shared_ptr<platform::RecordingUrlOpener> urlOpener = std::make_shared<platform::RecordingUrlOpener>();
    views::WarningInspectorWindows opener { manager, defaults, urlOpener };
    QSet<QObject*> seen;
    std::string userAgent; // of the last page request
    views::CrwlWarningInspectorWindowController* lastWindowOpened = nullptr;
};

TEST_F(WarningInspector, ShowsTheFetchedSourceAroundThePosition)
{
    struct Case {
        int size, position, from, to;
        const char* frame;
    };
    for (const Case& c : { Case { 5000, 100, 0, 210, "...%1..." }, Case { 1005, 1000, 800, 1000, "...%1..." },
             Case { 200, 199, 0, 200, "...%1" }, Case { 120, 50, 0, 120, "...%1" } }) {
        const QString expected = QString::fromLatin1(c.frame).arg(QString::fromLatin1(page(c.size).mid(c.from, c.to - c.from)));
        EXPECT_EQ(contextFor(server.url(QStringLiteral("/size/%1").arg(c.size)),
                      QStringLiteral("Unclosed tag at line 2/%1. ").arg(c.position)),
            expected);
    }
    const QString url = server.url(QStringLiteral("/size/1005"));
    for (const QString& warning : { QStringLiteral("Unclosed tag"), QStringLiteral("Bad at line 2/0. "),
             QStringLiteral("Bad at line 2/1005. "), QStringLiteral("Bad at line 2/7") })
        EXPECT_EQ(contextFor(url, warning), WarningContext::noContextText()) << warning.toStdString();
    EXPECT_EQ(manager.retainCount(), 8);
    EXPECT_EQ(userAgent, "InspectorTest/1");

    views::CrwlWarningInspectorWindowController* window = lastWindowOpened;
    window->visitUrl();
    EXPECT_EQ(urlOpener->opened, QList<QUrl> { QUrl(url) });
}

TEST_F(WarningInspector, RefusedConnectionGivesNoContext)
{
    test::LoopbackServer closed;
    ASSERT_TRUE(closed.start());
    const QString url = closed.url(QStringLiteral("/size/1000"));
    closed.stop();
    EXPECT_EQ(contextFor(url, QStringLiteral("Bad at line 2/100. ")), WarningContext::noContextText());
}

TEST_F(WarningInspector, StopsTheTransferOnceTheBytesAreThere)
{
    const QString url = server.url(QStringLiteral("/big"));
    EXPECT_EQ(contextFor(url, QStringLiteral("Bad at line 2/300. ")).size(), 3 + 210 + 3);
    ASSERT_TRUE(platform::Dispatch::runUntil([&] { return bigDone.load(); }, 10s));
    EXPECT_LT(bigSent.load(), size_t(2 * 1024 * 1024));
}

TEST_F(WarningInspector, ClosingOrDroppingTheWindowEarlyIsSafe)
{
    const QString url = server.url(QStringLiteral("/big"));
    auto record = std::make_shared<reports::WarningRecord>(url, test::makeRecord(url, 200),
        QStringLiteral("Bad at line 2/300. "));
    opener.openWarningInspector(record);
    views::CrwlWarningInspectorWindowController* window = lastWindow();
    window->close();
    {
        // A window that goes away while its fetch runs.
        views::CrwlWarningInspectorWindowController dropped(nullptr);
        dropped.setWarning(record);
        dropped.show();
        dropped.windowDidLoad({});
    }
    platform::Dispatch::runFor(500ms);
    EXPECT_TRUE(window->contextField()->toPlainText().isEmpty());
}
