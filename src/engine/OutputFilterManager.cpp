// The output-filter rule list: storage in the defaults store, sentences and the pass decision.
#include "engine/OutputFilterManager.h"

#include "engine/CrwlPatternMatcher.h"
#include "platform/StoredValue.h"
#include "platform/UserDefaults.h"

#include <QDebug>

#include <utility>

using crawlmere::platform::UserDefaults;

namespace {


// The rule's text when it is a string; a null QString otherwise.
QString ruleText(const QVariantMap& rule)
{
    const QVariant value = rule.value(defaultsKey::mipContains);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QString describe(const QVariantMap& rule)
{
    QStringList parts;
    for (auto it = rule.cbegin(); it != rule.cend(); ++it)
        parts.append(QStringLiteral("%1 = %2").arg(it.key(), crawlmere::platform::stringValue(it.value())));
    return QStringLiteral("{ %1 }").arg(parts.join(QStringLiteral("; ")));
}

} // namespace

OutputFilterManager::OutputFilterManager(UserDefaults& defaults)
    : m_defaults(defaults)
{
}

OutputFilterManager::OutputFilterManager()
    : OutputFilterManager(UserDefaults::standard())
{
}

void OutputFilterManager::setReloadHandler(std::function<void()> reload) { m_reload = std::move(reload); }

void OutputFilterManager::awakeFromNib()
{
    QVariantList rules;
    rules.reserve(3);
    rules.append(m_defaults.value(defaultsKey::mipFilterRules));
    collection = std::move(rules);
}

QVariantMap OutputFilterManager::ruleAt(const QVariantList& rules, qsizetype index)
{
    // A list put into the store from outside may hold anything; a non-dictionary is a rule
    // without keys.
    return rules.at(index).toMap();
}

bool OutputFilterManager::shouldWeScrapeThisstrUrlBasedOnCurrentRules(const QString& url) const
{
    if (!m_defaults.value(defaultsKey::mipFilter) || !collection || collection->isEmpty())
        return true;

    const QString noContent = QStringLiteral("");
    qsizetype complying = 0;
    for (qsizetype i = 0; i < collection->size(); ++i) {
        const QVariantMap rule = ruleAt(*collection, i);
        if (ruleText(rule).isEmpty())
            continue;
        if (urlAndContentCompliesWithThisRule(url, noContent, rule))
            ++complying;
    }

    switch (m_defaults.value(defaultsKey::mipContainsAndOr)) {
    case 1:
        return complying >= 1;
    case 0:
        return complying >= collection->size();
    default:
        return true;
    }
}

bool OutputFilterManager::urlAndContentCompliesWithThisRule(
    const QString& url, const QString& content, const QVariantMap& rule) const
{
    const bool contentScope = crawlmere::platform::integerValue(rule.value(defaultsKey::mipContainsScope)) == 1;
    const QString& tested = contentScope && !content.isNull() ? content : url;
    const QString text = ruleText(rule);

    bool found = false;
    switch (crawlmere::platform::integerValue(rule.value(defaultsKey::mipContainsMethod))) {
    case 0:
        // An empty text is never found (Qt would find it everywhere).
        found = !text.isEmpty() && tested.contains(text, Qt::CaseSensitive);
        break;
    case 1:
        found = !text.isEmpty() && !stringContainsOneOfTheseTerms(tested, { text }, /*isRegex=*/true).isEmpty();
        break;
    default:
        return true;
    }

    const bool does = crawlmere::platform::boolValue(rule.value(defaultsKey::mipContainsOrNot));
    return does ? found : !found;
}

bool OutputFilterManager::oneRuleRequiresContent() const
{
    if (!collection)
        return false;
    for (qsizetype i = 0; i < collection->size(); ++i) {
        if (crawlmere::platform::integerValue(ruleAt(*collection, i).value(defaultsKey::mipContainsScope)) == 1)
            return true;
    }
    return false;
}

void OutputFilterManager::implementRules(const QVariantList& rules) { collection = rules; }

QVariantList OutputFilterManager::getArray() const { return collection ? *collection : QVariantList(); }

void OutputFilterManager::synchroniseRules()
{
    if (collection)
        m_defaults.setObject(*collection, defaultsKey::mipFilterRules);
    else
        m_defaults.removeObjectForKey(defaultsKey::mipFilterRules);
}

void OutputFilterManager::clearRules()
{
    collection.reset();
    m_defaults.removeObjectForKey(defaultsKey::mipFilterRules);
    if (m_reload)
        m_reload();
}

void OutputFilterManager::addRuleFromDefaults()
{
    QVariantMap rule;
    for (const QString& key : { QString(defaultsKey::mipContainsScope), QString(defaultsKey::mipContainsOrNot),
             QString(defaultsKey::mipContainsMethod), QString(defaultsKey::mipContains) }) {
        const QVariant value = m_defaults.objectForKey(key);
        if (value.isValid())
            rule.insert(key, value);
    }
    qInfo().noquote() << QStringLiteral("adding %1 to rules").arg(describe(rule));
    if (!collection)
        collection.emplace();
    collection->append(rule);
    if (m_reload)
        m_reload();
    synchroniseRules();
}

void OutputFilterManager::setNewRuleDefaults()
{
    m_defaults.setValue(defaultsKey::mipContainsScope, qint64(0));
    m_defaults.setValue(defaultsKey::mipContainsOrNot, qint64(1));
    m_defaults.setValue(defaultsKey::mipContainsMethod, qint64(0));
    m_defaults.setValue(defaultsKey::mipContains, QStringLiteral(""));
}

bool OutputFilterManager::removeRule(qsizetype index)
{
    if (!collection || index < 0 || index >= collection->size())
        return false;
    const QVariant rule = collection->at(index);
    collection->removeAll(rule);
    if (m_reload)
        m_reload();
    synchroniseRules();
    return true;
}

qsizetype OutputFilterManager::numberOfRows() const { return collection ? collection->size() : 0; }

QString OutputFilterManager::sentenceForRow(qsizetype row) const
{
    if (!collection || row < 0 || row >= collection->size())
        return QStringLiteral("");
    return sentenceFromRule(ruleAt(*collection, row));
}

QString OutputFilterManager::sentenceFromRule(const QVariantMap& rule)
{
    QString sentence = QStringLiteral("");
    if (rule.contains(defaultsKey::mipContainsScope))
        sentence += crawlmere::platform::boolValue(rule.value(defaultsKey::mipContainsScope)) ? QLatin1String("Content ")
                                                                          : QLatin1String("URL ");
    if (rule.contains(defaultsKey::mipContainsOrNot))
        sentence += crawlmere::platform::boolValue(rule.value(defaultsKey::mipContainsOrNot)) ? QLatin1String("does ")
                                                                          : QLatin1String("does not ");
    if (rule.contains(defaultsKey::mipContainsMethod))
        sentence += crawlmere::platform::boolValue(rule.value(defaultsKey::mipContainsMethod)) ? QLatin1String("match Regex: ")
                                                                           : QLatin1String("contain: ");
    if (rule.contains(defaultsKey::mipContains))
        sentence += crawlmere::platform::stringValue(rule.value(defaultsKey::mipContains));
    return sentence;
}

QStringList OutputFilterManager::stringContainsOneOfTheseTerms(
    QStringView string, const QStringList& terms, bool isRegex)
{
    if (terms.isEmpty())
        return {};
    if (isRegex)
        return applyRegex(terms.first(), string);

    QStringList matching;
    for (const QString& term : terms) {
        if (CrwlPatternMatcher::stringMatchesPattern(string, term))
            matching.append(term);
    }
    return matching;
}

QStringList OutputFilterManager::applyRegex(const QString& pattern, QStringView string)
{
    return CrwlPatternMatcher::applyRegex(pattern, string);
}
