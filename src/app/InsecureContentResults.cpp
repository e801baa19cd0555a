// The insecure-content list filled from the hub, shown in its window and exported flat.
#include "app/InsecureContentResults.h"

#include "app/MainWindow.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/SavePanel.h"
#include "reports/CrwlInsecureDataSource.h"
#include "views/InsecureContentWindow.h"

namespace crawlmere::app {

InsecureContentResults::InsecureContentResults(const ResultsServices& services)
    : m_services(services)
    , m_source(std::make_unique<reports::CrwlInsecureDataSource>())
{
}

InsecureContentResults::~InsecureContentResults() { deleteWindow(); }

void InsecureContentResults::deleteWindow() { delete m_window; }

views::InsecureContentWindow* InsecureContentResults::window() const { return m_window; }

void InsecureContentResults::populate()
{
    m_source->clear();
    m_source->setCollection(m_services.hub->insecureList());
}

void InsecureContentResults::clear() { m_source->clear(); }

void InsecureContentResults::showWindow(bool viewsRequireRefresh)
{
    m_source->populateIfNotPopulated(m_services.hub->insecureList(), viewsRequireRefresh);
    if (!m_window)
        m_window = new views::InsecureContentWindow(*m_source, &m_services.window);
    m_window->showWindow();
}

QString InsecureContentResults::askForFile(const QString& fileType) const
{
    platform::SavePanelRequest request;
    request.allowedFileTypes = { fileType };
    request.kind = QStringLiteral("insecure-content");
    const std::optional<QString> path = m_services.savePanel ? m_services.savePanel->runModal(request) : std::nullopt;
    return path.value_or(QString());
}

void InsecureContentResults::exportAs(TableExportJob::Format format)
{
    if (m_source->getCount() == 0)
        return;
    const auto ask = [this](const QString& type) { return askForFile(type); };
    const auto beep = [this] {
        if (m_services.prompts)
            m_services.prompts->beep();
    };
    const auto failed = [this](const QString& path, const QString& reason) {
        if (m_services.savePanel)
            m_services.savePanel->showSaveFailure(path, reason);
    };
    if (format == TableExportJob::Format::Csv)
        m_source->exportInsecureAsFlatCSV(ask, beep, failed);
    else
        m_source->exportInsecureAsFlatHTML(ask, beep, failed);
}

} // namespace crawlmere::app
