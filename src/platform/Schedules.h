// Scheduled scans as the user's systemd timers: which timers there are, the site each one scans
// and when it runs. The application only reads them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace crawlmere::platform {

/// One scheduled scan: a timer unit and what its cells show.
struct ScheduledScan {
    /// The timer's file name.
    QString unitName;
    /// The settings file's `startingUrl`, or "Site settings not found".
    QString site;
    /// "HH:MM", or the calendar expression as written when it has another form; empty without one.
    QString time;
    /// The day of the month in decimal; empty when every day (or another form).
    QString dayOfMonth;
    /// The weekday's full English name; empty when any day (or another form).
    QString dayOfWeek;
};

/// Reads timers from the user's unit folder. Every function reads afresh; safe on any thread.
class Schedules {
public:
    /// Where systemd reads the user's units: `$XDG_CONFIG_HOME/systemd/user`, or
    /// `~/.config/systemd/user` when that is not set or not absolute. `CRAWLMERE_HOME` does
    /// not change it.
    static QString unitFolder();
    /// The user's home (`$HOME`), which `%h` names in a unit; never `CRAWLMERE_HOME`.
    static QString userHome();

    /// The timers of `folder` whose file name contains "crawlmere" and ends in ".timer", and
    /// that have a `[Timer]` section, in name order; at most `kMaxUnits`. An unreadable folder
    /// gives none. The scan's settings file is the first argument ending in ".lcsettings" of the
    /// `ExecStart=` of the service the timer starts (`Unit=`, else the timer's name with
    /// ".service"), taken from the same folder, with systemd's quoting and `%h` expanded;
    /// options, or a launcher such as `/usr/bin/env crawlmere`, may come before it.
    static QList<ScheduledScan> read(const QString& folder = unitFolder());

    /// The words of a command line as systemd splits them: white space separates; double and
    /// single quotes group; backslash escapes (`\n`, `\t`, `\s`, `\xNN`, any other character as
    /// itself); `%h` becomes `userHome()` and `%%` a single "%". Leading `@`, `-`, `:`, `+`
    /// and `!` of the first word are dropped.
    static QStringList splitCommandLine(const QString& line);

    /// The cells of an `OnCalendar=` value of the form "[weekday] [*-*-DD or *-*-*] HH:MM[:SS]"
    /// (weekday short or long, any case): time, day of month, weekday; none for any other form.
    struct Calendar {
        QString time;
        QString dayOfMonth;
        QString dayOfWeek;
    };
    static std::optional<Calendar> parseCalendar(const QString& value);

    /// padHoursMins: `value` in decimal, with a leading "0" when that is one character long.
    static QString padHoursMins(int value);

    /// The key of a settings file's starting URL (the crawl setting of that name, which the
    /// engine declares; it checks that the two agree).
    static constexpr char kStartingUrlKey[] = "startingUrl";
    static constexpr int kMaxUnits = 1000;
    static constexpr qint64 kMaxUnitFileBytes = 64 * 1024;
};

} // namespace crawlmere::platform
