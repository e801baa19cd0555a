// The help popover.
#include "app/HelpPopover.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace crawlmere::app {

namespace {

constexpr int kGap = 2;

} // namespace

HelpPopover::HelpPopover(const HelpDisplay& display, QWidget* parent)
    : QFrame(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("hintPopover"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);

    auto* hintView = new QWidget(this);
    hintView->setObjectName(QStringLiteral("hintView"));
    hintView->setFixedSize(display.contentSize);
    outer->addWidget(hintView);

    m_textField = new QTextBrowser(hintView);
    m_textField->setObjectName(QStringLiteral("textField"));
    m_textField->setFrameShape(QFrame::NoFrame);
    m_textField->setOpenLinks(false);
    m_textField->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_textField->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textField->setPlainText(display.text);

    auto* close = new QPushButton(tr("Close"), hintView);
    close->setObjectName(QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    m_moreHelp = new QPushButton(tr("More Help…"), hintView);
    m_moreHelp->setObjectName(QStringLiteral("moreHelpButton"));
    m_moreHelp->setVisible(display.moreHelpAvailable);
    connect(m_moreHelp, &QPushButton::clicked, this, &HelpPopover::moreHelpRequested);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_moreHelp);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(hintView);
    layout->setContentsMargins(8, 8, 8, 6);
    layout->addWidget(m_textField, 1);
    layout->addLayout(buttons);
    adjustSize();
}

QRect HelpPopover::convertToScreen(const QWidget* view)
{
    if (!view || !view->window())
        return {};
    return { view->mapToGlobal(QPoint(0, 0)), view->size() };
}

QRect HelpPopover::placement(const QRect& anchor, const QSize& size, const QRect& screen)
{
    QRect frame(QPoint(anchor.right() + 1 + kGap, anchor.center().y() - size.height() / 2), size);
    if (!screen.isEmpty() && frame.right() > screen.right())
        frame.moveRight(anchor.left() - 1 - kGap);
    if (screen.isEmpty())
        return frame;
    if (frame.right() > screen.right())
        frame.moveRight(screen.right());
    if (frame.left() < screen.left())
        frame.moveLeft(screen.left());
    if (frame.bottom() > screen.bottom())
        frame.moveBottom(screen.bottom());
    if (frame.top() < screen.top())
        frame.moveTop(screen.top());
    return frame;
}

void HelpPopover::showBeside(const QRect& anchor)
{
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    move(placement(anchor, sizeHint().expandedTo(size()), available).topLeft());
    show();
}

} // namespace crawlmere::app
