// A result table or outline frozen for export: its shown columns and rows as texts, taken on the
// main thread so that the export can be built and written on another.
#pragma once

#include "engine/CrwlLabelColour.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class TableView;
class qfDataSource;
class CrwlDataObject;

namespace crawlmere::views {
class OutlineDataSource;
}

/// Plain values only: a snapshot may be moved to and read on any thread once taken.
struct TableExportSnapshot {
    struct Column {
        QString identifier;
        QString title;
        /// The outline's disclosure column (child rows get their indent mark there).
        bool outlineColumn = false;
    };
    struct Row {
        /// One text per column, in column order.
        QStringList texts;
        /// Outlines only: the row can be expanded (a group row).
        bool expandable = false;
        std::optional<CrwlLabelColour> label;
    };

    /// The shown columns in their current order.
    QList<Column> columns;
    /// The shown rows in their current order; for an outline only the rows expanded into view.
    QList<Row> rows;
    /// Outline rows that are not expandable get a child mark in the outline column.
    bool outline = false;

    bool isEmpty() const { return rows.isEmpty(); }

    /// The exported text of a cell's value: a string as it is; any other value is logged with
    /// the column's identifier and exported empty.
    static QString exportedText(const QVariant& value, const QString& identifier);

    /// The shown columns of `table` and every row of `source` with the texts the cells show
    /// (`tableViewObjectValue`; a value that is not text is logged and exported empty) and its
    /// label (`tableViewLabelColorForRow`). Main thread, as the data source is.
    static TableExportSnapshot fromTable(qfDataSource& source, TableView& table);
    /// The shown columns of `outline` (the first of its columns is the outline column) and every
    /// row of `source` as if each were expanded: a parent, then its children, with the texts of
    /// `outlineViewObjectValue` and the label `label` gives (unset: none). Main thread.
    static TableExportSnapshot fromOutline(crawlmere::views::OutlineDataSource& source, TableView& outline,
        const std::function<std::optional<CrwlLabelColour>(const std::shared_ptr<CrwlDataObject>&)>& label);
};
