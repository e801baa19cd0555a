// The binding of the settings pane: which site key each control edits and how it is shown and
// stored.
#pragma once

#include <QList>
#include <QString>

namespace crawlmere::settings {

/// How a control shows and stores its key.
enum class BindingKind {
    StartingUrl, ///< text field; shown when present, stored when it has a text
    Check, ///< checkbox; shown when present, always stored
    CheckOrDefault, ///< checkbox; the site's value, else the crawl default; always stored
    InvertedCheck, ///< checkbox on when the value is NO; stored inverted
    TextOrDefault, ///< text field; the site's value, else the defaults store's, else the crawl default
    Text, ///< text field; shown when present, stored when it has a text
    Limit, ///< integer field; the site's value when above 0, else the default; stored only above 0
    NonZeroInteger, ///< integer field; shown when present, stored when not 0
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
