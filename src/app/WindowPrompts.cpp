// Modal questions and the beep of the windowed program.
#include "app/WindowPrompts.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
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
    QMessageBox box(m_parent.data());
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
    box.setEscapeButton(buttons.back());
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
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            return static_cast<int>(i);
    }
    return titles.size() > 1 ? static_cast<int>(titles.size() - 1) : 0;
}

void WindowPrompts::beep() { QApplication::beep(); }

} // namespace crawlmere::app
