// The pop-up of named user-agent strings beside the settings pane's user-agent field.
#include "views/UAStringManager.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace crawlmere::views {

UAStringManager::UAStringManager(QLineEdit* field, QWidget* buttonParent)
    : QObject(buttonParent)
    , uaTextField(field)
{
    dButton = new QToolButton(buttonParent);
    dButton->setObjectName(QStringLiteral("dButton"));
    dButton->setText(tr("Presets"));
    dButton->setPopupMode(QToolButton::InstantPopup);
    dButton->setMenu(new QMenu(dButton));
    connect(dButton->menu(), &QMenu::triggered, this, &UAStringManager::itemSelected);
    populateMenu();
}

const QList<std::pair<QString, QString>>& UAStringManager::presets()
{
    static const QList<std::pair<QString, QString>> table = [] {
        const QString googlebot = QStringLiteral("Googlebot/2.1; +") + kCrawlerInfoUrl + QStringLiteral(")");
        return QList<std::pair<QString, QString>> {
            { QStringLiteral("IE 11 (Windows)"),
                QStringLiteral("Mozilla/5.0 (Windows NT 10.0; Trident/7.0; rv:11.0) like Gecko") },
            { QStringLiteral("Edge (Windows)"),
                QStringLiteral("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                               "Chrome/73.0.3683.103 Safari/537.36 Edge/12.246") },
            { QStringLiteral("Chrome 121 (Desktop)"),
                QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) "
                               "Chrome/121.0.0.0 Safari/537.36") },
            { QStringLiteral("Chrome 122 (iPhone)"),
                QStringLiteral(
                    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_3 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
                    "Gecko) CriOS/122.0.6261.51 Mobile/15E148 Safari/604.1") },
            { QStringLiteral("Safari 17 (Desktop)"),
                QStringLiteral(
                    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
                    "Version/17.3 Safari/605.1.15") },
            { QStringLiteral("Safari 17 (iPhone)"),
                QStringLiteral("Mozilla/5.0 (iPhone; CPU iPhone OS 17_3_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, "
                               "like Gecko) Version/17.2 Mobile/15E148 Safari/604.1") },
            { QStringLiteral("Firefox 122 (Desktop)"),
                QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 14.3; rv:122.0) Gecko/20100101 Firefox/122.0") },
            { QStringLiteral("Opera 107"),
                QStringLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 14_3_1) AppleWebKit/537.36 (KHTML, like Gecko) "
                               "Chrome/121.0.0.0 Safari/537.36 OPR/107.0.0.0") },
            { QStringLiteral("Chrome on Android"),
                QStringLiteral("Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 (KHTML, like Gecko) "
                               "Chrome/121.0.6167.178 Mobile Safari/537.36") },
            { QStringLiteral("Firefox on Android"),
                QStringLiteral("Mozilla/5.0 (Android 14; Mobile; rv:68.0) Gecko/68.0 Firefox/122.0") },
            { QStringLiteral("Googlebot (Desktop)"), QStringLiteral("Mozilla/5.0 (compatible; ") + googlebot },
            { QStringLiteral("Googlebot (Smartphone)"),
                QStringLiteral("Mozilla/5.0 (Linux; Android 6.0.1; Nexus 5X Build/MMB29P) AppleWebKit/537.36 (KHTML, "
                               "like Gecko) Chrome/87.0.4280.66 Mobile Safari/537.36 (compatible; ")
                    + googlebot },
            { QStringLiteral("Crawlmere"),
                QStringLiteral("Mozilla/5.0 (compatible; Crawlmere/10; +") + kApplicationUrl + QStringLiteral(")") },
        };
    }();
    return table;
}

void UAStringManager::populateMenu()
{
    QMenu* menu = dButton->menu();
    menu->clear();
    for (const auto& preset : presets())
        menu->addAction(preset.first);
}

void UAStringManager::itemSelected(QAction* item)
{
    if (!item || !uaTextField)
        return;
    for (const auto& preset : presets()) {
        if (preset.first == item->text()) {
            uaTextField->setText(preset.second);
            Q_EMIT uaTextField->textEdited(uaTextField->text());
            return;
        }
    }
}

} // namespace crawlmere::views
