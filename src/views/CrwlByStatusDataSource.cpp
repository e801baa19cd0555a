// The by-status result tab's data source.
#include "views/CrwlByStatusDataSource.h"

#include "engine/CrwlLabelColour.h"
#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "engine/PunycodeAdditions.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/ParallelParts.h"
#include "platform/UserDefaults.h"
#include "views/LinkViewOpener.h"
#include "views/Pasteboard.h"
#include "views/ResultTreeView.h"
#include "views/detail/OccurrenceCell.h"
#include "views/detail/RankSort.h"

#include <QHash>

#include <algorithm>
#include <utility>

using crawlmere::platform::logLine;

namespace crawlmere::views {

// What an occurrence row shows in a column besides its own attributes, decided once per column
// identifier.
enum class ByStatusCell : std::uint8_t {
    None,
    TargetField,
    OnPage,
    Attribute,
};

namespace {

using Item = qfDataSource::Item;

using StatusCell = detail::LinkViewCell<ByStatusCell>;

StatusCell statusCellFor(const QString& identifier)
{
    static const QHash<QString, ByStatusCell> cells = {
        { QStringLiteral("linkurl"), ByStatusCell::TargetField },
        { QStringLiteral("redir"), ByStatusCell::TargetField },
        { QStringLiteral("linkurldecoded"), ByStatusCell::TargetField },
        { QStringLiteral("redirdecoded"), ByStatusCell::TargetField },
        { QStringLiteral("onpageurl"), ByStatusCell::OnPage },
        { QStringLiteral("onpageurldecoded"), ByStatusCell::OnPage },
    };
    return detail::linkViewCellFor(identifier, cells, ByStatusCell::None);
}

QString occurrenceCell(StatusCell cell, const QString& identifier, const CrwlLinkInstance& occurrence)
{
    switch (cell.kind) {
    case ByStatusCell::None:
        return QStringLiteral("");
    case ByStatusCell::TargetField: {
        const auto target = occurrence.target();
        return target ? target->getFieldByName(identifier) : QStringLiteral("");
    }
    case ByStatusCell::OnPage:
        if (platform::UserDefaults::standard().value(defaultsKey::displayPageTitle))
            return occurrence.getOnPageTitle();
        return PunycodeAdditions::decodedURLString(occurrence.getOnPageUrl());
    case ByStatusCell::Attribute:
        return detail::occurrenceAttributeCell(cell.attribute, occurrence);
    }
    return QStringLiteral("");
}

} // namespace

CrwlByStatusDataSource::CrwlByStatusDataSource()
    : statusCells(&statusCellFor)
{
    retainArray.reserve(3);
}

CrwlByStatusDataSource::~CrwlByStatusDataSource() = default;

const ViewColumns& CrwlByStatusDataSource::columns()
{
    using C = ViewComparison;
    static const ViewColumns table({
        { QStringLiteral("linkurldecoded"), QStringLiteral("URL"), QStringLiteral("linkurl"), C::CaseInsensitive,
            true },
        { QStringLiteral("status"), QStringLiteral("Status"), QStringLiteral("statusDescription"), C::CaseInsensitive,
            true },
        { QStringLiteral("onpageurl"), QStringLiteral("Appears on"), QStringLiteral("onpageurl"), C::CaseInsensitive,
            true },
        { QStringLiteral("linktext"), QStringLiteral("Link text"), QStringLiteral("linktext"), C::CaseInsensitive,
            true },
        { QStringLiteral("redir"), QStringLiteral("Redirected to"), QStringLiteral("redir"), C::CaseInsensitive, true },
        { QStringLiteral("nofollow"), QStringLiteral("Nofollow"), QStringLiteral("nofollow"), C::Default, false },
        { QStringLiteral("noreferrer"), QStringLiteral("Noreferrer"), QStringLiteral("noreferrer"), C::Default, false },
        { QStringLiteral("noopener"), QStringLiteral("Noopener"), QStringLiteral("noopener"), C::Default, false },
        { QStringLiteral("author"), QStringLiteral("Author"), QStringLiteral("author"), C::Default, false },
        { QStringLiteral("alternate"), QStringLiteral("Alternate"), QStringLiteral("alternate"), C::Default, false },
        { QStringLiteral("internal"), QStringLiteral("Internal"), QStringLiteral("targetInternal"), C::Default, false },
        { QStringLiteral("rel"), QStringLiteral("Rel"), QStringLiteral("rel"), C::CaseInsensitive, false },
        { QStringLiteral("hreflang"), QStringLiteral("Hreflang"), QStringLiteral("hreflang"), C::CaseInsensitive,
            false },
        { QStringLiteral("targetattr"), QStringLiteral("Target"), QStringLiteral("targetAttr"), C::Default, false },
        { QStringLiteral("redirectCount"), QStringLiteral("Redirects"), QStringLiteral("redirectCount"), C::Default,
            false },
        { QStringLiteral("lineNumber"), QStringLiteral("Line"), QString(), C::Default, false },
    });
    return table;
}

void CrwlByStatusDataSource::clear()
{
    instanceCollection = {};
    buildFullByStatusDictionary();
    if (byStatusOutlineView) {
        byStatusOutlineView->setSortDescriptors({});
        byStatusOutlineView->reloadData();
    }
}

void CrwlByStatusDataSource::setCollection(QList<Item> occurrences) { instanceCollection = std::move(occurrences); }

bool CrwlByStatusDataSource::shouldBeVisible(const CrwlLinkInstance& occurrence) const
{
    detail::LinkTextHits linkTextHits(filterState);
    return visibleInPass(occurrence, occurrence.target().get(), filterState.pass(), linkTextHits);
}

bool CrwlByStatusDataSource::visibleInPass(const CrwlLinkInstance& occurrence, const CrwlUrl* target,
    const detail::LinkViewFilter::Pass& pass, detail::LinkTextHits& linkTextHits) const
{
    if (pass.showsEverything)
        return true;
    if (pass.badLinksOnly && !(target && target->shouldBeMemberOfBadCollection()))
        return false;
    return (target && target->getVisible()) || linkTextHits(occurrence);
}

void CrwlByStatusDataSource::buildFullByStatusDictionary()
{
    // Row objects of the texts still shown are kept, so that the outline keeps them open.
    QHash<QString, std::shared_ptr<StatusGroup>> previous;
    for (const auto& group : fullStatusArray)
        previous.insert(group->getStatusText(), group);

    // The occurrences are grouped in parts on several threads, each part by itself and in the
    // collection's order; the parts are then joined in order, so that the groups stand in the
    // order their texts were first met and each group's occurrences in the collection's.
    struct PartGroups {
        QHash<const CrwlUrl*, qsizetype> groupOfTarget; // -1: a target without a status text
        QHash<QString, qsizetype> groupOfText;
        QStringList texts;
        std::vector<QList<Item>> occurrences;
    };
    const qsizetype count = instanceCollection.size();
    const Item* const items = instanceCollection.constData();
    const int parts = platform::partsFor(count, kRowsPerPart);
    std::vector<PartGroups> found(static_cast<size_t>(parts));
    const detail::LinkViewFilter::Pass pass = filterState.pass();
    platform::runInParts(count, parts, [&](int part, qsizetype begin, qsizetype end) {
        PartGroups& mine = found[size_t(part)];
        mine.groupOfTarget.reserve(targetsLastGrouped / parts + 1);
        detail::LinkTextHits linkTextHits(filterState);
        for (qsizetype i = begin; i < end; ++i) {
            const auto* occurrence = detail::asOccurrence(items[i].get());
            if (!occurrence)
                continue;
            // An occurrence without a target has no status to stand under.
            const auto target = occurrence->target();
            if (!target || !visibleInPass(*occurrence, target.get(), pass, linkTextHits))
                continue;
            auto known = mine.groupOfTarget.constFind(target.get());
            if (known == mine.groupOfTarget.cend()) {
                qsizetype group = -1;
                if (const QString text = target->getStatusDescription(); !text.isEmpty()) {
                    const auto byText = mine.groupOfText.constFind(text);
                    if (byText != mine.groupOfText.cend()) {
                        group = byText.value();
                    } else {
                        group = mine.texts.size();
                        mine.texts.append(text);
                        mine.occurrences.emplace_back();
                        mine.groupOfText.insert(text, group);
                    }
                }
                known = mine.groupOfTarget.insert(target.get(), group);
            }
            if (known.value() >= 0)
                mine.occurrences[size_t(known.value())].append(items[i]);
        }
    });

    QHash<QString, StatusGroup*> groupOfText;
    QList<std::shared_ptr<StatusGroup>> rows;
    qsizetype targets = 0;
    for (PartGroups& part : found) {
        targets = std::max(targets, qsizetype(part.groupOfTarget.size()));
        for (qsizetype t = 0; t < part.texts.size(); ++t) {
            const QString& text = part.texts[t];
            StatusGroup*& group = groupOfText[text];
            if (!group) {
                std::shared_ptr<StatusGroup> made = previous.value(text);
                if (made)
                    made->occurrences.clear();
                else
                    made = std::make_shared<StatusGroup>(text);
                rows.append(made);
                group = made.get();
            }
            QList<Item>& occurrences = part.occurrences[size_t(t)];
            if (group->occurrences.isEmpty())
                group->occurrences = std::move(occurrences);
            else
                group->occurrences.append(std::move(occurrences));
        }
    }
    for (auto it = previous.cbegin(); it != previous.cend(); ++it) {
        if (!groupOfText.contains(it.key()))
            it.value()->occurrences.clear();
    }
    fullStatusArray = std::move(rows);
    targetsLastGrouped = targets * parts;
    if (platform::verbosity() >= 2)
        logLine(2, QStringLiteral("by status: %1 status rows").arg(fullStatusArray.size()));
}

void CrwlByStatusDataSource::filter()
{
    logLine(3, QStringLiteral("CrwlByStatusDataSource filter:"));
    buildFullByStatusDictionary();
    if (byStatusOutlineView)
        applySort(byStatusOutlineView->sortDescriptors());
    reloadData();
}

void CrwlByStatusDataSource::changeRedirectDisplayMethod() { filter(); }

std::shared_ptr<StatusGroup> CrwlByStatusDataSource::groupForStatus(const QString& text) const
{
    for (const auto& group : fullStatusArray) {
        if (group->getStatusText() == text)
            return group;
    }
    return nullptr;
}

void CrwlByStatusDataSource::applySort(const QList<SortDescriptor>& descriptors)
{
    if (descriptors.isEmpty() || descriptors.first().key.isEmpty())
        return;
    const QString key = columns().sortKeyFor(descriptors.first().key);
    if (key.isEmpty())
        return;
    const bool ascending = descriptors.first().ascending;
    if (key == QLatin1String("statusDescription")) {
        sortByStatusByColumn(key, ascending, CrwlDataObject::isNumber(key) ? 1 : 0);
        return;
    }
    const ViewColumn* column = columns().find(descriptors.first().key);
    const ViewComparison comparison = column ? column->comparison : ViewComparison::CaseInsensitive;
    for (const auto& group : fullStatusArray)
        detail::stableSortOccurrences(group->occurrences, key, comparison, ascending);
}

void CrwlByStatusDataSource::sortByStatusByColumn(const QString& key, bool ascending, int options)
{
    if (options != 0)
        return;
    if (key == QLatin1String("statusDescription")) {
        std::stable_sort(fullStatusArray.begin(), fullStatusArray.end(), [](const auto& left, const auto& right) {
            return QString::compare(left->getStatusText(), right->getStatusText(), Qt::CaseInsensitive) < 0;
        });
        if (!ascending)
            std::reverse(fullStatusArray.begin(), fullStatusArray.end());
        return;
    }
    for (const auto& group : fullStatusArray)
        detail::stableSortOccurrences(group->occurrences, key, ViewComparison::CaseInsensitive, ascending);
}

void CrwlByStatusDataSource::reloadData()
{
    if (byStatusOutlineView)
        byStatusOutlineView->reloadData();
}

void CrwlByStatusDataSource::outlineViewDidClickTableColumn(TableView& view, const TableColumn& /*column*/)
{
    applySort(view.sortDescriptors());
    view.reloadData();
}

qsizetype CrwlByStatusDataSource::outlineViewNumberOfChildrenOfItem(TableView& /*view*/, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    if (!item)
        return fullStatusArray.size();
    const auto* group = dynamic_cast<const StatusGroup*>(item.get());
    return group ? group->occurrences.size() : 0;
}

Item CrwlByStatusDataSource::outlineViewChildOfItem(TableView& /*view*/, qsizetype index, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    if (index < 0)
        return nullptr;
    if (!item)
        return index < fullStatusArray.size() ? fullStatusArray.at(index) : nullptr;
    const auto* group = dynamic_cast<const StatusGroup*>(item.get());
    return group && index < group->occurrences.size() ? group->occurrences.at(index) : nullptr;
}

std::optional<OutlineDataSource::ChildRows> CrwlByStatusDataSource::outlineViewChildRowsOfItem(
    TableView& /*view*/, const Item& item)
{
    const auto* group = dynamic_cast<const StatusGroup*>(item.get());
    if (!group)
        return std::nullopt;
    // A copy of the list shares its rows; the group's own list detaches from them on its next
    // change, so they stay as read while the copy lives.
    auto rows = std::make_shared<const QList<Item>>(group->occurrences);
    return ChildRows { rows->constData(), rows->size(), std::move(rows) };
}

bool CrwlByStatusDataSource::outlineViewIsItemExpandable(TableView& /*view*/, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    return dynamic_cast<const StatusGroup*>(item.get()) != nullptr;
}

QString CrwlByStatusDataSource::outlineViewRowTitleOfItem(TableView& /*view*/, const Item& item)
{
    const auto* group = dynamic_cast<const StatusGroup*>(item.get());
    return group ? group->getStatusText() : QString();
}

QString CrwlByStatusDataSource::cellValue(const QString& identifier, const CrwlDataObject* item)
{
    // Occurrences first: nearly every row is one, and the test for them is the cheap one.
    const auto* occurrence = detail::asOccurrence(item);
    if (!occurrence) {
        const auto* group = dynamic_cast<const StatusGroup*>(item);
        return group && identifier == QLatin1String("status") ? group->getStatusText() : QStringLiteral("");
    }
    return occurrenceCell(statusCellFor(identifier), identifier, *occurrence);
}

QVariant CrwlByStatusDataSource::outlineViewObjectValue(
    TableView& /*view*/, const TableColumn& column, const Item& item)
{
    Q_ASSERT(crawlmere::platform::Dispatch::isMainThread());
    const auto* occurrence = detail::asOccurrence(item.get());
    if (!occurrence)
        return cellValue(column.identifier, item.get());
    return occurrenceCell(statusCells(column.identifier), column.identifier, *occurrence);
}

std::optional<CrwlLabelColour> CrwlByStatusDataSource::labelForItem(const Item& item)
{
    return detail::labelForRowObject(item.get());
}

std::optional<CrwlLabelColour> CrwlByStatusDataSource::tableViewLabelColorForRow(
    ResultTreeView& view, const QModelIndex& row)
{
    return labelForItem(view.itemAt(row));
}

QList<std::shared_ptr<CrwlLinkInstance>> CrwlByStatusDataSource::getSelectedFromByStatusView(
    const QList<Item>& selected) const
{
    QList<std::shared_ptr<CrwlLinkInstance>> occurrences;
    for (const Item& item : selected) {
        if (auto occurrence = std::dynamic_pointer_cast<CrwlLinkInstance>(item))
            occurrences.append(std::move(occurrence));
    }
    return occurrences;
}

QList<std::shared_ptr<CrwlUrl>> CrwlByStatusDataSource::markAsFixedMenuItem(const QList<Item>& selected) const
{
    QList<std::shared_ptr<CrwlUrl>> targets;
    for (const auto& occurrence : getSelectedFromByStatusView(selected)) {
        if (auto target = occurrence->target())
            targets.append(std::move(target));
    }
    return targets;
}

std::shared_ptr<CrwlLinkInstance> CrwlByStatusDataSource::firstOccurrence(const QList<Item>& selected) const
{
    const auto occurrences = getSelectedFromByStatusView(selected);
    return occurrences.isEmpty() ? nullptr : occurrences.first();
}

void CrwlByStatusDataSource::copyUrlFromByStatusView(const QList<Item>& selected)
{
    if (const auto occurrence = firstOccurrence(selected))
        toClip(occurrence->getLinkUrl());
}

void CrwlByStatusDataSource::copyAppearsOnFromByStatusView(const QList<Item>& selected)
{
    if (const auto occurrence = firstOccurrence(selected))
        toClip(occurrence->getOnPageUrl());
}

void CrwlByStatusDataSource::copyRedirFromByStatusView(const QList<Item>& selected)
{
    if (const auto occurrence = firstOccurrence(selected))
        toClip(occurrence->getRedir());
}

void CrwlByStatusDataSource::locateInOutlineView(const QList<Item>& selected)
{
    if (auto occurrence = firstOccurrence(selected); occurrence && opener)
        opener->locate(occurrence);
}

void CrwlByStatusDataSource::highlightInOutlineView(const QList<Item>& selected)
{
    const auto occurrence = firstOccurrence(selected);
    if (!occurrence) {
        logLine(1, QStringLiteral("unable to find instance"));
        return;
    }
    if (opener)
        opener->highlight(occurrence);
}

void CrwlByStatusDataSource::doubleClickInOutlineView(const QList<Item>& selected)
{
    if (selected.isEmpty() || !opener)
        return;
    if (const auto* occurrence = detail::asOccurrence(selected.first().get())) {
        if (auto target = occurrence->target())
            opener->inspect(target);
    }
}

void CrwlByStatusDataSource::expandAllButton()
{
    if (outlineExpander)
        outlineExpander(/*expand=*/true);
}

void CrwlByStatusDataSource::collapseAllButton()
{
    if (outlineExpander)
        outlineExpander(/*expand=*/false);
}

void CrwlByStatusDataSource::toClip(const QString& text) { pasteboard().setString(text); }

} // namespace crawlmere::views
