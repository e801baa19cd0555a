// The application defaults the reports rely on, registered by whoever starts a scan.
#pragma once

#include <QVariantMap>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::reports {

/// The reports' registered defaults: the SEO thresholds as decimal texts (`metaTitleMax` "60",
/// `metaDescriptionMax` "300", `metaDescriptionMin` "50", `tooManyLinks` "1000",
/// `maxThinContent` "250"), `SEOEnabled` YES, and the warnings caps `warningsMaximumCount`
/// 65535 and `perWarningMaximumCount` 100.
QVariantMap reportsDefaults();

/// Registers `reportsDefaults()` in the store's registered layer; a value registered again later
/// replaces these.
void registerReportsDefaults(platform::UserDefaults& defaults);

} // namespace crawlmere::reports
