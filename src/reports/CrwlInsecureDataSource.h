// The insecure-content list of a scan of a secure site: a two-level outline (an item per page and
// kind, its second URLs below) and its flat CSV and HTML exports.
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct InsecureContentRecord;

namespace crawlmere::reports {

/// Holds a copy of the hub's `insecureList` and answers the outline and the exports from it.
/// An outline node is the root, an item (its index) or a second URL (item and child index).
/// Kinds: 0 links to insecure internal pages, 1 mixed content, 2 a redirect to an insecure
/// internal page, 3 an insecure canonical; another kind has empty texts.
///
/// Threads: main thread only.
class CrwlInsecureDataSource {
public:
    struct Node {
        qsizetype item = -1; ///< -1 for the root
        qsizetype child = -1; ///< -1 for the item itself
        bool isRoot() const { return item < 0; }
        bool isItem() const { return item >= 0 && child < 0; }
    };
    /// Asks the user for a file of the type ("csv" or "html"); "" when cancelled.
    using SavePanel = std::function<QString(const QString& fileType)>;
    using Beep = std::function<void()>;
    /// Shows why saving to a path failed (the save panel's alert).
    using SaveFailed = std::function<void(const QString& path, const QString& reason)>;

    CrwlInsecureDataSource();
    ~CrwlInsecureDataSource();

    /// clear: no items.
    void clear();
    /// setCollection: the hub's list, copied.
    void setCollection(const QList<InsecureContentRecord>& items);
    /// Refills from the hub's list when this is empty and the list is not, or when the views need
    /// a refresh; answers whether it refilled. The shell calls it before showing the window.
    bool populateIfNotPopulated(const QList<InsecureContentRecord>& hubList, bool viewsRequireRefresh);
    qsizetype getCount() const;
    const QList<InsecureContentRecord>& getCollection() const;

    /// The outline's children of a node: the items under the root, an item's second URLs, none
    /// under a second URL or a node that does not exist.
    qsizetype numberOfChildren(Node node) const;
    bool isItemExpandable(Node node) const { return node.isItem(); }
    /// "linkurl": the item's URL or the second URL; "comment": the kind's text for an item, ""
    /// for a second URL; "" for other columns and missing nodes.
    QString objectValue(const QString& column, Node node) const;

    static QString commentForKind(int kind);
    static QString exportDescriptionForKind(int kind);

    /// One line per second URL after the header line; quotes inside values follow
    /// `csvQuoteEscapeOption`. Nothing when there are no items.
    std::optional<QString> getInsecureAsFlatCSV() const;
    /// The same rows as an HTML table, text and attributes escaped.
    QString getInsecureAsFlatHTML() const;

    /// exportInsecureAsFlatCSVMenuItem: / exportInsecureAsFlatHTMLMenuItem: beep when there are
    /// no items; otherwise build the text, ask `savePanel` for a path and write it atomically in
    /// UTF-8 (a failure is logged at verbosity 1 and handed to `failed`). Answers whether a file
    /// was written.
    bool exportInsecureAsFlatCSV(const SavePanel& savePanel, const Beep& beep, const SaveFailed& failed = {}) const;
    bool exportInsecureAsFlatHTML(const SavePanel& savePanel, const Beep& beep, const SaveFailed& failed = {}) const;

private:
    bool save(const QString& text, const QString& fileType, const SavePanel& savePanel, const SaveFailed& failed) const;

    QList<InsecureContentRecord> collection;
};

} // namespace crawlmere::reports
