#include "engine/qfDataSource.h"

#include "platform/UserDefaults.h"

#include <QBuffer>

#include <gtest/gtest.h>

using crawlmere::platform::UserDefaults;

namespace {

// A row with a few named fields, as records answer them.
class Row : public CrwlDataObject {
public:
    Row(QString name, int size, bool isVisible)
        : m_name(std::move(name))
        , m_size(size)
    {
        setVisible(isVisible);
    }
    QString getFieldByName(const QString& key) const override
    {
        const QString lower = key.toLower();
        if (lower == "name")
            return m_name;
        if (lower == "filesize")
            return QString::number(m_size);
        return QStringLiteral("");
    }
    QVariant getSortValue(const QString& key) const override
    {
        if (key.toLower() == "filesize")
            return m_size;
        return CrwlDataObject::getSortValue(key);
    }
    QString m_name;
    int m_size;
};

std::shared_ptr<Row> row(const QString& name, int size, bool visible = true)
{
    return std::make_shared<Row>(name, size, visible);
}

QString nameAt(qfDataSource& source, quint64 index)
{
    auto item = source.getItemAtRowIndex(index);
    return item ? item->getFieldByName("name") : QStringLiteral("<none>");
}

class qfDataSourceTest : public testing::Test {
protected:
    void TearDown() override { UserDefaults::standard().removeObjectForKey("csvQuoteEscapeOption"); }
    HeadlessTableView table { { { "name", "Name", false }, { "filesize", "Size", false },
        { "hiddenkey", "Hidden", true } } };
};

} // namespace

TEST_F(qfDataSourceTest, VisibleRowsFollowTheCollection)
{
    qfDataSource source;
    source.setCollection({ row("a", 1), row("b", 2, false), row("c", 3), row("d", 4, false), row("e", 5) });
    EXPECT_EQ(source.getCount(), 5);
    EXPECT_EQ(source.numberOfRowsInTableView(table), 3);
    EXPECT_EQ(nameAt(source, 0), "a");
    EXPECT_EQ(nameAt(source, 2), "e");
    EXPECT_EQ(source.getItemAtRowIndex(3), nullptr);

    source.setCollection({ row("x", 1) });
    EXPECT_EQ(source.numberOfRowsInTableView(table), 1);

    // A visibility change shows only after the cache is dropped.
    auto hidden = row("late", 9, false);
    source.add(hidden);
    EXPECT_EQ(source.numberOfRowsInTableView(table), 1);
    hidden->setVisible(true);
    EXPECT_EQ(source.numberOfRowsInTableView(table), 1);
    source.invalidateSortedAndFilteredArray();
    EXPECT_EQ(source.numberOfRowsInTableView(table), 2);

    source.clear();
    EXPECT_EQ(source.getCount(), 0);
    EXPECT_EQ(source.getItemAtRowIndex(0), nullptr);
}

TEST_F(qfDataSourceTest, SortsThroughTheGettersAndReloads)
{
    qfDataSource source;
    source.setCollection({ row("b", 10), row("a", 9), row("c", 100), row("a", 2) });
    table.setSortDescriptors({ { "filesize", true } });
    source.tableViewSortDescriptorsDidChange(table);
    EXPECT_EQ(nameAt(source, 0), "a"); // 2
    EXPECT_EQ(nameAt(source, 1), "a"); // 9
    EXPECT_EQ(nameAt(source, 2), "b"); // 10: numeric, not "10" < "9"
    EXPECT_EQ(nameAt(source, 3), "c");
    EXPECT_EQ(table.reloadCount(), 1);

    table.setSortDescriptors({ { "name", false }, { "filesize", true } });
    source.tableViewSortDescriptorsDidChange(table);
    QStringList order;
    for (quint64 i = 0; i < 4; ++i)
        order << source.getItemAtRowIndex(i)->getFieldByName("filesize");
    EXPECT_EQ(order, QStringList({ "100", "10", "2", "9" }));
}

TEST_F(qfDataSourceTest, CollectionWriterEscapesByOptionAndRowWriterDoesNot)
{
    qfDataSource source;
    source.setCollection({ row("say \"hi\"\nnow", 1), row("gone", 2, false) });

    EXPECT_EQ(source.getCollectionAsCSVUsingTableViewHeaders(table),
        "\"Name\",\"Size\"\n\"say 'hi' now\",\"1\"\n\"gone\",\"2\"\n");
    UserDefaults::standard().setInteger(0, "csvQuoteEscapeOption");
    EXPECT_EQ(source.getCollectionAsCSVUsingTableViewHeaders(table),
        "\"Name\",\"Size\"\n\"say \\\"hi\\\" now\",\"1\"\n\"gone\",\"2\"\n");
    UserDefaults::standard().setInteger(2, "csvQuoteEscapeOption");
    EXPECT_EQ(source.getCollectionAsCSVUsingTableViewHeaders(table),
        "\"Name\",\"Size\"\n\"say \"\"hi\"\" now\",\"1\"\n\"gone\",\"2\"\n");

    // Written to a device, the same text arrives as UTF-8; a device that refuses writes fails.
    source.setCollection({ row("Brot für \"alle\"", 1), row("gone", 2, false) });
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(source.writeCollectionAsCSVUsingTableViewHeaders(table, buffer));
    EXPECT_EQ(QString::fromUtf8(buffer.data()), source.getCollectionAsCSVUsingTableViewHeaders(table));
    QBuffer closed;
    EXPECT_FALSE(source.writeCollectionAsCSVUsingTableViewHeaders(table, closed));
    source.setCollection({ row("say \"hi\"\nnow", 1), row("gone", 2, false) });

    // The row writer shows only visible rows and writes values as they are.
    EXPECT_EQ(source.getDataAsCSVUsingTableView(table), "\"Name\",\"Size\"\n\"say \"hi\"\nnow\",\"1\"\n");
}

TEST(qfDataSourceCsv, LineBreaksOfEveryKindBecomeSpacesSoARecordStaysOnOneLine)
{
    const struct {
        const char* value;
        const char* written;
    } cases[] = {
        { "a\nb", "a b" },
        { "a\rb", "a b" }, // a lone carriage return ends a line for many spreadsheet readers
        { "a\r\nb", "a  b" },
        { "\r\"q\"\r", " \"\"q\"\" " },
    };
    for (const auto& c : cases)
        EXPECT_EQ(qfDataSource::csvEscapedValue(QString::fromUtf8(c.value), 2), QString::fromUtf8(c.written))
            << c.value;
}

TEST_F(qfDataSourceTest, TableWithoutVisibleColumnsWritesEmptyLines)
{
    qfDataSource source;
    source.setCollection({ row("a", 1), row("b", 2) });
    HeadlessTableView bare { { { "name", "Name", true } } };
    EXPECT_EQ(source.getCollectionAsCSVUsingTableViewHeaders(bare), "\n\n\n");
    EXPECT_EQ(source.getDataAsCSVUsingTableView(bare), "\n\n\n");
}

TEST_F(qfDataSourceTest, RetainArrayKeepsObjectsAlive)
{
    std::weak_ptr<int> watched;
    {
        qfDataSource source;
        auto kept = std::make_shared<int>(3);
        watched = kept;
        source.addToRetainArray(kept);
        kept.reset();
        EXPECT_FALSE(watched.expired());
        EXPECT_EQ(source.retainCount(), 1);
    }
    EXPECT_TRUE(watched.expired());
}

TEST(qfDataSourceSort, EveryWidthOfNumberSortsByValueNotByText)
{
    // Sort values as fields answer them: short and byte-sized counts beside ints and reals.
    const QList<QVariant> values = { QVariant::fromValue<short>(10), QVariant::fromValue<quint8>(9), QVariant(100.5),
        QVariant::fromValue<ushort>(2), QVariant::fromValue<qint64>(-3), QVariant(true) };
    for (const QVariant& value : values)
        EXPECT_TRUE(qfDataSource::isNumericSortValue(value)) << value.typeName();
    EXPECT_FALSE(qfDataSource::isNumericSortValue(QVariant(QStringLiteral("7"))));

    class Valued : public CrwlDataObject {
    public:
        explicit Valued(QVariant v)
            : value(std::move(v))
        {
        }
        QVariant getSortValue(const QString&) const override { return value; }
        QVariant value;
    };
    QList<qfDataSource::Item> items;
    for (const QVariant& value : values)
        items.append(std::make_shared<Valued>(value));
    qfDataSource::sortItems(items, { { "size", true } });
    QList<double> order;
    for (const auto& item : items)
        order.append(item->getSortValue("size").toDouble());
    EXPECT_EQ(order, QList<double>({ -3, 1, 2, 9, 10, 100.5 }));
}
