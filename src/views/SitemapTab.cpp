// The Sitemap tab's widgets over the display-free sitemap manager.
#include "views/SitemapTab.h"

#include "sitemap/SitemapManager.h"
#include "views/ColumnFitting.h"
#include "views/Pasteboard.h"
#include "views/ResultItemModel.h"
#include "views/ResultViewDelegate.h"
#include "views/crawlmereTableView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace crawlmere::views {

namespace {

// The excluded-pages window opens tall enough for a dozen rows.
constexpr int kExcludedWindowMinimumHeight = 360;

template <typename Widget> Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

/// The Copy command of a sitemap table (Edit > Copy, the copy key) copies as its menu's Copy URL
/// item does; rows carry no label.
class RowCopyDelegate final : public ResultViewDelegate {
public:
    explicit RowCopyDelegate(std::function<void()> copy)
        : m_copy(std::move(copy))
    {
    }
    std::optional<CrwlLabelColour> tableViewLabelColorForRow(ResultTreeView&, const QModelIndex&) override
    {
        return std::nullopt;
    }
    void copyURL(crawlmereTableView&) override { m_copy(); }

private:
    std::function<void()> m_copy;
};

} // namespace

SitemapTab::SitemapTab(sitemap::SitemapManager& manager, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
{
    m_changeFrequency = named(new QComboBox(this), "sitemapChangeFrequency");
    for (const auto& item : sitemap::SitemapManager::changeFrequencyItems())
        m_changeFrequency->addItem(tr(qPrintable(item.title)), item.tag);
    m_priority = named(new QComboBox(this), "sitemapPriority");
    for (const auto& item : sitemap::SitemapManager::priorityItems())
        m_priority->addItem(tr(qPrintable(item.title)), item.tag);
    m_lastModified = named(new QCheckBox(tr("Last modified"), this), "includelastmodinsitemap");
    m_lastModified->setChecked(manager.writesLastModified());
    m_pdfs = named(new QCheckBox(tr("Include PDFs"), this), "includepdfsinsitemap");
    m_pdfs->setChecked(manager.includesPdfs());

    m_table = named(new crawlmereTableView(this), "sitemapTableView");
    m_pagesIncluded = named(new QLabel(this), "tfPagesIncluded");
    m_infoText = named(new QLabel(this), "filterSitemapInfoText");
    m_infoButton = named(new QPushButton(tr("Show"), this), "filterSitemapInfoButton");
    m_infoButton->hide();
    m_prefsButton = named(new QPushButton(tr("Sitemap Preferences…"), this), "sitemapPrefsButton");
    m_prefsButton->hide();

    m_excludedWindow = named(new QDialog(this), "excludedPagesWindow");
    m_excludedWindow->setWindowTitle(tr("Pages excluded from the sitemap"));
    m_excludedTable = named(new crawlmereTableView(m_excludedWindow), "excludedTableView");
    m_excludedTable->setTableColumns(sitemap::SitemapManager::excludedColumns());
    (new QVBoxLayout(m_excludedWindow))->addWidget(m_excludedTable);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Change frequency:"), this));
    controls->addWidget(m_changeFrequency);
    controls->addWidget(new QLabel(tr("Priority:"), this));
    controls->addWidget(m_priority);
    controls->addWidget(m_lastModified);
    controls->addWidget(m_pdfs);
    controls->addStretch();
    controls->addWidget(m_prefsButton);
    auto* status = new QHBoxLayout;
    status->addWidget(new QLabel(tr("Pages included:"), this));
    status->addWidget(m_pagesIncluded);
    status->addSpacing(18);
    status->addWidget(m_infoText);
    status->addWidget(m_infoButton);
    status->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_table);
    layout->addLayout(status);

    manager.setTables(m_table, m_excludedTable);
    sitemap::SitemapManagerObserver observer;
    observer.pagesIncluded = [this](qsizetype count) { m_pagesIncluded->setText(QString::number(count)); };
    observer.infoText = [this](const QString& text) {
        m_infoText->setText(text);
        m_infoButton->setVisible(!text.isEmpty());
    };
    observer.columnsChanged = [this] { applyColumns(); };
    observer.showInspector = [this](const std::shared_ptr<CrwlUrl>& page) {
        if (m_opener)
            m_opener(page);
    };
    observer.beep = [] { QApplication::beep(); };
    observer.toClip = [](const QString& text) { Pasteboard::general().setString(text); };
    observer.openURL = [this](const QString& url) {
        if (m_urlOpener)
            m_urlOpener(url);
    };
    manager.setObserver(std::move(observer));

    m_table->itemModel().setCellEditing(
        { [this](const TableColumn& column) { return m_manager.isColumnEditable(*m_table, column); },
            [this](const TableColumn& column, int row, const QVariant& value) {
                m_manager.tableViewSetObjectValue(*m_table, column, row, value);
            } });
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->setDataSource(&manager);
    m_excludedTable->setDataSource(&manager);
    followLastModifiedSetting();
    applyColumns();

    connect(
        m_changeFrequency, &QComboBox::activated, this, [this](int index) { m_manager.selectChangeFrequency(index); });
    connect(m_priority, &QComboBox::activated, this, [this](int index) { m_manager.selectPriority(index); });
    // Only a click changes the setting; showing it (`followLastModifiedSetting`) does not.
    connect(m_lastModified, &QCheckBox::clicked, this, [this](bool on) { m_manager.setWritesLastModified(on); });
    connect(m_pdfs, &QCheckBox::clicked, this, [this](bool on) { m_manager.setIncludesPdfs(on); });
    connect(m_infoButton, &QPushButton::clicked, this, &SitemapTab::showExcludedPages);
    addRowMenu(
        m_table, "copyURLMenuItem", "visitURLMenuItem", [this](qsizetype row) { m_manager.copyURL(row); },
        [this](qsizetype row) { m_manager.visitURL(row); });
    addRowMenu(
        m_excludedTable, "copyExcludedPageUrlMenuItem", "visitExcludedPageUrlMenuItem",
        [this](qsizetype row) { m_manager.copyExcludedPageUrl(row); },
        [this](qsizetype row) { m_manager.visitExcludedPageUrl(row); });
    connect(m_prefsButton, &QPushButton::clicked, this, [this] {
        if (m_prefsOpener)
            m_prefsOpener();
    });
    // A double-click on an editable cell edits it; elsewhere it opens the page.
    connect(m_table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!(index.flags() & Qt::ItemIsEditable))
            m_manager.doubleClick(index.row());
    });
}

SitemapTab::~SitemapTab()
{
    // The table outlives this part of the tab while its children go: it must not ask it.
    m_table->itemModel().setCellEditing({});
    m_table->setViewDelegate(nullptr);
    m_excludedTable->setViewDelegate(nullptr);
    m_manager.setObserver({});
    m_manager.setTables(nullptr, nullptr);
}

void SitemapTab::setInspectorOpener(std::function<void(const std::shared_ptr<CrwlUrl>&)> opener)
{
    m_opener = std::move(opener);
}

void SitemapTab::setUrlOpener(std::function<void(const QString&)> opener) { m_urlOpener = std::move(opener); }

void SitemapTab::addRowMenu(crawlmereTableView* table, const char* copyName, const char* visitName,
    std::function<void(qsizetype)> copy, std::function<void(qsizetype)> visit)
{
    const auto firstSelectedRow = [table]() -> qsizetype {
        qsizetype first = -1;
        for (const QModelIndex& index : table->selectionModel()->selectedRows())
            first = first < 0 ? index.row() : std::min<qsizetype>(first, index.row());
        return first;
    };
    auto* menu = new QMenu(table);
    QAction* copyItem = menu->addAction(tr("Copy URL"), this, [copy, firstSelectedRow] { copy(firstSelectedRow()); });
    copyItem->setObjectName(QLatin1String(copyName));
    QAction* visitItem = menu->addAction(tr("Visit"), this, [visit, firstSelectedRow] { visit(firstSelectedRow()); });
    visitItem->setObjectName(QLatin1String(visitName));
    // A right-click over no row clears the selection: the items then have nothing to act on.
    connect(menu, &QMenu::aboutToShow, menu, [copyItem, visitItem, firstSelectedRow] {
        const bool row = firstSelectedRow() >= 0;
        copyItem->setEnabled(row);
        visitItem->setEnabled(row);
    });
    table->setMenu(menu);
    table->setTertiaryMenu(menu);
    m_copyDelegates.push_back(
        std::make_unique<RowCopyDelegate>([copy, firstSelectedRow] { copy(firstSelectedRow()); }));
    table->setViewDelegate(m_copyDelegates.back().get());
}

void SitemapTab::applyColumns()
{
    const QList<TableColumn> columns = m_manager.sitemapColumns();
    m_table->setTableColumns(columns);
    for (int i = 0; i < columns.size(); ++i) {
        const QString& id = columns.at(i).identifier;
        m_table->setColumnWidth(i,
            id == u"actualurl"          ? 320
                : id == u"priority"     ? 93
                : id == u"lastmodified" ? 200
                                        : 140);
    }
}

void SitemapTab::setPreferencesOpener(std::function<void()> opener)
{
    m_prefsOpener = std::move(opener);
    m_prefsButton->setVisible(bool(m_prefsOpener));
}

void SitemapTab::followLastModifiedSetting()
{
    const bool writes = m_manager.writesLastModified();
    m_lastModified->setChecked(writes);
    if (m_manager.includeLastModified() != writes)
        m_manager.setIncludeLastModified(writes);
}

void SitemapTab::showEvent(QShowEvent* event)
{
    // The preferences may have changed the settings since the tab was last shown.
    followLastModifiedSetting();
    if (m_pdfs->isChecked() != m_manager.includesPdfs()) {
        m_pdfs->setChecked(m_manager.includesPdfs());
        m_manager.handlePdfSwitch();
    }
    QWidget::showEvent(event);
}

void SitemapTab::followPreferences()
{
    m_pdfs->setChecked(m_manager.includesPdfs());
    m_manager.handlePdfSwitch();
    reloadAllData();
}

void SitemapTab::reloadAllData()
{
    followLastModifiedSetting();
    m_table->reloadData();
    m_pagesIncluded->setText(QString::number(m_manager.getSitemapCollectionCount()));
}

void SitemapTab::clear()
{
    m_manager.clear();
    applyColumns();
}

void SitemapTab::showExcludedPages()
{
    m_excludedTable->reloadData();
    // Wide enough for its columns, the canonical and the reason included.
    fitWindowToColumns(*m_excludedWindow, *m_excludedTable, kExcludedWindowMinimumHeight);
    m_excludedWindow->show();
    m_excludedWindow->raise();
    m_excludedWindow->activateWindow();
}

} // namespace crawlmere::views
