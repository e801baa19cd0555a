// The binding of the settings pane: which site key each control edits and how it is shown and
// stored.
#pragma once

#include <QList>
#include <QString>

namespace crawlmere::settings {

/// How a control shows and stores its key. Every control is set whenever a site is shown: a key
/// the site lacks shows its default (the crawl default, else the registered default). A control
/// the user left as it was shown stores nothing, so a site keeps exactly the keys it held.
enum class BindingKind {
    StartingUrl, ///< text field; stored when it has a text
    Check, ///< checkbox; stored as a boolean
    CheckOrDefault, ///< checkbox; stored as a boolean
    InvertedCheck, ///< checkbox on when the value is NO; stored inverted
    TextOrDefault, ///< text field; stored when it has a text
    Text, ///< text field; stored when it has a text
    Limit, ///< integer field; the site's value when above 0, else the default; stored only above 0
    NonZeroInteger, ///< integer field; stored when not 0
    Seconds, ///< decimal field (seconds, tenths kept); stored as a real when not 0
    Threads, ///< slider with its label; stored when not 0
    Language, ///< pop-up; the item with that title; stored when an item is selected
    Status, ///< text shown ("" when absent), never stored
};

struct BindingRow {
    QString key;
    BindingKind kind;
};

/// The 38 bound keys in the pane's order. Each control's objectName is its key, except the
/// language pop-up, which is "languages".
const QList<BindingRow>& settingsBindingTable();

} // namespace crawlmere::settings
