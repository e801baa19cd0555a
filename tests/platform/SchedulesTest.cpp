#include "platform/Schedules.h"

#include "platform/Paths.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using crawlmere::platform::Paths;
using crawlmere::platform::PropertyList;
using crawlmere::platform::ScheduledScan;
using crawlmere::platform::Schedules;

namespace {

/// Points HOME and XDG_CONFIG_HOME into a folder of its own while it lives.
class UserFolders {
public:
    UserFolders()
        : m_home(qgetenv("HOME"))
        , m_config(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", m_folder.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_folder.path() + QStringLiteral("/config")).toUtf8());
    }
    ~UserFolders()
    {
        qputenv("HOME", m_home);
        qputenv("XDG_CONFIG_HOME", m_config);
    }
    UserFolders(const UserFolders&) = delete;
    UserFolders& operator=(const UserFolders&) = delete;
    QString path() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    QByteArray m_home;
    QByteArray m_config;
};

class SchedulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = Schedules::unitFolder();
        ASSERT_EQ(folder, user.path() + QStringLiteral("/config/systemd/user"));
        ASSERT_TRUE(QDir().mkpath(folder));
    }

    UserFolders user;

    void write(const QString& name, const QByteArray& text)
    {
        QFile file(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    /// A timer on `calendar` and its service opening a settings file for `url` under home,
    /// with `command` before the file in `ExecStart=`.
    void schedule(const QString& name, const QString& calendar, const QString& url,
        const QByteArray& command = "/usr/bin/crawlmere")
    {
        const QString settings = QStringLiteral("sites/%1 site.lcsettings").arg(name);
        QDir(user.path()).mkpath(QStringLiteral("sites"));
        ASSERT_TRUE(PropertyList::writeXmlFile(user.path() + QLatin1Char('/') + settings,
            QVariantMap { { QLatin1String(Schedules::kStartingUrlKey),
                url } }).ok());
        write(name + QStringLiteral(".timer"), "[Unit]\nDescription=scan\n\n[Timer]\nOnCalendar=" + calendar.toUtf8()
                + "\nPersistent=true\n\n[Install]\nWantedBy=timers.target\n");
        write(name + QStringLiteral(".service"),
            "[Service]\nType=oneshot\nExecStart=" + command + " \"%h/" + settings.toUtf8() + "\"\n");
        calendars.append(calendar);
    }

    static QStringList row(const ScheduledScan& scan) { return { scan.site, scan.time, scan.dayOfMonth, scan.dayOfWeek }; }

    QString folder;
    QStringList calendars;
};

} // namespace

TEST_F(SchedulesTest, ListsTheTimersWithTheirSiteAndTime)
{
    schedule(QStringLiteral("crawlmere-a"), QStringLiteral("Mon *-*-* 09:05"), QStringLiteral("https://a.test/"));
    schedule(QStringLiteral("crawlmere-b"), QStringLiteral("*-*-15 18:30:00"), QStringLiteral("https://b.test/"));
    schedule(QStringLiteral("crawlmere-c"), QStringLiteral("Mon..Fri 09:00"), QStringLiteral("https://c.test/"));
    schedule(QStringLiteral("crawlmere-d"), QStringLiteral("sunday 7:00"), QStringLiteral("https://d.test/"));
    schedule(QStringLiteral("crawlmere-gone"), QStringLiteral("daily"), QStringLiteral("https://gone.test/"));
    QFile::remove(user.path() + QStringLiteral("/sites/crawlmere-gone site.lcsettings"));
    // Other names, no [Timer] section, a missing service, a service in another folder.
    schedule(QStringLiteral("backup"), QStringLiteral("daily"), QStringLiteral("https://x.test/"));
    write(QStringLiteral("crawlmere-notimer.timer"), "[Unit]\nDescription=no timer\n");
    write(QStringLiteral("crawlmere-noservice.timer"), "[Timer]\nOnCalendar=weekly\nUnit=missing.service\n");
    write(QStringLiteral("crawlmere-escape.timer"), "[Timer]\nOnCalendar=weekly\nUnit=../crawlmere-a.service\n");
    write(QStringLiteral("crawlmere-a.timer.bak"), "[Timer]\nOnCalendar=weekly\n");

    const QList<ScheduledScan> scans = Schedules::read();
    QList<QStringList> rows;
    for (const ScheduledScan& scan : scans)
        rows.append(row(scan));
    const QString notFound = QStringLiteral("Site settings not found");
    const QList<QStringList> expected { { "https://a.test/", "09:05", "", "Monday" },
        { "https://b.test/", "18:30", "15", "" }, { "https://c.test/", "Mon..Fri 09:00", "", "" },
        { "https://d.test/", "07:00", "", "Sunday" }, { notFound, "weekly", "", "" },
        { notFound, "daily", "", "" }, { notFound, "weekly", "", "" } };
    EXPECT_EQ(rows, expected);
    ASSERT_EQ(scans.size(), 7);
    EXPECT_EQ(scans.at(4).unitName, "crawlmere-escape.timer");

    // Read afresh every time.
    schedule(QStringLiteral("crawlmere-new"), QStringLiteral("Tue 23:59"), QStringLiteral("https://new.test/"));
    EXPECT_EQ(row(Schedules::read().at(6)), (QStringList { "https://new.test/", "23:59", "", "Tuesday" }));

    // The expressions written above are ones systemd takes.
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    for (const QString& calendar : calendars + QStringList { QStringLiteral("weekly") })
        EXPECT_EQ(QProcess::execute(analyze, { QStringLiteral("calendar"), calendar }), 0) << calendar.toStdString();
}

TEST_F(SchedulesTest, TheSettingsFileIsFoundWhateverComesBeforeItOnTheCommandLine)
{
    const QByteArray commands[] = {
        "crawlmere --headless --sitemap \"%h/out/sm.xml\" --set timeout=5",
        "/usr/bin/env crawlmere",
        "%h/.local/bin/crawlmere --headless --csv %h/scan.csv --default verbosity=1",
    };
    QStringList expected;
    for (int i = 0; i < 3; ++i) {
        const QString url = QStringLiteral("https://%1.test/").arg(i);
        schedule(QStringLiteral("crawlmere-%1").arg(i), QStringLiteral("daily"), url, commands[i]);
        expected << url;
    }
    QStringList sites;
    for (const ScheduledScan& scan : Schedules::read())
        sites << scan.site;
    EXPECT_EQ(sites, expected);
}

TEST(Schedules, TheUnitsAreReadWhereSystemdReadsThemWhateverTheProgramsHomeIs)
{
    UserFolders user;
    ASSERT_NE(Paths::home(), user.path()); // the tests' CRAWLMERE_HOME
    const QString config = user.path() + QStringLiteral("/config");
    const struct {
        QByteArray xdgConfigHome;
        QString folder;
    } cases[] = {
        { config.toUtf8(), config + QStringLiteral("/systemd/user") },
        { QByteArray(), user.path() + QStringLiteral("/.config/systemd/user") },
        { QByteArray("relative/config"), user.path() + QStringLiteral("/.config/systemd/user") },
    };
    for (const auto& c : cases) {
        qputenv("XDG_CONFIG_HOME", c.xdgConfigHome);
        EXPECT_EQ(Schedules::unitFolder(), c.folder) << c.xdgConfigHome.constData();
    }
    EXPECT_EQ(Schedules::splitCommandLine(QStringLiteral("app %h/site.lcsettings")),
        (QStringList { "app", user.path() + QStringLiteral("/site.lcsettings") }));
}

TEST(Schedules, SplitsCommandLinesAsSystemdDoes)
{
    EXPECT_EQ(Schedules::splitCommandLine(QStringLiteral("-/usr/bin/app 'a b' \"c\\\"d\" e\\sf %%h %h/x")),
        (QStringList { "/usr/bin/app", "a b", "c\"d", "e f", "%h", QDir::homePath() + "/x" }));
    EXPECT_EQ(Schedules::padHoursMins(7), "07");
    EXPECT_EQ(Schedules::padHoursMins(12), "12");
    EXPECT_FALSE(Schedules::parseCalendar(QStringLiteral("Mon 25:00")));
    EXPECT_FALSE(Schedules::parseCalendar(QStringLiteral("Funday 10:00")));
}
