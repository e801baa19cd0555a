// The main window's tab view.
#include "app/MainTabView.h"

namespace crawlmere::app {

MainTabView::MainTabView(QWidget* parent)
    : QTabWidget(parent)
{
    setObjectName(QStringLiteral("mainTabView"));
    setDocumentMode(true);
    connect(this, &QTabWidget::currentChanged, this, &MainTabView::currentTabChanged);
}

QString MainTabView::identifierOf(const QWidget* page)
{
    return page ? page->property(kIdentifierProperty).toString() : QString();
}

void MainTabView::addTabViewItem(QWidget* page, const QString& label, const QString& identifier)
{
    page->setProperty(kIdentifierProperty, identifier);
    addTab(page, label);
}

QWidget* MainTabView::tabViewItemWithIdentifier(const QString& identifier) const
{
    for (int i = 0; i < count(); ++i) {
        if (identifierOf(widget(i)) == identifier)
            return widget(i);
    }
    return nullptr;
}

bool MainTabView::selectTabViewItemWithIdentifier(const QString& identifier)
{
    QWidget* page = tabViewItemWithIdentifier(identifier);
    if (!page)
        return false;
    setCurrentWidget(page);
    return true;
}

QString MainTabView::selectedIdentifier() const { return identifierOf(currentWidget()); }

QStringList MainTabView::identifiers() const
{
    QStringList result;
    for (int i = 0; i < count(); ++i)
        result << identifierOf(widget(i));
    return result;
}

bool MainTabView::removeTabViewItem(QWidget* page)
{
    const int index = page ? indexOf(page) : -1;
    if (index < 0)
        return false;
    m_removing = true;
    removeTab(index);
    page->setParent(nullptr);
    m_removing = false;
    currentTabChanged();
    return true;
}

void MainTabView::currentTabChanged()
{
    if (m_removing)
        return;
    const QString identifier = selectedIdentifier();
    if (identifier == m_announced || currentIndex() < 0)
        return;
    m_announced = identifier;
    Q_EMIT didSelectTabViewItem(identifier);
}

} // namespace crawlmere::app
