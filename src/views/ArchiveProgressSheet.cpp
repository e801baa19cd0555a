// The window-modal sheet of a running archive export.
#include "views/ArchiveProgressSheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace crawlmere::views {

ArchiveProgressSheet::ArchiveProgressSheet(archive::ArchiveExportController& exportController, QWidget* window)
    : QDialog(window)
    , controller(exportController)
    , exportSiteProgress_infoLabel(new QLabel(this))
    , exportSiteProgress_progBar(new QProgressBar(this))
    , cancel(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("exportSiteProgress_panel"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Archive pages"));
    exportSiteProgress_infoLabel->setObjectName(QStringLiteral("exportSiteProgress_infoLabel"));
    exportSiteProgress_progBar->setObjectName(QStringLiteral("exportSiteProgress_progBar"));
    cancel->setObjectName(QStringLiteral("exportSiteProgress_Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(exportSiteProgress_infoLabel);
    layout->addWidget(exportSiteProgress_progBar);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    setMinimumWidth(360);

    connect(cancel, &QPushButton::clicked, this, [this] { controller.cancel(); });
    // Escape cancels the export as the button does.
    connect(this, &QDialog::rejected, this, [this] { controller.cancel(); });
    controller.sheetChanged = [this](const archive::ArchiveExportSheet& sheet) { showSheet(sheet); };
}

void ArchiveProgressSheet::showSheet(const archive::ArchiveExportSheet& sheet)
{
    exportSiteProgress_infoLabel->setText(sheet.info);
    exportSiteProgress_progBar->setMaximum(static_cast<int>(std::min<qint64>(sheet.maximum, INT_MAX)));
    exportSiteProgress_progBar->setValue(static_cast<int>(std::min<qint64>(sheet.value, INT_MAX)));
    if (sheet.visible && !isVisible())
        open();
    else if (!sheet.visible && isVisible())
        hide();
}

} // namespace crawlmere::views
