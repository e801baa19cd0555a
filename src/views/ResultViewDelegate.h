// What a result table or outline asks of its delegate (the data source of the list it shows):
// row label colours and the Copy command.
#pragma once

#include "engine/CrwlLabelColour.h"

#include <QModelIndex>
#include <QStringList>

#include <optional>

class crawlmereTableView;
class qfOutlineView;

namespace crawlmere::views {

class Pasteboard;
class ResultTreeView;

/// The data sources of the result views implement this. Every method has a working default, so
/// a data source overrides only what it does differently. The view does not own its delegate;
/// the delegate must outlive the view or be unset first. Main thread only.
class ResultViewDelegate {
public:
    virtual ~ResultViewDelegate();

    /// tableView:labelColorForRow: — asked by tables and outlines alike for each row they paint.
    /// The default answers the label of the row's record (`CrwlLabelColour::forRow`), which is
    /// none while the default `displayLabels` is off or for rows that are not URL records.
    virtual std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView& view, const QModelIndex& row);

    /// copyURL: — Copy in a table. The default copies the selected rows' URLs (below).
    virtual void copyURL(crawlmereTableView& view);
    /// copyURLInOutlineView: — Copy in an outline. The default copies as `copyURL` does.
    virtual void copyURLInOutlineView(qfOutlineView& view);

    /// Where Copy writes; `Pasteboard::general()` unless set. Not owned.
    void setPasteboard(Pasteboard* pasteboard) { m_pasteboard = pasteboard; }
    Pasteboard& pasteboard() const;

    /// The text Copy puts on the pasteboard: one URL as it is; several each followed by "\n";
    /// none gives a null string (and nothing is copied).
    static QString pasteboardTextForURLs(const QStringList& urls);

protected:
    /// Puts the URLs of the view's selected rows, top to bottom, on the pasteboard: a URL record's
    /// `absoluteString`, a link occurrence's `getLinkUrl` (its target's URL). Rows of other kinds
    /// and empty URLs are skipped; with nothing to copy the pasteboard is left as it was.
    void copySelectedURLs(ResultTreeView& view);

private:
    Pasteboard* m_pasteboard = nullptr;
};

} // namespace crawlmere::views
