// Out-of-line members of the URL-record owner interface, so its vtable has one home.
#include "engine/CrwlURLDelegate.h"

#include "engine/CrwlUrl.h"
#include "engine/LinkExtractionParser.h"

CrwlURLDelegate::~CrwlURLDelegate() = default;

void CrwlURLDelegate::extractLinksFromReading(
    const std::shared_ptr<CrwlUrl>& record, std::unique_ptr<LinkExtractionParser> /*reading*/)
{
    extractLinks(record);
}

bool CrwlURLDelegate::isStartingPage(const CrwlUrl& record) const { return record.isStartingPoint(); }
