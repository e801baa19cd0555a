// The fetch transport of a real scan.
#include "engine/CrwlUrlFetchTransport.h"

#include "engine/CrwlUrl.h"

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
