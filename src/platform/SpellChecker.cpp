// The process's shared spell checker.
#include "platform/SpellChecker.h"

#include "platform/HunspellSpellChecker.h"

#include <atomic>

namespace crawlmere::platform {

namespace {
std::atomic<SpellChecker*> replacement { nullptr };
} // namespace

SpellChecker::~SpellChecker() = default;

SpellChecker& SpellChecker::shared()
{
    if (SpellChecker* checker = replacement.load())
        return *checker;
    static HunspellSpellChecker checker;
    return checker;
}

void SpellChecker::setShared(SpellChecker* checker) { replacement.store(checker); }

} // namespace crawlmere::platform
