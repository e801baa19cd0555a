#include "app/DesktopUrlOpener.h"
#include "app/FileDialogSavePanel.h"
#include "app/WindowPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace app = crawlmere::app;

namespace {

/// Runs `act` on the modal dialog named `name` once it is shown (polling the event loop).
void whenModalShows(const QString& name, std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, name, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != name)
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

QAbstractButton* buttonTitled(QWidget* box, const QString& title)
{
    for (QAbstractButton* button : box->findChildren<QAbstractButton*>()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

/// Takes the URLs handed to the desktop for one scheme.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> caught;
public Q_SLOTS:
    void take(const QUrl& url) { caught << url; }
};

} // namespace

TEST(WindowPrompts, AnswersTheIndexOfThePressedButtonInTheGivenOrder)
{
    app::WindowPrompts prompts;
    const ShellAlert alert { .messageText = QStringLiteral("Ambiguous starting url"),
        .informativeText = QStringLiteral("Is it a page or a folder?"),
        .buttons = { QStringLiteral("Page"), QStringLiteral("Folder"), QStringLiteral("Cancel") },
        .cancelButton = 2 };

    QString shownText;
    whenModalShows(app::WindowPrompts::kAlertName, [&](QWidget* box) {
        shownText = static_cast<QMessageBox*>(box)->text();
        buttonTitled(box, QStringLiteral("Folder"))->click();
    });
    EXPECT_EQ(prompts.runModalAlert(alert), 1);
    EXPECT_EQ(shownText, alert.messageText);

    whenModalShows(app::WindowPrompts::kAlertName, [](QWidget* box) { static_cast<QDialog*>(box)->reject(); });
    EXPECT_EQ(prompts.runModalAlert(alert), 2) << "closing the box answers the cancel button";

    whenModalShows(
        app::WindowPrompts::kAlertName, [](QWidget* box) { buttonTitled(box, QStringLiteral("OK"))->click(); });
    EXPECT_EQ(prompts.runModalAlert({ QStringLiteral("Finished"), QString(), {} }), 0);
}

TEST(WindowPrompts, NewsThatAllWentWellShowsTheInformationIcon)
{
    app::WindowPrompts prompts;
    const std::pair<ShellAlertStyle, QMessageBox::Icon> cases[]
        = { { ShellAlertStyle::warning, QMessageBox::Warning }, { ShellAlertStyle::informational, QMessageBox::Information } };
    for (const auto& [style, icon] : cases) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        whenModalShows(app::WindowPrompts::kAlertName, [&shown](QWidget* box) {
            shown = static_cast<QMessageBox*>(box)->icon();
            static_cast<QDialog*>(box)->reject();
        });
        prompts.runModalAlert({ QStringLiteral("ftp successful"), QString(), {}, {}, style });
        EXPECT_EQ(shown, icon);
    }
}

TEST(FileDialogSavePanel, AnswersThePathTypedWithTheFirstTypeAddedOrNothingWhenCancelled)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    app::FileDialogSavePanel panel;
    const crawlmere::platform::SavePanelRequest request { QStringLiteral("Export CSV"), QStringLiteral("links.csv"),
        folder.path(), { QStringLiteral("csv"), QStringLiteral("txt") }, QString() };

    QString suggested;
    whenModalShows(app::FileDialogSavePanel::kDialogName, [&](QWidget* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        suggested = name->text();
        name->setText(QStringLiteral("report"));
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = panel.runModal(request);
    EXPECT_EQ(suggested, QStringLiteral("links.csv"));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, folder.filePath(QStringLiteral("report.csv")));

    whenModalShows(
        app::FileDialogSavePanel::kDialogName, [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    EXPECT_FALSE(panel.runModal(request).has_value());
}

TEST(DesktopUrlOpener, HandsValidUrlsToTheDesktopAndRefusesInvalidOnes)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("crawlmere-test"), &catcher, "take");
    app::DesktopUrlOpener opener;
    EXPECT_TRUE(opener.openURL(QUrl(QStringLiteral("crawlmere-test://site/page?x=1"))));
    EXPECT_FALSE(opener.openURL(QUrl()));
    EXPECT_FALSE(opener.openURL(QUrl(QStringLiteral("http://exa mple.com/"), QUrl::StrictMode)));
    QDesktopServices::unsetUrlHandler(QStringLiteral("crawlmere-test"));
    ASSERT_EQ(catcher.caught.size(), 1);
    EXPECT_EQ(catcher.caught.first(), QUrl(QStringLiteral("crawlmere-test://site/page?x=1")));
}

#include "WindowServicesTest.moc"
