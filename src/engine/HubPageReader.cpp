// Out-of-line destructor of the page-reader interface.
#include "engine/HubPageReader.h"

HubPageReader::~HubPageReader() = default;
