// The main window's toolbar without widgets: which items it allows and starts with, what each
// item is, and the user's arrangement kept in the defaults.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

/// Who answers a toolbar item's press.
enum class ToolbarTarget {
    OwnButton, ///< the wrapped button's own action
    Delegate, ///< the application delegate
    ConfigManager, ///< the site settings controller
};

/// One item of the toolbar: the button it wraps (by objectName), its labels and its action.
struct ToolbarItem {
    QString identifier;
    QString button;
    QString label;
    /// Empty when the item has no palette label of its own.
    QString paletteLabel;
    ToolbarTarget target = ToolbarTarget::OwnButton;
    /// The operation pressed (empty for the button's own action).
    QString action;
};

/// The lists and items of the toolbar "CrawlmereMainToolBar", and its arrangement in the
/// defaults. Display-free; main thread only (it reads and writes the store).
class ToolbarConfiguration {
public:
    static inline const QString kToolbarIdentifier = QStringLiteral("CrawlmereMainToolBar");
    static inline const QString kFlexibleSpace = QStringLiteral("FlexibleSpace");
    static inline const QString kSpace = QStringLiteral("Space");
    /// The defaults key holding the user's arrangement: a list of item identifiers.
    static inline const QString kDefaultsKey = QStringLiteral("ToolbarConfiguration CrawlmereMainToolBar");

    /// toolbarAllowedItemIdentifiers: in palette order; empty for another toolbar.
    static QStringList allowedItemIdentifiers(const QString& toolbarIdentifier);
    /// toolbarDefaultItemIdentifiers: the first arrangement; empty for another toolbar.
    static QStringList defaultItemIdentifiers(const QString& toolbarIdentifier);
    /// The item made for `identifier`: nullopt for the two spaces and for any identifier that
    /// is not one of the six items.
    static std::optional<ToolbarItem> itemForItemIdentifier(const QString& identifier);
    static bool isSpace(const QString& identifier) { return identifier == kFlexibleSpace || identifier == kSpace; }

    /// `identifiers` with what the toolbar cannot show taken out: unknown identifiers and a
    /// second copy of an item (spaces may repeat). Order kept.
    static QStringList sanitized(const QStringList& identifiers);

    /// The arrangement kept in `defaults` (sanitized), or the default one when none is kept or
    /// the kept value is not a list of strings. An empty kept list is an empty toolbar.
    static QStringList savedItemIdentifiers(const platform::UserDefaults& defaults);
    /// Keeps `identifiers` (sanitized) as the arrangement.
    static void saveItemIdentifiers(platform::UserDefaults& defaults, const QStringList& identifiers);
};

} // namespace crawlmere::app
