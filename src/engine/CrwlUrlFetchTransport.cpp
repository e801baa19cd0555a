// The fetch transport of a real scan.
#include "engine/CrwlUrlFetchTransport.h"

#include "engine/CrwlUrl.h"
#include "platform/Dispatch.h"
#include "platform/NameResolver.h"

using crawlmere::platform::NameLookupResult;
using crawlmere::platform::NameResolver;
using crawlmere::platform::UrlError;
using crawlmere::platform::HostAddressBook::lookupHost;
namespace Dispatch = crawlmere::platform::Dispatch;
namespace HostAddressBook = crawlmere::platform::HostAddressBook;

CrwlUrlFetchTransport::CrwlUrlFetchTransport(std::shared_ptr<NameResolver> resolver)
    : m_resolver(resolver ? std::move(resolver) : NameResolver::system())
{
}

CrwlUrlFetchTransport::~CrwlUrlFetchTransport() = default;

void CrwlUrlFetchTransport::startFetch(const std::shared_ptr<CrwlUrl>& record)
{
    if (record)
        record->sendAsyncServerRequest();
}

void CrwlUrlFetchTransport::cancelFetch(const std::shared_ptr<CrwlUrl>& record)
{
    if (record)
        record->invalidateAndUnlinkSession();
}

QString CrwlUrlFetchTransport::hostToLookUp(const CrwlUrl& record) const
{
    if (record.isFileURL() || record.requestGoesThroughProxyCrawl())
        return {};
    const QString url = record.getLinkUrlForTesting();
    if (!url.startsWith(QLatin1StringView("http:"), Qt::CaseInsensitive)
        && !url.startsWith(QLatin1StringView("https:"), Qt::CaseInsensitive))
        return {};
    return lookupHost(url);
}

void CrwlUrlFetchTransport::lookUpHost(const QString& host, std::function<void(std::optional<UrlError>)> done)
{
    m_resolver->lookUp(host, [host, done = std::move(done)](NameLookupResult result) mutable {
        // Kept before the answer reaches the main thread, so the first transfer finds it.
        if (!result.error)
            HostAddressBook::remember(host, result.addresses);
        Dispatch::toMain([done = std::move(done), error = std::move(result.error)] { done(error); });
    });
}
