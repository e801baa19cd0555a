// Answering the window's save panel from a test: the path typed in once the panel shows.
#pragma once

#include "app/FileDialogSavePanel.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace crawlmere::test {

/// What the save panel showed before it was answered.
struct ShownSavePanel {
    QString fileName;
    QString folder;
};

/// Types `path` into the save panel once it shows, and accepts it. The waiting timer stays
/// until a panel shows; it deletes itself then. `shown` (may be null, must outlive the answer)
/// gets the name and folder the panel opened with.
inline void answerSavePanelWith(const QString& path, ShownSavePanel* shown = nullptr)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, path, shown] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != app::FileDialogSavePanel::kDialogName)
            return;
        timer->stop();
        timer->deleteLater();
        auto* name = modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (shown) {
            shown->fileName = name->text();
            shown->folder = static_cast<QFileDialog*>(modal)->directory().absolutePath();
        }
        name->setText(path);
        static_cast<QDialog*>(modal)->accept();
    });
    timer->start();
}

} // namespace crawlmere::test
