// The Sitemap rules tab: the editable table of sitemap rules and its buttons.
#include "views/SitemapRulesTab.h"

#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "views/detail/ButtonRow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

using Defaults = platform::UserDefaults;

namespace {

const QStringList kSitemapColumns { QStringLiteral("contains"), QStringLiteral("priority"), QStringLiteral("update"),
    QStringLiteral("match") };

} // namespace

SitemapRulesTab::SitemapRulesTab(settings::ConfigManager& manager, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("sitemapRulesTabViewItem"));
    m_sitemapTable = new QTableWidget(0, 4, this);
    m_sitemapTable->setObjectName(QStringLiteral("sitemapRulesTableView"));
    m_sitemapTable->setHorizontalHeaderLabels(
        { tr("URL contains"), tr("Priority"), tr("Change frequency"), tr("Match") });
    m_sitemapTable->verticalHeader()->setDefaultSectionSize(17);
    // The URL text takes the room; the other columns are as wide as their headers and values.
    QHeaderView* sitemapHeader = m_sitemapTable->horizontalHeader();
    sitemapHeader->setStretchLastSection(false);
    sitemapHeader->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 4; ++column)
        sitemapHeader->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    connect(m_sitemapTable, &QTableWidget::cellChanged, this, &SitemapRulesTab::sitemapCellChanged);
    auto* add = new QPushButton(tr("Add"), this);
    connect(add, &QPushButton::clicked, this, [this] { m_manager.addSitemapRule(); });
    auto* remove = new QPushButton(tr("Delete"), this);
    connect(remove, &QPushButton::clicked, this, [this] { m_manager.deleteSitemapRule(m_sitemapTable->currentRow()); });
    auto* apply = new QPushButton(tr("Apply to the sitemap"), this);
    apply->setObjectName(QStringLiteral("saveAndCloseRulesButton"));
    connect(apply, &QPushButton::clicked, this, [this] { m_manager.saveAndCloseRules(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sitemapTable);
    layout->addLayout(detail::buttonRow({ add, remove }, { apply }));
}

SitemapRulesTab::~SitemapRulesTab() = default;

void SitemapRulesTab::reloadRules()
{
    const QSignalBlocker blocker(m_sitemapTable);
    const QVariantList& rules = m_manager.sitemapRules();
    m_sitemapTable->setRowCount(static_cast<int>(rules.size()));
    for (int row = 0; row < rules.size(); ++row) {
        const QVariantMap rule = rules.at(row).toMap();
        for (int column = 0; column < 3; ++column)
            m_sitemapTable->setItem(
                row, column, new QTableWidgetItem(rule.value(kSitemapColumns.at(column)).toString()));
        auto* match = new QTableWidgetItem;
        match->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        match->setCheckState(platform::boolValue(rule.value(QStringLiteral("match"))) ? Qt::Checked : Qt::Unchecked);
        m_sitemapTable->setItem(row, 3, match);
    }
}

void SitemapRulesTab::sitemapCellChanged(int row, int column)
{
    if (row < 0 || row >= m_manager.sitemapRules().size() || column < 0 || column > 3)
        return;
    const QTableWidgetItem* item = m_sitemapTable->item(row, column);
    if (!item)
        return;
    const QVariantMap rule = m_manager.sitemapRules().at(row).toMap();
    if (column == 3) {
        if ((item->checkState() == Qt::Checked) != platform::boolValue(rule.value(QStringLiteral("match"))))
            m_manager.userFinishedEditingSitemapRule(row, QStringLiteral("match"));
    } else if (item->text() != rule.value(kSitemapColumns.at(column)).toString()) {
        m_manager.userFinishedEditingSitemapRule(row, kSitemapColumns.at(column), item->text());
        // A value the rule did not take (a priority outside 0.0-1.0) gives way to the rule's.
        const QString kept = m_manager.sitemapRules().at(row).toMap().value(kSitemapColumns.at(column)).toString();
        if (kept != item->text()) {
            const QSignalBlocker blocker(m_sitemapTable);
            m_sitemapTable->item(row, column)->setText(kept);
        }
    }
}

} // namespace crawlmere::views
