// Printing to a file, with the checks of every save.
#include "app/PrintToFile.h"

#include "platform/Paths.h"
#include "platform/AtomicFile.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryFile>

namespace crawlmere::app {

void checkPrintTargetOnAccept(QPrintDialog& dialog, PrintRefused refused)
{
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("filename"));
    QDialogButtonBox* buttons = nullptr;
    for (auto* box : dialog.findChildren<QDialogButtonBox*>()) {
        if (box->button(QDialogButtonBox::Ok))
            buttons = box;
    }
    if (!field || !buttons)
        return;
    // The dialog's own check of its fields runs on the box's accepted signal: it goes after this one.
    QObject::disconnect(buttons, &QDialogButtonBox::accepted, &dialog, nullptr);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, field, refused = std::move(refused)] {
        const QString target = field->isEnabled() ? field->text() : QString();
        if (const QString reason = platform::reasonNotToSaveAt(target); !target.isEmpty() && !reason.isNull()) {
            if (refused)
                refused(target, reason);
            return;
        }
        if (!QMetaObject::invokeMethod(&dialog, "_q_checkFields"))
            dialog.accept();
    });
}

bool printThroughCheckedFile(QPrinter& printer, const std::function<bool()>& print, const PrintRefused& refused)
{
    const QString target = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    if (target.isEmpty())
        return print();
    const auto fail = [&](const QString& reason) {
        if (refused)
            refused(target, reason);
        return false;
    };
    if (const QString reason = platform::reasonNotToSaveAt(target); !reason.isNull())
        return fail(reason);
    QTemporaryFile printed(
        QDir(platform::Paths::applicationSupportSubfolder(QStringLiteral("temp"))).filePath(QStringLiteral("print-XXXXXX.pdf")));
    if (!printed.open())
        return fail(printed.errorString());
    printer.setOutputFileName(printed.fileName());
    const bool made = print();
    printer.setOutputFileName(target);
    if (!made)
        return false;
    QString reason;
    const bool saved = platform::saveStreamAtomically(
        target,
        [&printed](const platform::PieceWriter& write) {
            printed.seek(0);
            while (!printed.atEnd()) {
                const QByteArray piece = printed.read(1 << 20);
                if (piece.isEmpty() || !write(piece))
                    return false;
            }
            return true;
        },
        &reason);
    return saved || fail(reason);
}

} // namespace crawlmere::app
