// The crawl rule sheet.
#include "views/RulesSheet.h"

#include "platform/Log.h"
#include "settings/ConfigManager.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

namespace crawlmere::views {

RulesSheet::RulesSheet(QWidget* parent)
    : QDialog(parent)
    , m_rule(new QComboBox(this))
    , m_contains(new QComboBox(this))
    , m_text(new QLineEdit(this))
{
    setObjectName(QStringLiteral("blacklistRulesWindow"));
    setWindowTitle(tr("Rule"));
    setWindowModality(Qt::WindowModal);
    m_rule->setObjectName(QStringLiteral("blacklistRulesRuleButton"));
    m_rule->addItems(settings::ConfigManager::ruleListLabels());
    m_contains->setObjectName(QStringLiteral("blacklistRulesContainsButton"));
    m_contains->addItems({ tr("urls that contain:"), tr("urls that don't contain:") });
    m_text->setObjectName(QStringLiteral("blacklistRulesTextField"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { done(1); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(0); });
    auto* form = new QFormLayout(this);
    form->addRow(tr("Rule:"), m_rule);
    form->addRow(tr("Scope:"), m_contains);
    form->addRow(tr("Term:"), m_text);
    form->addRow(buttons);
}

void RulesSheet::setRule(int tag, const QString& term)
{
    m_rule->setCurrentIndex(tag);
    platform::logLine(1, QStringLiteral("the term is %1").arg(term));
    if (term.startsWith(u'!') && term.size() >= 2) {
        m_text->setText(term.mid(1));
        m_contains->setCurrentIndex(1);
        platform::logLine(1, QStringLiteral("DOESN'T contain and the term is now %1").arg(m_text->text()));
    } else {
        m_text->setText(term);
        m_contains->setCurrentIndex(0);
    }
}

void RulesSheet::clearText() { m_text->clear(); }
int RulesSheet::ruleTag() const { return m_rule->currentIndex(); }
bool RulesSheet::doesNotContain() const { return m_contains->currentIndex() == 1; }
QString RulesSheet::text() const { return m_text->text(); }

} // namespace crawlmere::views
