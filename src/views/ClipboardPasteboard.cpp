// The system clipboard as a pasteboard.
#include "views/ClipboardPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace crawlmere::views {

namespace {

QClipboard* clipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

} // namespace

void ClipboardPasteboard::setString(const QString& text)
{
    if (QClipboard* board = clipboard())
        board->setText(text, QClipboard::Clipboard);
}

QString ClipboardPasteboard::string() const
{
    const QClipboard* board = clipboard();
    return board ? board->text(QClipboard::Clipboard) : QString();
}

} // namespace crawlmere::views
