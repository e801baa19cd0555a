// The end of a URL record's fetch: body measures, meta refresh, soft-404 test, archive hook,
// failure texts, and the hand-overs to the owner on the main thread.
#include "engine/CrwlUrl.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/FetchPageReader.h"
#include "engine/LinkExtractionParser.h"
#include "engine/PageRenderer.h"
#include "engine/detail/CrwlUrlCaches.h"
#include "engine/detail/CrwlUrlFetch.h"
#include "engine/detail/RedirectOnly.h"
#include "engine/detail/SamePage.h"
#include "engine/SettingsValue.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/TextEncoding.h"

using crawlmere::engine::integerValue;
using crawlmere::engine::settingBool;
using crawlmere::platform::logLine;
using crawlmere::platform::TextEncoding;
using crawlmere::platform::UrlErrorCode;
using crawlmere::platform::UrlRequest;
using crawlmere::platform::UrlSession;
using crawlmere::platform::UrlTaskResult;
namespace Dispatch = crawlmere::platform::Dispatch;
namespace Encoding = crawlmere::platform::Encoding;
namespace strings = crawlmere::platform::strings;

namespace {

/// The largest body read on the main thread when no other fetch is under way: a few
/// milliseconds of reading at most.
constexpr qsizetype kMostBytesReadOnTheMainThread = 256 * 1024;

/// The bytes as text for the diagnosis: the detected encoding, then UTF-8 and windows-1252 (which
/// reads every byte); empty when none fits.
QString diagnosticText(const QByteArray& body, quint32 detected)
{
    if (detected != 0) {
        if (auto text = TextEncoding::decode(body, detected))
            return *text;
    }
    if (body.isEmpty())
        return {};
    for (const auto encoding : { Encoding::UTF8, Encoding::WindowsCP1252 }) {
        if (auto text = TextEncoding::decode(body, encoding))
            return *text;
    }
    return {};
}

} // namespace

// ===== Completion ===============================================================================

void CrwlUrlFetch::didCompleteWithError(const std::shared_ptr<CrwlUrl>& record,
    const std::shared_ptr<CrwlUrlFetchContext>& context, const UrlTaskResult& result)
{
    // The steps hand over to each other without waiting: taking over the body and the last
    // step on the main thread, the page reading between them on a worker.
    if (Dispatch::isMainThread()) {
        takeOverBody(record, context, result.error);
        return;
    }
    Dispatch::toMain([record, context, error = result.error] { takeOverBody(record, context, error); });
}

void CrwlUrlFetch::takeOverBody(const std::shared_ptr<CrwlUrl>& record,
    const std::shared_ptr<CrwlUrlFetchContext>& context, const std::optional<crawlmere::platform::UrlError>& error)
{
    // Take over the body and measure it; follow a meta refresh.
    if (!context->current.load()) {
        logLine(3, QStringLiteral("completion from an old session for %1").arg(record->getLinkURL()));
        return;
    }
    const auto recordOwner = record->getOwner();
    if (recordOwner && recordOwner->stopPressed()) {
        logLine(3, QStringLiteral("%1 completion after stop pressed. Doing nothing").arg(record->getLinkURL()));
        return;
    }
    if (!context->body.isEmpty()) {
        record->bodiesRef().data = std::move(context->body);
        record->bodiesRef().declaredEncoding = context->declaredEncoding;
    }
    if (!context->sourceBody.isEmpty())
        record->bodiesRef().sourceData = std::move(context->sourceBody);
    // A fetch that ended with an error holds at most a part of its body.
    if (!error)
        record->setBodyRead(CrwlUrl::BodyRead::Whole);
    else
        record->setBodyRead(
            error->code == UrlErrorCode::BodyTooLarge ? CrwlUrl::BodyRead::OverCap : CrwlUrl::BodyRead::CutOff);
    if (const QByteArray& body = record->getData(); !body.isEmpty()) {
        record->setLoadTimeInterval(context->secondsSinceSent() - record->responseTimeInterval);
        record->setFileSize(body.size());
        if (record->contentlengthunavailable)
            record->setFileSizeCompressed(body.size());
    }
    if (record->getStatus() == CrwlStatus::unknownError) {
        // Given up by the owner's watchdog, which has counted it already.
        unlink(*record, *context);
        return;
    }
    if (record->getStatus() == CrwlStatus::refreshHeader && context->refreshDelay > 0) {
        // A Refresh header asked for the target after a delay: the owner frees the slot while
        // the record waits and queues it again afterwards; it is counted after its next fetch.
        const int delay = context->refreshDelay;
        unlink(*record, *context);
        if (recordOwner)
            recordOwner->refreshAfter(record, std::chrono::seconds(delay));
        return;
    }
    if (followMetaRefresh(record, *context))
        return;
    const bool rendering = record->getRunJS() != nullptr;
    // Not for a page being rendered: the renderer may replace its bytes before the links
    // are read.
    CrwlURLDelegate::PageReading reading;
    if (!error && !rendering && recordOwner && !record->getData().isEmpty() && !record->isImage())
        reading = recordOwner->preparePageReading(record);

    // Soft 404, archive hook and the page's scan, on a worker. The record keeps its slot
    // (and the fetch stays current) until the last step, so the scan cannot end meanwhile.
    // With no other fetch under way the main thread would only wait for the worker: a small page
    // not archived is read here instead, sparing two hand-overs between threads per request.
    const bool readHere = recordOwner && recordOwner->inProgressCount() <= 1
        && record->getData().size() <= kMostBytesReadOnTheMainThread
        && record->getSourceData().size() <= kMostBytesReadOnTheMainThread
        && !settingBool(record->crawlSettings, crawlKey::shouldArchive);
    auto readPage = [record, context, error, rendering, reading = std::move(reading)](bool onMainThread) {
        const auto owner = record->getOwner();
        const qint64 statusNow = record->getStatus();
        const bool bodyFailed = error && !error->isCancelled();
        if (!record->isStartingPoint() && !bodyFailed && statusNow >= 1 && statusNow <= 299 && owner
            && owner->performSoft404CheckOnThisUrl(record))
            record->setStatus(CrwlStatus::possibleSoft404);
        if (rendering && error && error->code == UrlErrorCode::Cancelled)
            return; // the renderer finishes the record
        record->archivePageIfAppropriate();
        auto read = std::make_shared<std::unique_ptr<LinkExtractionParser>>();
        if (reading)
            *read = reading();
        if (onMainThread) {
            finishCompletion(record, context, error, std::move(*read));
            return;
        }
        Dispatch::toMain(
            [record, context, error, read] { finishCompletion(record, context, error, std::move(*read)); });
    };
    if (readHere) {
        readPage(/*onMainThread=*/true);
        return;
    }
    UrlSession::runOnCallbackWorker([readPage = std::move(readPage)] { readPage(/*onMainThread=*/false); });
}

void CrwlUrlFetch::finishCompletion(const std::shared_ptr<CrwlUrl>& record,
    const std::shared_ptr<CrwlUrlFetchContext>& context, const std::optional<crawlmere::platform::UrlError>& error,
    std::unique_ptr<LinkExtractionParser> read)
{
    // 3-5. Failure texts, the diagnosis, counting, links and the slot.
    if (!context->current.load())
        return;
    const auto recordOwner = record->getOwner();
    const QByteArray& body = record->getData();
    if (body.size() >= 1 && body.size() <= 249
        && QString::fromUtf8(body).contains(QLatin1StringView("_Incapsula_Resource")))
        record->setStatus(CrwlStatus::blockedByFirewallService);

    const qint64 code = record->getStatus();
    // A body that cannot be decoded is no page, whatever the answer's status said.
    const bool undecodable = error && error->code == UrlErrorCode::CannotDecodeContent;
    if (error) {
        if (!record->isFileURL()) {
            if (code == CrwlStatus::requestSent || (code >= 300 && code <= 399) || undecodable) {
                record->setStatus(CrwlStatus::completedWithError);
                record->setError(error->localizedDescription);
            }
        } else if (code != CrwlStatus::nonHttpOk) {
            record->setStatus(CrwlStatus::completedWithError);
            if (error->code == UrlErrorCode::FileDoesNotExist)
                record->setStatus(CrwlStatus::fileDoesNotExist);
            else
                record->setError(error->localizedDescription);
        }
    } else if (code == CrwlStatus::recurringRedirect) {
        record->setStatus(CrwlStatus::completedWithError);
        record->setError(QStringLiteral("Recurring redirect"));
    }
    if (error && error->code == UrlErrorCode::BodyTooLarge) {
        // Whatever the answer's status, the body was not read: the record says why.
        const QString tooLarge
            = QStringLiteral("The body is larger than %1 bytes; it was not read.").arg(CrwlUrl::maxBodyBytes());
        logLine(1, QStringLiteral("%1: %2").arg(record->getLinkURL(), tooLarge));
        record->setStatus(CrwlStatus::completedWithError);
        record->setError(tooLarge);
    }
    if (error && !error->isCancelled()) {
        // What was read before the error (cut off, undecodable, past the cap) is no page: it is
        // let go at once, so that memory stays bounded by the fetches in flight, however many
        // answers fail.
        record->dropBodies();
    }

    reportEnd(record, error);

    // Links of a page fetched without error; a redirect, even one without a body, is handed on
    // to have its target filed. Counting may have ended or paused the scan, which unlinks the
    // fetch, so each step asks again whether it is still current.
    // A redirect whose body was not wanted (a PDF the scan does not read) still leads to its
    // target.
    const bool redirect = crawlmere::engine::detail::isOnlyARedirect(*record);
    const bool handedOn = !record->getData().isEmpty() || redirect;
    const bool failed = error && !(redirect && context->bodyDeclined && error->isCancelled());
    if (context->current.load() && !failed && handedOn && !record->isImage() && recordOwner)
        recordOwner->extractLinksFromReading(record, std::move(read));

    // The slot. The fetch is unlinked first, so a pump that sends this record again keeps
    // its new session.
    if (!context->current.load())
        return;
    unlink(*record, *context);
    if (recordOwner)
        recordOwner->threadHasFinished(record);
}

void CrwlUrlFetch::reportEnd(
    const std::shared_ptr<CrwlUrl>& record, const std::optional<crawlmere::platform::UrlError>& error)
{
    const auto recordOwner = record->getOwner();
    if (!recordOwner)
        return;
    if (record->isStartingPoint()) {
        if (error)
            recordOwner->addStringToDiagnosticTrace(
                QStringLiteral("%1: connection failed: %2").arg(record->finalURLString(), error->localizedDescription));
        const QByteArray& body = record->getData();
        recordOwner->sendHTMLStringToDiagnostic(diagnosticText(body, recordOwner->getDetectedEncoding()));
        recordOwner->addStringToDiagnosticTrace(QStringLiteral("finished loading %1 bytes").arg(body.size()));
    }
    recordOwner->incNumberDone(record);
}

void CrwlUrlFetch::endWithoutRequest(const std::shared_ptr<CrwlUrl>& record, const crawlmere::platform::UrlError& error)
{
    if (!record)
        return;
    // What the transfer's own failed lookup gave.
    record->setStatus(CrwlStatus::completedWithError);
    record->setError(error.localizedDescription);
    reportEnd(record, error);
}

bool CrwlUrlFetch::followMetaRefresh(const std::shared_ptr<CrwlUrl>& record, CrwlUrlFetchContext& context)
{
    if (record->isImage() || record->isPDF() || record->isCSS() || record->isJS() || record->isDOCX()
        || record->isInBadCollection() || record->getData().isEmpty())
        return false;
    const auto reader = FetchPageReader::installed();
    if (!reader)
        return false;
    const auto content = reader->pageIsMetaRefresh(record->getData());
    if (!content || content->isEmpty())
        return false;
    const qint64 seconds = CrwlUrl::pullOutSecondsFromMetaRefreshURL(*content);
    const QString target = CrwlUrl::pullOutURLFromMetaRefreshURL(*content).value_or(QString());
    if (target.isEmpty())
        return false;
    if (seconds > 5) {
        logLine(2, QStringLiteral("we have a redirect but a delay of %1").arg(seconds));
        return false;
    }
    const auto resolved = CrwlUrl::makeNSURLFromString(target, record->finalURLString());
    if (!resolved)
        return false;
    if (CrwlUrl::isLocalFileBeyondReach(*record, *resolved)) {
        record->addWarning(CrwlUrl::localFileBeyondReachWarning());
        return false;
    }
    const QString resolvedText = resolved->absoluteString();
    const auto recordOwner = record->getOwner();
    // A refresh to the page itself, however written, is not followed: the page is its own.
    if (crawlmere::engine::detail::namesSamePage(
            *resolved, { record->getLinkURL(), record->absoluteString(), record->finalURLString() })
        || (recordOwner && recordOwner->isMailtoEtc(resolvedText)) || resolvedText.contains(u"%3Bamp%3Bamp"))
        return false;
    if (!record->isStartingPoint() && recordOwner && recordOwner->isNeverRequested(resolvedText)) {
        // As a link to the target would not be, the target is not requested: the record ends as
        // a redirect there, and its target is filed with the status such a link gets.
        logLine(2, QStringLiteral("%1 refreshes to %2, which is not requested").arg(record->getLinkURL(), resolvedText));
        record->addRedir(resolvedText, record->getStatus(), 1);
        return false;
    }

    record->addRedir(resolvedText, record->getStatus(), 1);
    record->clearData();
    releaseRenderer(*record);
    if (record->isStartingPoint() && recordOwner)
        recordOwner->addStringToDiagnosticTrace(
            QStringLiteral("sending another request for %1 after meta refresh redirection").arg(resolvedText));
    unlink(*record, context);
    if (record->getRedirectCount() < CrwlStatus::recurringRedirectHops) {
        record->setStatus(CrwlStatus::notYetChecked);
        if (recordOwner)
            recordOwner->addToCheckQueue(record);
    } else {
        logLine(1, QStringLiteral("%1: recurring redirect").arg(record->getLinkURL()));
        record->setStatus(CrwlStatus::recurringRedirect);
        if (recordOwner)
            recordOwner->incNumberDone(record);
    }
    if (recordOwner)
        recordOwner->threadHasFinished(record);
    return true;
}

void CrwlUrlFetch::unlink(CrwlUrl& record, CrwlUrlFetchContext& context)
{
    context.current.store(false);
    if (record.fetchContext.get() != &context)
        return;
    if (context.session)
        context.session->invalidateAndCancel();
    record.fetchContext.reset();
}

void CrwlUrlFetch::releaseRenderer(CrwlUrl& record) { record.clearWTG(); }

// ===== Record operations ========================================================================

void CrwlUrl::invalidateAndUnlinkSession()
{
    if (fetchContext)
        CrwlUrlFetch::unlink(*this, *fetchContext);
    // A pause, a give-up or a new scan ends the render too, so it never reports back.
    clearWTG();
}

const std::shared_ptr<PageRenderer>& CrwlUrl::getWTG() const
{
    static const std::shared_ptr<PageRenderer> none;
    return caches ? caches->WTG : none;
}

const std::shared_ptr<UrlRequest>& CrwlUrl::getRunJS() const
{
    static const std::shared_ptr<UrlRequest> none;
    return caches ? caches->runJS : none;
}

void CrwlUrl::setRunJS(std::shared_ptr<UrlRequest> request)
{
    if (request || caches)
        cachesRef().runJS = std::move(request);
}

bool CrwlUrl::hasCurrentSession() const { return fetchContext && fetchContext->session; }

void CrwlUrl::clearWTG()
{
    if (!caches || !caches->WTG)
        return;
    // Dropped first: the teardown may run inside the renderer's own hand-over.
    const std::shared_ptr<PageRenderer> renderer = std::move(caches->WTG);
    caches->WTG.reset();
    caches->runJS.reset();
    renderer->stopLoading();
}

void CrwlUrl::archivePageIfAppropriate()
{
    // A redirect reaches the owner too: its archive notes where it leads.
    if (!isInternalFlag || !settingBool(crawlSettings, crawlKey::shouldArchive))
        return;
    if (const auto recordOwner = owner.lock())
        recordOwner->archivePage(shared_from_this());
}

void CrwlUrl::pageRendererDidReturnHTML()
{
    const auto recordOwner = owner.lock();
    if (recordOwner && recordOwner->stopPressed()) {
        logLine(3, QStringLiteral("%1 rendered after stop pressed. Doing nothing").arg(linkURL));
        return;
    }
    if (getStatus() == CrwlStatus::unknownError) {
        logLine(3, QStringLiteral("%1 rendered after it was given up. Doing nothing").arg(linkURL));
        return;
    }
    const auto self = shared_from_this();
    if (getData().isEmpty()) {
        // The render yielded nothing: the record ends as the watchdog would have ended it, so
        // a scan whose last page this was still finishes.
        logLine(1, QStringLiteral("%1: the renderer returned nothing").arg(linkURL));
        setStatus(CrwlStatus::unknownError);
        if (fetchContext)
            CrwlUrlFetch::unlink(*this, *fetchContext);
        if (recordOwner) {
            recordOwner->incNumberDone(self);
            recordOwner->threadHasFinished(self);
        }
        return;
    }
    bodyReadState = BodyRead::Whole; // the rendered page, whatever became of the fetch
    const qint64 code = getStatus();
    if (!isStartingPointFlag && code >= 1 && code <= 299 && recordOwner
        && recordOwner->performSoft404CheckOnThisUrl(self))
        setStatus(CrwlStatus::possibleSoft404);
    archivePageIfAppropriate();
    if (!recordOwner)
        return;
    recordOwner->incNumberDone(self);
    if (!isImageFlag)
        recordOwner->extractLinks(self);
    if (fetchContext)
        CrwlUrlFetch::unlink(*this, *fetchContext);
    recordOwner->threadHasFinished(self);
}

qint64 CrwlUrl::pullOutSecondsFromMetaRefreshURL(const QString& content)
{
    const qsizetype semicolon = content.indexOf(u';');
    return semicolon < 0 ? 0 : integerValue(content.left(semicolon));
}

std::optional<QString> CrwlUrl::pullOutURLFromMetaRefreshURL(const QString& content)
{
    const qsizetype semicolon = content.indexOf(u';');
    const QString rest = semicolon < 0 ? content : content.mid(semicolon);
    const qsizetype at = strings::indexOfCaseInsensitive(rest, u"URL=");
    if (at < 0)
        return std::nullopt;
    QString target = rest.mid(at + 4);
    static constexpr QStringView trimmed = u"\"' \t\r\n";
    qsizetype start = 0;
    qsizetype end = target.size();
    while (start < end && trimmed.contains(target[start]))
        ++start;
    while (end > start && trimmed.contains(target[end - 1]))
        --end;
    return target.mid(start, end - start);
}
