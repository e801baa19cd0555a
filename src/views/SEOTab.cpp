// The SEO tab's widgets over the display-free SEO manager.
#include "views/SEOTab.h"

#include "reports/SEOManager.h"
#include "views/ColumnManagerButton.h"
#include "views/MetaDataColumnManager.h"
#include "views/Pasteboard.h"
#include "views/SEOColumnManager.h"
#include "views/crawlmereTableView.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace crawlmere::views {

using reports::SEOManager;

namespace {

template <typename Widget> Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

SEOTab::SEOTab(SEOManager& manager, platform::UserDefaults& defaults, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
{
    m_filter = named(new QComboBox(this), "highlightSelector");
    for (const auto& item : SEOManager::filterItems())
        m_filter->addItem(tr(qPrintable(item.title)), item.tag);
    m_search = named(new QLineEdit(this), "SEOSearchBox");
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);

    m_tabs = named(new QTabWidget(this), "seoTabView");
    const auto addTable = [this](const char* name, const QList<TableColumn>& columns, const QString& title,
                              const QString& identifier) {
        auto* table = named(new crawlmereTableView(m_tabs), name);
        table->setTableColumns(columns);
        table->setDataSource(&m_manager);
        table->setColumnWidth(0, 320);
        const int index = m_tabs->addTab(table, title);
        m_tabs->tabBar()->setTabData(index, identifier);
        return table;
    };
    m_pages = addTable("tableView", SEOManager::pageColumns(), tr("Pages"), SEOManager::kPagesTab);
    m_metaData = addTable("metaDataTableView", SEOManager::metaDataColumns(), tr("Metadata"), SEOManager::kMetaDataTab);
    m_headings = addTable("headingsTableView", SEOManager::headingsColumns(), tr("Headings"), SEOManager::kHeadingsTab);
    m_images = addTable("imagesTableView", SEOManager::imagesColumns(), tr("Images"), SEOManager::kImagesTab);
    manager.setTables(m_pages, m_metaData, m_headings, m_images);

    m_pageColumns = std::make_shared<SEOColumnManager>(&defaults);
    m_pageColumns->setTableView(m_pages);
    m_metaDataColumns = std::make_shared<MetaDataColumnManager>(&defaults);
    m_metaDataColumns->setTableView(m_metaData);

    m_stats = named(new QTextEdit(this), "tvSEOStats");
    m_stats->setReadOnly(true);
    m_stats->setMaximumHeight(80);
    m_pageCount = named(new QLabel(QStringLiteral("0"), this), "tfPagesIncludedInSEO");
    m_exportProgress = named(new QProgressBar(this), "pbctf");
    m_exportProgress->setRange(0, 1000);
    m_exportProgress->setTextVisible(false);
    m_exportProgress->setMaximumHeight(6);

    m_preview = named(new QDialog(this), "imagePreview");
    m_preview->setWindowTitle(tr("Image preview"));
    m_previewImage = named(new QLabel(m_preview), "imagePreviewImageView");
    m_previewImage->setAlignment(Qt::AlignCenter);
    m_previewImage->setMinimumSize(320, 240);
    m_spinner = named(new QProgressBar(m_preview), "imagePreviewProgressIndicator");
    m_spinner->setRange(0, 0);
    m_spinner->hide();
    auto* previewLayout = new QVBoxLayout(m_preview);
    previewLayout->addWidget(m_previewImage, 1);
    previewLayout->addWidget(m_spinner);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Show:"), this));
    controls->addWidget(m_filter);
    controls->addWidget(m_search);
    controls->addStretch();
    auto* pageColumnsButton = new ColumnManagerButton(m_pageColumns, this);
    pageColumnsButton->setObjectName(QStringLiteral("seoColumnManagerButton"));
    auto* metaDataColumnsButton = new ColumnManagerButton(m_metaDataColumns, this);
    metaDataColumnsButton->setObjectName(QStringLiteral("metaDataColumnManagerButton"));
    controls->addWidget(pageColumnsButton);
    controls->addWidget(metaDataColumnsButton);
    // Each "Columns" pop-up shows with its own table.
    metaDataColumnsButton->hide();

    auto* actions = new QHBoxLayout;
    const auto button = [this, actions](const QString& title, const char* name, auto action) {
        auto* pushButton = named(new QPushButton(title, this), name);
        connect(pushButton, &QPushButton::clicked, this, action);
        actions->addWidget(pushButton);
    };
    button(tr("Copy URL"), "seoCopyButton", [this] { m_manager.copyURL(); });
    button(tr("Visit"), "seoVisitButton", [this] { m_manager.visitURL(); });
    button(tr("Validate"), "seoValidateButton", [this] { m_manager.validateURL(); });
    button(tr("Copy summary"), "seoSummaryButton", [this] { m_manager.summaryToClip(); });
    actions->addStretch();
    actions->addWidget(new QLabel(tr("Pages:"), this));
    actions->addWidget(m_pageCount);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(m_stats);
    layout->addLayout(actions);
    layout->addWidget(m_exportProgress);

    reports::SEOManagerHooks hooks;
    hooks.selectedRow = [](TableView& table) -> qsizetype {
        auto* view = dynamic_cast<ResultTreeView*>(&table);
        if (!view || !view->selectionModel())
            return -1;
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    };
    hooks.toClip = [&pasteboard](const QString& text) { pasteboard.setString(text); };
    hooks.showInspector = [this](const std::shared_ptr<CrwlUrl>& page) {
        if (m_opener)
            m_opener(page);
    };
    hooks.selectTab = [this](const QString& identifier) {
        for (int index = 0; index < m_tabs->count(); ++index) {
            if (m_tabs->tabBar()->tabData(index).toString() == identifier)
                m_tabs->setCurrentIndex(index);
        }
    };
    hooks.progress = [this](double proportion) { m_exportProgress->setValue(int(proportion * 1000.0)); };
    hooks.previewStarted = [this] {
        m_previewImage->clear();
        m_spinner->show();
        m_preview->show();
        m_preview->raise();
        m_preview->activateWindow();
    };
    hooks.previewFinished = [this](const QByteArray& bytes) { showPreview(bytes); };
    manager.setHooks(std::move(hooks));
    manager.setSelectedTab(SEOManager::kPagesTab);

    connect(m_tabs, &QTabWidget::currentChanged, this,
        [this, pageColumnsButton, metaDataColumnsButton](int index) {
            const QString identifier = m_tabs->tabBar()->tabData(index).toString();
            m_manager.setSelectedTab(identifier);
            pageColumnsButton->setVisible(identifier == SEOManager::kPagesTab);
            metaDataColumnsButton->setVisible(identifier == SEOManager::kMetaDataTab);
        });
    connect(m_filter, &QComboBox::activated, this,
        [this](int index) { m_manager.handleSwitch(m_filter->itemData(index).toInt()); });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { m_manager.setSearchText(text); });
    for (crawlmereTableView* table : { m_pages, m_metaData, m_headings }) {
        connect(table, &QAbstractItemView::doubleClicked, this, [this] { m_manager.SEODoubleClick(); });
        auto* menu = new QMenu(table);
        menu->addAction(tr("Copy URL"), this, [this] { m_manager.copyURL(); });
        menu->addAction(tr("Visit"), this, [this] { m_manager.visitURL(); });
        menu->addAction(tr("Validate"), this, [this] { m_manager.validateURL(); });
        menu->addAction(tr("Inspect"), this, [this] { m_manager.SEODoubleClick(); });
        table->setMenu(menu);
    }
    connect(m_images, &QAbstractItemView::doubleClicked, this, [this] { m_manager.imagesDoubleClick(); });
    auto* imagesMenu = new QMenu(m_images);
    imagesMenu->addAction(tr("Copy URL"), this, [this] { m_manager.copyURL(); });
    imagesMenu->addAction(tr("Visit"), this, [this] { m_manager.visitURL(); });
    imagesMenu->addAction(tr("Preview"), this, [this] { m_manager.imagesDoubleClick(); });
    m_images->setMenu(imagesMenu);
}

SEOTab::~SEOTab()
{
    m_manager.setHooks({});
    m_manager.setTables(nullptr, nullptr, nullptr, nullptr);
}

void SEOTab::setInspectorOpener(std::function<void(const std::shared_ptr<CrwlUrl>&)> opener)
{
    m_opener = std::move(opener);
}

void SEOTab::setUpColumns()
{
    m_pageColumns->setUpColumns();
    m_metaDataColumns->setUpColumns();
}

crawlmereTableView* SEOTab::table(const QString& tab) const
{
    if (tab == SEOManager::kImagesTab)
        return m_images;
    if (tab == SEOManager::kMetaDataTab)
        return m_metaData;
    if (tab == SEOManager::kHeadingsTab)
        return m_headings;
    return m_pages;
}

void SEOTab::reloadAllData()
{
    m_manager.reloadData();
    m_pageCount->setText(QString::number(m_manager.getCount()));
    m_stats->setPlainText(m_manager.statisticsText());
}

void SEOTab::clear()
{
    m_manager.clear();
    m_filter->setCurrentIndex(0);
    m_stats->clear();
    m_pageCount->setText(QStringLiteral("0"));
}

void SEOTab::showPreview(const QByteArray& bytes)
{
    m_spinner->hide();
    QImage image;
    const bool shown = !bytes.isEmpty() && image.loadFromData(bytes);
    if (shown)
        m_previewImage->setPixmap(QPixmap::fromImage(image));
    else
        m_previewImage->clear();
    Q_EMIT previewFinished(shown);
}

} // namespace crawlmere::views
