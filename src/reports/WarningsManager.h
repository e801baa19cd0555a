// The warnings table of a scan: the hub's warning list taken over under a total cap and a cap
// per kind of warning, filtered by type, kinds hidden on request, and summarised.
#pragma once

#include "engine/qfDataSource.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CrwlUrl;
struct HubWarningRecord;

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::reports {

class WarningInspectorOpener;
class WarningRecord;

/// The data source of the warnings table; its rows are `WarningRecord`s and its column
/// identifiers are record keys ("url", "warning", "type").
///
/// Caps, read from the defaults store at each addition: `warningsMaximumCount` records in all
/// (once reached, nothing more is recorded or counted) and `perWarningMaximumCount` per warning
/// key: a key yields at most that count minus one records, one log line is written when its
/// count reaches the cap exactly, and its count goes on rising.
///
/// Filter tags: 0 every record, 1 type 1, 3 type 3, any other tag type 2. "Rows" below are the
/// visible rows of the table.
///
/// Threads: main thread only. The defaults store must outlive the manager.
class WarningsManager final : public qfDataSource {
public:
    using Logger = std::function<void(const QString&)>;

    WarningsManager();
    explicit WarningsManager(platform::UserDefaults& defaults);
    ~WarningsManager() override;

    /// add:forUrl: one warning under the caps; a null page, a page without URL or a null text is
    /// logged and skipped.
    void add(const QString& warning, const std::shared_ptr<CrwlUrl>& page);
    using qfDataSource::add;
    /// setWarningsCollection: replaces the records and the per-key counts with the hub's list
    /// (filling twice holds what filling once holds), then reloads `table` when given.
    void setWarningsCollection(const QList<HubWarningRecord>& records, TableView* table = nullptr);
    /// Fills from the hub's list unless rows are held and the views need no refresh; an empty
    /// list changes nothing. Answers whether it filled. The shell calls it on the warnings tab and
    /// before the warnings exports.
    bool populateIfNotPopulated(const QList<HubWarningRecord>& hubList, bool viewsRequireRefresh, TableView* table = nullptr);
    /// clear: no records, no counts, filter tag 0. The shell calls it before every scan.
    void clear() override;

    void setFilterTag(int tag);
    int filterTag() const { return currentFilterTag; }
    /// filter: applies the filter tag to every record and reloads the table.
    void filter(TableView& table);
    bool getVisible(const WarningRecord& record) const;

    /// The row count; also decides whether the limit notice shows (`limitNoticeShown`).
    qsizetype numberOfRows(TableView& table);
    bool limitNoticeShown() const { return limitNotice; }
    /// The record's value at a column; the "warning" column is the text cleaned of its position
    /// part, and for texts starting "The link url", a sentence on where the link appears.
    QVariant tableViewObjectValue(TableView& table, const TableColumn& column, qsizetype row) override;
    int tableViewLabelColorForRow(TableView&, qsizetype) override { return 0; }

    /// The record of a row, or null.
    std::shared_ptr<WarningRecord> recordAtRow(qsizetype row);
    /// doubleClick: opens the warning inspector on the row's record (when it has a page); with
    /// no row (-1) logs "nothing selected".
    void doubleClick(qsizetype row);
    void setWarningInspectorOpener(std::shared_ptr<WarningInspectorOpener> opener);
    /// The "url" of a row for visit: and copyURL:; "" without a row or URL.
    QString urlOfRow(qsizetype row);
    /// removeTemporarily: hides the rows whose text contains the row's warning key until the next
    /// filter, sort or addition. removeUntilNextScan: drops those records. With no row, logs
    /// "nothing selected".
    void removeTemporarily(qsizetype row, TableView& table);
    void removeUntilNextScan(qsizetype row, TableView& table);

    /// The table as shown, as CSV.
    QString getWarningsAsCSV(TableView& table) { return getDataAsCSVUsingTableView(table); }
    /// The three most frequent warning keys, joined by ", " (equal counts in first-seen order);
    /// "" without warnings.
    QString getMostCommonErrors() const;
    /// The HTML fragment: heading, record count, the cap notice and the most common warnings
    /// (escaped).
    QString getWarningShortSummary() const;
    /// Occurrences per warning key in this scan.
    qint64 countForKey(const QString& key) const { return warningSummary.value(key); }
    qsizetype keyCount() const { return warningSummary.size(); }

    /// Where the per-key cap line goes (the log at verbosity 0 by default).
    void setLogger(Logger logger) { log = std::move(logger); }

private:
    void removeKind(qsizetype row, TableView& table, bool untilNextScan);

    platform::UserDefaults& defaults;
    QHash<QString, qint64> warningSummary;
    QStringList keysInArrival; // the keys of `warningSummary`, first seen first
    std::shared_ptr<WarningInspectorOpener> inspectorOpener;
    Logger log;
    int currentFilterTag = 0;
    bool limitNotice = false;
};

} // namespace crawlmere::reports
