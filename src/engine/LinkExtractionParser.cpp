// Out-of-line destructors of the link-extraction parser interfaces.
#include "engine/LinkExtractionParser.h"

LinkExtractionParser::~LinkExtractionParser() = default;
LinkExtractionParsers::~LinkExtractionParsers() = default;
