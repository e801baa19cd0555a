// The help topics: each help button's action, the title it leaves as the help context and the
// text it shows, plus the settings controls that carry a help button.
#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace crawlmere::app {

/// What a topic action does.
enum class ManualTopicKind {
    Text, ///< shows its text in the help popover and becomes the help context
    Article, ///< opens the authentication article in the browser; shows nothing
    Nothing, ///< does nothing at all
};

/// One topic. `action` is the help button's action name as written in the topic list
/// ("aboveDomain:"); `title` and `text` are English and empty for kinds other than `Text`.
struct ManualTopic {
    const char* action;
    ManualTopicKind kind;
    const char* title;
    const char* text;
    /// False for the one text shown as written, without the localisation lookup.
    bool localised = true;
};

/// The 64 topics in their fixed order. Built once; any thread.
const std::vector<ManualTopic>& manualTopics();

/// The topic of `action` ("threads:"), or null for an unknown action.
const ManualTopic* manualTopic(QStringView action);

/// The text a `Text` topic shows: looked up in the localisation tables (context "Manual", the
/// English text as key, the English text when there is no entry), except the unlocalised one.
QString manualTopicText(const ManualTopic& topic);

/// A help button of the settings pane: the objectName of the control it stands beside and the
/// topic action it sends.
struct SettingsHelpAnchor {
    QString controlName;
    const char* action;
};

/// The settings pane's help buttons. A control that is hidden when the buttons are installed gets
/// none (spelling, PDF reading and JavaScript in this build).
const std::vector<SettingsHelpAnchor>& settingsHelpAnchors();

} // namespace crawlmere::app
