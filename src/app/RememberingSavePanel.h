// The window's save panel for exports: it opens in the folder last used for the same kind of
// export and proposes a file name made of the site and the kind.
#pragma once

#include "platform/SavePanel.h"

#include <functional>
#include <memory>

namespace crawlmere::platform {
class UserDefaults;
}

namespace crawlmere::app {

/// Wraps the panel that asks. A request that names no folder opens in the folder last chosen for
/// its kind and file type (kept in the defaults under "SaveFolder:<kind>.<type>", "export" for a
/// request of no kind), when that folder still exists. A request of some kind that names no file
/// proposes "<site>-<kind>.<type>" ("example.com-by-link.csv"); what the request names itself
/// is left as it is. Main thread only; `defaults` must outlive the panel.
class RememberingSavePanel final : public platform::SavePanel {
public:
    /// `site` answers the address or name of the site the exports come from (may be empty).
    RememberingSavePanel(
        std::shared_ptr<platform::SavePanel> panel, platform::UserDefaults& defaults, std::function<QString()> site);

    std::optional<QString> runModal(const platform::SavePanelRequest& request) override;
    /// Shown by the wrapped panel.
    void showSaveFailure(const QString& path, const QString& reason) override;

    /// The proposed name: the site's host (else the site text itself) and the kind joined by "-",
    /// with characters file names should not hold replaced by "-", then "." and the type when
    /// there is one. No site: the kind alone.
    static QString proposedFileName(const QString& site, const QString& kind, const QString& type);
    /// The kind of export of a result view by its object name: "byLinkView" gives "by-link",
    /// "byStatusOutlineView" "by-status", "sitemapTableView" "sitemap-table".
    static QString kindOfView(const QString& objectName);
    /// The defaults key of the folder kept for `kind` and `type`.
    static QString folderKey(const QString& kind, const QString& type);

private:
    std::shared_ptr<platform::SavePanel> m_panel;
    platform::UserDefaults& m_defaults;
    std::function<QString()> m_site;
};

} // namespace crawlmere::app
