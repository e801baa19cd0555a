// The sitemap's upload sheet, graph window and export menu items.
#include "app/SitemapReportActions.h"

#include "app/MainWindow.h"
#include "app/SitemapVizWindow.h"
#include "engine/ShellServices.h"
#include "settings/ConfigManager.h"
#include "sitemap/SitemapManager.h"
#include "views/SitemapFtpSheet.h"

#include <QAction>

namespace crawlmere::app {

SitemapReportActions::SitemapReportActions(MainWindow& window, sitemap::SitemapManager& manager,
    settings::ConfigManager& configManager, std::shared_ptr<ShellPrompts> prompts)
{
    // The sheet shows and stores the selected site's upload settings, whichever site was scanned.
    m_ftpSheet = new views::SitemapFtpSheet(
        manager, [&configManager](const QVariantMap& values) { configManager.setCurrentSettingsValues(values); },
        std::move(prompts), &window, [&configManager] { return configManager.getCurrentSettingsForExport(); });
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
