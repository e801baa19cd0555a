// Text checks of the page scanner: misspelled words and grammar issues of the page text through the
// shared spell checker, the web-address test, and the keyword-stuffing test.
#include "parsing/CrwlParser.h"

#include "parsing/detail/ParserDefaults.h"

#include <QHash>
#include <QSet>

#include <exception>

namespace detail = crawlmere::parsing::detail;
using crawlmere::platform::SpellChecker;

namespace {

constexpr float kDefaultKeywordDensity = 4.0f;
constexpr qsizetype kShortestKeyword = 4;

bool isKeywordSeparator(QChar c)
{
    switch (c.unicode()) {
    case u'.':
    case u',':
    case u'|':
    case u'(':
    case u')':
    case u'*':
    case u'&':
    case u'%':
    case u'/':
        return true;
    default:
        return c.isSpace();
    }
}

bool isStopWord(const QString& word)
{
    static const QSet<QString> stopWords { QStringLiteral("will"), QStringLiteral("that"), QStringLiteral("have"),
        QStringLiteral("with"), QStringLiteral("this"), QStringLiteral("from"), QStringLiteral("your") };
    return stopWords.contains(word);
}

float keywordDensityThreshold()
{
    const QVariant value = detail::defaultsObject(defaultsKey::maxKeywordDensity);
    if (!value.isValid() || value.isNull())
        return kDefaultKeywordDensity;
    return value.toFloat();
}

} // namespace

SpellChecker& CrwlParser::spellChecker() const { return m_spellChecker ? *m_spellChecker : SpellChecker::shared(); }

CrwlParser::SpellRange CrwlParser::checkSpellingFromCursor()
{
    return spellChecker().checkSpelling(getTextContent(), spellingCursor);
}

qint64 CrwlParser::getSpellingCount()
{
    const QString text = getTextContent();
    SpellChecker& checker = spellChecker();
    spellingCursor = 0;
    qint64 count = 0;
    while (spellingCursor < text.size()) {
        const SpellRange found = checker.checkSpelling(text, spellingCursor);
        if (!found.found())
            break;
        if (!isWebAddress(text.mid(found.location, found.length)))
            ++count;
        // An empty range still moves the cursor, so a count always ends.
        spellingCursor = std::max(found.end(), spellingCursor + 1);
    }
    return count;
}

CrwlParser::SpellRange CrwlParser::getFirstSpelling()
{
    spellingCursor = 0;
    return getNextSpelling();
}

CrwlParser::SpellRange CrwlParser::getNextSpelling()
{
    const QString text = getTextContent();
    while (true) {
        const SpellRange found = checkSpellingFromCursor();
        if (!found.found())
            return {};
        spellingCursor = std::max(found.end(), spellingCursor + 1);
        if (!isWebAddress(text.mid(found.location, found.length)))
            return found;
    }
}

void CrwlParser::spellingCursorBackTo(SpellRange range)
{
    if (range.found())
        spellingCursor = range.end();
}

QStringList CrwlParser::getAllSpelling()
{
    const QString text = getTextContent();
    QStringList words;
    QSet<QString> seen;
    seen.reserve(10);
    for (SpellRange found = getFirstSpelling(); found.found(); found = getNextSpelling()) {
        const QString word = text.mid(found.location, found.length);
        if (!seen.contains(word)) {
            seen.insert(word);
            words.append(word);
        }
    }
    return words;
}

qint64 CrwlParser::getGrammarCount()
{
    const QString text = getTextContent();
    SpellChecker& checker = spellChecker();
    spellingCursor = 0;
    qint64 count = 0;
    while (true) {
        SpellRange found;
        try {
            found = checker.checkGrammar(text, spellingCursor);
        } catch (const std::exception&) {
            detail::parserLog(1,
                QStringLiteral("Exception raised by grammar checker, text is %1 bytes, cursor is %2")
                    .arg(text.size())
                    .arg(spellingCursor));
            return count;
        }
        if (!found.found())
            return count;
        ++count;
        spellingCursor = std::max(found.end(), spellingCursor + 1);
        if (spellingCursor >= text.size() || count >= kMaxGrammarCount)
            return count;
    }
}

CrwlParser::SpellRange CrwlParser::getFirstGrammar()
{
    spellingCursor = 0;
    return getNextGrammar();
}

CrwlParser::SpellRange CrwlParser::getNextGrammar()
{
    QList<GrammarDetail> details;
    const SpellRange found = spellChecker().checkGrammar(getTextContent(), spellingCursor, {}, false, &details);
    if (found.found()) {
        spellingCursor = std::max(found.end(), spellingCursor + 1);
        grammarDetails = details.isEmpty() ? std::nullopt : std::optional(details);
    }
    return found;
}

bool CrwlParser::isWebAddress(const QString& word)
{
    if (word.isEmpty())
        return false;
    if (word.contains(QLatin1String("://")) || word.contains(u'.'))
        return true;
    if (word.contains(u':') && word.contains(u';'))
        return true;
    qsizetype high = 0;
    qsizetype hyphens = 0;
    for (QChar c : word) {
        if (c.unicode() < 0x20)
            return true;
        if (c.unicode() >= 0x80)
            ++high;
        if (c == u'-')
            ++hyphens;
    }
    return high > word.size() / 2 || hyphens >= 2;
}

bool CrwlParser::isKeywordStuffed() const
{
    const QString text = getTextContent();
    if (text.isEmpty())
        return false;
    QList<QStringView> words;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isKeywordSeparator(text.at(i))) {
            if (i > start)
                words.append(QStringView(text).mid(start, i - start));
            start = i + 1;
        }
    }
    const qsizetype n = words.size();
    if (n == 0)
        return false;
    const float limit = keywordDensityThreshold() / 100.0f * static_cast<float>(n);
    QHash<QString, qint64> counts;
    counts.reserve(1000);
    for (QStringView piece : std::as_const(words)) {
        const QString word = piece.toString().toLower();
        if (word.size() < kShortestKeyword || isStopWord(word))
            continue;
        auto it = counts.find(word);
        if (it == counts.end()) {
            counts.insert(word, 1);
            continue;
        }
        if (static_cast<float>(it.value()) > limit) {
            detail::parserLog(1,
                QStringLiteral("page is stuffed with keyword %1, occuring %2 times out of %3 words")
                    .arg(word, QString::number(it.value()), QString::number(n)));
            return true;
        }
        ++it.value();
    }
    return false;
}
