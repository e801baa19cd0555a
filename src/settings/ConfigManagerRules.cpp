// The crawl rule lists and sitemap rules of the selected site, as the rule editors change them.
#include "settings/ConfigManager.h"

#include "engine/CrawlSettingKeys.h"
#include "platform/StoredValue.h"

#include "engine/SitemapPriority.h"
#include "engine/Z12Ara.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"

namespace crawlmere::settings {

using platform::logLine;

const QStringList& ConfigManager::ruleListKeys()
{
    static const QStringList keys { crawlKey::ignoreArray, crawlKey::checkBlacklistArray,
        crawlKey::followBlacklistArray, crawlKey::followWhitelistArray };
    return keys;
}

const QStringList& ConfigManager::legacyRuleKeys()
{
    static const QStringList keys { QStringLiteral("ignorelist"), QStringLiteral("checkBlacklist"),
        QStringLiteral("followBlacklist"), QStringLiteral("followWhitelist") };
    return keys;
}

const QStringList& ConfigManager::ruleListLabels()
{
    static const QStringList labels { QStringLiteral("Ignore"), QStringLiteral("Do not check"),
        QStringLiteral("Do not follow"), QStringLiteral("Only follow") };
    return labels;
}

QVariantMap ConfigManager::withRuleLists(QVariantMap site)
{
    for (int tag = 0; tag < 4; ++tag) {
        if (site.contains(ruleListKeys().at(tag)))
            continue;
        const QString legacy = site.value(legacyRuleKeys().at(tag)).toString();
        if (legacy.isEmpty())
            continue;
        QVariantList terms;
        for (const QString& term : Z12Ara::trimEachItemInArray(legacy.split(u',')))
            terms.append(term);
        site.insert(ruleListKeys().at(tag), terms);
    }
    return site;
}

void ConfigManager::loadRules()
{
    const QVariantMap site = withRuleLists(m_current);
    for (int tag = 0; tag < 4; ++tag) {
        QStringList& list = m_rules[tag];
        list.clear();
        for (const QVariant& term : site.value(ruleListKeys().at(tag)).toList()) {
            if (term.typeId() == QMetaType::QString)
                list.append(term.toString());
        }
    }
    m_sitemapRules = m_current.value(QStringLiteral("sitemapRules")).toList();
}

void ConfigManager::saveRules()
{
    for (int tag = 0; tag < 4; ++tag) {
        QVariantList list;
        for (const QString& term : std::as_const(m_rules.at(tag)))
            list.append(term);
        m_current.insert(ruleListKeys().at(tag), list);
    }
    m_current.insert(QStringLiteral("sitemapRules"), m_sitemapRules);
    m_dirty = true;
}

QStringList ConfigManager::ruleList(int tag) const { return tag >= 0 && tag < 4 ? m_rules.at(tag) : QStringList(); }

int ConfigManager::blacklistRuleCount() const
{
    int count = 0;
    for (const QStringList& list : m_rules)
        count += static_cast<int>(list.size());
    return count;
}

std::optional<std::pair<int, QString>> ConfigManager::blacklistRuleAtIndex(int row) const
{
    if (row < 0)
        return std::nullopt;
    for (int tag = 0; tag < 4; ++tag) {
        if (row < m_rules.at(tag).size())
            return std::pair { tag, m_rules.at(tag).at(row) };
        row -= static_cast<int>(m_rules.at(tag).size());
    }
    return std::nullopt;
}

void ConfigManager::addBlacklistRule(int tag, bool doesNotContain, const QString& text)
{
    if (!text.isEmpty() && tag >= 0 && tag < 4) {
        logLine(1, QStringLiteral("rule is %1, string is %2").arg(ruleListLabels().at(tag), text));
        m_rules[tag].append(doesNotContain ? QStringLiteral("!") + text : text);
        if (m_view)
            m_view->reloadRuleTables();
    }
    m_dirty = true;
    saveRules();
}

void ConfigManager::deleteBlacklistRule(int row)
{
    const auto rule = blacklistRuleAtIndex(row);
    if (!rule)
        return;
    int offset = row;
    for (int tag = 0; tag < rule->first; ++tag)
        offset -= static_cast<int>(m_rules.at(tag).size());
    m_rules[rule->first].removeAt(offset);
    if (m_view)
        m_view->reloadRuleTables();
    saveRules();
}

void ConfigManager::editBlacklistRule(int row, int tag, bool doesNotContain, const QString& text)
{
    if (!blacklistRuleAtIndex(row))
        return;
    logLine(1, QStringLiteral("returned from editing"));
    deleteBlacklistRule(row);
    addBlacklistRule(tag, doesNotContain, text);
}

void ConfigManager::addSitemapRule()
{
    m_sitemapRules.append(QVariantMap { { QStringLiteral("contains"), QStringLiteral("edit_me") },
        { QStringLiteral("priority"), QStringLiteral("0.5") }, { QStringLiteral("update"), QStringLiteral("weekly") },
        { QStringLiteral("match"), false } });
    if (m_view)
        m_view->reloadRuleTables();
    logLine(1, QStringLiteral("sitemapRules now has %1 rules").arg(m_sitemapRules.size()));
    saveRules();
}

namespace {
/// `rules` with `rule` in place of the one for the same text, or after them.
void putSitemapRule(QVariantList& rules, const QVariantMap& rule)
{
    const QVariant contains = rule.value(QStringLiteral("contains"));
    for (QVariant& existing : rules) {
        if (existing.toMap().value(QStringLiteral("contains")) == contains) {
            existing = rule;
            return;
        }
    }
    rules.append(rule);
}
} // namespace

void ConfigManager::addThisSitemapRule(const QVariantMap& rule)
{
    logLine(1, QStringLiteral("adding / replacing sitemap rule"));
    putSitemapRule(m_sitemapRules, rule);
    if (m_view)
        m_view->reloadRuleTables();
    saveRules();
}

void ConfigManager::addThisSitemapRule(const QString& siteId, const QVariantMap& rule)
{
    if (siteId.isEmpty() || siteId == getIDForCurrentSite()) {
        addThisSitemapRule(rule);
        return;
    }
    const qsizetype index = indexOfWebsiteWithID(siteId);
    if (index < 0)
        return;
    logLine(1, QStringLiteral("adding / replacing sitemap rule of %1").arg(siteId));
    QVariantMap& site = m_websites[index];
    QVariantList rules = site.value(QStringLiteral("sitemapRules")).toList();
    putSitemapRule(rules, rule);
    site.insert(QStringLiteral("sitemapRules"), rules);
    pushWebsitesToDefaults();
}

void ConfigManager::deleteSitemapRule(int row)
{
    if (row < 0 || row >= m_sitemapRules.size())
        return;
    m_sitemapRules.removeAt(row);
    if (m_view)
        m_view->reloadRuleTables();
    saveRules();
}

void ConfigManager::userFinishedEditingSitemapRule(int row, const QString& field, const QString& text)
{
    if (row < 0 || row >= m_sitemapRules.size())
        return;
    QVariantMap rule = m_sitemapRules.at(row).toMap();
    if (field == u"match") {
        rule.insert(field, !crawlmere::platform::boolValue(rule.value(field)));
    } else if (field == u"priority") {
        // A priority outside 0.0-1.0 is refused: the rule keeps its own.
        const auto priority = engine::sitemapPriority(text);
        if (!priority) {
            logLine(0, QStringLiteral("a sitemap priority is a number from 0.0 to 1.0; \"%1\" is not used").arg(text));
            beep();
            return;
        }
        rule.insert(field, *priority);
    } else if (field == u"contains" || field == u"update") {
        rule.insert(field, text);
    } else {
        return;
    }
    m_sitemapRules[row] = rule;
    m_dirty = true;
    saveRules();
}

void ConfigManager::saveAndCloseRules()
{
    // The manager is the notification's object without being owned by it.
    platform::NotificationCenter::defaultCenter().post(CrwlSitemapRulesDidChange, std::shared_ptr<void>(std::shared_ptr<void>(), this));
}

} // namespace crawlmere::settings
