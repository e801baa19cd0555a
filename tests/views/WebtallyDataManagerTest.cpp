// The saved-data manager over a temporary home: files written by the fixture script, their rows,
// sorting, the trash and deletion.
#include "views/WebtallyDataManager.h"

#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "support/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

using crawlmere::platform::Paths;
using crawlmere::platform::UserDefaults;
using crawlmere::views::WebtallyDataManager;

namespace {

const QDateTime kKnownDate(QDate(2026, 3, 1), QTime(10, 15), Qt::UTC);
const QDateTime kArchivedDate(QDate(2025, 11, 20), QTime(8, 0), Qt::UTC);

class WebtallyDataManagerTest : public testing::Test {
protected:
    void SetUp() override
    {
        // The trash of a session lies in its data folder.
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", (Paths::home() + QStringLiteral("/.local/share")).toUtf8());
        QDir(Paths::home() + QStringLiteral("/.local/share/Trash")).removeRecursively();
        m_folder = Paths::applicationSupportSubfolder(QStringLiteral("autosave"));
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder);
        const QDir fixtures(QStringLiteral(CRAWLMERE_FIXTURES "/saveddata"));
        for (const QString& name : fixtures.entryList({ QStringLiteral("*.plist"), QStringLiteral("*.PLIST") }))
            ASSERT_TRUE(QFile::copy(fixtures.filePath(name), m_folder + QLatin1Char('/') + name));
        m_defaults.setObject(QVariantList { QVariantMap { { "id", "20260301-101500-1" }, { "dateStamp", kKnownDate } },
                                 QVariantMap { { "id", "20260301-101500-2" }, { "dateStamp", kArchivedDate } } },
            QStringLiteral("websites"));
        m_manager.showManager();
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_oldDataHome); }

    int rowNamed(const QString& name) const
    {
        const auto& rows = m_manager.matches();
        for (int i = 0; i < rows.size(); ++i) {
            if (rows.at(i).value("selectedSiteName").toString() == name)
                return i;
        }
        return -1;
    }
    QString cell(int row, int column) const { return m_manager.mainTableView()->item(row, column)->text(); }

    QByteArray m_oldDataHome;
    QString m_folder;
    QTemporaryDir m_dir;
    UserDefaults m_defaults { m_dir.filePath(QStringLiteral("defaults.plist")) };
    WebtallyDataManager m_manager { m_defaults };
};

} // namespace

TEST_F(WebtallyDataManagerTest, ListsEachPlistFileWithItsSiteDateAndSize)
{
    // Five ".plist" files; "x.PLIST" is not one of them.
    ASSERT_EQ(m_manager.matches().size(), 5);
    EXPECT_EQ(m_manager.mainTableView()->rowCount(), 5);

    const struct {
        QString name;
        QDateTime date;
        QString file;
    } readable[] = {
        { "Known site", kKnownDate, "known.plist" }, // XML
        { "Binary site", WebtallyDataManager::referenceDate(), "binary.plist" }, // an id of no site
        { "Archived site", kArchivedDate, "archived.plist" }, // a keyed archive
    };
    for (const auto& expected : readable) {
        const int row = rowNamed(expected.name);
        ASSERT_GE(row, 0) << expected.name.toStdString();
        const QVariantMap& match = m_manager.matches().at(row);
        EXPECT_EQ(match.value("dateStamp").toDateTime(), expected.date) << expected.name.toStdString();
        EXPECT_EQ(match.value("fullPath").toString(), m_folder + QLatin1Char('/') + expected.file);
        EXPECT_EQ(match.value("size").toLongLong(), QFileInfo(match.value("fullPath").toString()).size());
        EXPECT_EQ(cell(row, 2), WebtallyDataManager::stringFromDate(expected.date));
        EXPECT_EQ(cell(row, 3), WebtallyDataManager::formatFileSize(match.value("size").toDouble()));
    }
    EXPECT_TRUE(cell(rowNamed("Binary site"), 2).contains(QStringLiteral("19")));

    // The unreadable file and the one without an id give rows with their date only.
    const int dateOnly = rowNamed(QString());
    ASSERT_GE(dateOnly, 0);
    for (int row = 0; row < 5; ++row) {
        const QVariantMap& match = m_manager.matches().at(row);
        if (match.contains("selectedSiteName"))
            continue;
        EXPECT_EQ(match.keys(), QStringList { "dateStamp" });
        EXPECT_EQ(match.value("dateStamp").toDateTime(), WebtallyDataManager::referenceDate());
        EXPECT_TRUE(cell(row, 1).isEmpty());
        EXPECT_TRUE(cell(row, 3).isEmpty());
    }

    m_manager.sortDescriptorsDidChange(3, Qt::DescendingOrder);
    EXPECT_EQ(m_manager.matches().first().value("selectedSiteName").toString(), "Known site");
    m_manager.sortDescriptorsDidChange(2, Qt::AscendingOrder);
    EXPECT_EQ(m_manager.matches().last().value("selectedSiteName").toString(), "Known site");
    EXPECT_EQ(cell(4, 1), "Known site");
}

TEST_F(WebtallyDataManagerTest, SizesUseDecimalUnitsAboveEachLimit)
{
    const std::pair<double, QString> sizes[] = { { 999, "999 bytes" }, { 1000, "1000 bytes" }, { 1001, "1.0 kb" },
        { 1000000, "1000.0 kb" }, { 1500000, "1.5 Mb" }, { 2500000000.0, "2.5 Gb" } };
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(WebtallyDataManager::formatFileSize(bytes), text) << bytes;
}

TEST_F(WebtallyDataManagerTest, TheButtonTrashesAltDeletesAndAnOutOfRangeTagDoesNothing)
{
    for (const int tag : { -1, 5, 99 })
        m_manager.tableViewNewDeleteMatchAction(tag, Qt::AltModifier);
    EXPECT_EQ(m_manager.matches().size(), 5);
    EXPECT_EQ(m_manager.lastSelectedRow(), -1);

    // A row without a file stays.
    const int dateOnly = rowNamed(QString());
    m_manager.tableViewNewDeleteMatchAction(dateOnly, {});
    EXPECT_EQ(m_manager.matches().size(), 5);

    // The row's own button, without a modifier: to the trash.
    const QString trash = Paths::home() + QStringLiteral("/.local/share/Trash");
    auto* button = qobject_cast<QToolButton*>(m_manager.mainTableView()->cellWidget(rowNamed("Known site"), 0));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(rowNamed("Known site"), -1);
    EXPECT_FALSE(QFile::exists(m_folder + QStringLiteral("/known.plist")));
    EXPECT_TRUE(QFile::exists(trash + QStringLiteral("/files/known.plist")));
    EXPECT_TRUE(QFile::exists(trash + QStringLiteral("/info/known.plist.trashinfo")));

    // With Alt: gone, not in the trash.
    m_manager.tableViewNewDeleteMatchAction(rowNamed("Binary site"), Qt::AltModifier);
    EXPECT_EQ(rowNamed("Binary site"), -1);
    EXPECT_FALSE(QFile::exists(m_folder + QStringLiteral("/binary.plist")));
    EXPECT_FALSE(QFile::exists(trash + QStringLiteral("/files/binary.plist")));
    EXPECT_EQ(m_manager.matches().size(), 3);
    EXPECT_EQ(m_manager.mainTableView()->rowCount(), 3);
}
