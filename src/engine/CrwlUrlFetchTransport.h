// The fetch transport of a real scan: each record fetches itself over its own URL session.
#pragma once

#include "engine/FetchTransport.h"

/// Starts a record's fetch with `sendAsyncServerRequest` and cancels it with
/// `invalidateAndUnlinkSession`. Main thread only.
class CrwlUrlFetchTransport : public FetchTransport {
public:
    void startFetch(const std::shared_ptr<CrwlUrl>& record) override;
    void cancelFetch(const std::shared_ptr<CrwlUrl>& record) override;
};
