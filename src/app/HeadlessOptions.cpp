#include "app/HeadlessOptions.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/SettingsValue.h"
#include "platform/Paths.h"
#include "platform/Url.h"

#include <QDir>
#include <QFileInfo>

namespace crawlmere::app {

namespace {

std::optional<qint64> integerOf(const QString& text)
{
    const auto value = engine::valueFromText(text, qint64(0));
    return value ? std::optional<qint64>(value->toLongLong()) : std::nullopt;
}

// Splits "KEY=VALUE"; the key must not be empty.
std::optional<std::pair<QString, QString>> keyValue(const QString& text)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return std::nullopt;
    return std::make_pair(text.left(equals).trimmed(), text.mid(equals + 1));
}

QString typeName(const QVariant& model)
{
    switch (model.typeId()) {
    case QMetaType::Bool:
        return QStringLiteral("YES or NO");
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QStringLiteral("a whole number");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("a number");
    case QMetaType::QVariantList:
        return QStringLiteral("terms separated by commas");
    default:
        return QStringLiteral("text");
    }
}

/// A `--set` value typed by its model and held within its range; nullopt with `error` set.
std::optional<QVariant> crawlSettingValue(
    const QString& key, const QString& text, const QVariant& model, QString* error)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    const engine::SettingRange* range = setting && setting->range ? &*setting->range : nullptr;
    const QString expected = range ? QStringLiteral("%1 from %2 to %3 (%4)")
                                         .arg(typeName(model))
                                         .arg(range->lowest, 0, 'g', 12)
                                         .arg(range->highest, 0, 'g', 12)
                                         .arg(QLatin1String(range->unit))
                                   : typeName(model);
    auto typed = engine::valueFromText(text, model);
    if (typed && range) {
        const double value = typed->toDouble();
        if (!(value >= range->lowest && value <= range->highest))
            typed.reset();
    }
    if (!typed)
        *error = QStringLiteral("--set %1: expected %2, got \"%3\"").arg(key, expected, text);
    return typed;
}

/// Crawl settings a scan reads from the application defaults: `--set` gives them there, for
/// this run only.
bool isReadFromDefaults(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->reader == engine::SettingReader::ApplicationDefaults;
}

/// Crawl settings that no scan reads (kept in stored sites, or used by the sitemap upload
/// only): `--set` refuses them as unknown.
bool isReadByNoScan(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->reader == engine::SettingReader::NoScan;
}

/// The settings file and the site list: files no web address is mistaken for.
bool isOwnDocumentSuffix(const QString& suffix)
{
    return suffix.compare(QLatin1String("lcsettings"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("lcsbatch"), Qt::CaseInsensitive) == 0;
}

} // namespace

QStringList HeadlessOptions::defaultColumns()
{
    return { QStringLiteral("url"), QStringLiteral("status"), QStringLiteral("redir"), QStringLiteral("onpageurl"),
        QStringLiteral("linkpagetitle") };
}

QVariant valueByForm(const QString& text)
{
    const QString lower = text.trimmed().toLower();
    if (lower == QLatin1String("yes") || lower == QLatin1String("true"))
        return true;
    if (lower == QLatin1String("no") || lower == QLatin1String("false"))
        return false;
    if (const auto integer = engine::valueFromText(text, qint64(0)))
        return *integer;
    if (const auto real = engine::valueFromText(text, 0.0))
        return *real;
    return text;
}

QString usageText()
{
    return QStringLiteral(
        "usage: crawlmere [--headless] [--set KEY=VALUE]... [--default KEY=VALUE]...\n"
        "                 [--csv FILE] [--columns KEY,KEY,...] [--sitemap FILE] TARGET\n"
        "       crawlmere [--headless] ... --view N [--csv FILE] [--html FILE] TARGET\n"
        "\n"
        "TARGET is an http(s) address, a local page, URL list or sitemap, or a .lcsettings file;\n"
        "the sites of a .lcsbatch file are added to the site list (nothing is scanned).\n"
        "  --headless          scan without windows (also the case when there is no display)\n"
        "  --set KEY=VALUE     a crawl setting for this scan (numberOfThreads=4, timeout=10, ...)\n"
        "  --default KEY=VALUE an application default for this run only; it is not saved\n"
        "  --csv FILE          after the scan, write every URL found to FILE\n"
        "  --columns KEYS      the columns of the CSV (default url,status,redir,onpageurl,linkpagetitle)\n"
        "  --view N            export link view N as shown, filtered by the defaults (1: by link,\n"
        "                      2: by page, 3: by status, every row expanded; 4: flat)\n"
        "  --html FILE         with --view, write the view as an HTML page to FILE\n"
        "  --sitemap FILE      after the scan, write the XML sitemap of the good internal pages to FILE\n"
        "  --version           print the version\n"
        "Started without any argument on a display, crawlmere opens its main window.\n");
}

HeadlessParse parseHeadlessArguments(const QStringList& arguments, const QVariantMap& crawlSettingModels,
    const QVariantMap& registeredDefaults, const QString& workingFolder)
{
    HeadlessParse result;
    HeadlessOptions options;
    bool columnsGiven = false;
    auto fail = [&](const QString& message) {
        result.error = message;
        return result;
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        auto nextValue = [&](const QString& option) -> std::optional<QString> {
            if (argument.startsWith(option + QLatin1Char('=')))
                return argument.mid(option.size() + 1);
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments.at(++i);
        };
        auto isOption = [&](const QString& option) {
            return argument == option || argument.startsWith(option + QLatin1Char('='));
        };

        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.showHelp = true;
            return result;
        }
        if (argument == QLatin1String("--version")) {
            result.showVersion = true;
            return result;
        }
        if (argument == QLatin1String("--headless")) {
            options.headless = true;
        } else if (isOption(QStringLiteral("--set"))) {
            const auto value = nextValue(QStringLiteral("--set"));
            const auto pair = value ? keyValue(*value) : std::nullopt;
            if (!pair)
                return fail(QStringLiteral("--set needs KEY=VALUE"));
            if (pair->first == u"startingUrl")
                return fail(QStringLiteral("--set startingUrl: the starting URL is the TARGET"));
            if (!crawlSettingModels.contains(pair->first) || isReadByNoScan(pair->first))
                return fail(QStringLiteral("unknown crawl setting: %1").arg(pair->first));
            QString problem;
            const auto typed
                = crawlSettingValue(pair->first, pair->second, crawlSettingModels.value(pair->first), &problem);
            if (!typed)
                return fail(problem);
            if (isReadFromDefaults(pair->first)) {
                options.defaults.insert(pair->first, *typed);
            } else if (pair->first == u"loadImages" || pair->first == u"shouldLoadImages") {
                // Either name sets the one switch, whichever the scanned site holds.
                options.crawlSettings.insert(QStringLiteral("loadImages"), *typed);
                options.crawlSettings.insert(QStringLiteral("shouldLoadImages"), *typed);
            } else {
                options.crawlSettings.insert(pair->first, *typed);
            }
        } else if (isOption(QStringLiteral("--default"))) {
            const auto value = nextValue(QStringLiteral("--default"));
            const auto pair = value ? keyValue(*value) : std::nullopt;
            if (!pair)
                return fail(QStringLiteral("--default needs KEY=VALUE"));
            if (registeredDefaults.contains(pair->first)) {
                const QVariant model = registeredDefaults.value(pair->first);
                const auto typed = engine::valueFromText(pair->second, model);
                if (!typed)
                    return fail(QStringLiteral("--default %1: expected %2, got \"%3\"")
                                    .arg(pair->first, typeName(model), pair->second));
                options.defaults.insert(pair->first, *typed);
            } else {
                options.defaults.insert(pair->first, valueByForm(pair->second));
            }
        } else if (isOption(QStringLiteral("--csv"))) {
            const auto value = nextValue(QStringLiteral("--csv"));
            if (!value || value->isEmpty())
                return fail(QStringLiteral("--csv needs a file name"));
            options.csvFile = QDir(workingFolder).absoluteFilePath(*value);
        } else if (isOption(QStringLiteral("--sitemap"))) {
            const auto value = nextValue(QStringLiteral("--sitemap"));
            if (!value || value->isEmpty())
                return fail(QStringLiteral("--sitemap needs a file name"));
            options.sitemapFile = QDir(workingFolder).absoluteFilePath(*value);
        } else if (isOption(QStringLiteral("--columns"))) {
            const auto value = nextValue(QStringLiteral("--columns"));
            QStringList columns;
            for (const QString& column : value.value_or(QString()).split(QLatin1Char(','))) {
                if (!column.trimmed().isEmpty())
                    columns.append(column.trimmed().toLower());
            }
            if (columns.isEmpty())
                return fail(QStringLiteral("--columns needs at least one column key"));
            for (const QString& column : std::as_const(columns)) {
                if (!CrwlUrl::namesField(column))
                    return fail(QStringLiteral("unknown column key: %1").arg(column));
            }
            options.columns = columns;
            columnsGiven = true;
        } else if (isOption(QStringLiteral("--html"))) {
            const auto value = nextValue(QStringLiteral("--html"));
            if (!value || value->isEmpty())
                return fail(QStringLiteral("--html needs a file name"));
            options.htmlFile = QDir(workingFolder).absoluteFilePath(*value);
        } else if (isOption(QStringLiteral("--view"))) {
            const QString value = nextValue(QStringLiteral("--view")).value_or(QString());
            const auto number = integerOf(value);
            if (!number || *number < 1 || *number > 4)
                return fail(QStringLiteral("--view %1: no such link view (1 by link, 2 by page, 3 by status, 4 flat)")
                                .arg(value));
            options.view = static_cast<int>(*number);
        } else if (argument.startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("unknown option: %1").arg(argument));
        } else {
            if (!options.target.isEmpty())
                return fail(QStringLiteral("only one target can be scanned at a time"));
            options.target = argument;
        }
    }

    if (options.view != 0 && columnsGiven)
        return fail(QStringLiteral("--columns cannot be used with --view (the view has its own columns)"));
    if (options.view == 0 && !options.htmlFile.isEmpty())
        return fail(QStringLiteral("--html needs --view"));
    if (options.target.isEmpty())
        return fail(QStringLiteral("no target given"));

    const QString& target = options.target;
    if (target.contains(QLatin1String("://"))) {
        options.targetKind = TargetKind::WebAddress;
        options.startingUrl = target;
    } else {
        const QString path = QDir(workingFolder).absoluteFilePath(platform::Paths::expandTilde(target));
        const QFileInfo info(path);
        if (!info.exists()) {
            // Not on disk: a bare host name such as "example.com" is a web address, but not a
            // name of the program's own files nor a path into a folder that is there.
            if (platform::Paths::isLocalPath(target) || target.startsWith(QLatin1Char('.'))
                || isOwnDocumentSuffix(info.suffix())
                || (target.contains(QLatin1Char('/')) && info.dir().exists())) {
                result.targetNotFound = true;
                return fail(QStringLiteral("no such file: %1").arg(target));
            }
            options.targetKind = TargetKind::WebAddress;
            options.startingUrl = target;
        } else if (info.suffix().compare(QLatin1String("lcsettings"), Qt::CaseInsensitive) == 0) {
            options.targetKind = TargetKind::SettingsFile;
            options.target = info.absoluteFilePath();
        } else if (info.suffix().compare(QLatin1String("lcsbatch"), Qt::CaseInsensitive) == 0) {
            options.targetKind = TargetKind::SiteListFile;
            options.target = info.absoluteFilePath();
            if (!options.crawlSettings.isEmpty() || !options.csvFile.isEmpty() || !options.sitemapFile.isEmpty()
                || options.view != 0)
                return fail(QStringLiteral("a .lcsbatch file is imported into the site list, not scanned: "
                                           "--set, --csv, --view and --sitemap cannot be used with it"));
        } else {
            options.targetKind = TargetKind::LocalFile;
            const auto url = platform::Url::fromLocalFile(info.absoluteFilePath());
            if (!url)
                return fail(QStringLiteral("cannot make a file URL of %1").arg(target));
            options.startingUrl = url->absoluteString();
        }
    }
    result.options = std::move(options);
    return result;
}

} // namespace crawlmere::app
