// Out-of-line anchor for the crawl-time SEO register interface.
#include "engine/EngineSEOService.h"

EngineSEOService::~EngineSEOService() = default;
