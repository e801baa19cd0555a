// The fetch transport interface and its default synchronous load over a URL session.
#include "engine/FetchTransport.h"

#include "platform/Dispatch.h"

FetchTransport::~FetchTransport() = default;

crawlmere::platform::UrlLoadResult FetchTransport::loadSynchronously(
    const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout)
{
    return crawlmere::platform::UrlSession::loadSynchronously(request, timeout);
}

QString FetchTransport::hostToLookUp(const CrwlUrl&) const { return {}; }

void FetchTransport::lookUpHost(const QString&, std::function<void(std::optional<crawlmere::platform::UrlError>)> done)
{
    crawlmere::platform::Dispatch::toMain([done = std::move(done)] { done(std::nullopt); });
}
