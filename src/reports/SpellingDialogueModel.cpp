// The spelling review of one page, display-free: the walk through its misspelled words.
#include "reports/SpellingDialogueModel.h"

#include "engine/ShellServices.h"
#include "parsing/CrwlParser.h"
#include "platform/Dispatch.h"
#include "platform/UrlOpener.h"

#include <QUrl>

namespace crawlmere::reports {

namespace Dispatch = platform::Dispatch;

/// What the fetch hands back to the main thread.
struct SpellingDialogueModel::Loaded {
    std::shared_ptr<CrwlParser> parser;
    QString text;
    int count = 0;
    SpellRange first;
};

namespace {

QString lower(const QString& text) { return text.toLower(); }

} // namespace

SpellingDialogueModel::SpellingDialogueModel(Services services)
    : m_services(std::move(services))
    , m_alive(std::make_shared<int>(0))
{
}

SpellingDialogueModel::~SpellingDialogueModel() = default;

platform::SpellChecker& SpellingDialogueModel::checker() const
{
    return m_services.checker ? *m_services.checker : platform::SpellChecker::shared();
}

void SpellingDialogueModel::showForPage(const QString& url, const QString& word)
{
    m_forWord = word.isEmpty() ? std::nullopt : std::optional<QString>(word);
    m_stack.clear();
    m_url = url;
    m_parser.reset();
    m_textContent.clear();
    m_currentError = 1;
    m_spellingCount = 0;
    m_currentWord.clear();
    m_extract.clear();
    m_selection = {};
    m_suggestions.clear();
    m_busy = true;
    const quint64 review = ++m_review;
    ++m_step;
    if (m_services.showWindow)
        m_services.showWindow();
    notify();
    // The fetch, the parse and the first count run on a worker; the parser is used by one thread
    // at a time and belongs to the main thread once handed over.
    platform::SpellChecker* pageChecker = &checker();
    const std::weak_ptr<int> alive = m_alive;
    const std::optional<QString> forWord = m_forWord;
    Dispatch::toGlobal([this, alive, review, url, forWord, pageChecker] {
        Loaded loaded;
        loaded.parser = CrwlParser::initWithUrl(url, /*allowNoLinks=*/true);
        if (loaded.parser) {
            CrwlParser& parser = *loaded.parser;
            parser.setSpellChecker(pageChecker);
            loaded.text = parser.getTextContent();
            const auto same = [&](SpellRange r) { return lower(loaded.text.mid(r.location, r.length)) == lower(*forWord); };
            if (!forWord) {
                loaded.count = static_cast<int>(parser.getSpellingCount());
            } else {
                for (SpellRange r = parser.getFirstSpelling(); r.found(); r = parser.getNextSpelling())
                    loaded.count += same(r) ? 1 : 0;
            }
            loaded.first = parser.getFirstSpelling();
            while (forWord && loaded.first.found() && !same(loaded.first))
                loaded.first = parser.getNextSpelling();
        }
        Dispatch::toMain([this, alive, review, loaded = std::move(loaded)]() mutable {
            if (!alive.expired() && review == m_review)
                pageArrived(std::move(loaded));
        });
    });
}

void SpellingDialogueModel::pageArrived(Loaded loaded)
{
    m_busy = false;
    m_parser = std::move(loaded.parser);
    m_textContent = loaded.text;
    m_spellingCount = loaded.count;
    m_learnEnabled = true;
    showRange(loaded.first);
}

bool SpellingDialogueModel::matches(SpellRange range) const
{
    return !m_forWord || lower(m_textContent.mid(range.location, range.length)) == lower(*m_forWord);
}

SpellingDialogueModel::SpellRange SpellingDialogueModel::nextMatching(SpellRange range)
{
    while (m_parser && range.found() && !matches(range))
        range = m_parser->getNextSpelling();
    return range;
}

void SpellingDialogueModel::refreshForCurrentPage()
{
    m_spellingCount = 0;
    if (!m_parser)
        return;
    if (!m_forWord) {
        m_spellingCount = static_cast<int>(m_parser->getSpellingCount());
        return;
    }
    for (SpellRange r = m_parser->getFirstSpelling(); r.found(); r = m_parser->getNextSpelling())
        m_spellingCount += matches(r) ? 1 : 0;
}

QString SpellingDialogueModel::infoText() const
{
    if (m_busy)
        return {};
    if (m_spellingCount < 1)
        return QStringLiteral("No spellling errors found on this page");
    return QStringLiteral("%1 of %2").arg(m_currentError).arg(m_spellingCount);
}

void SpellingDialogueModel::next()
{
    if (m_busy)
        return;
    // At or past the last error (also with none at all) there is nothing further.
    if (m_currentError >= m_spellingCount) {
        beep();
        return;
    }
    ++m_currentError;
    const SpellRange range = m_parser ? nextMatching(m_parser->getNextSpelling()) : SpellRange {};
    showRange(range);
}

void SpellingDialogueModel::previous()
{
    if (m_busy)
        return;
    if (m_currentError <= 1) {
        beep();
        return;
    }
    --m_currentError;
    popRange();
    const SpellRange range = popRange();
    if (!range.found()) {
        beep();
        notify();
        return;
    }
    m_parser->spellingCursorBackTo(range);
    showRange(range);
}

void SpellingDialogueModel::learnSpelling()
{
    if (m_busy)
        return;
    const QString learned = m_currentWord;
    checker().learnWord(learned);
    const int position = m_currentError;
    refreshForCurrentPage();
    m_stack.clear();
    m_currentError = 0;
    if (m_spellingCount != 0) {
        m_parser->spellingCursorBackTo({ 0, 0 });
        for (int i = 0; i < position; ++i)
            next();
    } else {
        m_extract.clear();
        m_selection = {};
        populateGuesses({});
        notify();
    }
    if (m_services.didLearnWord)
        m_services.didLearnWord(learned);
}

void SpellingDialogueModel::switchMode()
{
    if (m_busy)
        return;
    m_currentError = 1;
    m_currentWord.clear();
    m_stack.clear();
    m_learnEnabled = true;
    showRange(m_parser ? m_parser->getFirstSpelling() : SpellRange {});
}

void SpellingDialogueModel::visit()
{
    if (!m_services.urlOpener || m_url.isEmpty())
        return;
    QUrl url(m_url, QUrl::StrictMode);
    if (!url.isValid())
        url = QUrl::fromEncoded(QUrl::toPercentEncoding(m_url, "/:?#[]@!$&'()*+,;=%~"));
    m_services.urlOpener->openURL(url);
}

void SpellingDialogueModel::windowWillClose()
{
    ++m_review; // a fetch still under way is dropped
    if (m_services.didFinishReviewing)
        m_services.didFinishReviewing();
}

void SpellingDialogueModel::showRange(SpellRange range)
{
    populateExtractField(range);
    populateGuesses(range);
    if (range.found())
        pushRange(range);
    notify();
}

void SpellingDialogueModel::populateExtractField(SpellRange range)
{
    if (!range.found()) {
        m_extract.clear();
        m_selection = {};
        return;
    }
    const qsizetype start = std::max<qsizetype>(range.location - kExcerptBefore, 0);
    // The excerpt runs to the text's end at most, so a last word is shown whole.
    const qsizetype end = std::min(start + range.length + kExcerptAfter, m_textContent.size());
    QString excerpt = m_textContent.mid(start, end - start);
    excerpt.replace(u'\r', u' ').replace(u'\n', u' ');
    m_extract = QStringLiteral("...") + excerpt + QStringLiteral("...");
    const qsizetype from = std::min(range.location - start + 3, m_extract.size());
    m_selection = { from, std::min(range.length, m_extract.size() - from) };
    m_currentWord = m_textContent.mid(range.location, range.length);
}

void SpellingDialogueModel::populateGuesses(SpellRange range)
{
    m_suggestions.clear();
    const quint64 step = ++m_step;
    if (!range.found())
        return;
    platform::SpellChecker* guessChecker = &checker();
    const std::weak_ptr<int> alive = m_alive;
    const QString text = m_textContent;
    Dispatch::toGlobal([this, alive, step, range, text, guessChecker] {
        const QStringList guesses = guessChecker->guessesForWordRange(range, text, guessChecker->language());
        Dispatch::toMain([this, alive, step, guesses] {
            if (alive.expired() || step != m_step)
                return;
            m_suggestions = guesses;
            notify();
        });
    });
}

SpellingDialogueModel::SpellRange SpellingDialogueModel::popRange()
{
    return m_stack.isEmpty() ? SpellRange {} : m_stack.takeLast();
}

void SpellingDialogueModel::beep()
{
    if (m_services.prompts)
        m_services.prompts->beep();
}

void SpellingDialogueModel::notify()
{
    if (m_services.changed)
        m_services.changed();
}

} // namespace crawlmere::reports
