// A hub wired as the window wires it for a scan: real fetches, page reading and link extraction,
// with prompts, site store, diagnostic and SEO service that only record.
#pragma once

#include "engine/CrwlUrlFetchTransport.h"
#include "engine/RecordingEngineSEO.h"
#include "engine/Z12Ara.h"
#include "parsing/ParserFetchPageReader.h"
#include "parsing/ParserHubPageReader.h"
#include "parsing/ParserLinkExtraction.h"
#include "platform/UserDefaults.h"
#include "support/RecordingShellServices.h"

#include <memory>

namespace crawlmere::test {

/// The hub on `defaults`; also installs the parsers' page reader for the fetches.
inline std::shared_ptr<Z12Ara> makeScanningHub(crawlmere::platform::UserDefaults& defaults)
{
    auto hub = std::make_shared<Z12Ara>(defaults);
    hub->setPrompts(std::make_shared<RecordingPrompts>());
    hub->setConfigManager(std::make_shared<RecordingSiteStore>());
    hub->setDiagnostic(std::make_shared<RecordingDiagnostic>());
    hub->setEngineSEODataSource(std::make_shared<RecordingEngineSEO>());
    hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
    hub->setPageReader(std::make_shared<ParserHubPageReader>());
    hub->setLinkExtractionParsers(std::make_shared<ParserLinkExtraction>());
    ParserFetchPageReader::installAsFetchPageReader();
    return hub;
}

} // namespace crawlmere::test
