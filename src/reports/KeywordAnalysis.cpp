// The keyword density of one page's text: phrases of one to four words by frequency.
#include "reports/KeywordAnalysis.h"

#include "platform/UserDefaults.h"

#include <QRegularExpression>

#include <algorithm>

namespace crawlmere::reports {

namespace {

bool qualifies(const QString& word)
{
    static const QStringList stopWords = { "and", "the", "you", "are", "will", "for" };
    return word.size() >= 3 && !stopWords.contains(word);
}

} // namespace

float KeywordAnalysis::defaultThreshold()
{
    const QVariant value = platform::UserDefaults::standard().objectForKey(defaultsKey::maxKeywordDensity);
    return value.isValid() && !value.isNull() ? value.toString().toFloat() : 4.0F;
}

QStringList KeywordAnalysis::words(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s.,|()*&%/]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

KeywordAnalysis::KeywordAnalysis(const QString& text, float thresholdPercent)
    : m_threshold(thresholdPercent)
{
    const QStringList all = words(text);
    m_wordCount = all.size();
    for (const QString& word : all) {
        const QString lowered = word.toLower();
        if (qualifies(lowered))
            ++m_listings[0].counts[lowered];
    }
    for (int k = 2; k <= 4; ++k) {
        for (qsizetype i = 0; i + k <= all.size(); ++i) {
            if (qualifies(all.at(i)) && qualifies(all.at(i + k - 1)))
                ++m_listings[static_cast<size_t>(k - 1)].counts[all.mid(i, k).join(u' ').toLower()];
        }
    }
    const float limit = static_cast<float>(m_wordCount) * (m_threshold / 100.0F);
    for (Listing& listing : m_listings) {
        QList<std::pair<qint64, QString>> ordered;
        for (auto it = listing.counts.cbegin(); it != listing.counts.cend(); ++it) {
            if (it.value() >= 2)
                ordered.append({ it.value(), it.key() });
        }
        std::sort(ordered.begin(), ordered.end(),
            [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
        for (const auto& [count, phrase] : ordered) {
            listing.phrases << phrase;
            if (static_cast<float>(count) > limit)
                listing.keywordCount = listing.phrases.size();
        }
    }
}

const KeywordAnalysis::Listing& KeywordAnalysis::listing(int length) const
{
    return m_listings[static_cast<size_t>(length >= 2 && length <= 4 ? length - 1 : 0)];
}

QString KeywordAnalysis::densityText(int length, const QString& phrase) const
{
    const float count = static_cast<float>(listing(length).counts.value(phrase));
    const float density = m_wordCount > 0 ? count / static_cast<float>(m_wordCount) * 100.0F : 0.0F;
    return QString::asprintf("%.2f", static_cast<double>(density));
}

} // namespace crawlmere::reports
