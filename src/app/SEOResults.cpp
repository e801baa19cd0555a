// The SEO tab's manager and widgets as the main window holds them.
#include "app/SEOResults.h"

#include "engine/Z12Ara.h"
#include "reports/SEOManager.h"
#include "views/LinkViewOpener.h"
#include "views/Pasteboard.h"
#include "views/SEOTab.h"

namespace crawlmere::app {

SEOResults::SEOResults(std::shared_ptr<Z12Ara> hub, platform::UserDefaults& defaults,
    std::shared_ptr<platform::UrlOpener> urlOpener, platform::SavePanel* savePanel)
    : m_hub(std::move(hub))
    , m_manager(std::make_unique<reports::SEOManager>(defaults))
{
    m_manager->setUrlOpener(std::move(urlOpener));
    m_manager->setSavePanel(savePanel);
    m_tab = std::make_unique<views::SEOTab>(*m_manager, defaults, views::Pasteboard::general());
    m_tab->setObjectName(QStringLiteral("seoTabViewItem"));
    m_tab->setUpColumns();
    m_tab->setInspectorOpener([this](const std::shared_ptr<CrwlUrl>& page) {
        if (m_opener)
            m_opener->inspectPage(page);
    });
}

SEOResults::~SEOResults()
{
    // The tab unhooks itself from the manager, so it goes first.
    m_tab.reset();
}

views::SEOTab* SEOResults::tab() const { return m_tab.get(); }

void SEOResults::setOpener(views::LinkViewOpener* opener) { m_opener = opener; }

void SEOResults::setVisibilityObserver(std::function<void()> observer)
{
    m_manager->setVisibilityObserver(std::move(observer));
}

void SEOResults::populateIfNotPopulated()
{
    if (m_manager->getCount() > 0)
        return;
    m_manager->populate(m_hub->internalPagesCollection());
    m_tab->reloadAllData();
}

void SEOResults::clear() { m_tab->clear(); }
void SEOResults::exportSEOAsCSV() { m_manager->exportSEOAsCSV(); }
void SEOResults::exportSEOAsHTML() { m_manager->exportSEOAsHTML(); }

} // namespace crawlmere::app
