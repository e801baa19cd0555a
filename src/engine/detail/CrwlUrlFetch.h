// The state one fetch of a URL record shares between its session callbacks, and the record's
// fetch steps that run on the session queue or on the main thread.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/FetchPageReader.h"
#include "platform/UrlSession.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class LinkExtractionParser;

/// One fetch. Made by `sendAsyncServerRequest`, held by the record (main thread) and by the
/// session's callbacks. `current` goes false when the record unlinks the fetch (a new send, the
/// owner's stop, the end of the completion); every later callback then does nothing.
struct CrwlUrlFetchContext {
    CrwlUrlFetchContext() = default;
    CrwlUrlFetchContext(const CrwlUrlFetchContext&) = delete;
    CrwlUrlFetchContext& operator=(const CrwlUrlFetchContext&) = delete;
    /// A fetch nobody holds any more (its record gone) stops its transfer.
    ~CrwlUrlFetchContext()
    {
        if (session)
            session->invalidateAndCancel();
    }

    std::weak_ptr<CrwlUrl> record;
    std::shared_ptr<crawlmere::platform::UrlSession> session;
    std::atomic<bool> current { true };
    /// When this fetch was sent, on a steady clock of sub-millisecond resolution: a loopback
    /// or nearby server answers well within a millisecond, which a wall-clock time in whole
    /// milliseconds reads as no time at all.
    const std::chrono::steady_clock::time_point sent = std::chrono::steady_clock::now();
    /// Seconds since `sent`. [any thread]
    double secondsSinceSent() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    }

    // Session queue only, until the completion publishes them on the main thread.
    QByteArray body;
    QByteArray sourceBody;

    // Main thread only (written by the response step, read by the completion).
    /// Body bytes of the network go to `sourceBody` (the record is being rendered).
    bool bodyToSource = false;
    /// Seconds until a `Refresh` header's target is requested; 0 for none.
    int refreshDelay = 0;
    /// The transfer was cancelled because its body was not wanted (the body decision).
    bool bodyDeclined = false;
    /// The text encoding the response's Content-Type names (its charset); 0 for none.
    quint32 declaredEncoding = 0;
    /// HTTP redirects offered to this fetch, including those back to the record's own URL,
    /// which the chain does not record.
    qint64 redirectHops = 0;
};

/// The record's fetch steps (friends of `CrwlUrl`).
struct CrwlUrlFetch {
    /// The callbacks of a new session for `context`.
    static crawlmere::platform::UrlSessionDelegate makeDelegate(const std::shared_ptr<CrwlUrlFetchContext>& context);

    // Main thread: called there directly by sessions whose callbacks run on it, through
    // Dispatch::mainSync by the others (file URLs).
    static crawlmere::platform::RedirectDecision willPerformHTTPRedirection(CrwlUrl& record,
        CrwlUrlFetchContext& context, const crawlmere::platform::UrlResponse& response,
        crawlmere::platform::UrlRequest newRequest);
    static crawlmere::platform::ResponseDisposition didReceiveResponse(
        CrwlUrl& record, CrwlUrlFetchContext& context, const crawlmere::platform::UrlResponse& response);
    /// The `Refresh` header of a response; true when the response is to be cancelled.
    static bool handleRefreshHeader(
        CrwlUrl& record, CrwlUrlFetchContext& context, const QString& value, int statusCode);
    /// Sets the type flags from a response's `Content-Type` or the URL's extension.
    static void typeFromResponse(CrwlUrl& record, const crawlmere::platform::UrlResponse& response);

    /// The completion, on the session queue (any thread). It never waits: it queues
    /// `takeOverBody` on the main thread (or runs it there), which queues the page reading on a
    /// worker, which queues `finishCompletion` on the main thread.
    static void didCompleteWithError(const std::shared_ptr<CrwlUrl>& record,
        const std::shared_ptr<CrwlUrlFetchContext>& context, const crawlmere::platform::UrlTaskResult& result);
    /// Takes over the body, measures it and follows a Refresh or meta refresh. Main thread.
    static void takeOverBody(const std::shared_ptr<CrwlUrl>& record,
        const std::shared_ptr<CrwlUrlFetchContext>& context, const std::optional<crawlmere::platform::UrlError>& error);
    /// Failure texts, counting, the links read off the main thread (`read`, null when the page
    /// was not read) and the slot. Main thread.
    static void finishCompletion(const std::shared_ptr<CrwlUrl>& record,
        const std::shared_ptr<CrwlUrlFetchContext>& context, const std::optional<crawlmere::platform::UrlError>& error,
        std::unique_ptr<LinkExtractionParser> read);
    /// The end of a fetch as the owner hears of it: the diagnosis of the starting point (the
    /// failure, the page text), then counting. Main thread.
    static void reportEnd(
        const std::shared_ptr<CrwlUrl>& record, const std::optional<crawlmere::platform::UrlError>& error);
    /// Ends a record that was never requested because its host could not be looked up, as a
    /// transfer ending with `error` before any response would. Main thread.
    static void endWithoutRequest(const std::shared_ptr<CrwlUrl>& record, const crawlmere::platform::UrlError& error);
    /// Follows the page's meta refresh; true when the completion ends there. Main thread.
    static bool followMetaRefresh(const std::shared_ptr<CrwlUrl>& record, CrwlUrlFetchContext& context);
    /// Unlinks `context` when it is the record's fetch. Main thread.
    static void unlink(CrwlUrl& record, CrwlUrlFetchContext& context);
    /// Drops the renderer and its kept request.
    static void releaseRenderer(CrwlUrl& record);
    /// Starts the renderer of a record whose request was kept. Main thread.
    static void startRenderer(const std::shared_ptr<CrwlUrl>& record);
    static bool hasRendererStarter();

    /// The name=value text of a login form, form-encoded.
    static QByteArray loginBody(const CrwlUrl& record, const std::optional<LoginFormFields>& form);
};
