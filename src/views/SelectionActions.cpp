// Recheck and mark-fixed over selected rows.
#include "views/SelectionActions.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/PageRecheck.h"
#include "engine/Z12Ara.h"

#include <QApplication>
#include <QSet>

namespace crawlmere::views {

QList<std::shared_ptr<CrwlUrl>> SelectionActions::targetsOf(const QList<qfDataSource::Item>& rows, bool urlRows)
{
    QList<std::shared_ptr<CrwlUrl>> targets;
    for (const qfDataSource::Item& row : rows) {
        if (auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(row)) {
            if (auto target = occurrence->target())
                targets << target;
        } else if (urlRows) {
            if (auto url = std::dynamic_pointer_cast<CrwlUrl>(row))
                targets << url;
        }
    }
    return targets;
}

QList<std::shared_ptr<CrwlUrl>> SelectionActions::parentsOf(const QList<qfDataSource::Item>& rows)
{
    QList<std::shared_ptr<CrwlUrl>> parents;
    QSet<const CrwlUrl*> seen;
    const auto add = [&](const std::shared_ptr<CrwlLinkInstance>& occurrence) {
        const std::shared_ptr<CrwlUrl> parent = occurrence ? occurrence->parent() : nullptr;
        if (parent && !seen.contains(parent.get())) {
            seen.insert(parent.get());
            parents << parent;
        }
    };
    for (const qfDataSource::Item& row : rows) {
        if (auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(row))
            add(occurrence);
        else if (auto url = std::dynamic_pointer_cast<CrwlUrl>(row))
            for (const auto& inbound : url->getInboundInstances())
                add(inbound);
    }
    return parents;
}

bool SelectionActions::mayRecheck(const Z12Ara& hub) { return hub.crawlFinished() || hub.stopPressed(); }

int SelectionActions::recheckLinks(const Z12Ara& hub, const QList<std::shared_ptr<CrwlUrl>>& targets)
{
    if (!mayRecheck(hub))
        return 0;
    for (const auto& target : targets)
        target->recheckLink();
    return int(targets.size());
}

void SelectionActions::markFixed(Z12Ara& hub, const QList<std::shared_ptr<CrwlUrl>>& targets)
{
    for (const auto& target : targets)
        hub.markThisUrlAsFixed(target);
}

bool SelectionActions::recheckPages(
    std::shared_ptr<Z12Ara> hub, QList<std::shared_ptr<CrwlUrl>> pages, std::function<void()> done)
{
    if (!hub || pages.isEmpty() || !mayRecheck(*hub))
        return false;
    // A paused scan fetches nothing until it goes on: no busy cursor meanwhile.
    const bool busy = !hub->stopPressed();
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto recheck = PageRecheck::start(
        hub, { pages.cbegin(), pages.cend() }, [busy, done = std::move(done)](PageRecheck::Outcome outcome) {
            if (busy)
                QApplication::restoreOverrideCursor();
            if (done && outcome == PageRecheck::Outcome::AllPagesRead)
                done();
        });
    if (!recheck && busy)
        QApplication::restoreOverrideCursor();
    return recheck != nullptr;
}

} // namespace crawlmere::views
