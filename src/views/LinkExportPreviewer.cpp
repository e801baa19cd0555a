// The export sheet's controller over the main window's link views.
#include "views/LinkExportPreviewer.h"

#include "engine/ShellServices.h"
#include "platform/NotificationCenter.h"
#include "views/ExportColumnManager.h"
#include "views/OutlineDataSource.h"

#include <QTimer>

namespace crawlmere::views {

namespace {

const QString kTableReloaded = QStringLiteral("qfTableViewDidReloadData");
const QString kOutlineReloaded = QStringLiteral("qfOutlineViewDidReloadData");
const QString kExportDidFinish = QStringLiteral("exportTriggeredByPreviewerDidFinish");

bool isOutlineTag(int tag) { return tag == 2 || tag == 3; }

} // namespace

LinkExportPreviewer::LinkExportPreviewer(
    MainWindowViews& views, std::shared_ptr<ShellPrompts> prompts, platform::UserDefaults* defaults, QObject* parent)
    : QObject(parent)
    , m_views(views)
    , m_prompts(std::move(prompts))
    , m_exportColumns(std::make_shared<ExportColumnManager>(defaults))
{
    m_exportColumns->setTableView(this);
    auto& center = platform::NotificationCenter::defaultCenter();
    const auto reloaded
        = [this](const platform::Notification& notification) { viewDidReload(notification.object.get()); };
    center.addObserver(this, kOutlineReloaded, reloaded);
    center.addObserver(this, kTableReloaded, reloaded);
    // exportDidFinish: nothing to do; the sheet has closed by then.
    center.addObserver(this, kExportDidFinish, [](const platform::Notification&) {});
    updateRowInfo();
}

LinkExportPreviewer::~LinkExportPreviewer() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

void LinkExportPreviewer::showPreview(int formatTag, bool fromMenuItem)
{
    if (!fromMenuItem) {
        static const QStringList kNotLinkViews { "5", "6", "7", "10", "11" };
        if (kNotLinkViews.contains(m_views.selectedTabIdentifier())) {
            if (formatTag == 0)
                m_views.exportAsHTMLMenuItem();
            else if (formatTag == 2)
                m_views.exportAsCSVMenuItem();
            return;
        }
    }
    m_needsInitialisation = true;
    m_sheetOpen = true;
    m_formatTag = formatTag;
    Q_EMIT controlsChanged();
    Q_EMIT sheetShouldOpen();
}

void LinkExportPreviewer::sheetDidShow()
{
    if (m_needsInitialisation) {
        m_needsInitialisation = false;
        m_badLinks = m_views.mainBadLinksState();
        m_expandRows = false;
        m_expandRowsEnabled = false;
        m_progress = 0.0f;
        m_tableTag = 4;
        m_views.selectTabViewItemWithIdentifier(QStringLiteral("4"));
        Q_EMIT controlsChanged();
    }
    windowDidBecomeKey();
}

void LinkExportPreviewer::windowDidBecomeKey()
{
    updateRowInfo();
    updateColumns();
}

void LinkExportPreviewer::handleControl(Control control, int value)
{
    switch (control) {
    case Control::BadLinksSelector:
        m_badLinks = value != 0;
        m_views.setMainBadLinksState(m_badLinks);
        updateRowInfo();
        break;
    case Control::ExpandRows:
        m_expandRows = value != 0;
        m_views.expandOutlines(m_expandRows);
        m_outlineRows.clear();
        reloadData();
        break;
    case Control::TableSelector:
        if (value < 1 || value > 4)
            return;
        m_tableTag = value;
        m_expandRowsEnabled = value != 4;
        m_views.selectTabViewItemWithIdentifier(QString::number(value));
        updateRowInfo();
        updateColumns();
        break;
    }
    Q_EMIT controlsChanged();
}

void LinkExportPreviewer::setFormatTag(int tag)
{
    m_formatTag = tag;
    Q_EMIT controlsChanged();
}

ShellAlert LinkExportPreviewer::largeExportAlert()
{
    return { .messageText = tr("Large export"),
        .informativeText
        = tr("With the present settings, the exported file will contain a very large number of links, "
             "many of which may be OK. If you continue, there may be problems generating or displaying "
             "the file. Consider cancelling and showing bad links only before generating this report."),
        .buttons = { tr("Cancel"), tr("Continue") },
        .cancelButton = 0 };
}

void LinkExportPreviewer::theSheetOK()
{
    const qsizetype size = m_badLinks ? 0 : numberOfRows();
    if (size > kLargeExportRows && m_prompts) {
        if (m_prompts->runModalAlert(largeExportAlert()) != 1)
            return;
    }
    // Ended from the event loop, so that the button's action returns first.
    QTimer::singleShot(0, this, [this] { endSheet(1); });
}

void LinkExportPreviewer::theSheetCancel()
{
    QTimer::singleShot(0, this, [this] { endSheet(0); });
}

void LinkExportPreviewer::endSheet(int returnCode)
{
    if (!m_sheetOpen)
        return;
    m_sheetOpen = false;
    Q_EMIT sheetShouldClose();
    m_progress = 0.0f;
    Q_EMIT controlsChanged();
    if (returnCode == 1)
        go();
}

void LinkExportPreviewer::go()
{
    if (m_formatTag == 0)
        m_views.exportAsHTMLMenuItem();
    else if (m_formatTag == 2)
        m_views.exportAsCSVMenuItem();
}

TableView* LinkExportPreviewer::activeView() const { return m_views.linkView(m_tableTag); }

qsizetype LinkExportPreviewer::numberOfRows()
{
    TableView* view = activeView();
    if (!view)
        return 0;
    if (isOutlineTag(m_tableTag)) {
        // Walking an outline costs its whole length; a live refresh reloads other views often.
        auto found = m_outlineRows.find(m_tableTag);
        if (found == m_outlineRows.end())
            found = m_outlineRows.emplace(m_tableTag, m_views.outlineNumberOfRows(m_tableTag)).first;
        return found->second;
    }
    qfDataSource* source = m_views.tableDataSource(m_tableTag);
    return source ? source->numberOfRowsInTableView(*view) : 0;
}

qsizetype LinkExportPreviewer::numberOfPreviewRows() { return std::min(numberOfRows(), kPreviewRows); }

QString LinkExportPreviewer::previewValue(qsizetype row, qsizetype column)
{
    TableView* view = activeView();
    if (!view || column < 0 || column >= m_columns.size() || row < 0 || row >= numberOfPreviewRows())
        return QString();
    const TableColumn& shown = m_columns.at(column);
    if (isOutlineTag(m_tableTag)) {
        OutlineDataSource* source = m_views.outlineDataSource(m_tableTag);
        const qfDataSource::Item item = m_views.outlineItemAtRow(m_tableTag, row);
        if (!source || !item)
            return QString();
        const QString value = source->outlineViewObjectValue(*view, shown, item).toString();
        if (!source->outlineViewIsItemExpandable(*view, item)
            && shown.identifier == m_views.outlineColumnIdentifier(m_tableTag))
            return QLatin1Char('\t') + value;
        return value;
    }
    qfDataSource* source = m_views.tableDataSource(m_tableTag);
    return source ? source->tableViewObjectValue(*view, shown, row).toString() : QString();
}

void LinkExportPreviewer::updateRowInfo()
{
    const qsizetype rows = numberOfRows();
    m_rowInfo = rows == 1 ? tr("%1 row").arg(rows) : tr("%1 rows").arg(rows);
    Q_EMIT rowInfoChanged();
}

void LinkExportPreviewer::updateColumnManager()
{
    if (m_tableTag == 1 || m_tableTag == 4) {
        m_columnPopUpEnabled = true;
        m_exportColumns->setMirror(m_views.columnManager(m_tableTag));
    } else {
        // The mirror stays as it was.
        m_columnPopUpEnabled = false;
    }
}

void LinkExportPreviewer::updateColumns()
{
    m_columns.clear();
    m_widths.clear();
    updateColumnManager();
    if (TableView* view = activeView()) {
        const QList<TableColumn> columns = view->tableColumns();
        for (qsizetype index = 0; index < columns.size(); ++index) {
            m_columns.append(columns.at(index));
            m_widths.append(m_views.columnWidth(m_tableTag, index));
        }
    }
    Q_EMIT previewChanged();
    m_exportColumns->setUpColumns();
    Q_EMIT controlsChanged();
}

void LinkExportPreviewer::setColumnHidden(qsizetype column, bool hidden)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].hidden = hidden;
    Q_EMIT previewChanged();
}

void LinkExportPreviewer::reloadData() { Q_EMIT previewChanged(); }

void LinkExportPreviewer::viewDidReload(const void* sender)
{
    for (const int tag : { 2, 3 }) {
        if (sender && sender == m_views.notificationObject(tag))
            m_outlineRows.erase(tag);
    }
    // aTableViewDidFinishReloading: sheet open or not. A closed sheet counts the rows when it
    // shows again: counting the flat view's rows builds them, a whole pass over a large scan
    // for every reload of any link view.
    reloadData();
    if (m_sheetOpen)
        updateRowInfo();
}

} // namespace crawlmere::views
