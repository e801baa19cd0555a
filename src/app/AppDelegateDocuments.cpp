// The application controller's document opening: settings files, local pages, documents and URL
// lists, the open dialogs and the grants to local folders.
#include "app/AppDelegate.h"

#include "app/MainWindow.h"
#include "engine/ShellServices.h"
#include "engine/Z12Ara.h"
#include "platform/FolderAccess.h"
#include "platform/Log.h"
#include "settings/ConfigManager.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace crawlmere::app {

using platform::logLine;

namespace {

/// A URL string ("file:///...") or a plain path (made absolute) as a file URL.
QUrl fileUrlOf(const QString& path)
{
    if (path.startsWith(u"file:", Qt::CaseInsensitive))
        return QUrl(path);
    return QUrl::fromLocalFile(QDir::current().absoluteFilePath(path));
}

/// The extension of the last path component, as written.
QString extensionOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot <= slash + 1 ? QString() : path.mid(dot + 1);
}

using OwnDocument = settings::ConfigManager::OwnDocument;

} // namespace

int AppDelegate::alert(const QString& message, const QString& informative, const QStringList& buttons) const
{
    return m_prompts ? m_prompts->runModalAlert({ message, informative, buttons }) : 0;
}

void AppDelegate::beep() const
{
    if (m_prompts)
        m_prompts->beep();
}

bool AppDelegate::isScanning() const { return m_hub && m_hub->isScanning(); }

bool AppDelegate::applicationOpenFile(const QString& document)
{
    // A copy: start-up passes `m_autoStart` itself, which is cleared below.
    const QString path = document;
    logLine(1, QStringLiteral("appdelegate received message to open file: %1").arg(path));
    if (!m_loaded) {
        logLine(1, QStringLiteral("setting autostart"));
        m_autoStart = path;
        return true;
    }
    logLine(1, QStringLiteral("doing that thing with %1").arg(path));
    m_autoStart.clear();
    const QString extension = extensionOf(path);
    const QUrl url = fileUrlOf(path);

    const OwnDocument own = settings::ConfigManager::ownDocumentOf(path);
    if (own == OwnDocument::SiteSettings) {
        logLine(1, QStringLiteral("newUrl is %1").arg(url.toString()));
        if (m_configManager && m_configManager->openLcsettingsFile(url.toLocalFile()) && m_window)
            m_window->goButton()->click();
        return true;
    }
    if (own == OwnDocument::SiteList) {
        if (m_configManager)
            m_configManager->openLcsbatchFile(url.toLocalFile());
        return true;
    }
    static const QStringList kStartingUrlTypes { QStringLiteral("xml"), QStringLiteral("htm"), QStringLiteral("html"),
        QStringLiteral("csv"), QStringLiteral("txt"), QStringLiteral("docx"), QStringLiteral("pdf") };
    const QString lower = extension.toLower();
    if (kStartingUrlTypes.contains(lower)) {
        logLine(1, QStringLiteral("sending a request to config manager to open %1").arg(path));
        if (url.isValid() && url.isLocalFile()) {
            logLine(1, QStringLiteral("fileurl is %1").arg(url.toString()));
            if (m_configManager)
                m_configManager->openFileAsStartingUrl(url.toString(QUrl::FullyEncoded));
            bookmarkSecurityScopedResourceStep2(url);
            // A local page needs no grant here (the program reads what its user may read), so
            // opening one asks nothing.
            if (settings::ConfigManager::isUrlListPath(path)) {
                // Both answers set the site's scope (no cancel answer: Escape does nothing).
                const ShellAlert question = settings::ConfigManager::urlListScopeQuestion();
                const int answer = alert(question.messageText, question.informativeText, question.buttons);
                if (m_configManager)
                    m_configManager->setCrawlsSinglePage(answer == 0);
            }
            // The document is scanned at once, as an imported settings file is: the new or
            // edited site starts (a scan already running goes on undisturbed).
            if (m_window && !isScanning())
                m_window->goButton()->click();
            return true;
        }
        logLine(0, QStringLiteral("unable to construct file url from %1").arg(path));
    }
    alert(QStringLiteral("Unknown or unsupported file type"),
        QStringLiteral("%1 can open a settings file, a local html file, test links within a pdf or docx file, or a "
                       "list of links in sitemap xml, csv or txt format")
            .arg(QStringLiteral("Crawlmere Max")),
        { QStringLiteral("OK") });
    return false;
}

void AppDelegate::installDocumentMenuItems()
{
    auto* file = m_window->menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"));
    if (!file || file->findChild<QAction*>(QStringLiteral("openFileMenuItem")))
        return;
    QAction* first = file->actions().value(0);
    auto* open = new QAction(QObject::tr("Open…"), file);
    open->setObjectName(QStringLiteral("openFileMenuItem"));
    open->setShortcut(QKeySequence::Open);
    auto* grant = new QAction(QObject::tr("Bookmark Security Scoped Resource…"), file);
    grant->setObjectName(QStringLiteral("bookmarkSecurityScopedResourceMenuItem"));
    file->insertActions(first, { open, grant });
    file->insertSeparator(first);
    QObject::connect(open, &QAction::triggered, file, [this] { openFile(); });
    QObject::connect(grant, &QAction::triggered, file, [this] { bookmarkSecurityScopedResource(); });
}

void AppDelegate::openFile()
{
    if (isScanning()) {
        beep();
        return;
    }
    chooseLocalItem(false);
}

void AppDelegate::bookmarkSecurityScopedResource()
{
    if (isScanning()) {
        beep();
        return;
    }
    chooseLocalItem(true);
}

void AppDelegate::chooseLocalItem(bool folder)
{
    auto* dialog = new QFileDialog(m_window);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(folder ? QFileDialog::Directory : QFileDialog::ExistingFile);
    if (folder)
        dialog->setOption(QFileDialog::ShowDirsOnly);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [this, dialog, folder](int result) {
        if (result != QDialog::Accepted) {
            logLine(1, QStringLiteral("cancel"));
            return;
        }
        const QList<QUrl> chosen = dialog->selectedUrls();
        if (chosen.isEmpty()) {
            logLine(1, QStringLiteral("nothing selected"));
            return;
        }
        const QUrl url = chosen.first();
        if (!url.isLocalFile()) {
            logLine(1, QStringLiteral("%1 is not file reference").arg(url.toString()));
            return;
        }
        if (folder) {
            if (m_prompts)
                m_prompts->runModalAlert(folderGrantAlert(url, bookmarkSecurityScopedResourceStep2(url)));
            return;
        }
        logLine(1, QStringLiteral("user has chosen file: %1").arg(url.toString()));
        applicationOpenFile(url.toString(QUrl::FullyEncoded));
    });
    dialog->open();
}

platform::FolderAccess::Outcome AppDelegate::bookmarkSecurityScopedResourceStep2(const QUrl& url)
{
    using Outcome = platform::FolderAccess::Outcome;
    platform::FolderAccess access(m_defaults);
    QUrl reopened;
    const Outcome outcome = access.grant(url, &reopened);
    switch (outcome) {
    case Outcome::NoUrl:
        logLine(0, QStringLiteral("bookmarkSecurityScopedResourceStep2 unable to make NSURL"));
        break;
    case Outcome::Reopened:
        stopAccessingBookmark();
        m_bookmarkFileURL = reopened;
        platform::FolderAccess::startAccessing(reopened);
        logLine(1, QStringLiteral("successfully started accessing Security Scoped Resource"));
        break;
    case Outcome::Vanished:
        beep();
        break;
    case Outcome::Granted:
        break;
    case Outcome::Failed:
        logLine(0,
            QStringLiteral("Error while creating bookmark for URL (%1): %2")
                .arg(url.toString(), QStringLiteral("no such file or folder")));
        break;
    }
    return outcome;
}

ShellAlert AppDelegate::folderGrantAlert(const QUrl& url, platform::FolderAccess::Outcome outcome)
{
    using Outcome = platform::FolderAccess::Outcome;
    const QString folder = url.toLocalFile();
    switch (outcome) {
    case Outcome::Granted:
    case Outcome::Reopened:
        return { .messageText = QStringLiteral("Folder remembered"),
            .informativeText = QStringLiteral("%1 is remembered as a folder of local pages. Crawlmere reads the "
                                              "local pages your account may read: open one with File > Open… to "
                                              "scan it.")
                                   .arg(folder),
            .buttons = { QStringLiteral("OK") },
            .style = ShellAlertStyle::informational };
    case Outcome::Vanished:
    case Outcome::Failed:
    case Outcome::NoUrl:
        break;
    }
    const QString named = folder.isEmpty() ? url.toString() : folder;
    return { .messageText = QStringLiteral("Folder not remembered"),
        .informativeText = outcome == Outcome::Vanished
            ? QStringLiteral("%1 is no longer there.").arg(named)
            : QStringLiteral("%1 is not a folder on this computer.").arg(named),
        .buttons = { QStringLiteral("OK") } };
}

void AppDelegate::stopAccessingBookmark()
{
    if (m_bookmarkFileURL.isEmpty())
        return;
    platform::FolderAccess::stopAccessing(m_bookmarkFileURL);
    m_bookmarkFileURL.clear();
}

} // namespace crawlmere::app
