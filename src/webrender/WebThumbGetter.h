// A site's thumbnail made on the browser engine: the starting page loaded in an off-screen view
// of its own, its first finished load grabbed, scaled down and written as a TIFF file.
#pragma once

#include "settings/ThumbGetter.h"
#include "settings/ThumbGetterFactory.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>

#include <chrono>

class QWebEngineProfile;
class QWebEngineView;

namespace crawlmere::webrender {

/// One thumbnail. Its page lives in a fresh off-the-record profile that accepts no cookies and
/// keeps nothing on disk, in a view of 1024 x 700 that is never shown on screen. The first load
/// that finishes is grabbed, scaled to 392 x 256 and written atomically as TIFF to `location`;
/// then the owner is called back once (also when writing failed, which leaves any old file).
/// The page and its profile are released after the callback, or, without a finished load, once
/// `giveUpAfter` has passed: then nothing is written and nobody is called. Destroying the getter
/// releases its page at once without a callback. A profile is never deleted at once (see the
/// destructor): it goes at the next turn of the event loop, or with the application. Needs a GUI
/// application and, for a picture that is not blank, a real display. Main thread only.
class WebThumbGetter final : public QObject, public settings::ThumbGetter {
    Q_OBJECT
public:
    static constexpr QSize kViewSize { 1024, 700 };
    static constexpr QSize kThumbSize { 392, 256 };
    static constexpr std::chrono::milliseconds kGiveUpAfter { 30000 };

    WebThumbGetter(const QString& url, const QString& location, settings::ThumbGetterFactory::Callback owner,
        std::chrono::milliseconds giveUpAfter = kGiveUpAfter);
    ~WebThumbGetter() override;

    /// The address loaded for a starting URL: "http://" in front of a string shorter than 7
    /// characters; a string holding "://" unchanged; "http://" in front of one shorter than 9;
    /// a local path (`Paths::isLocalPath`, "~/" expanded) as "file://" and the path with XML
    /// entities decoded and each space as "%20"; "http://" in front of anything else.
    static QString normalisedUrl(const QString& url);

    void getImage() override;
    QString getPassedUrl() const override { return passedUrl; }
    void stopLoading() override;
    bool isFinished() const override { return hasResponded; }

    /// The view, for tests: null before `getImage` and once the page has been released.
    QWebEngineView* webView() const;

private:
    void loadFinished(bool ok);
    void snapshot();
    /// Deletes the view and then its profile, after the current event.
    void release();

    QPointer<QWebEngineView> webview;
    QPointer<QWebEngineProfile> profile;
    QString passedUrl;
    QString thisUrl;
    QString location;
    settings::ThumbGetterFactory::Callback owner;
    QTimer giveUp;
    bool snapshotPending = false;
    bool hasResponded = false;
};

} // namespace crawlmere::webrender
