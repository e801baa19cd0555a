// The window of the new-version check.
#include "app/UpdateWindow.h"

#include "app/UpdateWindowController.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace crawlmere::app {

namespace {

/// A document that loads nothing it refers to: no image, style sheet or file, local or remote.
class SelfContainedDocument final : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

UpdateWindow::UpdateWindow(QWidget* mainWindow)
    : QDialog(mainWindow)
    , m_mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("updateWindow"));
    setWindowTitle(tr("A new version is available"));
    resize(560, 420);

    auto* imageView = new QLabel(this);
    imageView->setObjectName(QStringLiteral("imageView"));
    const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                                           : QApplication::windowIcon();
    imageView->setPixmap(icon.pixmap(64, 64));
    m_versionTextField = new QLabel(this);
    m_versionTextField->setObjectName(QStringLiteral("versionTextField"));
    m_releaseDateTextField = new QLabel(this);
    m_releaseDateTextField->setObjectName(QStringLiteral("releaseDateTextField"));
    auto* facts = new QFormLayout;
    facts->addRow(tr("Version:"), m_versionTextField);
    facts->addRow(tr("Released:"), m_releaseDateTextField);
    auto* head = new QHBoxLayout;
    head->addWidget(imageView);
    head->addLayout(facts, 1);

    auto* notes = new QTextBrowser(this);
    notes->setObjectName(QStringLiteral("updateTextView"));
    notes->setDocument(new SelfContainedDocument(notes));
    notes->setOpenLinks(false);
    notes->setOpenExternalLinks(false);
    m_updateTextView = notes;

    m_updateCheckCheckbox = new QCheckBox(tr("Remind me of this version"), this);
    m_updateCheckCheckbox->setObjectName(QStringLiteral("updateCheckCheckbox"));
    m_updateCheckCheckbox->setChecked(true);
    m_progressIndicator = new QProgressBar(this);
    m_progressIndicator->setObjectName(QStringLiteral("progressIndicator"));
    m_progressIndicator->setVisible(false);

    m_downloadButton = new QPushButton(tr("Download"), this);
    m_downloadButton->setObjectName(QStringLiteral("downloadButton"));
    m_downloadButton->setEnabled(false);
    m_visitButton = new QPushButton(tr("Visit Website"), this);
    m_visitButton->setObjectName(QStringLiteral("visitButton"));
    m_visitButton->setVisible(false);
    m_closeButton = new QPushButton(tr("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_updateCheckCheckbox);
    buttons->addStretch();
    buttons->addWidget(m_visitButton);
    buttons->addWidget(m_closeButton);
    buttons->addWidget(m_downloadButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(m_updateTextView, 1);
    layout->addWidget(m_progressIndicator);
    layout->addLayout(buttons);

    m_newVersionButton = new QPushButton(tr("New Version Available"));
    m_newVersionButton->setObjectName(QStringLiteral("newVersionButton"));
    m_newVersionButton->setVisible(false);
}

UpdateWindow::~UpdateWindow()
{
    // The button lives in the main window, which may outlast this window.
    delete m_newVersionButton.data();
}

void UpdateWindow::setController(UpdateWindowController* controller)
{
    disconnect(m_downloadButton, nullptr, this, nullptr);
    disconnect(m_visitButton, nullptr, this, nullptr);
    disconnect(m_closeButton, nullptr, this, nullptr);
    if (m_newVersionButton)
        disconnect(m_newVersionButton, nullptr, this, nullptr);
    if (!controller)
        return;
    connect(m_downloadButton, &QPushButton::clicked, this, [controller] { controller->loadUpdate(); });
    connect(m_visitButton, &QPushButton::clicked, this, [controller] { controller->visitUpdate(); });
    connect(m_closeButton, &QPushButton::clicked, this, [controller] { controller->closeSheet(); });
    if (m_newVersionButton)
        connect(m_newVersionButton, &QPushButton::clicked, this, [controller] { controller->showDetails(); });
}

void UpdateWindow::installInMainWindow(QMainWindow* mainWindow, UpdateWindowController* controller)
{
    setController(controller);
    if (!mainWindow || !controller)
        return;
    mainWindow->menuBar()->setCornerWidget(m_newVersionButton, Qt::TopRightCorner);
    if (auto* help = mainWindow->findChild<QMenu*>(QStringLiteral("helpMenu"))) {
        QAction* check = help->addAction(tr("Check for Updates…"));
        check->setObjectName(QStringLiteral("checkForUpdatesMenuItem"));
        connect(check, &QAction::triggered, this,
            [controller] { controller->checkForUpdates(UpdateWindowController::CheckKind::Manual); });
        QAction* turnOn = help->addAction(tr("Turn On Automatic Update Checks"));
        turnOn->setObjectName(QStringLiteral("turnOnAutoUpdatesMenuItem"));
        connect(turnOn, &QAction::triggered, this, [controller] { controller->turnOnAutomaticUpdates(); });
        controller->setCheckForUpdatesMenuItem(check);
        controller->setTurnOnAutoUpdatesMenuItem(turnOn);
    }
    controller->setTerminate([] {
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
}

void UpdateWindow::setNotes(const QString& text, bool html)
{
    if (html)
        m_updateTextView->setHtml(text);
    else
        m_updateTextView->setPlainText(text);
}

void UpdateWindow::setVersionText(const QString& text) { m_versionTextField->setText(text); }

void UpdateWindow::setReleaseDateText(const QString& text) { m_releaseDateTextField->setText(text); }

bool UpdateWindow::updateCheckChecked() const { return m_updateCheckCheckbox->isChecked(); }

void UpdateWindow::showDetails()
{
    if (m_mainWindow) {
        setWindowModality(Qt::WindowModal);
        open();
        return;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

void UpdateWindow::closeSheet() { hide(); }

void UpdateWindow::showNewVersionButton()
{
    if (m_newVersionButton)
        m_newVersionButton->setVisible(true);
}

void UpdateWindow::setHomePageAvailable(bool available) { m_visitButton->setVisible(available); }

void UpdateWindow::setDownloadAvailable(bool available)
{
    m_downloadAvailable = available;
    m_downloadButton->setEnabled(available && !m_progressIndicator->isVisibleTo(this));
}

void UpdateWindow::setProgress(bool running, qint64 received, qint64 expected)
{
    m_progressIndicator->setVisible(running);
    m_downloadButton->setEnabled(!running && m_downloadAvailable);
    if (expected > 0) {
        m_progressIndicator->setRange(0, 1000);
        m_progressIndicator->setValue(int(std::clamp<qint64>(received * 1000 / expected, 0, 1000)));
    } else {
        m_progressIndicator->setRange(0, 0);
    }
}

} // namespace crawlmere::app
