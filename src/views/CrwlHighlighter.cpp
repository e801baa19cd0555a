// Shows where a link sits on its page: fetches the page, marks the link's tags, writes the copy
// to a temporary file and has the default browser open it.
#include "views/CrwlHighlighter.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/StoredValue.h"

#include "engine/CrawlSettings.h"
#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/TextEncoding.h"
#include "platform/AtomicFile.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QProgressBar>
#include <QUrl>

namespace crawlmere::views {

namespace {

/// The longest file name taken from a URL; longer ones are cut so that the write can succeed.
constexpr qsizetype kMaxFileNameChars = 200;

bool fetchSucceeded(const CrwlUrl& record)
{
    const qint64 status = record.getStatus();
    return (status >= 200 && status < 300) || status == CrwlStatus::nonHttpOk;
}

} // namespace

std::shared_ptr<CrwlHighlighter> CrwlHighlighter::make(std::shared_ptr<CrwlUrl> link, const QString& onPage,
    QProgressBar* progress, std::shared_ptr<platform::UrlOpener> opener)
{
    return std::make_shared<CrwlHighlighter>(Token {}, std::move(link), onPage, progress, std::move(opener));
}

CrwlHighlighter::CrwlHighlighter(Token, std::shared_ptr<CrwlUrl> link, const QString& onPage, QProgressBar* progress,
    std::shared_ptr<platform::UrlOpener> urlOpener)
    : lcurl(std::move(link))
    , onPageUrl(onPage)
    , progIndicator(progress)
    , opener(std::move(urlOpener))
{
    platform::logLine(1,
        QStringLiteral("highlighter showing link %1 on page %2")
            .arg(lcurl ? lcurl->absoluteString() : QString(), onPageUrl));
}

CrwlHighlighter::~CrwlHighlighter() = default;

bool CrwlHighlighter::getNextUrlToCrawl(const std::shared_ptr<CrwlUrl>&) { return true; }

quint32 CrwlHighlighter::getDetectedEncoding() const { return platform::Encoding::UTF8; }

void CrwlHighlighter::highlightBadLinksInSelectedPage()
{
    if (onPageData.size() < 2)
        startFetch();
    else
        markWriteAndOpen();
}

void CrwlHighlighter::startFetch()
{
    if (workhorse || !lcurl) {
        if (!lcurl)
            finish({});
        return;
    }
    if (progIndicator)
        progIndicator->setRange(0, 0);
    platform::logLine(1, QStringLiteral("sending async to %1").arg(onPageUrl));
    auto settings = std::make_shared<CrawlSettings>(QVariantMap { { crawlKey::startingUrl, onPageUrl } });
    keepAlive = shared_from_this();
    workhorse = CrwlUrl::make(keepAlive, settings);
    workhorse->setIsStartingPoint(true);
    workhorse->setLinkURL(onPageUrl);
    workhorse->sendAsyncServerRequest();
}

void CrwlHighlighter::threadHasFinished(const std::shared_ptr<CrwlUrl>& record)
{
    // Some outcomes release the slot twice; only the first ends the fetch.
    if (!record || record != workhorse || !keepAlive)
        return;
    platform::logLine(1, QStringLiteral("exit point"));
    const std::shared_ptr<CrwlHighlighter> self = std::move(keepAlive);
    onPageData = fetchSucceeded(*record) ? record->getData() : QByteArray();
    workhorse.reset();
    stopProgress();
    if (onPageData.size() >= 2) {
        platform::Dispatch::toMain([self] { self->highlightBadLinksInSelectedPage(); });
        return;
    }
    platform::logLine(0,
        QStringLiteral("threadHasFinished but we have zero data (status %1) for %2")
            .arg(QString::number(record->getStatus()), onPageUrl));
    onPageData.clear();
    finish({});
}

QString CrwlHighlighter::temporaryFilePath(const QString& pageUrl)
{
    QString name = pageUrl;
    while (name.endsWith(u'/'))
        name.chop(1);
    name = name.mid(name.lastIndexOf(u'/') + 1).left(kMaxFileNameChars);
    if (name.isEmpty())
        name = QStringLiteral("page");
    const QString folder = platform::Paths::applicationSupportSubfolder(QStringLiteral("temp"));
    return folder.isEmpty() ? QString() : folder + u'/' + name + QStringLiteral(".html");
}

std::optional<QByteArray> CrwlHighlighter::highlightBadink(
    const QString& linkUrl, const QString& style, const QString& pageUrl, bool ignoringQS, bool trim)
{
    HighlightMarker::Request request { linkUrl, style, pageUrl, ignoringQS, trim, storedFormOf(lcurl) };
    HighlightMarker marker;
    return marker.mark(onPageData, request);
}

std::function<QString(const QString&)> CrwlHighlighter::storedFormOf(const std::shared_ptr<CrwlUrl>& link)
{
    if (!link)
        return {};
    return [link](const QString& url) { return link->storedSpellingOf(url); };
}

void CrwlHighlighter::markWriteAndOpen()
{
    platform::logLine(1, QStringLiteral("now have onPageData"));
    auto& defaults = platform::UserDefaults::standard();
    const std::optional<QByteArray> marked = highlightBadink(lcurl->absoluteString(), HighlightMarker::defaultStyle(),
        onPageUrl, defaults.boolForKey(crawlKey::trimQuery), defaults.boolForKey(crawlKey::trimWhitespace));
    const qsizetype length = onPageData.size();
    onPageData.clear();
    stopProgress();
    if (!marked) {
        platform::logLine(0, QStringLiteral("Could not mark the link on %1; nothing opened").arg(onPageUrl));
        finish({});
        return;
    }
    const QString path = temporaryFilePath(onPageUrl);
    if (path.isEmpty() || !platform::saveBytesAtomically(path, *marked)) {
        platform::logLine(
            0, QStringLiteral("error writing to file: %1. Data length:%2 bytes").arg(path, QString::number(length)));
        finish({});
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    platform::logLine(1, QStringLiteral("trying to open %1").arg(url.toString()));
    const bool opened = opener && opener->openURL(url);
    finish(opened ? path : QString());
}

void CrwlHighlighter::stopProgress()
{
    if (progIndicator)
        progIndicator->setRange(0, 1);
}

void CrwlHighlighter::finish(const QString& openedPath)
{
    if (finished)
        finished(openedPath);
}

} // namespace crawlmere::views
