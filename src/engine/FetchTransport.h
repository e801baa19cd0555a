// How the crawl coordinator starts and abandons the fetch of a URL record, so that the pump can
// run over the records' own URL sessions or over a test transport.
#pragma once

#include "platform/UrlSession.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CrwlUrl;

/// Starts and cancels fetches, and makes the loads of robots.txt and the start of a scan. A
/// started fetch reports back through the record's owner (`incNumberDone`, `extractLinks`, `threadHasFinished`) unless
/// it is cancelled first. Main thread only.
class FetchTransport {
public:
    virtual ~FetchTransport();

    /// Starts the record's fetch (`sendAsyncServerRequest`).
    virtual void startFetch(const std::shared_ptr<CrwlUrl>& record) = 0;
    /// Cancels the record's fetch, if one runs, so that it never reports back
    /// (`invalidateAndUnlinkSession`).
    virtual void cancelFetch(const std::shared_ptr<CrwlUrl>& record) = 0;
    /// The host whose name must be looked up before the record's fetch may take a slot
    /// (lower-case, in its ASCII form); empty when the fetch looks nothing up of its own (a
    /// local file, an address written as such, a proxy in between). The base answers empty.
    virtual QString hostToLookUp(const CrwlUrl& record) const;
    /// Looks `host` up and calls `done` on the main thread, once, after this returns: with no
    /// error when fetches to the host may go (their transfers use the answer), or with the error
    /// that ends them. The base answers without error.
    virtual void lookUpHost(
        const QString& host, std::function<void(std::optional<crawlmere::platform::UrlError>)> done);
    /// Loads `request` synchronously, waiting at most `timeout` (the start-of-scan probes).
    /// The base loads it over a URL session of its own.
    virtual crawlmere::platform::UrlLoadResult loadSynchronously(
        const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout);
    /// Loads `request` without holding up the main thread, waiting at most `timeout`, and
    /// calls `done` on the main thread with the result, once. The base loads it over a URL
    /// session of its own on a worker thread.
    virtual void loadInBackground(const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout,
        std::function<void(crawlmere::platform::UrlLoadResult)> done);

protected:
    FetchTransport() = default;
};
