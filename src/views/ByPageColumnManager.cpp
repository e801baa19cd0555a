// The by-page outline's column manager.
#include "views/ByPageColumnManager.h"

void ByPageColumnManager::honourOldDefaults() { applyStoredChoice(defaultsKey); }

void ByPageColumnManager::saveDefaults() { storeChoice(defaultsKey); }
