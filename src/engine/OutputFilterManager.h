// Output filters: a list of rules on a page's URL or content, combined by "all" or "any", that
// the crawl uses as an override letting blacklisted pages be followed.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>

#include <concepts>
#include <functional>
#include <optional>

namespace crawlmere::platform {
class UserDefaults;
}

/// Keeps the filter rules and decides whether a URL passes them.
///
/// A rule is a QVariantMap with up to four keys (values in their property-list form):
/// - `mipContainsScope`  integer: 0 tests the URL, 1 tests the content;
/// - `mipContainsOrNot`  integer (boolean): 1 "does", 0 "does not";
/// - `mipContainsMethod` integer: 0 plain case-sensitive substring, 1 regular expression
///                       (case-insensitive); any other value always complies;
/// - `mipContains`       string: the text or the pattern.
///
/// Two kinds of instance exist. The interface's instance loads its list from the store
/// (`awakeFromNib`), is edited through `addRuleFromDefaults`, `removeRule` and `clearRules`,
/// and keeps the list under `mipFilterRules`. The crawl coordinator makes one per scan and fills
/// it with `implementRules`; that list is never stored.
///
/// Defaults read: `mipFilter` (filters on), `mipContainsAndOr` (0 all rules, 1 any rule),
/// `mipFilterRules`, and the four rule keys (the new-rule form edits them in the store).
/// Main thread only.
class OutputFilterManager {
public:
    /// The store must outlive the manager.
    explicit OutputFilterManager(crawlmere::platform::UserDefaults& defaults);
    /// A manager on the application's store.
    OutputFilterManager();

    OutputFilterManager(const OutputFilterManager&) = delete;
    OutputFilterManager& operator=(const OutputFilterManager&) = delete;

    /// Called by the view layer wherever the rule table has to reload (after a rule is added or
    /// removed and after the list is cleared).
    void setReloadHandler(std::function<void()> reload);

    /// awakeFromNib: the list becomes the rules stored under `mipFilterRules`, in order (an
    /// empty list when none are stored). The interface's instance calls it once after it is made.
    void awakeFromNib();

    // --- Applying the rules ---

    /// shouldWeScrapeThisstrUrlBasedOnCurrentRules: the whole list applied to a URL string.
    /// YES when `mipFilter` is off or there are no rules. Otherwise the rules with a non-empty
    /// text that comply (content rules see the empty string) are counted: `mipContainsAndOr` 1
    /// needs one, 0 needs every rule of the list (rules without a text included, so such a rule
    /// fails every URL), any other value passes.
    bool shouldWeScrapeThisstrUrlBasedOnCurrentRules(const QString& url) const;
    /// shouldWeScrapeThisUrlBasedOnCurrentRules: the same for a URL's absolute string.
    bool shouldWeScrapeThisUrlBasedOnCurrentRules(const QString& absoluteString) const
    {
        return shouldWeScrapeThisstrUrlBasedOnCurrentRules(absoluteString);
    }
    /// shouldWeScrapeThisUrlBasedOnCurrentRules: the same for a URL object or a URL record
    /// (crawlmere::platform::Url, CrwlUrl): the list applied to its absolute string.
    template <typename UrlObject>
    requires requires(const UrlObject& url)
    {
        {
            url.absoluteString()
            } -> std::convertible_to<QString>;
    }
    bool shouldWeScrapeThisUrlBasedOnCurrentRules(const UrlObject& url) const
    {
        return shouldWeScrapeThisstrUrlBasedOnCurrentRules(url.absoluteString());
    }

    /// url:andContent:compliesWithThisRule: whether one rule holds for a URL and its content.
    /// A content rule tests `content`, or the URL when `content` is null. A rule without a text
    /// finds nothing, so it complies exactly when it says "does not".
    bool urlAndContentCompliesWithThisRule(const QString& url, const QString& content, const QVariantMap& rule) const;

    /// oneRuleRequiresContent: some rule tests the content (scope 1).
    bool oneRuleRequiresContent() const;

    // --- The rule list ---

    /// implementRules: the list becomes a copy of `rules`. Elements that are not dictionaries
    /// count as rules without any key.
    void implementRules(const QVariantList& rules);
    /// getArray: the rules, or an empty list when there are none.
    QVariantList getArray() const;
    /// synchroniseRules: stores the list under `mipFilterRules` (removes the key when the list
    /// was cleared and nothing has been added since).
    void synchroniseRules();
    /// clearRules: drops the list, removes `mipFilterRules` from the store and reloads the table.
    /// No empty list is stored.
    void clearRules();
    /// addRuleFromDefaults: appends the rule made of those of the four rule keys that the store
    /// holds, logs it, reloads the table and stores the list.
    void addRuleFromDefaults();
    /// The values beginNewDialog: puts into the store before the new-rule form opens:
    /// URL, "does", plain contain, empty text.
    void setNewRuleDefaults();
    /// The removal of deleteSelectedRule: after the user confirmed: removes the rule at `index`
    /// and every rule equal to it, reloads the table and stores the list. False (nothing
    /// changed; the action beeps) when `index` is not a row of the list.
    bool removeRule(qsizetype index);

    // --- Table data source ---

    /// numberOfRowsInTableView: for the rule table: the number of rules.
    qsizetype numberOfRows() const;
    /// tableView:objectValueForTableColumn:row: for the rule table: the sentence of the rule at
    /// `row`, or "" when there is no such row.
    QString sentenceForRow(qsizetype row) const;

    /// sentenceFromRule: "Content "/"URL ", "does "/"does not ", "match Regex: "/"contain: ",
    /// then the text; each part only when its key is present. "URL does contain: blog".
    static QString sentenceFromRule(const QVariantMap& rule);

    // --- The manager's own term matching ---

    /// string:containsOneOfTheseTerms:isRegex: as the crawl's rule-list matcher, except that
    /// without `isRegex` every term is tried, however short. Empty when nothing matched.
    static QStringList stringContainsOneOfTheseTerms(QStringView string, const QStringList& terms, bool isRegex);
    /// applyRegex:toString: exactly as CrwlPatternMatcher::applyRegex.
    static QStringList applyRegex(const QString& pattern, QStringView string);

private:
    static QVariantMap ruleAt(const QVariantList& rules, qsizetype index);

    crawlmere::platform::UserDefaults& m_defaults;
    std::optional<QVariantList> collection; // null until loaded or filled, and after clearRules
    std::function<void()> m_reload;
};
