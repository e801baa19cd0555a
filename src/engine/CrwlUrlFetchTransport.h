// The fetch transport of a real scan: each record fetches itself over its own URL session, after
// its host's name has been looked up ahead.
#pragma once

#include "engine/FetchTransport.h"

namespace crawlmere::platform {
class NameResolver;
}

/// Starts a record's fetch with `sendAsyncServerRequest` and cancels it with
/// `invalidateAndUnlinkSession`; looks host names up with a resolver (the machine's name service
/// unless another is given) and keeps each answer for the transfers to that host. Main thread
/// only.
class CrwlUrlFetchTransport : public FetchTransport {
public:
    explicit CrwlUrlFetchTransport(std::shared_ptr<crawlmere::platform::NameResolver> resolver = nullptr);
    ~CrwlUrlFetchTransport() override;

    void startFetch(const std::shared_ptr<CrwlUrl>& record) override;
    void cancelFetch(const std::shared_ptr<CrwlUrl>& record) override;
    /// The host of an http or https request that goes to the record's own URL, unless it is an
    /// address.
    QString hostToLookUp(const CrwlUrl& record) const override;
    void lookUpHost(
        const QString& host, std::function<void(std::optional<crawlmere::platform::UrlError>)> done) override;

private:
    std::shared_ptr<crawlmere::platform::NameResolver> m_resolver;
};
