// Records, tables and a small outline data source for the view tests.
#pragma once

#include "engine/CrwlUrl.h"
#include "engine/TableView.h"
#include "engine/qfDataSource.h"
#include "views/OutlineDataSource.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace crawlmere::test {

/// A visible URL record with a link URL and a status.
inline std::shared_ptr<CrwlUrl> makeRecord(const QString& url, qint64 status)
{
    auto record = std::make_shared<CrwlUrl>();
    record->setLinkURL(url);
    record->setStatus(status);
    record->setVisible(true);
    return record;
}

/// `count` records "https://example.test/page-<i>", every seventh one a 404.
inline QList<qfDataSource::Item> makeRecords(int count)
{
    QList<qfDataSource::Item> items;
    for (int i = 0; i < count; ++i)
        items.append(makeRecord(QStringLiteral("https://example.test/page-%1").arg(i), i % 7 == 3 ? 404 : 200));
    return items;
}

inline QList<TableColumn> urlAndStatusColumns()
{
    return { { QStringLiteral("url"), QStringLiteral("URL"), false },
        { QStringLiteral("status"), QStringLiteral("Status"), false } };
}

/// Pages with their links below them: page i has i % 3 links; links do not expand.
class PagesOutline : public crawlmere::views::OutlineDataSource {
public:
    explicit PagesOutline(int pageCount)
    {
        for (int page = 0; page < pageCount; ++page) {
            pages.push_back(makeRecord(QStringLiteral("https://example.test/p%1").arg(page), 200));
            std::vector<Item> children;
            for (int link = 0; link < page % 3; ++link)
                children.push_back(makeRecord(QStringLiteral("https://example.test/p%1/l%2").arg(page).arg(link), 404));
            links.push_back(std::move(children));
        }
    }
    qsizetype outlineViewNumberOfChildrenOfItem(TableView&, const Item& item) override
    {
        if (!item)
            return static_cast<qsizetype>(pages.size());
        const qsizetype page = pageIndex(item);
        return page < 0 ? 0 : static_cast<qsizetype>(links[page].size());
    }
    Item outlineViewChildOfItem(TableView& view, qsizetype index, const Item& item) override
    {
        if (index < 0 || index >= outlineViewNumberOfChildrenOfItem(view, item))
            return nullptr;
        return item ? links[pageIndex(item)][index] : pages[index];
    }
    bool outlineViewIsItemExpandable(TableView&, const Item& item) override { return !item || pageIndex(item) >= 0; }
    QVariant outlineViewObjectValue(TableView&, const TableColumn& column, const Item& item) override
    {
        return item ? item->getFieldByName(column.identifier) : QVariant();
    }
    qsizetype pageIndex(const Item& item) const
    {
        for (size_t i = 0; i < pages.size(); ++i) {
            if (pages[i] == item)
                return static_cast<qsizetype>(i);
        }
        return -1;
    }

    std::vector<Item> pages;
    std::vector<std::vector<Item>> links;
};

} // namespace crawlmere::test
