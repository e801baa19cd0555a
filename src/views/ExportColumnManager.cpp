// The export sheet's mirroring column manager.
#include "views/ExportColumnManager.h"

#include "platform/Dispatch.h"

bool ExportColumnManager::sendAction(const QString& title)
{
    if (m_mirror) {
        std::weak_ptr<qfColumnManager> mirror = m_mirror;
        crawlmere::platform::Dispatch::toMain([mirror, title] {
            if (const std::shared_ptr<qfColumnManager> target = mirror.lock())
                target->mirror(title);
        });
    }
    return qfColumnManager::sendAction(title);
}

bool ExportColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    return m_mirror ? m_mirror->shouldAllowSelectionOfColumnNamed(title) : true;
}
