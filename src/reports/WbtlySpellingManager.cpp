// The spelling results: the by-page list, the by-word outline and the actions on them.
#include "reports/WbtlySpellingManager.h"

#include "engine/CrwlUrl.h"
#include "platform/Log.h"
#include "platform/SpellChecker.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "reports/MisspelledWordItem.h"
#include "reports/SpellingCountUpdator.h"
#include "reports/SpellingDialogue.h"

#include <QUrl>

#include <algorithm>

using crawlmere::platform::logLine;

namespace crawlmere::reports {

namespace {

std::shared_ptr<CrwlUrl> asPage(const qfDataSource::Item& item) { return std::dynamic_pointer_cast<CrwlUrl>(item); }

std::shared_ptr<MisspelledWordItem> asWord(const qfDataSource::Item& item)
{
    return std::dynamic_pointer_cast<MisspelledWordItem>(item);
}

} // namespace

WbtlySpellingManager::WbtlySpellingManager(
    TableView& spellingTableView, OutlineView& misspelledWordOutlineView, Services services)
    : m_spellingTableView(spellingTableView)
    , m_outline(misspelledWordOutlineView)
    , m_services(std::move(services))
{
}

WbtlySpellingManager::~WbtlySpellingManager() = default;

void WbtlySpellingManager::clear()
{
    qfDataSource::clear();
    spellingCollection.reset();
    misspelledWordSortArray.reset();
    misspelledWordDictionary.clear();
    m_wordItems.clear();
    m_pageUnderReview.reset();
    m_spellingTableView.setSortDescriptors({});
    m_outline.setSortDescriptors({});
    reloadData();
}

void WbtlySpellingManager::setCollection(QList<Item> pages)
{
    qfDataSource::setCollection(std::move(pages));
    spellingCollection.reset();
}

void WbtlySpellingManager::setMisspelledWordDictionary(const MisspelledWordDictionary& dictionary)
{
    misspelledWordDictionary = dictionary;
    misspelledWordSortArray.reset();
}

const QList<qfDataSource::Item>& WbtlySpellingManager::getSpellingCollection()
{
    if (!spellingCollection) {
        QList<Item> pages;
        for (const Item& item : std::as_const(collection)) {
            const auto page = asPage(item);
            if (page && !page->getSpellingReviewed() && page->getSpellingCount() > 0)
                pages.append(item);
        }
        spellingCollection = std::move(pages);
        m_sortedBy.reset();
    }
    // Sorted at every request, but only sorted again when the table's order changed: the row
    // lookups of a table or an export ask for the list once per row.
    const QList<SortDescriptor> descriptors = m_spellingTableView.sortDescriptors();
    const auto same
        = [](const SortDescriptor& x, const SortDescriptor& y) { return x.key == y.key && x.ascending == y.ascending; };
    if (!m_sortedBy
        || !std::equal(descriptors.begin(), descriptors.end(), m_sortedBy->begin(), m_sortedBy->end(), same)) {
        sortItems(*spellingCollection, descriptors);
        m_sortedBy = descriptors;
    }
    return *spellingCollection;
}

void WbtlySpellingManager::updateMisspelledWordsSortArray()
{
    QStringList words;
    words.reserve(static_cast<qsizetype>(misspelledWordDictionary.size()));
    for (const auto& entry : misspelledWordDictionary)
        words.append(entry.first);
    std::stable_sort(words.begin(), words.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    misspelledWordSortArray = std::move(words);
    // Word items of keys that are gone are dropped; those still shown keep their identity.
    for (auto it = m_wordItems.begin(); it != m_wordItems.end();)
        it = misspelledWordDictionary.count(it.key()) ? std::next(it) : m_wordItems.erase(it);
}

void WbtlySpellingManager::reloadData()
{
    m_outline.reloadData();
    m_spellingTableView.reloadData();
}

QString WbtlySpellingManager::getBadSpellingShortSummary() const
{
    return QStringLiteral("<h1>Spelling</h1>\n<p>%1 page(s) with spelling issues</p>\n")
        .arg(spellingCollection ? spellingCollection->size() : 0);
}

void WbtlySpellingManager::spellingRunnerDidFinish()
{
    spellingCollection.reset();
    reloadData();
}

void WbtlySpellingManager::tableViewSortDescriptorsDidChange(TableView& table)
{
    if (&table != &m_spellingTableView || table.sortDescriptors().isEmpty())
        return;
    getSpellingCollection();
    m_spellingTableView.reloadData();
}

qfDataSource::Item WbtlySpellingManager::wordItem(const QString& word)
{
    auto it = m_wordItems.find(word);
    if (it == m_wordItems.end())
        it = m_wordItems.insert(word, std::make_shared<MisspelledWordItem>(word));
    return it.value();
}

qsizetype WbtlySpellingManager::outlineNumberOfChildren(OutlineView& view, const Item& item)
{
    if (&view != &m_outline)
        return 0;
    if (!item) {
        if (!misspelledWordSortArray)
            updateMisspelledWordsSortArray();
        return misspelledWordSortArray->size();
    }
    if (const auto word = asWord(item)) {
        const auto it = misspelledWordDictionary.find(word->word);
        return it == misspelledWordDictionary.end() ? 0 : static_cast<qsizetype>(it->second.size());
    }
    return 0;
}

qfDataSource::Item WbtlySpellingManager::outlineChild(OutlineView& view, qsizetype index, const Item& item)
{
    if (&view != &m_outline || index < 0)
        return nullptr;
    if (!item) {
        if (!misspelledWordSortArray)
            updateMisspelledWordsSortArray();
        return index < misspelledWordSortArray->size() ? wordItem(misspelledWordSortArray->at(index)) : nullptr;
    }
    if (const auto word = asWord(item)) {
        const auto it = misspelledWordDictionary.find(word->word);
        if (it != misspelledWordDictionary.end() && static_cast<size_t>(index) < it->second.size())
            return it->second.at(static_cast<size_t>(index));
    }
    return nullptr;
}

bool WbtlySpellingManager::outlineIsItemExpandable(OutlineView& view, const Item& item)
{
    return &view == &m_outline && asWord(item) != nullptr;
}

QString WbtlySpellingManager::outlineObjectValue(OutlineView& view, const QString& column, const Item& item)
{
    if (&view != &m_outline)
        return QString();
    if (const auto word = asWord(item)) {
        if (column == QLatin1String("duffword"))
            return word->word;
        if (column == QLatin1String("url")) {
            const qsizetype pages = outlineNumberOfChildren(view, item);
            return pages == 1 ? QStringLiteral("occurs on 1 page") : QStringLiteral("occurs on %1 pages").arg(pages);
        }
        return QString();
    }
    if (const auto page = asPage(item); page && column == QLatin1String("url"))
        return page->absoluteString();
    return QString();
}

void WbtlySpellingManager::spellingDoubleClick()
{
    if (m_selectedTab == QLatin1String("0")) {
        if (m_selectedPageRow < 0)
            return;
        const auto page = asPage(getItemAtRowIndex(static_cast<quint64>(m_selectedPageRow)));
        if (!page)
            return;
        m_pageUnderReview = page;
        if (m_services.theSpellingDialogue)
            m_services.theSpellingDialogue->showForPage(page->absoluteString(), QString());
        return;
    }
    if (m_selectedTab != QLatin1String("1"))
        return;
    const QList<qsizetype> rows = m_outline.selectedRowIndexes();
    if (rows.isEmpty())
        return;
    const Item item = m_outline.itemAtRow(rows.first());
    if (const auto page = asPage(item)) {
        const auto word = asWord(m_outline.parentAtRow(rows.first()));
        const QString wordText = word ? word->word : QString();
        logLine(1, QStringLiteral("need to open dialog for %1 and %2").arg(page->absoluteString(), wordText));
        m_pageUnderReview = page;
        if (m_services.theSpellingDialogue)
            m_services.theSpellingDialogue->showForPage(page->absoluteString(), wordText);
    } else if (const auto word = asWord(item)) {
        logLine(1, QStringLiteral("double-click on a word %1").arg(word->word));
    }
}

QList<std::shared_ptr<MisspelledWordItem>> WbtlySpellingManager::selectedWords()
{
    QList<std::shared_ptr<MisspelledWordItem>> words;
    for (qsizetype row : m_outline.selectedRowIndexes())
        if (auto word = asWord(m_outline.itemAtRow(row)))
            words.append(std::move(word));
    return words;
}

void WbtlySpellingManager::removeSelectedWords(bool learn)
{
    for (const auto& word : selectedWords()) {
        if (learn) {
            logLine(3, QStringLiteral("learning: %1").arg(word->word));
            if (m_services.spellChecker)
                m_services.spellChecker->learnWord(word->word);
        }
        spellingDiallogDidLearnWord(word->word);
    }
    m_outline.deselectAll();
}

void WbtlySpellingManager::learnAllSelected() { removeSelectedWords(/*learn=*/true); }

void WbtlySpellingManager::RemoveWithoutLearning() { removeSelectedWords(/*learn=*/false); }

void WbtlySpellingManager::expandAllButton()
{
    // Upward, so that the rows of the words still collapsed stay where they are.
    for (qsizetype row = static_cast<qsizetype>(misspelledWordDictionary.size()) - 1; row >= 0; --row)
        m_outline.expandItem(m_outline.itemAtRow(row));
}

void WbtlySpellingManager::collapseAllButton()
{
    const qsizetype words = outlineNumberOfChildren(m_outline, nullptr);
    for (qsizetype row = 0; row < words; ++row)
        m_outline.collapseItem(m_outline.itemAtRow(row));
}

void WbtlySpellingManager::copyURLInSpellingView()
{
    const QList<qsizetype> rows = m_outline.selectedRowIndexes();
    if (rows.isEmpty())
        return;
    if (const auto page = asPage(m_outline.itemAtRow(rows.first())); page && m_services.toClip)
        m_services.toClip(page->absoluteString());
}

void WbtlySpellingManager::copyWordInSpellingView()
{
    const QList<qsizetype> rows = m_outline.selectedRowIndexes();
    if (rows.isEmpty())
        return;
    if (const auto word = asWord(m_outline.itemAtRow(rows.first())); word && m_services.toClip)
        m_services.toClip(word->word);
}

void WbtlySpellingManager::visitURLInSpellingView()
{
    const QList<qsizetype> rows = m_outline.selectedRowIndexes();
    if (rows.isEmpty())
        return;
    if (const auto page = asPage(m_outline.itemAtRow(rows.first())))
        visitLink(*page);
}

void WbtlySpellingManager::visitLink(const CrwlUrl& page)
{
    if (!m_services.urlOpener)
        return;
    QUrl url(page.absoluteString(), QUrl::StrictMode);
    if (!url.isValid())
        url = QUrl::fromEncoded(
            QUrl::toPercentEncoding(page.absoluteString(), "!#$&'()*+,/:;=?@[]~%"), QUrl::StrictMode);
    if (url.isValid() && !url.isEmpty())
        m_services.urlOpener->openURL(url);
}

void WbtlySpellingManager::userDictionaryManager()
{
    if (m_services.openUserDictionary)
        m_services.openUserDictionary();
}

void WbtlySpellingManager::spellingDiallogDidLearnWord(const std::optional<QString>& word)
{
    if (!word) {
        logLine(1, QStringLiteral("currentword is nil"));
        return;
    }
    const auto it = misspelledWordDictionary.find(word->toLower());
    if (it != misspelledWordDictionary.end()) {
        if (m_services.spellingUpdator)
            m_services.spellingUpdator->addPages(QList<std::shared_ptr<CrwlUrl>>(it->second.begin(), it->second.end()));
        misspelledWordDictionary.erase(it);
    }
    updateMisspelledWordsSortArray();
    m_outline.reloadData();
}

void WbtlySpellingManager::spellingDiallogDidFinishReviewing()
{
    // The page the dialogue was opened for, not whatever the table has selected now: the user
    // may have opened the review from the outline or moved the table's selection since.
    const auto page = m_pageUnderReview.lock();
    if (!page || !platform::UserDefaults::standard().value(defaultsKey::removeWhenSpellingReviewed))
        return;
    page->setSpellingReviewed(true);
    spellingCollection.reset();
}

} // namespace crawlmere::reports
