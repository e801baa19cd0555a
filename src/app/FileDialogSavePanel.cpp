// The save panel of the windows.
#include "app/FileDialogSavePanel.h"

#include "app/WindowPrompts.h"
#include "platform/Log.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace crawlmere::app {

FileDialogSavePanel::FileDialogSavePanel(QWidget* parent)
    : m_parent(parent)
{
}

std::optional<QString> FileDialogSavePanel::runModal(const platform::SavePanelRequest& request)
{
    QFileDialog dialog(m_parent.data(), request.title);
    dialog.setObjectName(kDialogName);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    if (!request.allowedFileTypes.isEmpty()) {
        QStringList patterns;
        for (const QString& type : request.allowedFileTypes)
            patterns << QStringLiteral("*.") + type;
        dialog.setNameFilters({ patterns.join(QLatin1Char(' ')), QFileDialog::tr("All files (*)") });
        dialog.setDefaultSuffix(request.allowedFileTypes.first());
    }
    dialog.selectFile(request.nameFieldStringValue);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::cleanPath(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
}

void FileDialogSavePanel::showSaveFailure(const QString& path, const QString& reason)
{
    const QString text = platform::saveFailureText(path, reason);
    platform::logLine(0, text);
    WindowPrompts(m_parent.data()).runModalAlert({ kSaveFailedText, text, {} });
}

} // namespace crawlmere::app
