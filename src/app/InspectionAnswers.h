// Answers to the inspection requests of the desktop test: widgets, views, menus and actions of
// the running program, found by objectName, as one line of JSON each.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class QObject;
class QWidget;

namespace crawlmere::app {

/// Reads the widget tree of the application's top-level widgets; never changes it apart from
/// scrolling a view to a row that `rowrect` asks about and giving the keyboard to the field that
/// `focus` names. One request is one line of words:
///
/// - `ping` → `{"ok":true,"pid":…,"busy":…}` with the program's process id; busy while work
///   the user waits for shows the busy cursor
/// - `widget NAME` → class, visible, enabled, global x/y/w/h, and where the widget has one:
///   text (line edits, buttons, labels, the status line, text views), checked, current (a tab
///   view's current index and its label as currentText), title (windows)
/// - `rows NAME [LIMIT]` → an item view's top-level row count, its visible column titles in
///   their visual order, and up to LIMIT (default 2000, at most 20000) rows depth-first, each
///   `{"d":depth,"c":[cell texts]}`; with a header, `spans` ([x, width] of each of those
///   columns in the viewport) and the `viewport`'s width
/// - `rowrect NAME ROW` → the global rectangle of a top-level row's first visible cell, after
///   scrolling it into view
/// - `tabrect NAME INDEX` → the global rectangle of a tab of a tab view
/// - `menu NAME` → the global rectangle of a menu's title in the menu bar, and whether its
///   popup is open
/// - `action NAME` → text, enabled, checked, visible, and the global rectangle of the action in
///   an open menu (`open` false when none shows it)
/// - `active` → the modal dialog, popup or active window (name, class, title, geometry)
/// - `windows` → the visible windows, each `{"name","class","title"}`
/// - `fields WINDOW` → the visible, enabled lists, tables and text fields of the window named
///   WINDOW in their order, each with its class, the nearest objectName (`name`), `text` (text
///   fields) or `rows` (views), `readOnly` and `secret`; and its visible tab views, each with
///   its tabs' global rectangles and labels (`tabs`: `{"current","rects":[…]}`)
/// - `focus WINDOW [INDEX]` → raises that window and gives the keyboard to its INDEX-th field
///   (without INDEX, to the window)
/// - `clipboard` → the clipboard's text
/// - `keys` → how many key releases the display has delivered (`released`), each counted once
///
/// NAME is an objectName, or `ANCESTOR>NAME` to look only inside the object named ANCESTOR.
/// A request that names nothing or is malformed answers `{"ok":false,"error":...}`. Main
/// thread only; needs a QApplication.
class InspectionAnswers {
public:
    /// The answer to one request line (without its line feed), as compact JSON and a line feed.
    static QByteArray answer(const QByteArray& request);

    /// The object named `name` (`ANCESTOR>NAME` allowed) among the top-level widgets and their
    /// descendants, visible windows first; null when there is none.
    static QObject* find(const QString& name);

    /// Counts a key release that the display delivered (the socket's event filter calls it).
    static void noteKeyReleased() { ++s_keysReleased; }

private:
    static QJsonObject answerWords(const QStringList& words);
    static QJsonObject describeWidget(QWidget* widget);
    static QJsonObject describeRows(QObject* object, int limit);
    static QJsonObject describeAction(const QString& name);
    static QJsonObject describeMenu(const QString& name);
    static QJsonObject describeActive();
    static QJsonObject describeFields(QWidget* window);
    static QJsonObject describeWindows();

    static inline qint64 s_keysReleased = 0;
};

} // namespace crawlmere::app
