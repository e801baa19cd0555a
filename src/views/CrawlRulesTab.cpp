// The Rules tab: the crawl rules table, the sheet a rule is written in and the content box.
#include "views/CrawlRulesTab.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "settings/ConfigManager.h"
#include "views/RulesSheet.h"
#include "views/detail/ButtonRow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace crawlmere::views {

using settings::ConfigManager;

namespace {

const QString kCheckContentKey = defaultsKey::blacklistShouldCheckContent;

} // namespace

CrawlRulesTab::CrawlRulesTab(ConfigManager& manager, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("rulesTabViewItem"));
    m_rulesTable = new QTableWidget(0, 3, this);
    m_rulesTable->setObjectName(QStringLiteral("blacklistRulesTableView"));
    m_rulesTable->setHorizontalHeaderLabels({ tr("Rule"), tr("Scope"), tr("Term") });
    m_rulesTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_rulesTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_rulesTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rulesTable->verticalHeader()->setDefaultSectionSize(17);
    // The rule and its scope as wide as their texts; the term takes the rest.
    m_rulesTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_rulesTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_rulesTable->horizontalHeader()->setStretchLastSection(true);
    connect(m_rulesTable, &QTableWidget::cellDoubleClicked, this, &CrawlRulesTab::editBlacklistRule);
    auto* add = new QPushButton(tr("Add..."), this);
    add->setObjectName(QStringLiteral("addBlacklistRuleButton"));
    connect(add, &QPushButton::clicked, this, &CrawlRulesTab::showBlacklistRulesWindow);
    auto* edit = new QPushButton(tr("Edit..."), this);
    edit->setObjectName(QStringLiteral("editBlacklistRuleButton"));
    connect(edit, &QPushButton::clicked, this, &CrawlRulesTab::editBlacklistRule);
    auto* remove = new QPushButton(tr("Delete"), this);
    remove->setObjectName(QStringLiteral("deleteBlacklistRuleButton"));
    connect(remove, &QPushButton::clicked, this, &CrawlRulesTab::deleteBlacklistRule);
    m_ruleActions = { edit, remove };
    connect(m_rulesTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &CrawlRulesTab::offerRuleActions);
    offerRuleActions();
    // Bound to the application default the scan reads: with it on, "Do not follow" and "Only
    // follow" terms are also looked for in each page's content.
    m_checkContent = new QCheckBox(tr("Apply the follow rules to page content too"), this);
    m_checkContent->setObjectName(QStringLiteral("blacklistCheckContentCheckBox"));
    m_checkContent->setChecked(m_manager.defaults().boolForKey(kCheckContentKey));
    connect(m_checkContent, &QCheckBox::toggled, this, [this](bool on) {
        m_manager.defaults().setBool(on, kCheckContentKey);
        Q_EMIT checkContentToggled();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_rulesTable);
    layout->addLayout(detail::buttonRow({ add, edit, remove }, { m_checkContent }));
}

CrawlRulesTab::~CrawlRulesTab() = default;

void CrawlRulesTab::setRulesSheet(RulesSheet* sheet)
{
    m_rulesSheet = sheet;
    connect(m_rulesSheet, &QDialog::finished, this, [this](int code) {
        if (code != 1) {
            if (m_editedRow >= 0)
                platform::logLine(1, QStringLiteral("cancelled editing"));
        } else if (m_editedRow >= 0) {
            m_manager.editBlacklistRule(
                m_editedRow, m_rulesSheet->ruleTag(), m_rulesSheet->doesNotContain(), m_rulesSheet->text());
        } else {
            m_manager.addBlacklistRule(m_rulesSheet->ruleTag(), m_rulesSheet->doesNotContain(), m_rulesSheet->text());
        }
        m_rulesSheet->clearText();
        m_editedRow = -1;
    });
}

void CrawlRulesTab::showBlacklistRulesWindow()
{
    m_editedRow = -1;
    m_rulesSheet->open();
}

void CrawlRulesTab::offerRuleActions()
{
    // Edit and Delete act on the selected rule: without one they are off.
    const bool chosen = selectedRuleRow() >= 0;
    for (QPushButton* action : std::as_const(m_ruleActions))
        action->setEnabled(chosen);
}

int CrawlRulesTab::selectedRuleRow() const
{
    const QModelIndexList rows = m_rulesTable->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CrawlRulesTab::editBlacklistRule()
{
    const int row = selectedRuleRow();
    const auto rule = m_manager.blacklistRuleAtIndex(row);
    if (!rule)
        return;
    m_editedRow = row;
    m_rulesSheet->setRule(rule->first, rule->second);
    m_rulesSheet->open();
}

void CrawlRulesTab::deleteBlacklistRule()
{
    if (const int row = selectedRuleRow(); row >= 0)
        m_manager.deleteBlacklistRule(row);
}

void CrawlRulesTab::reloadRules()
{
    const int count = m_manager.blacklistRuleCount();
    m_rulesTable->setRowCount(count);
    // The box follows its default, which other windows may change too.
    const bool content = m_manager.defaults().boolForKey(kCheckContentKey);
    if (m_checkContent->isChecked() != content) {
        const QSignalBlocker quiet(m_checkContent);
        m_checkContent->setChecked(content);
    }
    for (int row = 0; row < count; ++row) {
        const auto [tag, term] = *m_manager.blacklistRuleAtIndex(row);
        const bool negated = term.startsWith(u'!');
        const QString scope = (content ? tr("urls and content ") : tr("urls "))
            + (negated ? tr("that don't contain:") : tr("that contain:"));
        m_rulesTable->setItem(row, 0, new QTableWidgetItem(ConfigManager::ruleListLabels().at(tag)));
        m_rulesTable->setItem(row, 1, new QTableWidgetItem(scope));
        m_rulesTable->setItem(row, 2, new QTableWidgetItem(negated ? term.mid(1) : term));
    }
    // The rule and scope texts read whole; the term takes the rest.
    if (count > 0) {
        m_rulesTable->resizeColumnToContents(0);
        m_rulesTable->resizeColumnToContents(1);
    }
    offerRuleActions();
}

} // namespace crawlmere::views
