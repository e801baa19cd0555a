// Scheduled scans as the user's systemd timers.
#include "platform/Schedules.h"

#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace crawlmere::platform {

namespace {

using Sections = QHash<QString, QList<std::pair<QString, QString>>>;

/// The entries of a unit file by section, in order; continuation lines joined, comments dropped.
std::optional<Sections> readUnit(const QString& path)
{
    QFile file(path);
    if (file.size() > Schedules::kMaxUnitFileBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    Sections sections;
    QString section;
    QString pending;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        QString line = raw.trimmed();
        if (pending.isEmpty() && (line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';'))))
            continue;
        if (line.endsWith(QLatin1Char('\\'))) {
            pending += line.chopped(1) + QLatin1Char(' ');
            continue;
        }
        line = pending + line;
        pending.clear();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2);
            sections[section];
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && !section.isEmpty())
            sections[section].append({ line.left(equals).trimmed(), line.mid(equals + 1).trimmed() });
    }
    return sections;
}

/// The first non-empty value of `key` in `section`.
QString firstValue(const Sections& sections, const QString& section, const QString& key)
{
    for (const auto& [name, value] : sections.value(section)) {
        if (name == key && !value.isEmpty())
            return value;
    }
    return {};
}

/// The scan's settings file among a command's arguments: the first that names a ".lcsettings"
/// file (the extension compared exactly, as the program takes it), whatever options or
/// launcher (`/usr/bin/env crawlmere …`) come before it; null when none does.
QString settingsFileOf(const QStringList& words)
{
    for (qsizetype i = 1; i < words.size(); ++i) {
        if (QFileInfo(words.at(i)).suffix() == u"lcsettings")
            return words.at(i);
    }
    return {};
}

QString siteOfService(const QString& servicePath)
{
    const QString notFound = QStringLiteral("Site settings not found");
    const std::optional<Sections> service = readUnit(servicePath);
    if (!service)
        return notFound;
    const QString settingsFile = settingsFileOf(
        Schedules::splitCommandLine(firstValue(*service, QStringLiteral("Service"), QStringLiteral("ExecStart"))));
    if (settingsFile.isNull() || !QFileInfo(settingsFile).isFile())
        return notFound;
    const auto settings = PropertyList::readFile(settingsFile);
    if (!settings.ok())
        return notFound;
    return settings.value().toMap().value(QLatin1String(Schedules::kStartingUrlKey)).toString();
}

const QStringList& weekdayNames()
{
    static const QStringList names { QStringLiteral("Monday"), QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
        QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday"), QStringLiteral("Sunday") };
    return names;
}

} // namespace

QString Schedules::userHome() { return QDir::homePath(); }

QString Schedules::unitFolder()
{
    // systemd reads the user's own folders: CRAWLMERE_HOME, which moves this program's files
    // only, does not move them.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = userHome() + QStringLiteral("/.config");
    return QDir::cleanPath(base) + QStringLiteral("/systemd/user");
}

QList<ScheduledScan> Schedules::read(const QString& folder)
{
    QList<ScheduledScan> scans;
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : names) {
        if (scans.size() >= kMaxUnits)
            break;
        if (!name.contains(QLatin1String("crawlmere")) || !name.endsWith(QLatin1String(".timer")))
            continue;
        const std::optional<Sections> timer = readUnit(folder + QLatin1Char('/') + name);
        if (!timer || !timer->contains(QStringLiteral("Timer")))
            continue;
        ScheduledScan scan;
        scan.unitName = name;
        QString service = firstValue(*timer, QStringLiteral("Timer"), QStringLiteral("Unit"));
        if (service.isEmpty())
            service = name.chopped(6) + QStringLiteral(".service");
        scan.site = service.contains(QLatin1Char('/')) ? QStringLiteral("Site settings not found")
                                                       : siteOfService(folder + QLatin1Char('/') + service);
        const QString calendar = firstValue(*timer, QStringLiteral("Timer"), QStringLiteral("OnCalendar"));
        if (const std::optional<Calendar> parts = parseCalendar(calendar)) {
            scan.time = parts->time;
            scan.dayOfMonth = parts->dayOfMonth;
            scan.dayOfWeek = parts->dayOfWeek;
        } else {
            scan.time = calendar;
        }
        scans.append(scan);
    }
    return scans;
}

QStringList Schedules::splitCommandLine(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quote.isNull() && c.isSpace()) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            const QChar next = line.at(++i);
            if (next == QLatin1Char('n'))
                word += QLatin1Char('\n');
            else if (next == QLatin1Char('t'))
                word += QLatin1Char('\t');
            else if (next == QLatin1Char('s'))
                word += QLatin1Char(' ');
            else if (next == QLatin1Char('x') && i + 2 < line.size()) {
                bool ok = false;
                const int code = line.mid(i + 1, 2).toInt(&ok, 16);
                word += ok ? QChar(code) : next;
                if (ok)
                    i += 2;
            } else
                word += next;
        } else if (c == QLatin1Char('%') && i + 1 < line.size()
            && (line.at(i + 1) == QLatin1Char('h') || line.at(i + 1) == QLatin1Char('%'))) {
            word += line.at(++i) == QLatin1Char('h') ? userHome() : QStringLiteral("%");
        } else if (quote.isNull() && (c == QLatin1Char('"') || c == QLatin1Char('\''))) {
            quote = c;
        } else if (c == quote) {
            quote = QChar();
        } else {
            word += c;
        }
    }
    if (inWord)
        words.append(word);
    if (!words.isEmpty()) {
        QString& program = words.first();
        while (!program.isEmpty() && QStringLiteral("@-:+!").contains(program.at(0)))
            program.remove(0, 1);
    }
    return words;
}

std::optional<Schedules::Calendar> Schedules::parseCalendar(const QString& value)
{
    static const QRegularExpression form(
        QStringLiteral("^(?:([A-Za-z]+)\\s+)?(?:\\*-\\*-(\\*|\\d{1,2})\\s+)?(\\d{1,2}):(\\d{1,2})(?::\\d{1,2})?$"));
    const QRegularExpressionMatch match = form.match(value.simplified());
    if (!match.hasMatch())
        return std::nullopt;
    Calendar calendar;
    const QString weekday = match.captured(1);
    if (!weekday.isEmpty()) {
        for (const QString& name : weekdayNames()) {
            if (weekday.compare(name, Qt::CaseInsensitive) == 0 || weekday.compare(name.left(3), Qt::CaseInsensitive) == 0)
                calendar.dayOfWeek = name;
        }
        if (calendar.dayOfWeek.isEmpty())
            return std::nullopt;
    }
    const int hour = match.captured(3).toInt();
    const int minute = match.captured(4).toInt();
    const QString day = match.captured(2);
    if (hour > 23 || minute > 59 || (!day.isEmpty() && day != QLatin1String("*") && (day.toInt() < 1 || day.toInt() > 31)))
        return std::nullopt;
    if (!day.isEmpty() && day != QLatin1String("*"))
        calendar.dayOfMonth = QString::number(day.toInt());
    calendar.time = QStringLiteral("%1:%2").arg(padHoursMins(hour), padHoursMins(minute));
    return calendar;
}

QString Schedules::padHoursMins(int value)
{
    const QString text = QString::number(value);
    return text.size() == 1 ? QStringLiteral("0%1").arg(text) : text;
}

} // namespace crawlmere::platform
