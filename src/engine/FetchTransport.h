// How the crawl coordinator starts and abandons the fetch of a URL record, so that the pump can
// run over the records' own URL sessions or over a test transport.
#pragma once

#include <memory>

class CrwlUrl;

/// Starts and cancels fetches. A started fetch reports back through the record's owner
/// (`incNumberDone`, `extractLinks`, `threadHasFinished`) unless it is cancelled first.
/// Main thread only.
class FetchTransport {
public:
    virtual ~FetchTransport();

    /// Starts the record's fetch (`sendAsyncServerRequest`).
    virtual void startFetch(const std::shared_ptr<CrwlUrl>& record) = 0;
    /// Cancels the record's fetch, if one runs, so that it never reports back
    /// (`invalidateAndUnlinkSession`).
    virtual void cancelFetch(const std::shared_ptr<CrwlUrl>& record) = 0;

protected:
    FetchTransport() = default;
};
