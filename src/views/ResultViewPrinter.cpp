// Printing a result table or outline as it shows.
#include "views/ResultViewPrinter.h"

#include "platform/Log.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QPainter>
#include <QPrinter>
#include <QTreeView>

#include <algorithm>
#include <functional>

namespace crawlmere::views {

namespace {

// Printed in points: a row's height, the text's inset in its cell and the text's size.
constexpr double kRowHeight = 17.0;
constexpr double kCellInset = 3.0;
constexpr int kTextPixels = 11;

// One page across: from `left` to `right`, in view pixels.
struct Strip {
    double left = 0;
    double right = 0;
};

} // namespace

double ResultViewPrinter::adjustPageWidth(double /*left*/, double proposedRight, double limit, Kind kind)
{
    platform::logLine(kind == Kind::Table ? 2 : 1,
        QStringLiteral("proposed right:%1, limit:%2")
            .arg(QString::number(proposedRight, 'f', 6), QString::number(limit, 'f', 6)));
    return proposedRight;
}

QList<ResultViewPrinter::Column> ResultViewPrinter::columnsOf(const QTreeView& view)
{
    QList<Column> columns;
    const QHeaderView* header = view.header();
    int left = 0;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int section = header->logicalIndex(visual);
        if (section < 0 || header->isSectionHidden(section))
            continue;
        const int width = header->sectionSize(section);
        columns.append({ section, view.model()->headerData(section, Qt::Horizontal).toString(), left, width });
        left += width;
    }
    return columns;
}

QList<ResultViewPrinter::Row> ResultViewPrinter::rowsOf(const QTreeView& view)
{
    const QList<Column> columns = columnsOf(view);
    const QAbstractItemModel* model = view.model();
    QList<Row> rows;
    const std::function<void(const QModelIndex&, int)> collect = [&](const QModelIndex& parent, int depth) {
        const int count = model->rowCount(parent);
        for (int row = 0; row < count; ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            Row printed { depth, {} };
            for (const Column& column : columns)
                printed.cells.append(model->index(row, column.section, parent).data().toString());
            rows.append(std::move(printed));
            if (view.isExpanded(index))
                collect(index, depth + 1);
        }
    };
    collect(QModelIndex(), 0);
    return rows;
}

int ResultViewPrinter::print(const QTreeView& view, QPrinter& printer, Kind kind)
{
    const QList<Column> columns = columnsOf(view);
    const QList<Row> rows = rowsOf(view);
    QPainter painter;
    if (!painter.begin(&printer)) {
        platform::logLine(1, QStringLiteral("the printer could not be painted on"));
        return 0;
    }
    // One view pixel to a point.
    const double scale = printer.resolution() / 72.0;
    painter.scale(scale, scale);
    const double pageWidth = printer.width() / scale;
    const double pageHeight = printer.height() / scale;
    const int totalWidth = columns.isEmpty() ? 0 : columns.constLast().left + columns.constLast().width;

    // The pages across, each break where the print system proposes it.
    QList<Strip> strips;
    for (double left = 0; left < totalWidth || strips.isEmpty();) {
        const double proposed = left + pageWidth;
        // The inherited adjustment would pull the break back to the left edge of the column it cuts.
        double limit = left;
        for (const Column& column : columns) {
            if (column.left > left && column.left < proposed)
                limit = column.left;
        }
        const double right = adjustPageWidth(left, proposed, limit, kind);
        strips.append({ left, right });
        left = right;
    }
    const qsizetype rowsPerPage = std::max<qsizetype>(1, qsizetype((pageHeight - kRowHeight) / kRowHeight));

    QFont body = view.font();
    body.setPixelSize(kTextPixels);
    // No ligatures: an "fl" in a printed address stays two letters for whoever copies it.
    body.setStyleStrategy(QFont::PreferNoShaping);
    QFont bold = body;
    bold.setBold(true);
    const int indentation = kind == Kind::Outline ? view.indentation() : 0;
    const auto drawRow = [&](const Strip& strip, const QStringList& cells, double y, int depth, const QFont& font) {
        painter.setFont(font);
        const QFontMetricsF metrics(font);
        for (qsizetype i = 0; i < columns.size() && i < cells.size(); ++i) {
            const Column& column = columns.at(i);
            if (column.left >= strip.right || column.left + column.width <= strip.left)
                continue;
            const double indent = column.section == 0 ? double(depth * indentation) : 0.0;
            const QRectF cell(column.left + kCellInset + indent, y, column.width - 2 * kCellInset - indent, kRowHeight);
            if (cell.width() <= 0)
                continue;
            painter.drawText(
                cell, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(cells.at(i), Qt::ElideRight, cell.width()));
        }
    };
    QStringList titles;
    for (const Column& column : columns)
        titles.append(column.title);

    int pages = 0;
    for (qsizetype first = 0; first < rows.size() || pages == 0; first += rowsPerPage) {
        for (const Strip& strip : strips) {
            if (pages > 0 && !printer.newPage())
                return pages;
            ++pages;
            painter.save();
            painter.setClipRect(QRectF(0, 0, strip.right - strip.left, pageHeight));
            painter.translate(-strip.left, 0);
            drawRow(strip, titles, 0, 0, bold);
            painter.drawLine(QPointF(strip.left, kRowHeight), QPointF(strip.right, kRowHeight));
            const qsizetype last = std::min(rows.size(), first + rowsPerPage);
            for (qsizetype row = first; row < last; ++row)
                drawRow(strip, rows.at(row).cells, kRowHeight * double(row - first + 1), rows.at(row).depth, body);
            painter.restore();
        }
    }
    painter.end();
    return pages;
}

} // namespace crawlmere::views
