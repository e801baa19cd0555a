// Recheck and mark-fixed over the rows selected in a result view.
#pragma once

#include "engine/qfDataSource.h"

#include <QList>

#include <functional>
#include <memory>

class CrwlUrl;
class Z12Ara;

namespace crawlmere::views {

/// The selection actions of the result views, apart from the views: the caller passes the
/// rows its front view selected (`CrwlUrl` rows of the by-link view, page and occurrence rows of
/// the others). Main thread only.
class SelectionActions {
public:
    /// The target of every `CrwlLinkInstance` row and every `CrwlUrl` row that is not a page
    /// row of an outline (`urlRows` true: the by-link view, whose rows are the targets). Rows
    /// of other kinds, and page rows when `urlRows` is false, are skipped.
    static QList<std::shared_ptr<CrwlUrl>> targetsOf(const QList<qfDataSource::Item>& rows, bool urlRows);
    /// The pages holding the selected occurrences, each once, in the order met. For `CrwlUrl`
    /// rows the parents of all their inbound occurrences.
    static QList<std::shared_ptr<CrwlUrl>> parentsOf(const QList<qfDataSource::Item>& rows);
    /// Rechecks are allowed once the scan has finished or is paused.
    static bool mayRecheck(const Z12Ara& hub);
    /// `recheckLink` on each target when `mayRecheck`; the number rechecked.
    static int recheckLinks(const Z12Ara& hub, const QList<std::shared_ptr<CrwlUrl>>& targets);
    /// The hub's `markThisUrlAsFixed` on each target.
    static void markFixed(Z12Ara& hub, const QList<std::shared_ptr<CrwlUrl>>& targets);
    /// Rechecks the pages when `mayRecheck` (`PageRecheck`: the scan fetches them side by side
    /// while the window goes on answering, under a busy cursor, and they are read again in
    /// order), then `done`. In a paused scan they wait, without the busy cursor, for it to go on.
    /// The recheck does not keep the hub: once it is gone, or cleared for another scan, the rest
    /// is dropped and `done` is not called. False when nothing was started.
    static bool recheckPages(
        std::shared_ptr<Z12Ara> hub, QList<std::shared_ptr<CrwlUrl>> pages, std::function<void()> done);
};

} // namespace crawlmere::views
