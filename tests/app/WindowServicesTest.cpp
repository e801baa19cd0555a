#include "app/DesktopLauncher.h"
#include "app/DesktopUrlOpener.h"
#include "app/FileDialogSavePanel.h"
#include "app/StatusLineField.h"
#include "app/WindowPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
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

// Where no application opens an address (no browser installed), the opener's own words reach
// the user; an opener that took the address, or opened it, says nothing.
TEST(DesktopLauncher, TellsWhenTheDesktopsOpenerFails)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto opener = [&](const char* name, const QByteArray& script) {
        QFile file(folder.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + script);
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return file.fileName();
    };
    const struct {
        QString program;
        QString why; ///< null: no failure
    } cases[] = {
        { opener("none", "echo \"$1\" > \"$0.asked\"\necho 'xdg-open: no method available' >&2\nexit 3\n"),
            QStringLiteral("xdg-open: no method available") },
        { opener("browser", "echo \"$1\" > \"$0.asked\"\n"), QString() },
        { folder.filePath(QStringLiteral("missing")),
            folder.filePath(QStringLiteral("missing")) + " could not be started" },
    };
    const QUrl url(QStringLiteral("https://site.test/a page?x=1"));
    for (const auto& c : cases) {
        QStringList failures;
        app::DesktopLauncher launcher(
            [&](const QUrl& failed, const QString& why) { failures << failed.toString() + u'|' + why; }, c.program);
        launcher.open(url);
        // Done when the opener has ended: a failure was told, or the opener wrote what it was asked.
        const QFileInfo asked(c.program + QStringLiteral(".asked"));
        QDeadlineTimer deadline(20000);
        while (failures.isEmpty() && !(c.why.isNull() && QFileInfo::exists(asked.filePath())) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        if (c.why.isNull()) {
            EXPECT_TRUE(failures.isEmpty()) << qPrintable(failures.join(u' '));
        } else {
            EXPECT_EQ(failures, QStringList { url.toString() + u'|' + c.why });
            EXPECT_EQ(app::DesktopLauncher::failureText(url, c.why),
                "No application on this computer opened " + url.toString() + " (" + c.why + ").");
        }
    }
}

// A status line too long for the window keeps its start and its end (a folder's name and a
// count); the tool tip reads whole.
TEST(StatusLineField, CutsALongLineInTheMiddle)
{
    app::StatusLineField field;
    field.resize(300, field.sizeHint().height());
    const QString line = QStringLiteral("Archive exported to /home/user/") + QString(80, u'd')
        + QStringLiteral("/site-20261208 (11 files)");
    field.setText(line);
    const QString shown = field.shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Archive exported"))) << qPrintable(shown);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("(11 files)"))) << qPrintable(shown);
    EXPECT_EQ(field.toolTip(), line);
}

#include "WindowServicesTest.moc"
