// The registered defaults of the SEO tallies and the warnings collection.
#include "reports/ReportsDefaults.h"

#include "platform/UserDefaults.h"

namespace crawlmere::reports {

QVariantMap reportsDefaults()
{
    return {
        { defaultsKey::metaTitleMax, QStringLiteral("60") },
        { defaultsKey::metaDescriptionMax, QStringLiteral("300") },
        { defaultsKey::metaDescriptionMin, QStringLiteral("50") },
        { defaultsKey::tooManyLinks, QStringLiteral("1000") },
        { defaultsKey::maxThinContent, QStringLiteral("250") },
        { defaultsKey::SEOEnabled, true },
        { defaultsKey::warningsMaximumCount, qint64(65535) },
        { defaultsKey::perWarningMaximumCount, qint64(100) },
    };
}

void registerReportsDefaults(platform::UserDefaults& defaults) { defaults.registerDefaults(reportsDefaults()); }

} // namespace crawlmere::reports
