// The hub's occurrences as data-source items: one list shared by the flat and by-status views,
// kept in step with the hub while a scan runs.
#pragma once

#include "engine/qfDataSource.h"

#include <QList>

class Z12Ara;

namespace crawlmere::app {

/// The hub's list of occurrences grows at its end while a scan runs; this list follows it by
/// adding only what is new, so handing it to a view shares it instead of building it again.
/// The hub must outlive this object. Main thread only.
class SharedOccurrenceList final {
public:
    explicit SharedOccurrenceList(const Z12Ara& hub)
        : m_hub(hub)
    {
    }

    /// The hub's occurrences as items, brought up to the hub first. The list is shared, not
    /// copied.
    QList<qfDataSource::Item> items();
    /// Brings the list up to the hub a slice at a time during a scan, while no view holds it.
    void keepInStep();
    void clear() { m_items.clear(); }

private:
    const Z12Ara& m_hub;
    QList<qfDataSource::Item> m_items;
};

} // namespace crawlmere::app
