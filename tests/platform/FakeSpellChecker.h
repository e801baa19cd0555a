// A spell checker for tests: chosen words are misspelled, "!!" is a grammar issue, learned words
// are recorded, and a grammar check can be made to throw.
#pragma once

#include "platform/SpellChecker.h"

#include <QSet>

#include <stdexcept>

namespace crawlmere::test {

/// Words are split at single spaces; those in `misspelled` are reported. Every "!!" is a grammar
/// issue; the `throwAt`-th grammar check (from 1) throws.
class FakeSpellChecker final : public crawlmere::platform::SpellChecker {
public:
    using SpellRange = crawlmere::platform::SpellRange;
    using GrammarDetail = crawlmere::platform::GrammarDetail;

    QSet<QString> misspelled;
    int throwAt = 0;
    int grammarChecks = 0;
    QStringList learned;

    SpellRange checkSpelling(const QString& text, qsizetype from, const QString&, bool, qint64*) override
    {
        for (qsizetype start = from; start < text.size();) {
            qsizetype end = text.indexOf(u' ', start);
            if (end < 0)
                end = text.size();
            if (misspelled.contains(text.mid(start, end - start)))
                return { start, end - start };
            start = end + 1;
        }
        return {};
    }
    SpellRange checkGrammar(
        const QString& text, qsizetype from, const QString&, bool, QList<GrammarDetail>* details) override
    {
        if (++grammarChecks == throwAt)
            throw std::runtime_error("grammar");
        const qsizetype at = text.indexOf(QLatin1String("!!"), from);
        if (at < 0)
            return {};
        if (details)
            details->append({ { at, 2 }, QStringLiteral("bang"), QString() });
        return { at, 2 };
    }
    QStringList guessesForWordRange(SpellRange, const QString&, const QString&) override { return {}; }
    void learnWord(const QString& word) override { learned << word; }
    void unlearnWord(const QString& word) override { learned.removeAll(word); }
    bool hasLearnedWord(const QString& word) override { return learned.contains(word); }
    QString language() override { return QStringLiteral("xx"); }
    bool setLanguage(const QString&) override { return true; }
    QStringList availableLanguages() override { return {}; }
};

} // namespace crawlmere::test
