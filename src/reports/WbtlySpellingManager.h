// The spelling results of a scan: the pages with misspelled words (by-page table), the misspelled
// words with their pages (by-word outline), the actions on them and their CSV and HTML exports.
#pragma once

#include "engine/EngineSEOService.h"
#include "engine/OutlineView.h"
#include "engine/qfDataSource.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CrwlUrl;

namespace crawlmere::platform {
class SavePanel;
class SpellChecker;
class UrlOpener;
} // namespace crawlmere::platform

namespace crawlmere::reports {

class MisspelledWordItem;
class SpellingCountUpdator;
class SpellingDialogue;

/// The display-free model and controller of the spelling tab. Its collection holds the scan's
/// internal pages (`CrwlUrl`); the by-page list (the table's rows) holds those with a spelling
/// count above 0 that are not reviewed, sorted by the table's sort descriptors at every request.
/// The outline's rows are word items (`MisspelledWordItem`, one per dictionary key, in
/// case-insensitive order) and, below an expanded word, its pages.
///
/// Lifetimes: the table, the outline and every service must outlive the manager; whoever owns the
/// outline sets the manager as its source. Threads: main thread only. The recount changes pages'
/// counts on its own thread; the manager reads them only while rebuilding the by-page list.
class WbtlySpellingManager final : public qfDataSource, public OutlineView::Source {
public:
    using MisspelledWordDictionary = EngineSEOService::MisspelledWordDictionary;

    /// What the manager uses outside itself; any member may be null (its actions then do nothing).
    struct Services {
        SpellingDialogue* theSpellingDialogue = nullptr;
        SpellingCountUpdator* spellingUpdator = nullptr;
        platform::SpellChecker* spellChecker = nullptr;
        platform::UrlOpener* urlOpener = nullptr;
        platform::SavePanel* savePanel = nullptr;
        /// toClip: puts one plain string on the pasteboard.
        std::function<void(const QString&)> toClip;
        std::function<void()> beep;
        /// userDictionaryManager: opens the user dictionary window.
        std::function<void()> openUserDictionary;
        /// The status field's progress bar (0 to 1) during the by-word exports.
        std::function<void(float)> setProportion;
    };

    /// `spellingTableView` is the by-page table (also the table whose sort `clear` resets),
    /// `misspelledWordOutlineView` the by-word outline; its outline column holds the indents.
    WbtlySpellingManager(TableView& spellingTableView, OutlineView& misspelledWordOutlineView, Services services);
    ~WbtlySpellingManager() override;

    // ---- Population and state ------------------------------------------------------------------

    /// clear: drops the pages, both lists and the dictionary, empties both sort orders, reloads.
    void clear() override;
    /// setCollection: the pages; drops the by-page list.
    void setCollection(QList<Item> pages);
    /// setMisspelledWordDictionary: keeps a copy (the page lists are copied too) and drops the
    /// word list.
    void setMisspelledWordDictionary(const MisspelledWordDictionary& dictionary);
    const MisspelledWordDictionary& getMisspelledWordDictionary() const { return misspelledWordDictionary; }
    /// getSpellingCollection: the by-page list, rebuilt when dropped, sorted.
    const QList<Item>& getSpellingCollection();
    const QList<Item>& getSortedAndFilteredArray() override { return getSpellingCollection(); }
    void clearSpellingCollection() { spellingCollection.reset(); }
    /// updateMisspelledWordsSortArray: the word list from the dictionary's keys, case-insensitive order.
    void updateMisspelledWordsSortArray();
    /// reloadData: the outline, then the by-page table.
    void reloadData();
    /// dataAvailableForSitemap: the by-page table has a row.
    bool dataAvailableForSitemap() { return numberOfRowsInTableView(m_spellingTableView) > 0; }
    /// getBadSpellingShortSummary: the pages now in the by-page list (0 while it is dropped).
    QString getBadSpellingShortSummary() const;
    /// spellingRunnerDidFinish: a recount ended; the by-page list is rebuilt and both views reloaded.
    void spellingRunnerDidFinish();

    /// The spelling tab view's selected tab: "0" by page, "1" by word.
    void selectTab(const QString& identifier) { m_selectedTab = identifier; }
    QString selectedTabIdentifier() const { return m_selectedTab; }
    /// The by-page table's selected row, -1 for none; the table widget keeps it current.
    void setSelectedPageRow(qsizetype row) { m_selectedPageRow = row; }
    qsizetype selectedPageRow() const { return m_selectedPageRow; }

    // ---- By-page table -------------------------------------------------------------------------

    /// tableView:sortDescriptorsDidChange: — with descriptors, re-sorts the list and reloads.
    void tableViewSortDescriptorsDidChange(TableView& table) override;

    // ---- By-word outline -----------------------------------------------------------------------

    qsizetype outlineNumberOfChildren(OutlineView& view, const Item& item) override;
    Item outlineChild(OutlineView& view, qsizetype index, const Item& item) override;
    bool outlineIsItemExpandable(OutlineView& view, const Item& item) override;
    /// outlineView:objectValueForTableColumn:byItem: — a word row: "duffword" the word, "url"
    /// "occurs on 1 page" or "occurs on %i pages"; a page row: "url" its absolute URL; else "".
    QString outlineObjectValue(OutlineView& view, const QString& column, const Item& item);

    // ---- Actions -------------------------------------------------------------------------------

    /// spellingDoubleClick: — opens the dialogue for the selected page ("0") or the selected page
    /// row with its word ("1"); a word row only logs. Remembers the page it opened for.
    void spellingDoubleClick();
    /// learnAllSelected: — the selected word rows, in row order, are learned and leave the findings.
    void learnAllSelected();
    /// RemoveWithoutLearning: — the selected word rows leave the findings, unlearned.
    void RemoveWithoutLearning();
    void expandAllButton();
    void collapseAllButton();
    void copyURLInSpellingView();
    void copyWordInSpellingView();
    void visitURLInSpellingView();
    /// visitLink: — opens the page's URL (percent-escaped when needed); nothing for an invalid one.
    void visitLink(const CrwlUrl& page);
    void userDictionaryManager();

    /// spellingDiallogDidLearnWord: — the word's pages go to the recount, its entry (lower-cased)
    /// leaves the dictionary, the word list is rebuilt and the outline reloaded. Null: logged only.
    void spellingDiallogDidLearnWord(const std::optional<QString>& word);
    /// spellingDiallogDidFinishReviewing: with `removeWhenSpellingReviewed` on, the page the
    /// dialogue was last opened for is marked reviewed and the by-page list dropped.
    void spellingDiallogDidFinishReviewing();

    // ---- Exports (WbtlySpellingManagerExports.cpp) --------------------------------------------

    /// exportSpellingAsCSVMenuItem: / exportSpellingAsHTMLMenuItem: — the selected tab's export.
    void exportSpellingAsCSVMenuItem();
    void exportSpellingAsHTMLMenuItem();
    /// exportSpellingAsCSV: / exportSpellingAsHTML: — the by-page table, every column (hidden too).
    void exportSpellingAsCSV();
    void exportSpellingAsHTML();
    /// exportAsCSVFromOutlineView: / exportAsHTMLFromOutlineView: — a beep for an empty outline.
    void exportAsCSVFromOutlineView(OutlineView& outline);
    void exportAsHTMLFromOutlineView(OutlineView& outline);

    /// The by-page texts, as the two exports save them.
    QString getSpellingAsCSV();
    QString getSpellingAsHTML();
    /// getDataAsCSVusingOutlineView:flatten: — the rows shown, visible columns; flattened, a page
    /// row repeats its word in the outline column; otherwise that field holds a tab first.
    QString getDataAsCSVusingOutlineView(OutlineView& outline, bool flatten = false);
    /// getDataAsCSVusingMisspelledWordOutlineViewAndFlattenAccordingToPreference: every word
    /// expanded, then the outline's CSV; nothing when the collection is empty.
    std::optional<QString> getDataAsCSVusingMisspelledWordOutlineViewAndFlattenAccordingToPreference();
    /// getDataAsHTMLusingOutlineView: — the table of the rows shown, every column (hidden too).
    QString getDataAsHTMLusingOutlineView(OutlineView& outline);
    /// The page around an HTML table, titled `title`.
    static QString htmlPage(const QString& title, const QString& table);

private:
    /// The word item of a dictionary key, made once per key while the key is shown.
    Item wordItem(const QString& word);
    void progress(float proportion) const;
    void save(const QString& text, const QString& fileType, const QString& successFormat) const;
    /// The selected outline rows' word items, in row order.
    QList<std::shared_ptr<MisspelledWordItem>> selectedWords();
    void removeSelectedWords(bool learn);

    TableView& m_spellingTableView;
    OutlineView& m_outline;
    Services m_services;
    MisspelledWordDictionary misspelledWordDictionary;
    std::optional<QStringList> misspelledWordSortArray;
    std::optional<QList<Item>> spellingCollection;
    std::optional<QList<SortDescriptor>> m_sortedBy; ///< the order `spellingCollection` is in
    QHash<QString, Item> m_wordItems;
    QString m_selectedTab = QStringLiteral("0");
    qsizetype m_selectedPageRow = -1;
    /// The page the dialogue was last opened for; a review's end marks this page.
    std::weak_ptr<CrwlUrl> m_pageUnderReview;
};

} // namespace crawlmere::reports
