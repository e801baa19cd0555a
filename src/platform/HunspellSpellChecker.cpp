// The spell checker on hunspell dictionaries.
#include "platform/HunspellSpellChecker.h"

#include "platform/LanguageNames.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QStringEncoder>

#include <hunspell/hunspell.hxx>

namespace crawlmere::platform {

namespace {

char32_t codePointAt(const QString& text, qsizetype i, qsizetype& width)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        width = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    width = 1;
    return c.unicode();
}

bool isSpace(char32_t c) { return c < 0x80 ? (c == ' ' || (c >= 0x09 && c <= 0x0D)) : QChar::isSpace(c); }

bool isLetter(char32_t c) { return c < 0x80 ? ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') : QChar::isLetter(c); }

bool isDigit(char32_t c) { return c < 0x80 ? (c >= '0' && c <= '9') : QChar::isNumber(c); }

/// Letters, digits and combining marks stay on a word; everything else is punctuation at its ends.
bool isWordCharacter(char32_t c) { return isLetter(c) || isDigit(c) || (c >= 0x80 && QChar::isMark(c)); }

/// One piece of text between white space, and the word inside it without outer punctuation.
struct Token {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype wordStart = 0;
    qsizetype wordEnd = 0;
    bool hasLetter = false;
    bool hasDigit = false;

    bool checkable() const { return hasLetter && !hasDigit; }
};

/// The next token starting at or after `from` and ending by `to`; false when none is left.
bool nextToken(const QString& text, qsizetype from, qsizetype to, Token& token)
{
    qsizetype i = from;
    qsizetype width = 1;
    while (i < to && isSpace(codePointAt(text, i, width)))
        i += width;
    if (i >= to)
        return false;
    token = Token { i, i, -1, -1, false, false };
    while (i < to) {
        const char32_t c = codePointAt(text, i, width);
        if (isSpace(c))
            break;
        if (isWordCharacter(c)) {
            if (token.wordStart < 0)
                token.wordStart = i;
            token.wordEnd = i + width;
            token.hasLetter = token.hasLetter || isLetter(c);
            token.hasDigit = token.hasDigit || isDigit(c);
        }
        i += width;
    }
    token.end = i;
    if (token.wordStart < 0)
        token.wordStart = token.wordEnd = token.start;
    return true;
}

/// Appends the UTF-8 form of `word` to `out` (cleared first).
void toUtf8(QStringView word, std::string& out)
{
    out.clear();
    bool ascii = true;
    for (QChar c : word) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        out.reserve(static_cast<size_t>(word.size()));
        for (QChar c : word)
            out.push_back(static_cast<char>(c.unicode()));
        return;
    }
    const QByteArray bytes = word.toUtf8();
    out.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

struct HunspellSpellChecker::Dictionary {
    std::unique_ptr<Hunspell> hunspell;
    bool utf8 = true;
    QStringConverter::Encoding encoding = QStringConverter::Utf8;
    QString encodingName;

    /// The word in the dictionary's encoding; false when that encoding cannot hold it.
    bool encode(QStringView word, std::string& out) const
    {
        if (utf8) {
            toUtf8(word, out);
            return true;
        }
        QStringEncoder encoder(encodingName.toLatin1().constData());
        if (!encoder.isValid())
            encoder = QStringEncoder(QStringConverter::Latin1);
        const QByteArray bytes = encoder.encode(word);
        if (encoder.hasError())
            return false;
        out.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
        return true;
    }

    QString decode(const std::string& bytes) const
    {
        if (utf8)
            return QString::fromStdString(bytes);
        QStringDecoder decoder(encodingName.toLatin1().constData());
        if (!decoder.isValid())
            return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
};

QStringList HunspellSpellChecker::defaultFolders()
{
    QStringList folders { systemFolder() };
    const QString dicpath = qEnvironmentVariable("DICPATH");
    for (const QString& folder : dicpath.split(u':', Qt::SkipEmptyParts))
        if (!folders.contains(folder))
            folders.append(folder);
    return folders;
}

QStringList HunspellSpellChecker::languagesInFolders(const QStringList& folders)
{
    QStringList identifiers;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QFileInfo& dic : dir.entryInfoList({ QStringLiteral("*.dic") }, QDir::Files | QDir::Readable)) {
            const QString name = dic.completeBaseName();
            if (dir.exists(name + QStringLiteral(".aff")) && !identifiers.contains(name))
                identifiers.append(name);
        }
    }
    identifiers.sort();
    return identifiers;
}

QString HunspellSpellChecker::defaultLearnedWordsFile()
{
    const QString folder = Paths::applicationSupportSubfolder(QStringLiteral("Spelling"));
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/LocalDictionary");
}

HunspellSpellChecker::HunspellSpellChecker(QStringList folders, QString learnedWordsFile)
    : m_folders(folders.isEmpty() ? defaultFolders() : std::move(folders))
    , m_learnedWordsFile(learnedWordsFile.isEmpty() ? defaultLearnedWordsFile() : std::move(learnedWordsFile))
{
    for (const QString& folder : std::as_const(m_folders))
        for (const QString& language : languagesInFolders({ folder }))
            if (!m_dictionaryFolders.contains(language))
                m_dictionaryFolders.insert(language, folder);

    const QString local = localeLanguageIdentifier();
    if (m_dictionaryFolders.contains(local))
        m_language = local;
    else if (m_dictionaryFolders.contains(QStringLiteral("en_US")))
        m_language = QStringLiteral("en_US");
    else if (!m_dictionaryFolders.isEmpty())
        m_language = languagesInFolders(m_folders).constFirst();

    QFile file(m_learnedWordsFile);
    if (!m_learnedWordsFile.isEmpty() && file.open(QIODevice::ReadOnly)) {
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const QString word = line.trimmed();
            if (!word.isEmpty() && !m_learnedSet.contains(word)) {
                m_learnedSet.insert(word);
                m_learnedWords.append(word);
            }
        }
    }
}

HunspellSpellChecker::~HunspellSpellChecker() = default;

HunspellSpellChecker::Dictionary* HunspellSpellChecker::dictionaryLocked(const QString& language)
{
    const QString name = language.isEmpty() ? m_language : language;
    if (auto it = m_dictionaries.find(name); it != m_dictionaries.end())
        return it->second.get();
    const QString folder = m_dictionaryFolders.value(name);
    if (folder.isEmpty()) {
        if (!m_reportedNoLanguage && m_language.isEmpty()) {
            m_reportedNoLanguage = true;
            logLine(0, QStringLiteral("No spelling dictionary is installed: spelling was not checked"));
        }
        return nullptr;
    }
    const QByteArray aff = QFile::encodeName(folder + u'/' + name + QStringLiteral(".aff"));
    const QByteArray dic = QFile::encodeName(folder + u'/' + name + QStringLiteral(".dic"));
    auto dictionary = std::make_unique<Dictionary>();
    dictionary->hunspell = std::make_unique<Hunspell>(aff.constData(), dic.constData());
    dictionary->encodingName = QString::fromStdString(dictionary->hunspell->get_dict_encoding());
    dictionary->utf8 = dictionary->encodingName.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0;
    Dictionary* loaded = dictionary.get();
    m_dictionaries.emplace(name, std::move(dictionary));
    return loaded;
}

bool HunspellSpellChecker::isCorrect(Dictionary* dictionary, QStringView word)
{
    if (!m_learnedSet.isEmpty()) {
        const QString text = word.toString();
        if (m_learnedSet.contains(text) || m_learnedSet.contains(text.toLower()))
            return true;
    }
    if (!dictionary->encode(word, m_encodeBuffer))
        return false;
    return dictionary->hunspell->spell(m_encodeBuffer);
}

SpellRange HunspellSpellChecker::findMisspelled(
    const QString& text, qsizetype from, qsizetype to, const QString& language, qint64* count)
{
    Token token;
    qsizetype at = from;
    while (nextToken(text, at, to, token)) {
        at = token.end;
        if (!token.checkable())
            continue;
        if (count)
            ++*count;
        const QStringView word = QStringView(text).mid(token.wordStart, token.wordEnd - token.wordStart);
        std::lock_guard lock(m_mutex);
        Dictionary* dictionary = dictionaryLocked(language);
        if (!dictionary)
            return {};
        if (!isCorrect(dictionary, word))
            return { token.wordStart, token.wordEnd - token.wordStart };
    }
    return {};
}

SpellRange HunspellSpellChecker::checkSpelling(
    const QString& text, qsizetype startingAt, const QString& language, bool wrap, qint64* wordCount)
{
    if (wordCount)
        *wordCount = 0;
    const qsizetype start = std::clamp<qsizetype>(startingAt, 0, text.size());
    SpellRange found = findMisspelled(text, start, text.size(), language, wordCount);
    if (!found.found() && wrap && start > 0)
        found = findMisspelled(text, 0, start, language, wordCount);
    return found;
}

SpellRange HunspellSpellChecker::checkGrammar(
    const QString& text, qsizetype startingAt, const QString& /*language*/, bool wrap, QList<GrammarDetail>* details)
{
    if (details)
        details->clear();
    QString repeated;
    const auto search = [&](qsizetype from, qsizetype to) -> SpellRange {
        Token previous;
        bool havePrevious = false;
        Token token;
        qsizetype at = from;
        while (nextToken(text, at, to, token)) {
            at = token.end;
            const bool cleanEnd = token.wordEnd == token.end;
            const bool cleanStart = token.wordStart == token.start;
            if (havePrevious && cleanStart && token.hasLetter
                && QStringView(text)
                        .mid(previous.wordStart, previous.wordEnd - previous.wordStart)
                        .compare(QStringView(text).mid(token.wordStart, token.wordEnd - token.wordStart),
                            Qt::CaseInsensitive)
                    == 0) {
                repeated = text.mid(previous.wordStart, previous.wordEnd - previous.wordStart);
                return { previous.wordStart, token.wordEnd - previous.wordStart };
            }
            havePrevious = cleanEnd && token.hasLetter && token.wordEnd > token.wordStart;
            previous = token;
        }
        return {};
    };
    const qsizetype start = std::clamp<qsizetype>(startingAt, 0, text.size());
    SpellRange found = search(start, text.size());
    if (!found.found() && wrap && start > 0)
        found = search(0, start);
    if (found.found() && details) {
        details->append({ found, QStringLiteral("repeated word"),
            QStringLiteral("The word \u201C%1\u201D is repeated.").arg(repeated) });
    }
    return found;
}

QStringList HunspellSpellChecker::guessesForWordRange(SpellRange range, const QString& text, const QString& language)
{
    if (!range.found() || range.location < 0 || range.length <= 0 || range.end() > text.size())
        return {};
    const QStringView word = QStringView(text).mid(range.location, range.length);
    std::lock_guard lock(m_mutex);
    Dictionary* dictionary = dictionaryLocked(language);
    if (!dictionary || !dictionary->encode(word, m_encodeBuffer))
        return {};
    QStringList guesses;
    for (const std::string& guess : dictionary->hunspell->suggest(m_encodeBuffer))
        guesses.append(dictionary->decode(guess));
    return guesses;
}

void HunspellSpellChecker::learnWord(const QString& word)
{
    const QString trimmed = word.trimmed();
    std::lock_guard lock(m_mutex);
    if (trimmed.isEmpty() || m_learnedSet.contains(trimmed))
        return;
    m_learnedSet.insert(trimmed);
    m_learnedWords.append(trimmed);
    saveLearnedWordsLocked();
}

void HunspellSpellChecker::unlearnWord(const QString& word)
{
    const QString trimmed = word.trimmed();
    std::lock_guard lock(m_mutex);
    if (!m_learnedSet.remove(trimmed))
        return;
    m_learnedWords.removeAll(trimmed);
    saveLearnedWordsLocked();
}

bool HunspellSpellChecker::hasLearnedWord(const QString& word)
{
    std::lock_guard lock(m_mutex);
    return m_learnedSet.contains(word.trimmed());
}

void HunspellSpellChecker::saveLearnedWordsLocked()
{
    QString text;
    for (const QString& word : std::as_const(m_learnedWords))
        text += word + u'\n';
    QString error = QStringLiteral("no file");
    if (m_learnedWordsFile.isEmpty() || !saveTextAtomically(m_learnedWordsFile, text, &error))
        logLine(1, QStringLiteral("Could not save the learned words to %1: %2").arg(m_learnedWordsFile, error));
}

QString HunspellSpellChecker::language()
{
    std::lock_guard lock(m_mutex);
    return m_language;
}

bool HunspellSpellChecker::setLanguage(const QString& language)
{
    std::lock_guard lock(m_mutex);
    if (!m_dictionaryFolders.contains(language))
        return false;
    m_language = language;
    return true;
}

QStringList HunspellSpellChecker::availableLanguages()
{
    std::lock_guard lock(m_mutex);
    QStringList languages = m_dictionaryFolders.keys();
    languages.sort();
    return languages;
}

} // namespace crawlmere::platform
