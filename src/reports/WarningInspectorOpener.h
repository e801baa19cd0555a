// What the warnings table asks of whoever opens warning inspectors.
#pragma once

#include <memory>

namespace crawlmere::reports {

class WarningRecord;

/// Opens an inspector window on one warning, keeps it alive and brings it to the front. The
/// shell provides it; the warnings table calls it on a double-click. Main thread only.
class WarningInspectorOpener {
public:
    virtual ~WarningInspectorOpener() = default;
    /// `warning` is never null and always has a page.
    virtual void openWarningInspector(std::shared_ptr<WarningRecord> warning) = 0;
};

} // namespace crawlmere::reports
