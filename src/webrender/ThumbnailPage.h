// The page behind a site's thumbnail: the starting page loaded in a view of its own, its first
// finished load grabbed, scaled down and written as a TIFF file. It runs in the thumbnail
// program, on the offscreen platform, so nothing of it ever reaches the user's screen.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>

#include <functional>

class QWebEngineProfile;
class QWebEngineView;

namespace crawlmere::webrender {

/// One page in a fresh off-the-record profile that accepts no cookies and keeps nothing on disk,
/// in a view of 1024 x 700. The first load that finishes is grabbed, scaled to 392 x 256 and
/// written atomically as TIFF to `location`; a certificate the engine rejects, a failed load and
/// the end of the engine's page process end it at once.
/// `done` is called once with the outcome. Needs a GUI application. Main thread only.
class ThumbnailPage final : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Written,
        WriteFailed,
        CertificateRejected,
        /// The load failed, or the engine's page process ended.
        NotLoaded,
    };

    static constexpr QSize kViewSize { 1024, 700 };
    static constexpr QSize kThumbSize { 392, 256 };

    ThumbnailPage(const QString& url, const QString& location, std::function<void(Outcome, const QString&)> done);
    ~ThumbnailPage() override;

    void load();

private:
    void loadFinished(bool ok);
    void snapshot();
    void finish(Outcome outcome, const QString& message);

    QPointer<QWebEngineView> webview;
    QPointer<QWebEngineProfile> profile;
    QString url;
    QString location;
    std::function<void(Outcome, const QString&)> done;
    QImage firstLook;
    QElapsedTimer looking;
    bool snapshotPending = false;
    bool finished = false;
};

} // namespace crawlmere::webrender
