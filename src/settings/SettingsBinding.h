// The binding of the settings pane: which site key each control edits, in the pane's order, and
// how it is shown and stored (the control the crawl-settings table gives the key).
#pragma once

#include <QList>
#include <QString>

namespace crawlmere::settings {

/// How a control shows and stores its key. Every control is set whenever a site is shown: a key
/// the site lacks shows what its scan uses (the application's value or the default). A control
/// the user left as it was shown stores nothing, so a site keeps exactly the keys it held.
enum class BindingKind {
    StartingUrl, ///< text field; stored when it has a text
    Check, ///< checkbox; stored as a boolean
    InvertedCheck, ///< checkbox on when the value is NO; stored inverted
    Text, ///< text field; stored when it has a text
    Limit, ///< integer field within the table's range; stored only above 0
    NonZeroInteger, ///< integer field within the table's range; stored when not 0
    Seconds, ///< decimal field (seconds, tenths kept) within the table's range; stored when not 0
    Threads, ///< slider over the table's range, with its label; stored when not 0
    Language, ///< pop-up; the item with that title; stored when an item is selected
    Status, ///< the site's last status line, shown read-only ("" when absent), never stored
};

struct BindingRow {
    QString key;
    BindingKind kind;
};

/// The bound keys in the pane's order: every crawl setting the table gives a control, and the
/// site's status line. Each control's objectName is its key, except the language pop-up, which
/// is "languages".
const QList<BindingRow>& settingsBindingTable();

} // namespace crawlmere::settings
