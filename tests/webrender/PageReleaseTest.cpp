// Pages of the browser engine let go before their profiles: after the current event while the
// program runs, and by the program's end when no event follows (a scan without windows).
#include "webrender/PageRelease.h"

#include "webrender/WebEngineRenderBackend.h"

#include "support/Fixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

using crawlmere::webrender::pagesAwaitingRelease;
using crawlmere::webrender::releasePage;
using crawlmere::webrender::WebEngineRenderBackend;

namespace {

/// The order in which `page` and `profile` are destroyed, by name.
QStringList* watchDestruction(QObject* page, QObject* profile)
{
    auto* order = new QStringList;
    QObject::connect(page, &QObject::destroyed, [order] { *order << QStringLiteral("page"); });
    QObject::connect(profile, &QObject::destroyed, [order] { *order << QStringLiteral("profile"); });
    return order;
}

void turnEventLoop()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

} // namespace

TEST(PageRelease, AStoppedRenderLetsGoOfItsPageFirstAndOfItsProfileAfter)
{
    std::unique_ptr<PageRenderBackend> made = WebEngineRenderBackend::make();
    auto* backend = dynamic_cast<WebEngineRenderBackend*>(made.get());
    ASSERT_NE(backend, nullptr);
    QPointer<QWebEnginePage> page = backend->page();
    QPointer<QWebEngineProfile> profile = page->profile();

    const int waiting = pagesAwaitingRelease();
    backend->stop();
    // Nothing goes inside the current event: the page may be the one reporting.
    ASSERT_FALSE(page.isNull());
    ASSERT_FALSE(profile.isNull());
    // Watched from here: the stop disconnects everything from the page.
    const std::unique_ptr<QStringList> order(watchDestruction(page, profile));
    EXPECT_EQ(pagesAwaitingRelease(), waiting + 1);
    turnEventLoop();
    EXPECT_TRUE(page.isNull());
    EXPECT_TRUE(profile.isNull());
    EXPECT_EQ(*order, QStringList({ "page", "profile" }));
    EXPECT_EQ(pagesAwaitingRelease(), waiting);
}

TEST(PageRelease, APageWithoutAProfileOfItsOwnLeavesTheProfile)
{
    QPointer<QWebEngineProfile> shared = new QWebEngineProfile;
    QPointer<QWebEnginePage> page = new QWebEnginePage(shared);
    releasePage(page);
    turnEventLoop();
    EXPECT_TRUE(page.isNull());
    ASSERT_FALSE(shared.isNull());
    delete shared.data();
}

TEST(PageRelease, ARenderingScanOfTheSampleSiteEndsWithoutAPageLeftOverItsProfile)
{
    const QString program
        = QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/../crawlmere")).absoluteFilePath();
    if (!QFileInfo::exists(program))
        GTEST_SKIP() << "the crawlmere program is not built beside the tests";
    const QString sample
        = QDir::cleanPath(crawlmere::test::fixturePath(QStringLiteral("../../examples/sample-site/index.html")));
    ASSERT_TRUE(QFileInfo::exists(sample)) << qPrintable(sample);
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("CRAWLMERE_HOME"), home.path());
    // The browser engine's own allocations at exit are not this program's to answer for.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:new_delete_type_mismatch=0"));
    process.setProcessEnvironment(environment);
    process.start(
        program, { QStringLiteral("--headless"), QStringLiteral("--set"), QStringLiteral("runJS=YES"), sample });
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << qPrintable(err.right(2000));
    EXPECT_TRUE(out.contains(QStringLiteral("Scan finished: "))) << qPrintable(out);
    // Rendered: the engine was there to leave pages behind.
    EXPECT_FALSE(err.contains(QStringLiteral("was not found"))) << qPrintable(err.right(2000));
    EXPECT_FALSE(err.contains(QStringLiteral("still not deleted"))) << qPrintable(err.right(2000));
    EXPECT_FALSE(err.contains(QStringLiteral("Expect troubles"))) << qPrintable(err.right(2000));
}
