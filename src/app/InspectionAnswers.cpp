// Answers to the inspection requests of the desktop test.
#include "app/InspectionAnswers.h"

#include "app/StatusLineField.h"
#include "views/CutCells.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <optional>

namespace crawlmere::app {

namespace {

constexpr int kDefaultRowLimit = 2000;
constexpr int kMaxRowLimit = 20000;
/// Long texts (a console, a text view) are cut here.
constexpr qsizetype kMaxText = 100000;

QJsonObject failure(const QString& error) { return { { "ok", false }, { "error", error } }; }

void putRect(QJsonObject& out, const QRect& global)
{
    out.insert("x", global.x());
    out.insert("y", global.y());
    out.insert("w", global.width());
    out.insert("h", global.height());
}

QRect globalRect(const QWidget* widget, const QRect& local)
{
    return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

QObject* findIn(QObject* root, const QString& name)
{
    if (root->objectName() == name)
        return root;
    return root->findChild<QObject*>(name);
}

/// The top-level widgets, visible windows first, so a hidden copy of a name loses.
QList<QWidget*> topLevelsVisibleFirst()
{
    QList<QWidget*> visible;
    QList<QWidget*> hidden;
    for (QWidget* widget : QApplication::topLevelWidgets())
        (widget->isVisible() ? visible : hidden).append(widget);
    return visible + hidden;
}

std::optional<int> number(const QString& word)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

/// The visible columns of `view` in their visual order, as logical indexes.
QList<int> visibleColumns(const QAbstractItemView* view)
{
    QList<int> columns;
    const QAbstractItemModel* model = view->model();
    const auto* tree = qobject_cast<const QTreeView*>(view);
    const auto* table = qobject_cast<const QTableView*>(view);
    const int count = model->columnCount();
    for (int visual = 0; visual < count; ++visual) {
        const int logical = tree ? tree->header()->logicalIndex(visual)
            : table               ? table->horizontalHeader()->logicalIndex(visual)
                                  : visual;
        if (logical < 0 || (tree && tree->isColumnHidden(logical)) || (table && table->isColumnHidden(logical)))
            continue;
        columns << logical;
    }
    return columns;
}

/// The lists, tables and text fields of `window` that a user can give the keyboard to, in the
/// order of the widget tree (item editors and the text inside another field aside).
QList<QWidget*> focusableFields(QWidget* window)
{
    QList<QWidget*> fields;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisible() || !widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus)
            continue;
        const bool field = qobject_cast<QAbstractItemView*>(widget) || qobject_cast<QLineEdit*>(widget)
            || qobject_cast<QTextEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget);
        if (!field)
            continue;
        const QWidget* parent = widget->parentWidget();
        while (parent && parent != window && !qobject_cast<const QAbstractItemView*>(parent))
            parent = parent->parentWidget();
        if (parent && parent != window)
            continue;
        fields << widget;
    }
    return fields;
}

QString nearestName(const QWidget* widget)
{
    for (const QWidget* named = widget; named; named = named->parentWidget())
        if (!named->objectName().isEmpty() && !named->objectName().startsWith(u"qt_"))
            return named->objectName();
    return {};
}

} // namespace

QObject* InspectionAnswers::find(const QString& name)
{
    const qsizetype split = name.indexOf(u'>');
    const QString ancestorName = split < 0 ? QString() : name.left(split);
    const QString leaf = split < 0 ? name : name.mid(split + 1);
    if (leaf.isEmpty())
        return nullptr;
    for (QWidget* top : topLevelsVisibleFirst()) {
        QObject* scope = top;
        if (!ancestorName.isEmpty()) {
            scope = findIn(top, ancestorName);
            if (!scope)
                continue;
        }
        if (QObject* found = findIn(scope, leaf))
            return found;
    }
    return nullptr;
}

QByteArray InspectionAnswers::answer(const QByteArray& request)
{
    const QStringList words = QString::fromUtf8(request).trimmed().split(u' ', Qt::SkipEmptyParts);
    QJsonObject out = words.isEmpty() ? failure(QStringLiteral("empty request")) : answerWords(words);
    if (!out.contains("ok"))
        out.insert("ok", true);
    return QJsonDocument(out).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject InspectionAnswers::answerWords(const QStringList& words)
{
    const QString& verb = words.first();
    if (verb == u"ping")
        return { { "ok", true }, { "pid", QCoreApplication::applicationPid() },
            { "busy", QApplication::overrideCursor() != nullptr } };
    if (verb == u"active")
        return describeActive();
    if (verb == u"windows")
        return describeWindows();
    if (verb == u"keys")
        return { { "ok", true }, { "released", s_keysReleased } };
    if (verb == u"clipboard")
        return { { "ok", true }, { "text", QGuiApplication::clipboard()->text() } };
    if (words.size() < 2)
        return failure(QStringLiteral("a name is missing"));
    const QString& name = words.at(1);
    if (verb == u"action")
        return describeAction(name);
    if (verb == u"menu")
        return describeMenu(name);
    QObject* object = find(name);
    if (!object)
        return failure(QStringLiteral("no object named ") + name);
    auto* widget = qobject_cast<QWidget*>(object);
    if (verb == u"widget")
        return widget ? describeWidget(widget) : failure(QStringLiteral("not a widget"));
    if (verb == u"rows") {
        const std::optional<int> limit = words.size() > 2 ? number(words.at(2)) : kDefaultRowLimit;
        if (!limit || *limit < 0)
            return failure(QStringLiteral("bad row limit"));
        return describeRows(object, std::min(*limit, kMaxRowLimit));
    }
    // -1 when absent or not a number: no row or tab has it.
    const int index = (words.size() > 2 ? number(words.at(2)) : std::nullopt).value_or(-1);
    if (verb == u"rowrect") {
        auto* view = qobject_cast<QAbstractItemView*>(object);
        if (!view || !view->model() || index < 0 || index >= view->model()->rowCount())
            return failure(QStringLiteral("no such row"));
        const QList<int> columns = visibleColumns(view);
        const QModelIndex cell = view->model()->index(index, columns.isEmpty() ? 0 : columns.first());
        view->scrollTo(cell);
        QJsonObject out;
        putRect(out, globalRect(view->viewport(), view->visualRect(cell)));
        return out;
    }
    if (verb == u"fields" || verb == u"focus") {
        if (!widget || !widget->isWindow())
            return failure(QStringLiteral("not a window"));
        if (verb == u"fields")
            return describeFields(widget);
        const QList<QWidget*> fields = focusableFields(widget);
        if (words.size() > 2 && (index < 0 || index >= fields.size()))
            return failure(QStringLiteral("no such field"));
        widget->raise();
        widget->activateWindow();
        QWidget* field = words.size() > 2 ? fields.at(index) : widget;
        field->setFocus(Qt::OtherFocusReason);
        return describeWidget(field);
    }
    if (verb == u"tabrect") {
        auto* tabs = qobject_cast<QTabWidget*>(object);
        if (!tabs || index < 0 || index >= tabs->count())
            return failure(QStringLiteral("no such tab"));
        QJsonObject out { { "text", tabs->tabText(index) } };
        putRect(out, globalRect(tabs->tabBar(), tabs->tabBar()->tabRect(index)));
        return out;
    }
    return failure(QStringLiteral("unknown request ") + verb);
}

QJsonObject InspectionAnswers::describeWidget(QWidget* widget)
{
    QJsonObject out { { "class", QString::fromLatin1(widget->metaObject()->className()) },
        { "visible", widget->isVisible() }, { "enabled", widget->isEnabled() } };
    putRect(out, globalRect(widget, widget->rect()));
    if (widget->isWindow())
        out.insert("title", widget->windowTitle());
    QString text;
    bool hasText = true;
    if (auto* status = qobject_cast<StatusLineField*>(widget)) {
        text = status->text();
        out.insert("shown", status->shownText());
    } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        text = line->text();
        out.insert("shown", views::shownFieldText(*line));
    } else if (auto* label = qobject_cast<QLabel*>(widget))
        text = label->text();
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        text = combo->currentText();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
        text = plain->toPlainText();
        out.insert("tabStop", plain->tabStopDistance());
    } else if (auto* rich = qobject_cast<QTextEdit*>(widget))
        text = rich->toPlainText();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        text = button->text();
        if (button->isCheckable())
            out.insert("checked", button->isChecked());
    } else
        hasText = false;
    if (hasText)
        out.insert("text", text.left(kMaxText));
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        out.insert("current", tabs->currentIndex());
        out.insert("currentText", tabs->tabText(tabs->currentIndex()));
        out.insert("count", tabs->count());
    }
    return out;
}

QJsonObject InspectionAnswers::describeRows(QObject* object, int limit)
{
    auto* view = qobject_cast<QAbstractItemView*>(object);
    if (!view || !view->model())
        return failure(QStringLiteral("not an item view with a model"));
    const QAbstractItemModel* model = view->model();
    const QList<int> columns = visibleColumns(view);
    QJsonArray titles;
    for (int column : columns)
        titles.append(model->headerData(column, Qt::Horizontal).toString());
    QJsonArray rows;
    bool cut = false;
    // Depth-first, children after their parent, at most `limit` rows in all.
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
        const int count = model->rowCount(parent);
        for (int row = 0; row < count; ++row) {
            if (rows.size() >= limit) {
                cut = true;
                return;
            }
            QJsonArray cells;
            QJsonArray shown;
            for (int column : columns) {
                const QModelIndex cell = model->index(row, column, parent);
                cells.append(cell.data(Qt::DisplayRole).toString());
                shown.append(views::shownCellText(*view, cell));
            }
            rows.append(QJsonObject { { "d", depth }, { "c", cells }, { "s", shown } });
            const QModelIndex child = model->index(row, 0, parent);
            if (model->hasChildren(child))
                walk(child, depth + 1);
        }
    };
    walk(QModelIndex(), 0);
    QJsonObject out { { "rows", model->rowCount() }, { "columns", titles }, { "cells", rows }, { "cut", cut } };
    const auto* tree = qobject_cast<const QTreeView*>(view);
    const auto* table = qobject_cast<const QTableView*>(view);
    if (const QHeaderView* header = tree ? tree->header() : table ? table->horizontalHeader() : nullptr) {
        QJsonArray spans;
        for (int column : columns)
            spans.append(QJsonArray { header->sectionViewportPosition(column), header->sectionSize(column) });
        out.insert("spans", spans);
        out.insert("viewport", view->viewport()->width());
    }
    return out;
}

QJsonObject InspectionAnswers::describeAction(const QString& name)
{
    // Items of one name may stand in several menus (a view's own menu and the menu bar): the
    // one in an open menu, else the first found.
    QAction* action = nullptr;
    for (QWidget* top : topLevelsVisibleFirst()) {
        for (QAction* candidate : top->findChildren<QAction*>(name)) {
            const auto owners = candidate->associatedObjects();
            if (std::ranges::any_of(owners, [](QObject* owner) {
                    auto* menu = qobject_cast<QMenu*>(owner);
                    return menu && menu->isVisible();
                }))
                action = candidate;
            else if (!action)
                action = candidate;
        }
    }
    if (!action)
        return failure(QStringLiteral("no action named ") + name);
    QJsonObject out { { "text", action->text() }, { "enabled", action->isEnabled() },
        { "checked", action->isChecked() }, { "visible", action->isVisible() }, { "open", false } };
    for (QObject* owner : action->associatedObjects()) {
        auto* menu = qobject_cast<QMenu*>(owner);
        if (!menu || !menu->isVisible())
            continue;
        const QRect local = menu->actionGeometry(action);
        if (local.isEmpty())
            continue;
        out.insert("open", true);
        putRect(out, globalRect(menu, local));
        break;
    }
    return out;
}

QJsonObject InspectionAnswers::describeMenu(const QString& name)
{
    auto* menu = qobject_cast<QMenu*>(find(name));
    if (!menu)
        return failure(QStringLiteral("no menu named ") + name);
    QJsonObject out { { "title", menu->title() }, { "enabled", menu->isEnabled() }, { "open", menu->isVisible() } };
    for (QObject* owner : menu->menuAction()->associatedObjects()) {
        if (auto* bar = qobject_cast<QMenuBar*>(owner)) {
            putRect(out, globalRect(bar, bar->actionGeometry(menu->menuAction())));
            break;
        }
    }
    return out;
}

QJsonObject InspectionAnswers::describeActive()
{
    QWidget* widget = QApplication::activePopupWidget();
    if (!widget)
        widget = QApplication::activeModalWidget();
    if (!widget)
        widget = QApplication::activeWindow();
    if (!widget)
        return { { "ok", true }, { "none", true } };
    QJsonObject out = describeWidget(widget);
    out.insert("name", widget->objectName());
    out.insert("title", widget->windowTitle());
    // Whether a line editor has the keyboard: a scenario types only once an item editor is open.
    out.insert("editing", qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr);
    return out;
}

QJsonObject InspectionAnswers::describeFields(QWidget* window)
{
    QJsonArray fields;
    for (QWidget* widget : focusableFields(window)) {
        QJsonObject field { { "class", QString::fromLatin1(widget->metaObject()->className()) },
            { "name", nearestName(widget) }, { "focus", widget->hasFocus() },
            { "id", QString::number(quintptr(widget), 16) } };
        if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
            field.insert("rows", view->model() ? view->model()->rowCount() : 0);
            field.insert("selected", view->selectionModel() ? int(view->selectionModel()->selectedIndexes().size()) : 0);
            field.insert("readOnly", true);
        } else if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            field.insert("text", line->text());
            field.insert("readOnly", line->isReadOnly());
            field.insert("secret", line->echoMode() != QLineEdit::Normal);
        } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
            field.insert("text", rich->toPlainText().left(kMaxText));
            field.insert("readOnly", rich->isReadOnly());
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
            field.insert("text", plain->toPlainText().left(kMaxText));
            field.insert("readOnly", plain->isReadOnly());
        }
        fields.append(field);
    }
    QJsonArray tabViews;
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        if (!tabs->isVisible())
            continue;
        QJsonArray rects;
        for (int tab = 0; tab < tabs->count(); ++tab) {
            QJsonObject rect { { "text", tabs->tabText(tab) }, { "enabled", tabs->isTabEnabled(tab) } };
            putRect(rect, globalRect(tabs->tabBar(), tabs->tabBar()->tabRect(tab)));
            rects.append(rect);
        }
        tabViews.append(QJsonObject { { "name", nearestName(tabs) }, { "current", tabs->currentIndex() },
            { "rects", rects } });
    }
    return { { "ok", true }, { "fields", fields }, { "tabs", tabViews } };
}

QJsonObject InspectionAnswers::describeWindows()
{
    QJsonArray windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible())
            continue;
        windows.append(QJsonObject { { "name", widget->objectName() },
            { "class", QString::fromLatin1(widget->metaObject()->className()) }, { "title", widget->windowTitle() } });
    }
    return { { "ok", true }, { "windows", windows } };
}

} // namespace crawlmere::app
