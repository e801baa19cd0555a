// The sitemap's upload sheet, graph window and export menu items, wired to the main window.
#pragma once

#include "app/SitemapVizWindow.h"
#include "views/SitemapFtpSheet.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class ShellPrompts;

namespace crawlmere::sitemap {
class SitemapManager;
}

namespace crawlmere::app {

class MainWindow;

/// Made once the Sitemap tab has installed its observer: adds the upload sheet (`ftpDialog`) and
/// the graph window (`vizWindow`), and
/// connects the File menu's `exportSitemapAsCSVMenuItem`, `exportSitemapAsHTMLMenuItem`,
/// `exportAsDotMenuItem` and `beginFTPDialogMenuItem`. The sitemap view is filled at every
/// pause or end of a scan, so the items export what it shows.
///
/// The sitemap belongs to the site that was scanned, and so does its upload: `siteSettings`
/// answers that site's stored settings (the selected site's before any scan), which the sheet
/// shows, and `store` writes the sheet's fields back into the same site.
///
/// The window and manager must outlive this object. Main thread only.
class SitemapReportActions final : public QObject {
    Q_OBJECT
public:
    SitemapReportActions(MainWindow& window, sitemap::SitemapManager& manager,
        std::function<QVariantMap()> siteSettings, std::function<void(const QVariantMap&)> store,
        std::shared_ptr<ShellPrompts> prompts);
    ~SitemapReportActions() override;

    views::SitemapFtpSheet* ftpSheet() const { return m_ftpSheet; }
    SitemapVizWindow* vizWindow() const { return m_vizWindow; }

private:
    QPointer<views::SitemapFtpSheet> m_ftpSheet;
    QPointer<SitemapVizWindow> m_vizWindow;
};

} // namespace crawlmere::app
