// Out-of-line destructors of the shell and archive interfaces, so their vtables have one home.
#include "engine/ShellServices.h"

#include "engine/ArchiveSink.h"

ShellPrompts::~ShellPrompts() = default;
ShellSiteStore::~ShellSiteStore() = default;
Diagnostic::~Diagnostic() = default;
ArchiveSink::~ArchiveSink() = default;
