// A site's thumbnail made on the browser engine.
#include "webrender/WebThumbGetter.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/TextFile.h"

#include <QAuthenticator>
#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace crawlmere::webrender {

using platform::logLine;

namespace {

/// Time for the first frame of a finished load to reach the view before it is grabbed.
constexpr int kSettleMilliseconds = 300;

/// A fresh off-the-record profile for one thumbnail page, taking no cookies and keeping no
/// cache. It belongs to the application, so a profile that is still there when the program quits
/// goes with the application object, after its page.
QWebEngineProfile* makeThumbnailProfile()
{
    auto* profile = new QWebEngineProfile(QCoreApplication::instance());
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->cookieStore()->setCookieFilter([](const QWebEngineCookieStore::FilterRequest&) { return false; });
    profile->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    return profile;
}

} // namespace

WebThumbGetter::WebThumbGetter(const QString& url, const QString& path, settings::ThumbGetterFactory::Callback callback,
    std::chrono::milliseconds giveUpAfter)
    : passedUrl(normalisedUrl(url))
    , thisUrl(passedUrl)
    , location(path)
    , owner(std::move(callback))
{
    logLine(2, QStringLiteral("initing WTG with %1 for location %2").arg(url, path));
    giveUp.setSingleShot(true);
    giveUp.setInterval(giveUpAfter);
    connect(&giveUp, &QTimer::timeout, this, [this] {
        if (hasResponded)
            return;
        logLine(2, QStringLiteral("%1 has timed out").arg(thisUrl));
        hasResponded = true;
        release();
    });
}

WebThumbGetter::~WebThumbGetter()
{
    // Not inside a signal of the page: it can go now. Its profile is never deleted at once: the
    // browser engine winds a profile down on its own threads, and one deleted while its page was
    // loading crashed the program as it quit. It goes at the next turn of the event loop, or
    // with the application.
    delete webview.data();
    if (profile)
        profile->deleteLater();
}

QString WebThumbGetter::normalisedUrl(const QString& url)
{
    const QString http = QStringLiteral("http://");
    if (url.size() < 7)
        return http + url;
    if (url.contains(QLatin1String("://")))
        return url;
    if (url.size() < 9)
        return http + url;
    if (platform::Paths::isLocalPath(url)) {
        QString path = platform::strings::decodingXmlEntities(platform::Paths::expandTilde(url));
        return QStringLiteral("file://") + path.replace(QLatin1Char(' '), QLatin1String("%20"));
    }
    return http + url;
}

QWebEngineView* WebThumbGetter::webView() const { return webview; }

void WebThumbGetter::getImage()
{
    if (webview || hasResponded)
        return;
    profile = makeThumbnailProfile();
    webview = new QWebEngineView();
    auto* page = new QWebEnginePage(profile, webview);
    webview->setPage(page);
    webview->setAttribute(Qt::WA_DontShowOnScreen);
    // On X11 the browser engine still maps a window for the view at the screen's top left: it
    // must let clicks and keys through to the windows beneath while the page loads.
    webview->setWindowFlags(
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
    webview->resize(kViewSize);
    webview->show();
    connect(page, &QWebEnginePage::loadFinished, this, &WebThumbGetter::loadFinished);
    connect(page, &QWebEnginePage::authenticationRequired, this, [](const QUrl&, QAuthenticator*) {
        logLine(1, QStringLiteral("*** web thumb getter received authentication challenge"));
    });
    giveUp.start();
    page->load(QUrl(thisUrl));
}

void WebThumbGetter::stopLoading()
{
    if (webview)
        webview->page()->triggerAction(QWebEnginePage::Stop);
}

void WebThumbGetter::loadFinished(bool ok)
{
    if (!ok || hasResponded || snapshotPending)
        return;
    snapshotPending = true;
    QTimer::singleShot(kSettleMilliseconds, this, &WebThumbGetter::snapshot);
}

void WebThumbGetter::snapshot()
{
    if (hasResponded || !webview)
        return;
    hasResponded = true;
    giveUp.stop();
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
    if (!error.isEmpty())
        logLine(0, QStringLiteral("unable to write the thumbnail %1: %2").arg(location, error));
    release();
    if (owner)
        owner(*this);
}

void WebThumbGetter::release()
{
    if (webview) {
        webview->page()->disconnect(this);
        webview->page()->triggerAction(QWebEnginePage::Stop);
        webview->hide();
        webview->deleteLater();
    }
    if (profile)
        profile->deleteLater();
    webview = nullptr;
    profile = nullptr;
}

} // namespace crawlmere::webrender
