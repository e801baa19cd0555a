// The sitemap graph window with its progress line and export button.
#include "app/SitemapVizWindow.h"

#include "app/StatusLineField.h"
#include "sitemap/SitemapManager.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace crawlmere::app {

SitemapVizWindow::SitemapVizWindow(sitemap::SitemapManager& manager, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_manager(manager)
{
    setObjectName(QStringLiteral("vizWindow"));
    setWindowTitle(tr("Sitemap Graph"));
    auto* explanation = new QLabel(tr("The links between the sitemap's pages as a Graphviz graph."), this);
    explanation->setWordWrap(true);
    m_progress = new StatusLineField(this);
    m_progress->setObjectName(QStringLiteral("dotpbtf"));
    auto* exportButton = new QPushButton(tr("Export…"), this);
    exportButton->setObjectName(QStringLiteral("exportAsDotButton"));
    exportButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progress, 1);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addLayout(buttons);
    resize(460, sizeHint().height());
    connect(exportButton, &QPushButton::clicked, this, [this] { m_manager.exportAsDot(); });

    sitemap::SitemapManagerObserver& observer = m_manager.observer();
    observer.dotProgress = [this](double proportion) {
        m_progress->setProportion(float(proportion));
        m_progress->repaint();
    };
    observer.showVizWindow = [this] { showCentred(); };
    observer.hideVizWindow = [this] { hide(); };
}

SitemapVizWindow::~SitemapVizWindow()
{
    sitemap::SitemapManagerObserver& observer = m_manager.observer();
    observer.dotProgress = nullptr;
    observer.showVizWindow = nullptr;
    observer.hideVizWindow = nullptr;
}

void SitemapVizWindow::showCentred()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QRect area = owner ? owner->frameGeometry() : QRect();
    if (area.isEmpty() && QGuiApplication::primaryScreen())
        area = QGuiApplication::primaryScreen()->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
    show();
    raise();
    activateWindow();
}

} // namespace crawlmere::app
