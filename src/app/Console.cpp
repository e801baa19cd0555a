// The console window's view, find bar and its link to the standard error capture.
#include "app/Console.h"

#include "platform/Log.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace crawlmere::app {

Console::Console(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("consoleWindow"));
    setWindowTitle(tr("Console"));
    resize(720, 480);
    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("consoleOutputView"));
    m_output->setReadOnly(true);
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setMaximumBlockCount(kMaximumLines);
    m_output->setUndoRedoEnabled(false);

    m_findBar = new QWidget(this);
    m_findField = new QLineEdit(m_findBar);
    m_findField->setObjectName(QStringLiteral("consoleFindField"));
    m_findField->setPlaceholderText(tr("Find"));
    auto* next = new QPushButton(tr("Next"), m_findBar);
    auto* done = new QPushButton(tr("Done"), m_findBar);
    auto* findRow = new QHBoxLayout(m_findBar);
    findRow->setContentsMargins(4, 2, 4, 2);
    findRow->addWidget(m_findField, 1);
    findRow->addWidget(next);
    findRow->addWidget(done);
    m_findBar->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_findBar);
    layout->addWidget(m_output, 1);

    auto* find = new QAction(tr("Find…"), this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    addAction(find);
    connect(find, &QAction::triggered, this, [this] {
        m_findBar->show();
        m_findField->setFocus(Qt::ShortcutFocusReason);
        m_findField->selectAll();
    });
    connect(m_findField, &QLineEdit::returnPressed, this, [this] { findNext(m_findField->text()); });
    connect(next, &QPushButton::clicked, this, [this] { findNext(m_findField->text()); });
    connect(done, &QPushButton::clicked, m_findBar, &QWidget::hide);
    connect(&m_capture, &ConsoleCapture::textAppended, this, &Console::appendText);
}

Console::~Console() { stop(); }

bool Console::start()
{
    const QString logFile = qEnvironmentVariable("CRAWLMERE_LOG_FILE");
    m_capture.setLogFile(logFile);
    if (!m_capture.start())
        return false;
    if (!logFile.isEmpty())
        platform::logLine(0, QStringLiteral("also sending output to: %1").arg(logFile));
    return true;
}

void Console::stop() { m_capture.stop(); }

void Console::appendText(const QString& text)
{
    QScrollBar* bar = m_output->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor end(m_output->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    if (atEnd)
        bar->setValue(bar->maximum());
}

bool Console::findNext(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (m_output->find(text))
        return true;
    QTextCursor start(m_output->document());
    m_output->setTextCursor(start);
    return m_output->find(text);
}

} // namespace crawlmere::app
