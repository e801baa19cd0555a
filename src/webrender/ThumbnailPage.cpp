// The page behind a site's thumbnail.
#include "webrender/ThumbnailPage.h"

#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QPainter>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineCookieStore>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace crawlmere::webrender {

namespace {

/// Time for the rest of a changing picture to reach the view before it is grabbed.
constexpr int kSettleMilliseconds = 300;
/// How often the view is looked at after the load, and for how long at most.
constexpr int kLookEveryMilliseconds = 200;
constexpr int kLookForMilliseconds = 3000;

} // namespace

ThumbnailPage::ThumbnailPage(
    const QString& address, const QString& path, std::function<void(Outcome, const QString&)> callback)
    : url(address)
    , location(path)
    , done(std::move(callback))
{
}

ThumbnailPage::~ThumbnailPage()
{
    delete webview.data();
    // The browser engine winds a profile down on its own threads: it goes after its page.
    if (profile)
        profile->deleteLater();
}

void ThumbnailPage::load()
{
    if (webview || finished)
        return;
    profile = new QWebEngineProfile(QCoreApplication::instance());
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest&) { return false; });
    profile->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    webview = new QWebEngineView();
    auto* page = new QWebEnginePage(profile, webview);
    webview->setPage(page);
    webview->resize(kViewSize);
    // The engine draws only into a shown view; on the offscreen platform that maps nothing.
    webview->show();
    connect(page, &QWebEnginePage::loadFinished, this, &ThumbnailPage::loadFinished);
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        // A load stopped by the next one is no failure; a failed one is not retried.
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && !snapshotPending)
            finish(Outcome::NotLoaded, QStringLiteral("%1 did not load: %2").arg(url, info.errorString()));
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus, int exitCode) {
            finish(Outcome::NotLoaded,
                QStringLiteral("the page process of %1 ended (%2)").arg(url, QString::number(exitCode)));
        });
    connect(page, &QWebEnginePage::certificateError, this, [this](const QWebEngineCertificateError& error) {
        finish(Outcome::CertificateRejected, error.description());
    });
    page->load(QUrl(url));
}

void ThumbnailPage::loadFinished(bool ok)
{
    if (!ok || finished || snapshotPending)
        return;
    snapshotPending = true;
    // A finished load is not yet a drawn one: without a display the engine's first frame comes
    // a good while later. The view is watched until its picture changes (then given a moment to
    // finish), or for a few seconds when the page looked as it does from the start.
    firstLook = webview->grab(QRect(QPoint(0, 0), kViewSize)).toImage();
    looking.start();
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, [this, watch] {
        if (finished || !webview) {
            watch->deleteLater();
            return;
        }
        const bool changed = webview->grab(QRect(QPoint(0, 0), kViewSize)).toImage() != firstLook;
        if (changed || looking.elapsed() >= kLookForMilliseconds) {
            watch->deleteLater();
            QTimer::singleShot(changed ? kSettleMilliseconds : 0, this, &ThumbnailPage::snapshot);
        }
    });
    watch->start(kLookEveryMilliseconds);
}

void ThumbnailPage::snapshot()
{
    if (finished || !webview)
        return;
    const QImage shot = webview->grab(QRect(QPoint(0, 0), kViewSize)).toImage();
    QImage thumb(kThumbSize, QImage::Format_ARGB32_Premultiplied);
    thumb.fill(Qt::transparent);
    {
        QPainter painter(&thumb);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), kThumbSize), shot);
    }
    // The image writer seeks back over what it wrote: it writes to memory, saved in one piece.
    QBuffer image;
    image.open(QIODevice::WriteOnly);
    QImageWriter writer(&image, "tiff");
    writer.setCompression(1); // LZW
    QString error;
    if (!writer.write(thumb))
        error = writer.errorString();
    else
        platform::saveBytesAtomically(location, image.data(), &error);
    if (error.isEmpty())
        finish(Outcome::Written, QString());
    else
        finish(Outcome::WriteFailed, QStringLiteral("unable to write the thumbnail %1: %2").arg(location, error));
}

void ThumbnailPage::finish(Outcome outcome, const QString& message)
{
    if (finished)
        return;
    finished = true;
    if (webview) {
        webview->page()->disconnect(this);
        webview->page()->triggerAction(QWebEnginePage::Stop);
    }
    if (done)
        done(outcome, message);
}

} // namespace crawlmere::webrender
