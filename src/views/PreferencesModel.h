// The preferences window without a display: its tabs, the application default each control
// edits, how a value is shown and stored, and what else a change asks of the window.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::views {

/// How a preference is shown and stored.
enum class PreferenceKind {
    Check, ///< a checkbox; stored as a boolean (or as 0/1 where the default is an integer)
    Choice, ///< a pop-up of titled integer values; stored as an integer
    Number, ///< an integer field within [minimum, maximum]; stored as an integer
    Seconds, ///< a number of seconds within [minimum, maximum]; stored as a real
    Text, ///< one line of text; stored as a string
    Lines, ///< text of several lines; stored as a string
};

/// What a stored change asks of the window beyond the store.
enum class PreferenceEffect {
    None,
    /// The result views show the value in their rows (labels, status texts, page titles): they
    /// reload.
    ReloadResultViews,
    /// The site list's row height and thumbnails (`IconSizeCallback:`).
    SiteListIconSize,
    /// What the Sitemap tab lists and shows (its check boxes, its rows and counts), and so what
    /// an export of it writes.
    ReloadSitemap,
    /// A value that sites without their own take: the settings pane shows the shown site's
    /// scan values again.
    ShownSiteSettings,
};

struct PreferenceChoice {
    QString title;
    qint64 value = 0;
};

/// One control of the window. `key` is the default it edits and the control's objectName.
struct Preference {
    QString key;
    PreferenceKind kind = PreferenceKind::Check;
    QString label;
    QList<PreferenceChoice> choices; ///< `Choice` only, in the pop-up's order
    qint64 minimum = 0; ///< `Number` and `Seconds`
    qint64 maximum = 0;
    PreferenceEffect effect = PreferenceEffect::None;
    /// The help topic of the "?" beside the control ("verbosity:"), or empty.
    QString helpTopic;
};

/// One tab: `identifier` is the tab view's identifier of the item ("3" the sitemap tab).
struct PreferencePage {
    QString identifier;
    QString objectName;
    QString label;
    QList<Preference> preferences;
};

/// The values behind the window, read from and written to one defaults store at once, so that
/// whatever reads a default sees a change as soon as the control changes. The registered
/// default stands for a key the user never set; a crawl setting reads as the scan reads the
/// application's value (`effectiveSettingValue`: its default when absent or below its range).
/// Main thread; `defaults` must outlive the model.
class PreferencesModel {
public:
    /// The identifier of the sitemap tab (`selectPrefsSitemapTabView:`).
    static inline const QString kSitemapTab = QStringLiteral("3");

    explicit PreferencesModel(platform::UserDefaults& defaults);

    /// The tabs in their order. The spelling, SEO, validation and reports tabs of the full
    /// product are not offered by this build and are never among them, nor is the text
    /// content tab's choice of what a search reads (this build has no page search).
    static const QList<PreferencePage>& pages();
    /// The control of `key`, or null.
    static const Preference* preference(const QString& key);

    /// The value a control shows, of the kind's type: bool, qint64, double or QString. An
    /// integer outside a `Number`'s range is clamped into it.
    QVariant value(const Preference& preference) const;
    /// Stores `value` (coerced to the kind's type; a number clamped into its range; a `Choice`
    /// value it does not offer is refused) unless it is what the control already shows.
    /// Answers whether the store changed.
    bool setValue(const Preference& preference, const QVariant& value);

private:
    QVariant storedOrDefault(const Preference& preference) const;

    platform::UserDefaults& m_defaults;
};

} // namespace crawlmere::views
