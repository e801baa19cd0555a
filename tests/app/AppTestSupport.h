// Helpers for the window tests: answering the save panel as a user would.
#pragma once

#include "app/FileDialogSavePanel.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

namespace crawlmere::test {

/// Types `path` into the save panel once it shows, and accepts it.
inline void answerSavePanelWith(const QString& path)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, path] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != app::FileDialogSavePanel::kDialogName)
            return;
        timer->stop();
        timer->deleteLater();
        modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog*>(modal)->accept();
    });
    timer->start();
}

} // namespace crawlmere::test
