// The SEO page table's column manager.
#include "views/SEOColumnManager.h"

QList<std::pair<QString, QString>> SEOColumnManager::olderKeys()
{
    return {
        { QStringLiteral("WebtallySEOViewColsCanonical"), QStringLiteral("Canonical") },
        { QStringLiteral("WebtallySEOViewColsResponseTime"), QStringLiteral("Response time") },
        { QStringLiteral("WebtallySEOViewColsImageCount"), QStringLiteral("Image count") },
        { QStringLiteral("WebtallySEOViewColsImageWeight"), QStringLiteral("Image weight") },
        { QStringLiteral("WebtallySEOViewColsLinkCount"), QStringLiteral("Link count") },
        { QStringLiteral("WebtallySEOViewColsWordCount"), QStringLiteral("Word count") },
        { QStringLiteral("WebtallySEOViewColsContent"), QStringLiteral("Content") },
        { QStringLiteral("WebtallySEOViewColsBacklinks"), QStringLiteral("Internal backlinks") },
        { QStringLiteral("WebtallySEOViewColsLastModified"), QStringLiteral("Last modified") },
        { QStringLiteral("WebtallySEOViewColsRobots"), QStringLiteral("Robots") },
    };
}

void SEOColumnManager::honourOldDefaults() { migrateOlderKeys(olderKeys()); }

bool SEOColumnManager::shouldAllowSelectionOfColumnNamed(const QString& title) const
{
    static const QStringList mandatory { QStringLiteral("URL") };
    return !mandatory.contains(title);
}
