// The hub with the services every scan shares, put together once for the windowed and the headless program.
#include "app/HubAssembly.h"

#include "engine/CrwlUrlFetchTransport.h"
#include "engine/Z12Ara.h"
#include "parsing/ParserFetchPageReader.h"
#include "parsing/ParserHubPageReader.h"
#include "parsing/ParserLinkExtraction.h"
#include "reports/EngineSEOManager.h"

namespace crawlmere::app {

std::shared_ptr<Z12Ara> assembleHub(platform::UserDefaults& defaults)
{
    auto hub = std::make_shared<Z12Ara>(defaults);
    hub->setTransport(std::make_shared<CrwlUrlFetchTransport>());
    hub->setPageReader(std::make_shared<ParserHubPageReader>());
    hub->setLinkExtractionParsers(std::make_shared<ParserLinkExtraction>());
    hub->setEngineSEODataSource(std::make_shared<reports::EngineSEOManager>(defaults));
    ParserFetchPageReader::installAsFetchPageReader();
    return hub;
}

} // namespace crawlmere::app
