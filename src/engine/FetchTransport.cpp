// The fetch transport interface and its default synchronous load over a URL session.
#include "engine/FetchTransport.h"

FetchTransport::~FetchTransport() = default;

crawlmere::platform::UrlLoadResult FetchTransport::loadSynchronously(
    const crawlmere::platform::UrlRequest& request, std::chrono::milliseconds timeout)
{
    return crawlmere::platform::UrlSession::loadSynchronously(request, timeout);
}
