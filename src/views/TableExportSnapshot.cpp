// A result table frozen for export.
#include "views/TableExportSnapshot.h"

#include "engine/TableView.h"
#include "engine/qfDataSource.h"
#include "platform/Log.h"
#include "views/OutlineDataSource.h"

#include <QMetaType>

QString TableExportSnapshot::exportedText(const QVariant& value, const QString& identifier)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    crawlmere::platform::logLine(1,
        QStringLiteral("column %1 is returning a %2").arg(identifier, QString::fromLatin1(value.metaType().name())));
    return QString();
}

TableExportSnapshot TableExportSnapshot::fromTable(qfDataSource& source, TableView& table)
{
    TableExportSnapshot snapshot;
    QList<TableColumn> shown;
    for (const TableColumn& column : table.tableColumns()) {
        if (column.hidden)
            continue;
        shown.append(column);
        snapshot.columns.append({ column.identifier, column.title, /*outlineColumn=*/false });
    }
    const qsizetype rowCount = source.numberOfRowsInTableView(table);
    snapshot.rows.reserve(rowCount);
    for (qsizetype row = 0; row < rowCount; ++row) {
        Row entry;
        entry.texts.reserve(shown.size());
        for (const TableColumn& column : std::as_const(shown))
            entry.texts.append(exportedText(source.tableViewObjectValue(table, column, row), column.identifier));
        entry.label = CrwlLabelColour::forColourClass(source.tableViewLabelColorForRow(table, row));
        snapshot.rows.append(std::move(entry));
    }
    return snapshot;
}

TableExportSnapshot TableExportSnapshot::fromOutline(crawlmere::views::OutlineDataSource& source, TableView& outline,
    const std::function<std::optional<CrwlLabelColour>(const std::shared_ptr<CrwlDataObject>&)>& label)
{
    using Item = crawlmere::views::OutlineDataSource::Item;
    TableExportSnapshot snapshot;
    snapshot.outline = true;
    const QList<TableColumn> all = outline.tableColumns();
    QList<TableColumn> shown;
    for (const TableColumn& column : all) {
        if (column.hidden)
            continue;
        shown.append(column);
        snapshot.columns.append({ column.identifier, column.title, column.identifier == all.first().identifier });
    }
    const std::function<void(const Item&)> addChildren = [&](const Item& parent) {
        const qsizetype count = source.outlineViewNumberOfChildrenOfItem(outline, parent);
        for (qsizetype index = 0; index < count; ++index) {
            const Item item = source.outlineViewChildOfItem(outline, index, parent);
            if (!item)
                continue;
            Row entry;
            entry.texts.reserve(shown.size());
            for (const TableColumn& column : std::as_const(shown))
                entry.texts.append(source.outlineViewObjectValue(outline, column, item).toString());
            const bool expandable = source.outlineViewIsItemExpandable(outline, item);
            entry.expandable = expandable;
            if (label)
                entry.label = label(item);
            snapshot.rows.append(std::move(entry));
            if (expandable)
                addChildren(item);
        }
    };
    addChildren(nullptr);
    return snapshot;
}
