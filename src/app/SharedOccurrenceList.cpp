// The hub's occurrences as one shared list of data-source items, kept in step with the hub.
#include "app/SharedOccurrenceList.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/Z12Ara.h"

namespace crawlmere::app {

QList<qfDataSource::Item> SharedOccurrenceList::items()
{
    // The hub's list grows at its end while a scan runs: when the kept list is still its
    // beginning, only the new occurrences are added; otherwise (a new scan, an occurrence
    // taken out before the kept end) it is made again. The list is shared, not copied.
    const auto& occurrences = m_hub.instanceCollection();
    const qsizetype kept = m_items.size();
    const bool beginning = kept <= qsizetype(occurrences.size())
        && (kept == 0
            || (m_items.constFirst() == occurrences.front() && m_items.constLast() == occurrences[size_t(kept - 1)]));
    if (!beginning)
        m_items.clear();
    if (m_items.size() < qsizetype(occurrences.size())) {
        // Room for all at once only when starting afresh: reserving the exact size for each
        // added slice would move the whole list every time.
        if (m_items.isEmpty())
            m_items.reserve(qsizetype(occurrences.size()));
        for (auto it = occurrences.begin() + m_items.size(); it != occurrences.end(); ++it)
            m_items.append(qfDataSource::Item(*it));
    }
    return m_items;
}

void SharedOccurrenceList::keepInStep()
{
    // A slice at a time while no view holds the list (adding to a held list would copy it), so
    // the finish, which hands the list to the flat and by-status views, does not make it whole.
    constexpr qsizetype kSlice = 20'000;
    const qsizetype behind = qsizetype(m_hub.instanceCollection().size()) - m_items.size();
    if (behind >= kSlice && (m_items.isEmpty() || m_items.isDetached()))
        items();
}

} // namespace crawlmere::app
