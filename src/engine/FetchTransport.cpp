// The fetch transport interface and its default loads over a URL session of their own.
#include "engine/FetchTransport.h"

#include "platform/Dispatch.h"

#include <QThreadPool>

FetchTransport::~FetchTransport() = default;

crawlmere::platform::UrlLoadResult FetchTransport::loadSynchronously(
    const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout)
{
    return crawlmere::platform::UrlSession::loadSynchronously(request, timeout);
}

void FetchTransport::loadInBackground(const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout,
    std::function<void(crawlmere::platform::UrlLoadResult)> done)
{
    QThreadPool::globalInstance()->start([request, timeout, done = std::move(done)]() mutable {
        auto result = crawlmere::platform::UrlSession::loadSynchronously(request, timeout);
        crawlmere::platform::Dispatch::toMain(
            [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); });
    });
}

QString FetchTransport::hostToLookUp(const CrwlUrl&) const { return {}; }

void FetchTransport::lookUpHost(const QString&, std::function<void(std::optional<crawlmere::platform::UrlError>)> done)
{
    crawlmere::platform::Dispatch::toMain([done = std::move(done)] { done(std::nullopt); });
}
