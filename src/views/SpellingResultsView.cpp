// The spelling tab's widgets.
#include "views/SpellingResultsView.h"

#include "views/SpellingOutlineAdapter.h"
#include "views/crawlmereTableView.h"
#include "views/qfOutlineView.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

namespace {

QWidget* tabPage(const QString& identifier)
{
    auto* page = new QWidget;
    page->setProperty("identifier", identifier);
    return page;
}

} // namespace

SpellingResultsView::SpellingResultsView(reports::WbtlySpellingManager::Services services, QWidget* parent)
    : QWidget(parent)
    , m_tabs(new QTabWidget(this))
    , m_table(new crawlmereTableView)
    , m_outlineView(new qfOutlineView)
{
    m_tabs->setObjectName(QStringLiteral("spellingTabView"));
    m_table->setObjectName(QStringLiteral("spellingTableView"));
    m_outlineView->setObjectName(QStringLiteral("misspelledWordOutlineView"));
    m_table->setTableColumns({ { QStringLiteral("url"), tr("URL") },
        { QStringLiteral("spellingcount"), tr("Spelling issues") }, { QStringLiteral("linkpagetitle"), tr("Title") } });
    m_outlineView->setTableColumns(
        { { QStringLiteral("duffword"), tr("Word") }, { QStringLiteral("url"), tr("URL") } });
    m_outline = std::make_unique<SpellingOutlineAdapter>(*m_outlineView, QStringLiteral("duffword"));
    m_manager = std::make_unique<reports::WbtlySpellingManager>(*m_table, *m_outline, std::move(services));
    m_table->setDataSource(m_manager.get());
    m_outline->setManager(m_manager.get());

    QWidget* byPage = tabPage(QStringLiteral("0"));
    (new QVBoxLayout(byPage))->addWidget(m_table);
    QWidget* byWord = tabPage(QStringLiteral("1"));
    auto* wordLayout = new QVBoxLayout(byWord);
    wordLayout->addWidget(m_outlineView);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const QString& title, void (reports::WbtlySpellingManager::*action)()) {
        auto* pushButton = new QPushButton(title);
        pushButton->setObjectName(QString::fromLatin1(name));
        connect(pushButton, &QPushButton::clicked, this, [this, action] { (m_manager.get()->*action)(); });
        buttons->addWidget(pushButton);
    };
    button("learnButton", tr("Learn"), &reports::WbtlySpellingManager::learnAllSelected);
    button("removeButton", tr("Remove"), &reports::WbtlySpellingManager::RemoveWithoutLearning);
    button("expandAllButton", tr("Expand all"), &reports::WbtlySpellingManager::expandAllButton);
    button("collapseAllButton", tr("Collapse all"), &reports::WbtlySpellingManager::collapseAllButton);
    button("userDictionaryButton", tr("Dictionary…"), &reports::WbtlySpellingManager::userDictionaryManager);
    buttons->addStretch();
    wordLayout->addLayout(buttons);
    m_tabs->addTab(byPage, tr("By page"));
    m_tabs->addTab(byWord, tr("By word"));
    (new QVBoxLayout(this))->addWidget(m_tabs);

    connect(m_tabs, &QTabWidget::currentChanged, this,
        [this](int index) { m_manager->selectTab(m_tabs->widget(index)->property("identifier").toString()); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_table->selectionModel()->selectedRows();
        m_manager->setSelectedPageRow(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(m_table, &QAbstractItemView::doubleClicked, this, [this] { m_manager->spellingDoubleClick(); });
    connect(m_outlineView, &QAbstractItemView::doubleClicked, this, [this] { m_manager->spellingDoubleClick(); });
}

SpellingResultsView::~SpellingResultsView()
{
    m_table->setDataSource(nullptr);
    m_outline->setManager(nullptr);
}

} // namespace crawlmere::views
