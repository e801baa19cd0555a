// Answering the window's save panel from a test: the path typed in once the panel shows.
#pragma once

#include "app/FileDialogSavePanel.h"
#include "app/WindowPrompts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
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

/// Closes the next alert of the window once it shows, keeping its text and informative text
/// (one line each) in `shown`, which must outlive the answer. A question before it (the save
/// panel's whether to replace a file) is answered yes.
inline void answerAlert(QStringList* shown)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->objectName() != app::WindowPrompts::kAlertName && box->button(QMessageBox::Yes)) {
            box->button(QMessageBox::Yes)->click();
            return;
        }
        if (!box || box->objectName() != app::WindowPrompts::kAlertName)
            return;
        timer->stop();
        timer->deleteLater();
        shown->append(box->text() + u'\n' + box->informativeText());
        box->done(0);
    });
    timer->start();
}

} // namespace crawlmere::test
