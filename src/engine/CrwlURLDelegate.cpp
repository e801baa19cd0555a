// Out-of-line members of the URL-record owner interface, so its vtable has one home.
#include "engine/CrwlURLDelegate.h"

#include "engine/CrwlStatusCodes.h"
#include "engine/CrwlUrl.h"
#include "engine/LinkExtractionParser.h"
#include "platform/Dispatch.h"

CrwlURLDelegate::~CrwlURLDelegate() = default;

void CrwlURLDelegate::extractLinksFromReading(
    const std::shared_ptr<CrwlUrl>& record, std::unique_ptr<LinkExtractionParser> /*reading*/)
{
    extractLinks(record);
}

bool CrwlURLDelegate::isStartingPage(const CrwlUrl& record) const { return record.isStartingPoint(); }

void CrwlURLDelegate::refreshAfter(const std::shared_ptr<CrwlUrl>& record, std::chrono::seconds delay)
{
    threadHasFinished(record);
    crawlmere::platform::Dispatch::toMainAfter(delay, [record] {
        const auto owner = record->getOwner();
        if (!owner || owner->stopPressed() || record->getStatus() != CrwlStatus::refreshHeader)
            return;
        record->setStatus(CrwlStatus::notYetChecked);
        owner->addToCheckQueue(record);
    });
}
