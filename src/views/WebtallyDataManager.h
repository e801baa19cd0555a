// The saved-data manager: a window listing the per-site data files of the autosave folder, each
// with its site's name and last-scan date and the file's size, that moves a file to the trash
// or deletes it.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QProgressBar;
class QTableWidget;
class QWidget;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::views {

/// A data file is a property-list dictionary (XML or binary), or a keyed archive of one, that
/// holds "selectedSiteName" and "selectedSiteID". Rows are dictionaries with "dateStamp" (the
/// site's "dateStamp" in the defaults' `websites`, else 1 January 1970 UTC) and, for a readable
/// file, "selectedSiteName", "selectedSiteID", "fullPath" and "size" (bytes). The window
/// (`mainWindow`, with `mainTableView` and `progIndicator`) is made hidden with the manager and
/// goes with it. `websites` is read at the first date lookup and kept. Main thread only;
/// `defaults` must outlive the manager.
class WebtallyDataManager final : public QObject {
    Q_OBJECT
public:
    /// Column identifiers of the table, in order.
    static inline const QStringList kColumns { QStringLiteral("delete"), QStringLiteral("name"),
        QStringLiteral("dateStamp"), QStringLiteral("size") };

    /// `createAutosaveFolder` answers the folder of the data files (made when missing); unset,
    /// it is "autosave" in the application-support folder.
    explicit WebtallyDataManager(platform::UserDefaults& defaults, std::function<QString()> createAutosaveFolder = {});
    ~WebtallyDataManager() override;

    QWidget* mainWindow() const { return m_window.get(); }
    QTableWidget* mainTableView() const { return m_table; }
    /// The rows in display order.
    const QList<QVariantMap>& matches() const { return m_matches; }

    /// Shows the window and lists the folder's files whose extension is exactly "plist"; a file
    /// that cannot be read, or lacks either key, gives a row with its date only.
    void showManager();
    /// The row data of one file, or nothing (logged) when it cannot be read or lacks a key.
    static std::optional<QVariantMap> getDictionaryAboutFile(const QString& fileName, const QString& folder);
    /// "dateStamp" of the first site in `websites` whose "id" is `siteID`.
    std::optional<QDateTime> getDateStampForSiteID(const QString& siteID);
    /// The date in local time, medium date and short time.
    static QString stringFromDate(const QDateTime& date);
    /// Decimal units, strict comparisons: "%.1f Gb" above 10^9, "%.1f Mb" above 10^6, "%.1f kb"
    /// above 1000, else "%.0f bytes".
    static QString formatFileSize(double bytes);
    /// 1 January 1970 00:00:00 UTC, the date of a file whose site is unknown.
    static QDateTime referenceDate();

    /// Sorts the rows by a column (by name, date or size) and reloads the table.
    void sortDescriptorsDidChange(int column, Qt::SortOrder order);
    /// The delete button of row `tag`: with Alt held the file is deleted, else moved to the
    /// trash. A tag outside the rows does nothing.
    void tableViewNewDeleteMatchAction(int tag, Qt::KeyboardModifiers modifiers);
    /// Deletes the row's file; on success the row goes. Without a path: logged and a beep.
    bool permanentlyDeleteMatch(int row);
    /// Moves the row's file to the trash; on success the row goes.
    bool deleteMatch(int row);
    int lastSelectedRow() const { return m_lastSelectedRow; }

private:
    bool removeMatch(int row, bool toTrash);
    void reloadTable();

    platform::UserDefaults& m_defaults;
    std::function<QString()> m_createAutosaveFolder;
    std::unique_ptr<QWidget> m_window;
    QTableWidget* m_table = nullptr;
    QProgressBar* m_progIndicator = nullptr;
    QList<QVariantMap> m_matches;
    std::optional<QVariantList> m_websites;
    int m_lastSelectedRow = -1;
};

} // namespace crawlmere::views
