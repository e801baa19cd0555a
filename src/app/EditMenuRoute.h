// What each Edit menu item does with the widget that has the keyboard, decided without a display.
#pragma once

namespace crawlmere::app {

enum class EditCommand { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };

/// What the focused widget is and what it holds, as the window reads it just before it asks.
struct EditFocus {
    enum class Kind { None, Text, ItemView, Other };
    Kind kind = Kind::None;
    // A text field or text view.
    bool editable = false;
    /// A password field: its text never leaves it.
    bool secret = false;
    bool hasSelection = false;
    bool hasText = false;
    bool undoAvailable = false;
    bool redoAvailable = false;
    bool clipboardHasText = false;
    // An item view: `hasSelection` above, and whether more than one row can be selected.
    bool multipleSelection = false;
    int rows = 0;
};

/// How an Edit item acts: never by handing a key back to the widget, so an item can never end
/// up calling itself.
enum class EditStep {
    /// Disabled: the focused widget cannot do it (nothing focused, a button, a view's Cut).
    Nothing,
    /// The text widget's own operation of the same name.
    Text,
    /// The view copies its selected rows (a result view through its own Copy).
    CopyRows,
    /// The view selects every row.
    SelectAllRows,
};

/// The step of `command` for `focus`; `EditStep::Nothing` is also the item's disabled state.
EditStep editStep(EditCommand command, const EditFocus& focus);

} // namespace crawlmere::app
