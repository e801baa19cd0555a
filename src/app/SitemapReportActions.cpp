// The sitemap's upload sheet, graph window and export menu items.
#include "app/SitemapReportActions.h"

#include "app/MainWindow.h"
#include "app/SitemapVizWindow.h"
#include "engine/ShellServices.h"
#include "sitemap/SitemapManager.h"
#include "views/SitemapFtpSheet.h"

#include <QAction>

namespace crawlmere::app {

SitemapReportActions::SitemapReportActions(MainWindow& window, sitemap::SitemapManager& manager,
    std::function<QVariantMap()> siteSettings, std::function<void(const QVariantMap&)> store,
    std::shared_ptr<ShellPrompts> prompts)
{
    m_ftpSheet = new views::SitemapFtpSheet(manager, std::move(store), std::move(prompts), &window, std::move(siteSettings));
    m_vizWindow = new SitemapVizWindow(manager, &window);

    const auto connectItem = [&](const char* name, std::function<void()> handler) {
        if (QAction* item = window.menuItem(QLatin1String(name))) {
            item->setEnabled(true);
            connect(item, &QAction::triggered, this, std::move(handler));
        }
    };
    connectItem("exportSitemapAsCSVMenuItem", [&manager] { manager.exportSitemapAsCSV(); });
    connectItem("exportSitemapAsHTMLMenuItem", [&manager] { manager.exportSitemapAsHTMLMenuItem(); });
    connectItem("exportAsDotMenuItem", [&manager] { manager.exportAsDotMenuItem(); });
    connectItem("beginFTPDialogMenuItem", [this] { m_ftpSheet->model().beginFTPDialog(); });
}

SitemapReportActions::~SitemapReportActions()
{
    delete m_ftpSheet;
    delete m_vizWindow;
}

} // namespace crawlmere::app
