// Recheck and mark-fixed over selected rows.
#include "views/SelectionActions.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/Z12Ara.h"

#include <QApplication>
#include <QSet>
#include <QTimer>

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

namespace {

// The queued steps hold the hub weakly: a step still queued when the program ends must not be
// the last owner of the hub, whose teardown would then run inside the event queue's own cleanup.
void recheckNext(std::weak_ptr<Z12Ara> hub, QList<std::shared_ptr<CrwlUrl>> pages, std::function<void()> done)
{
    const std::shared_ptr<Z12Ara> alive = hub.lock();
    if (pages.isEmpty() || !alive) {
        QApplication::restoreOverrideCursor();
        if (done && alive)
            done();
        return;
    }
    pages.takeFirst()->recheckPage();
    QTimer::singleShot(0, [hub = std::move(hub), pages = std::move(pages), done = std::move(done)]() mutable {
        recheckNext(std::move(hub), std::move(pages), std::move(done));
    });
}

} // namespace

bool SelectionActions::recheckPages(
    std::shared_ptr<Z12Ara> hub, QList<std::shared_ptr<CrwlUrl>> pages, std::function<void()> done)
{
    if (!hub || pages.isEmpty() || !mayRecheck(*hub))
        return false;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QTimer::singleShot(
        0, [hub = std::weak_ptr<Z12Ara>(hub), pages = std::move(pages), done = std::move(done)]() mutable {
            recheckNext(std::move(hub), std::move(pages), std::move(done));
        });
    return true;
}

} // namespace crawlmere::views
