// Default answers of a result view's delegate.
#include "views/ResultViewDelegate.h"

#include "engine/CrwlLinkInstance.h"
#include "engine/CrwlUrl.h"
#include "views/Pasteboard.h"
#include "views/ResultTreeView.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

namespace crawlmere::views {

ResultViewDelegate::~ResultViewDelegate() = default;

std::optional<CrwlLabelColour> ResultViewDelegate::tableViewLabelColorForRow(
    ResultTreeView& view, const QModelIndex& row)
{
    const qfDataSource::Item item = view.itemAt(row);
    return CrwlLabelColour::forRow(item.get());
}

void ResultViewDelegate::copyURL(crawlmereTableView& view) { copySelectedURLs(view); }

void ResultViewDelegate::copyURLInOutlineView(qfOutlineView& view) { copySelectedURLs(view); }

Pasteboard& ResultViewDelegate::pasteboard() const { return m_pasteboard ? *m_pasteboard : Pasteboard::general(); }

QString ResultViewDelegate::pasteboardTextForURLs(const QStringList& urls)
{
    if (urls.isEmpty())
        return {};
    if (urls.size() == 1)
        return urls.first();
    QString text;
    for (const QString& url : urls)
        text += url + QLatin1Char('\n');
    return text;
}

void ResultViewDelegate::copySelectedURLs(ResultTreeView& view)
{
    QStringList urls;
    for (const qfDataSource::Item& item : view.selectedItems()) {
        QString url;
        if (const auto* record = dynamic_cast<const CrwlUrl*>(item.get()))
            url = record->absoluteString();
        else if (const auto* occurrence = dynamic_cast<const CrwlLinkInstance*>(item.get()))
            url = occurrence->getLinkUrl();
        if (!url.isEmpty())
            urls.append(url);
    }
    const QString text = pasteboardTextForURLs(urls);
    if (!text.isNull())
        pasteboard().setString(text);
}

} // namespace crawlmere::views
