// The keyword density of one page's text: phrases of one to four words by frequency.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>

namespace crawlmere::reports {

/// Counts the phrases of one, two, three and four words of a text and lists those counted at
/// least twice, by descending count, ties by phrase, so the same text always lists alike. Words
/// are the pieces between white space and ".,|()*&%/". A word qualifies when it has 3 characters
/// or more and is none of "and", "the", "you", "are", "will", "for"; a single word is tested lower
/// case, a longer phrase only by its first and last words as written. Any thread.
class KeywordAnalysis {
public:
    struct Listing {
        QStringList phrases; ///< counted at least twice, by descending count, then by phrase
        QHash<QString, qint64> counts; ///< every counted phrase, lower case
        qint64 keywordCount = 0; ///< the leading phrases above the threshold
    };

    /// The `maxKeywordDensity` default as a percentage; 4.0 when the key has no value.
    static float defaultThreshold();
    /// The words of `text` at the separators, empty pieces dropped.
    static QStringList words(const QString& text);

    KeywordAnalysis() = default;
    KeywordAnalysis(const QString& text, float thresholdPercent);

    qint64 pageWordCount() const { return m_wordCount; }
    float threshold() const { return m_threshold; }
    /// The listing of phrases of `length` words; any length other than 2, 3 or 4 is single words.
    const Listing& listing(int length) const;
    /// "%.2f" of count ÷ word count × 100 for `phrase` of `length` words.
    QString densityText(int length, const QString& phrase) const;

private:
    qint64 m_wordCount = 0;
    float m_threshold = 4.0F;
    std::array<Listing, 4> m_listings;
};

} // namespace crawlmere::reports
