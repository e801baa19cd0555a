// Out-of-line destructors of the shell interfaces, so their vtables have one home.
#include "engine/ShellServices.h"

ShellPrompts::~ShellPrompts() = default;
ShellSiteStore::~ShellSiteStore() = default;
Diagnostic::~Diagnostic() = default;
