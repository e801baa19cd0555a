// The registered defaults of the SEO tallies and the warnings collection.
#include "reports/ReportsDefaults.h"

#include "platform/UserDefaults.h"

namespace crawlmere::reports {

QVariantMap reportsDefaults()
{
    return {
        { QStringLiteral("metaTitleMax"), QStringLiteral("60") },
        { QStringLiteral("metaDescriptionMax"), QStringLiteral("300") },
        { QStringLiteral("metaDescriptionMin"), QStringLiteral("50") },
        { QStringLiteral("tooManyLinks"), QStringLiteral("1000") },
        { QStringLiteral("maxThinContent"), QStringLiteral("250") },
        { QStringLiteral("SEOEnabled"), true },
        { QStringLiteral("warningsMaximumCount"), qint64(65535) },
        { QStringLiteral("perWarningMaximumCount"), qint64(100) },
    };
}

void registerReportsDefaults(platform::UserDefaults& defaults) { defaults.registerDefaults(reportsDefaults()); }

} // namespace crawlmere::reports
