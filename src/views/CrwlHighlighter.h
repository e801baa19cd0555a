// Shows where a link sits on its page: fetches the page, marks the link's tags, writes the copy
// to a temporary file and has the default browser open it.
#pragma once

#include "engine/CrwlURLDelegate.h"
#include "views/HighlightMarker.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QProgressBar;

namespace crawlmere::platform {
class UrlOpener;
}

namespace crawlmere::views {

/// One highlight request. Made with `make`, sent `highlightBadLinksInSelectedPage` once; it then
/// runs by itself: fetch (through a URL record of its own whose owner it is), mark, write
/// "<application support>/temp/<last path component of the page URL>.html" atomically, open.
///
/// Lifetime: the URL record holds its owner weakly, so the highlighter holds itself from the
/// start of the fetch until the fetch ends and the marking has run; the caller need not keep it.
///
/// Nothing is opened after a fetch that fails (transport error, a status that is not a success,
/// fewer than 2 body bytes), a marking that fails, or a file that cannot be written: a line is
/// logged, and an older file of the same name is never shown in its place.
///
/// As the owner of its record it answers the record's questions with fixed replies (UTF-8, one
/// fetch in progress, nothing scanned, nothing collected). Main thread only.
class CrwlHighlighter final : public CrwlURLDelegate, public std::enable_shared_from_this<CrwlHighlighter> {
public:
    /// `link`: the link to show; `onPage`: the URL of the page it is on; `progress` (may be null)
    /// shows a busy bar while the page is fetched; `opener` opens the written file.
    static std::shared_ptr<CrwlHighlighter> make(std::shared_ptr<CrwlUrl> link, const QString& onPage,
        QProgressBar* progress, std::shared_ptr<platform::UrlOpener> opener);

    /// Private to `make`.
    struct Token { };
    CrwlHighlighter(Token, std::shared_ptr<CrwlUrl> link, const QString& onPage, QProgressBar* progress,
        std::shared_ptr<platform::UrlOpener> opener);
    ~CrwlHighlighter() override;

    /// The entry point: without the page in hand, starts the fetch; with it, marks, writes and
    /// opens, then drops the page (a further call fetches again).
    void highlightBadLinksInSelectedPage();

    /// The marked copy of the fetched page (see `HighlightMarker::mark`); found URLs are brought
    /// into the link's stored form (escapes decoded, fragment and query trimmed by its settings)
    /// before they are compared.
    std::optional<QByteArray> highlightBadink(
        const QString& linkUrl, const QString& style, const QString& pageUrl, bool ignoringQS, bool trim);

    /// How `link`'s record stores a URL (`CrwlUrl::setLinkURL`): escapes decoded, fragment and
    /// query trimmed by its settings, scheme and host in lower case. Empty for no link. Keeps the
    /// record alive.
    static std::function<QString(const QString&)> storedFormOf(const std::shared_ptr<CrwlUrl>& link);

    /// Called once the work has ended, with the path written and opened, or empty when nothing
    /// was opened. For callers that wait on the outcome.
    void setFinishedHandler(std::function<void(const QString& openedPath)> handler) { finished = std::move(handler); }

    /// The file a page URL is written to: the "temp" folder of the application-support folder
    /// and the URL's last path component (the host name for a site root) with ".html"; empty
    /// when the folder cannot be made.
    static QString temporaryFilePath(const QString& pageUrl);

    // Fixed replies to the record.
    bool getNextUrlToCrawl(const std::shared_ptr<CrwlUrl>& record) override;
    qint64 inProgressCount() const override { return 1; }
    quint32 getDetectedEncoding() const override;
    void threadHasFinished(const std::shared_ptr<CrwlUrl>& record) override;

private:
    void startFetch();
    void markWriteAndOpen();
    void stopProgress();
    void finish(const QString& openedPath);

    QByteArray onPageData;
    std::shared_ptr<CrwlUrl> lcurl;
    std::shared_ptr<CrwlUrl> workhorse;
    QString onPageUrl;
    QPointer<QProgressBar> progIndicator;
    std::shared_ptr<platform::UrlOpener> opener;
    std::function<void(const QString&)> finished;
    /// Set while a fetch runs, so that the record's weak hold on its owner stays good.
    std::shared_ptr<CrwlHighlighter> keepAlive;
};

} // namespace crawlmere::views
