// Modal questions and the beep of the windowed program.
#include "app/WindowPrompts.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <vector>

namespace crawlmere::app {

WindowPrompts::WindowPrompts(QWidget* parent)
    : m_parent(parent)
{
}

int WindowPrompts::runModalAlert(const ShellAlert& alert)
{
    // The window in front (a sheet over the main window) stands under the alert and has the
    // keyboard back once it is answered, so that its own keys work again without a click.
    const QPointer<QWidget> front
        = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow();
    QMessageBox box(front ? front.data() : m_parent.data());
    box.setObjectName(kAlertName);
    switch (alert.style) {
    case ShellAlertStyle::warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case ShellAlertStyle::informational:
        box.setIcon(QMessageBox::Information);
        break;
    }
    box.setWindowTitle(QApplication::applicationName());
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList { QMessageBox::tr("OK") } : alert.buttons;
    std::vector<QPushButton*> buttons;
    for (const QString& title : titles)
        buttons.push_back(box.addButton(title, QMessageBox::ActionRole));
    box.setDefaultButton(buttons.front());
    // Escape gives the answer that changes nothing; where every answer changes something the
    // box has no escape button, so Escape and the close button do nothing.
    const int cancel = buttons.size() == 1 ? 0 : alert.cancelButton;
    if (cancel >= 0 && cancel < static_cast<int>(buttons.size()))
        box.setEscapeButton(buttons[static_cast<size_t>(cancel)]);
    // Below the answers, so that asking for help does not answer the alert.
    auto* layout = qobject_cast<QGridLayout*>(box.layout());
    if (!alert.helpTopic.isEmpty() && m_help && layout) {
        auto* help = new QToolButton(&box);
        help->setObjectName(QStringLiteral("helpButton"));
        help->setText(QStringLiteral("?"));
        help->setToolTip(QMessageBox::tr("Help"));
        help->setProperty("helpTopic", alert.helpTopic);
        QObject::connect(help, &QToolButton::clicked, &box,
            [handler = m_help, topic = alert.helpTopic, help] { handler(topic, help); });
        layout->addWidget(help, layout->rowCount(), 0, Qt::AlignLeft);
    }
    box.exec();
    if (front && front->isVisible())
        front->activateWindow();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            return static_cast<int>(i);
    }
    // Closed another way (its window went): the cancel answer, else the default one.
    return cancel >= 0 && cancel < static_cast<int>(buttons.size()) ? cancel : 0;
}

void WindowPrompts::beep() { QApplication::beep(); }

} // namespace crawlmere::app
