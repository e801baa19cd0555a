// The general export of one result view, read on the main thread and written on a worker.
#include "app/ResultViewExporter.h"

#include "app/RememberingSavePanel.h"
#include "app/StatusLineField.h"
#include "engine/ShellServices.h"
#include "platform/Log.h"
#include "platform/SavePanel.h"
#include "views/ResultItemModel.h"
#include "views/ResultTreeView.h"
#include "views/TableExportSlicer.h"

namespace crawlmere::app {

ResultViewExporter::ResultViewExporter(std::shared_ptr<ShellPrompts> prompts,
    std::shared_ptr<platform::SavePanel> savePanel, StatusLineField* status, QObject* parent)
    : QObject(parent)
    , m_prompts(std::move(prompts))
    , m_savePanel(std::move(savePanel))
    , m_status(status)
{
}

ResultViewExporter::~ResultViewExporter() { delete m_slicer; }

bool ResultViewExporter::isReading() const { return !m_slicer.isNull(); }

TableExportSnapshot ResultViewExporter::snapshotOf(views::ResultTreeView& view)
{
    views::ResultItemModel& model = view.itemModel();
    if (!model.outlineDataSource()) {
        if (qfDataSource* source = model.dataSource())
            return TableExportSnapshot::fromTable(*source, view);
        return {};
    }
    // An outline: the rows as shown, children only below expanded rows.
    const std::unique_ptr<TableExportSlicer> slicer(TableExportSlicer::forOutline(view));
    return slicer->readAll();
}

void ResultViewExporter::beep()
{
    if (m_prompts)
        m_prompts->beep();
}

void ResultViewExporter::showProgress(float proportion)
{
    if (m_status)
        m_status->setProportion(proportion);
}

void ResultViewExporter::exportView(QTreeView* view, TableExportJob::Format format, std::function<void()> handedOn,
    std::function<void(const TableExportJob::Result&)> done)
{
    auto* resultView = qobject_cast<views::ResultTreeView*>(view);
    if (!resultView) {
        if (handedOn)
            handedOn();
        return;
    }
    const QString kind = RememberingSavePanel::kindOfView(view->objectName());
    views::ResultItemModel& model = resultView->itemModel();
    qfDataSource* source = model.dataSource();
    const bool outline = model.outlineDataSource();
    if (!outline && (!source || !m_sliced.contains(source))) {
        write(snapshotOf(*resultView), format, kind, handedOn, std::move(done));
        return;
    }
    if (m_slicer) {
        platform::logLine(1, QStringLiteral("export: another export is still being read"));
        beep();
        if (handedOn)
            handedOn();
        return;
    }
    m_slicer = outline ? TableExportSlicer::forOutline(*resultView, this)
                       : new TableExportSlicer(*source, *resultView, this);
    m_slicer->start(
        kSlice, [this](float proportion) { showProgress(proportion * 0.5f); },
        [this, format, kind, handedOn, done = std::move(done)](TableExportSnapshot snapshot) mutable {
            m_slicer = nullptr;
            write(std::move(snapshot), format, kind, handedOn, std::move(done));
        });
}

void ResultViewExporter::write(TableExportSnapshot snapshot, TableExportJob::Format format, const QString& kind,
    const std::function<void()>& handedOn, std::function<void(const TableExportJob::Result&)> done)
{
    const auto finish = [&handedOn] {
        if (handedOn)
            handedOn();
    };
    if (snapshot.isEmpty()) {
        showProgress(0.0f);
        beep();
        finish();
        return;
    }
    platform::SavePanelRequest request;
    request.allowedFileTypes
        = { format == TableExportJob::Format::Csv ? QStringLiteral("csv") : QStringLiteral("html") };
    request.kind = kind;
    const std::optional<QString> path = m_savePanel ? m_savePanel->runModal(request) : std::nullopt;
    if (!path || path->isEmpty()) {
        showProgress(0.0f);
        finish();
        return;
    }
    QPointer<ResultViewExporter> self(this);
    TableExportJob::start(
        std::move(snapshot), format, qfDataSource::csvQuoteEscapeOption(), *path,
        [self](float proportion) {
            if (self)
                self->showProgress(proportion <= 0.0f ? 0.0f : 0.5f + proportion * 0.5f);
        },
        [self, handedOn, done = std::move(done)](const TableExportJob::Result& result) {
            // Gone with its window: so are the owners of both hand-overs.
            if (!self)
                return;
            self->showProgress(0.0f);
            if (result.error && self->m_savePanel)
                self->m_savePanel->showSaveFailure(result.path, *result.error);
            if (done)
                done(result);
            if (handedOn)
                handedOn();
        });
}

} // namespace crawlmere::app
