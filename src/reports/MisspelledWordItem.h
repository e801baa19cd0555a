// A word row of the spelling results' by-word outline.
#pragma once

#include "engine/CrwlDataObject.h"

namespace crawlmere::reports {

/// The outline's row object for one key of the misspelled-word dictionary (a lower-case word).
/// Its page rows are the dictionary's pages for the word.
class MisspelledWordItem final : public CrwlDataObject {
public:
    explicit MisspelledWordItem(QString lowerCaseWord)
        : word(std::move(lowerCaseWord))
    {
    }
    /// "duffword": the word; any other key "".
    QString getFieldByName(const QString& key) const override
    {
        return key == QLatin1String("duffword") ? word : QString();
    }

    const QString word;
};

} // namespace crawlmere::reports
