// What the window suites share: prompts that answer nothing and a wait that runs the event loop.
#pragma once

#include "engine/ShellServices.h"
#include "support/WaitUntil.h"

#include <functional>

namespace crawlmere::test {

/// Alerts answer their first button at once; beeps are silent.
class QuietPrompts final : public ShellPrompts {
public:
    int runModalAlert(const ShellAlert&) override { return 0; }
    void beep() override { }
};

/// Runs the event loop until `done` holds or `ms` milliseconds have passed.
inline bool waitFor(const std::function<bool()>& done, int ms = 20000) { return waitUntil(done, ms); }

} // namespace crawlmere::test
