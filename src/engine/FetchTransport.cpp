// Out-of-line destructor of the fetch transport interface.
#include "engine/FetchTransport.h"

FetchTransport::~FetchTransport() = default;
