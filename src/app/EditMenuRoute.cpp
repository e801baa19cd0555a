// What each Edit menu item does with the widget that has the keyboard.
#include "app/EditMenuRoute.h"

namespace crawlmere::app {

namespace {

EditStep textStep(EditCommand command, const EditFocus& focus)
{
    bool can = false;
    switch (command) {
    case EditCommand::Undo:
        can = focus.editable && focus.undoAvailable;
        break;
    case EditCommand::Redo:
        can = focus.editable && focus.redoAvailable;
        break;
    case EditCommand::Cut:
        can = focus.editable && focus.hasSelection && !focus.secret;
        break;
    case EditCommand::Copy:
        can = focus.hasSelection && !focus.secret;
        break;
    case EditCommand::Paste:
        can = focus.editable && focus.clipboardHasText;
        break;
    case EditCommand::Delete:
        can = focus.editable && focus.hasSelection;
        break;
    case EditCommand::SelectAll:
        can = focus.hasText;
        break;
    }
    return can ? EditStep::Text : EditStep::Nothing;
}

EditStep viewStep(EditCommand command, const EditFocus& focus)
{
    switch (command) {
    case EditCommand::Copy:
        return focus.hasSelection ? EditStep::CopyRows : EditStep::Nothing;
    case EditCommand::SelectAll:
        return focus.multipleSelection && focus.rows > 0 ? EditStep::SelectAllRows : EditStep::Nothing;
    case EditCommand::Undo:
    case EditCommand::Redo:
    case EditCommand::Cut:
    case EditCommand::Paste:
    case EditCommand::Delete:
        // A row is removed by its list's own button or key, which asks first.
        return EditStep::Nothing;
    }
    return EditStep::Nothing;
}

} // namespace

EditStep editStep(EditCommand command, const EditFocus& focus)
{
    switch (focus.kind) {
    case EditFocus::Kind::Text:
        return textStep(command, focus);
    case EditFocus::Kind::ItemView:
        return viewStep(command, focus);
    case EditFocus::Kind::None:
    case EditFocus::Kind::Other:
        return EditStep::Nothing;
    }
    return EditStep::Nothing;
}

} // namespace crawlmere::app
