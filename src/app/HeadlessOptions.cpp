#include "app/HeadlessOptions.h"

#include "engine/CrawlSettingTable.h"
#include "engine/CrwlUrl.h"
#include "engine/SettingsValue.h"
#include "engine/UrlRecordFieldNames.h"
#include "platform/DefaultsKeys.h"
#include "platform/Paths.h"
#include "platform/Url.h"
#include "settings/ConfigManager.h"
#include "views/PreferencesModel.h"

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

/// A value typed by its model and held within the crawl setting's range; nullopt with `error`
/// set, which names `option` ("--set").
std::optional<QVariant> crawlSettingValue(
    const QString& option, const QString& key, const QString& text, const QVariant& model, QString* error)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    const engine::SettingRange* range = setting && setting->range ? &*setting->range : nullptr;
    const QString expected = range ? QStringLiteral("%1 from %2 to %3 (%4)")
                                         .arg(typeName(model), QString::number(range->lowest, 'g', 12),
                                             QString::number(range->highest, 'g', 12), QLatin1String(range->unit))
                                   : typeName(model);
    auto typed = engine::valueFromText(text, model);
    if (typed && range) {
        const double value = typed->toDouble();
        if (!(value >= range->lowest && value <= range->highest))
            typed.reset();
    }
    if (!typed)
        *error = QStringLiteral("%1 %2: expected %3, got \"%4\"").arg(option, key, expected, text);
    return typed;
}

/// Crawl settings a scan reads from the application defaults: `--set` gives them there, for
/// this run only.
bool isReadFromDefaults(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->reader == engine::SettingReader::ApplicationDefaults;
}

/// Crawl settings whose application value a site without its own takes: `--default` gives the
/// application value for this run.
bool isApplicationWide(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->applicationWide;
}

/// Crawl settings that no scan reads (kept in stored sites, or used by the sitemap upload
/// only): `--set` refuses them, saying so.
bool isReadByNoScan(const QString& key)
{
    const engine::CrawlSetting* setting = engine::findCrawlSetting(key);
    return setting && setting->reader == engine::SettingReader::NoScan;
}

/// Application defaults the program reads without registering them, which a user may set: the
/// link views' filter, the proxy-crawling service and the outside addresses.
bool isUnregisteredUserDefault(const QString& key)
{
    static const QStringList keys { defaultsKey::badLinksOnly, defaultsKey::proxyCrawlEndpoint,
        defaultsKey::proxyCrawlToken, defaultsKey::updatePropertyListURL,
        defaultsKey::updateVersionTextURL, defaultsKey::updateHomePageURL, defaultsKey::homePageAddress,
        defaultsKey::supportPageAddress, defaultsKey::helpPageAddress, defaultsKey::supportFormURL,
        defaultsKey::authenticationArticleURL };
    return keys.contains(key);
}

/// A preference's value as its control takes it: a choice among the control's values, a
/// number within its range; nullopt with `error` set.
std::optional<QVariant> preferenceValue(const views::Preference& preference, const QString& text, QString* error)
{
    using Kind = views::PreferenceKind;
    // One multi-argument call: the value the user gave is never read for placeholders.
    const auto problem = [&](const QString& expected) {
        return QStringLiteral("--default %1: expected %3, got \"%2\"").arg(preference.key, text, expected);
    };
    switch (preference.kind) {
    case Kind::Check:
        if (const auto typed = engine::valueFromText(text, false))
            return typed;
        *error = problem(typeName(false));
        return std::nullopt;
    case Kind::Choice: {
        QStringList offered;
        const auto typed = engine::valueFromText(text, qint64(0));
        for (const views::PreferenceChoice& choice : preference.choices) {
            if (typed && typed->toLongLong() == choice.value)
                return typed;
            offered << QString::number(choice.value);
        }
        *error = problem(QStringLiteral("one of %1").arg(offered.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    case Kind::Number:
    case Kind::Seconds: {
        const bool whole = preference.kind == Kind::Number;
        const auto typed = engine::valueFromText(text, whole ? QVariant(qint64(0)) : QVariant(0.0));
        if (typed && typed->toDouble() >= double(preference.minimum) && typed->toDouble() <= double(preference.maximum))
            return typed;
        *error = problem(QStringLiteral("%1 from %2 to %3")
                             .arg(whole ? QStringLiteral("a whole number") : QStringLiteral("a number"),
                                 QString::number(preference.minimum), QString::number(preference.maximum)));
        return std::nullopt;
    }
    case Kind::Text:
    case Kind::Lines:
        return QVariant(text);
    }
    return std::nullopt;
}

/// A `--default` value for this run: only for a default a user may set, of its type and within
/// its range; nullopt with `error` set.
std::optional<QVariant> defaultValue(const QString& key, const QString& text, const QVariantMap& crawlSettingModels,
    const QVariantMap& registeredDefaults, QString* error)
{
    if (settings::ConfigManager::storeKeys().contains(key)) {
        *error = QStringLiteral("--default %1: the site list keeps this value; it is not an application default "
                                "that can be set")
                     .arg(key);
        return std::nullopt;
    }
    if (isReadFromDefaults(key))
        return crawlSettingValue(QStringLiteral("--default"), key, text, crawlSettingModels.value(key), error);
    if (const views::Preference* preference = views::PreferencesModel::preference(key))
        return preferenceValue(*preference, text, error);
    if (isApplicationWide(key))
        return crawlSettingValue(QStringLiteral("--default"), key, text, crawlSettingModels.value(key), error);
    if (registeredDefaults.contains(key)) {
        const QVariant model = registeredDefaults.value(key);
        const auto typed = engine::valueFromText(text, model);
        if (!typed)
            *error = QStringLiteral("--default %1: expected %2, got \"%3\"").arg(key, typeName(model), text);
        return typed;
    }
    if (isUnregisteredUserDefault(key))
        return valueByForm(text);
    *error = QStringLiteral("unknown application default: %1").arg(key);
    return std::nullopt;
}

/// What reading the command line has gathered so far, and what it reads against.
struct ParseState {
    const QVariantMap& crawlSettingModels;
    const QVariantMap& registeredDefaults;
    const QString& workingFolder;
    HeadlessOptions options;
    bool columnsGiven = false;
    bool showColumnKeys = false;
};

/// Applies one option's value to the state; a null string, or the usage error in words.
using OptionHandler = QString (*)(ParseState& state, const QString& option, const QString& value);

QString applySet(ParseState& state, const QString& option, const QString& value)
{
    const auto pair = keyValue(value);
    if (!pair)
        return QStringLiteral("%1 needs KEY=VALUE").arg(option);
    const QString& key = pair->first;
    if (key == crawlKey::startingUrl)
        return QStringLiteral("--set startingUrl: the starting URL is the TARGET");
    if (!state.crawlSettingModels.contains(key))
        return QStringLiteral("unknown crawl setting: %1").arg(key);
    if (isReadByNoScan(key))
        return QStringLiteral("--set %1: not a crawl setting: a site keeps this value, but no scan reads it").arg(key);
    QString problem;
    const auto typed = crawlSettingValue(option, key, pair->second, state.crawlSettingModels.value(key), &problem);
    if (!typed)
        return problem;
    if (isReadFromDefaults(key)) {
        state.options.defaults.insert(key, *typed);
    } else if (key == crawlKey::loadImages || key == crawlKey::shouldLoadImages) {
        // Either name sets the one switch, whichever the scanned site holds.
        state.options.crawlSettings.insert(crawlKey::loadImages, *typed);
        state.options.crawlSettings.insert(crawlKey::shouldLoadImages, *typed);
    } else {
        state.options.crawlSettings.insert(key, *typed);
    }
    return {};
}

QString applyDefault(ParseState& state, const QString& option, const QString& value)
{
    const auto pair = keyValue(value);
    if (!pair)
        return QStringLiteral("%1 needs KEY=VALUE").arg(option);
    QString problem;
    const auto typed
        = defaultValue(pair->first, pair->second, state.crawlSettingModels, state.registeredDefaults, &problem);
    if (!typed)
        return problem;
    state.options.defaults.insert(pair->first, *typed);
    return {};
}

/// The option's file, made absolute against the working folder.
QString applyFile(ParseState& state, const QString& option, const QString& value)
{
    if (value.isEmpty())
        return QStringLiteral("%1 needs a file name").arg(option);
    const QString path = QDir(state.workingFolder).absoluteFilePath(value);
    if (option == u"--csv")
        state.options.csvFile = path;
    else if (option == u"--html")
        state.options.htmlFile = path;
    else
        state.options.sitemapFile = path;
    return {};
}

QString applyColumns(ParseState& state, const QString& option, const QString& value)
{
    if (value.trimmed().compare(u"help", Qt::CaseInsensitive) == 0) {
        state.showColumnKeys = true;
        return {};
    }
    QStringList columns;
    for (const QString& column : value.split(QLatin1Char(','))) {
        if (!column.trimmed().isEmpty())
            columns.append(column.trimmed().toLower());
    }
    if (columns.isEmpty())
        return QStringLiteral("%1 needs at least one column key").arg(option);
    for (const QString& column : std::as_const(columns)) {
        if (!CrwlUrl::namesField(column))
            return QStringLiteral("unknown column key: %1 (crawlmere --columns help lists them)").arg(column);
    }
    state.options.columns = columns;
    state.columnsGiven = true;
    return {};
}

QString applyView(ParseState& state, const QString& option, const QString& value)
{
    const auto number = integerOf(value);
    if (!number || *number < 1 || *number > 4)
        return QStringLiteral("%1 %2: no such link view (1 by link, 2 by page, 3 by status, 4 flat)").arg(option, value);
    state.options.view = static_cast<int>(*number);
    return {};
}

struct OptionSpec {
    const char* name;
    OptionHandler apply;
};

/// The options that take a value, given as "--option VALUE" or "--option=VALUE".
constexpr OptionSpec kValueOptions[] = {
    { "--set", applySet },
    { "--default", applyDefault },
    { "--csv", applyFile },
    { "--html", applyFile },
    { "--sitemap", applyFile },
    { "--columns", applyColumns },
    { "--view", applyView },
};

/// The option `argument` names ("--csv" or "--csv=…"), or null.
const OptionSpec* valueOptionOf(const QString& argument)
{
    for (const OptionSpec& spec : kValueOptions) {
        const QLatin1String name(spec.name);
        if (argument == name || (argument.startsWith(name) && argument.mid(name.size()).startsWith(u'=')))
            return &spec;
    }
    return nullptr;
}

/// Whether a target that names nothing on disk reads as a path rather than a web address: it
/// holds a space, starts as a local path does, ends in an own document's extension (any case),
/// or leads into a folder that is there (its first segment, or the folder it names).
bool readsAsPath(const QString& target, const QFileInfo& info, const QString& workingFolder)
{
    if (target.contains(QLatin1Char(' ')) || platform::Paths::isLocalPath(target) || target.startsWith(u'.'))
        return true;
    using Own = settings::ConfigManager::OwnDocument;
    if (settings::ConfigManager::ownDocumentOf(target) != Own::None
        || settings::ConfigManager::hasOwnExtensionInOtherCase(target))
        return true;
    const qsizetype slash = target.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    return info.dir().exists() || QFileInfo(QDir(workingFolder).filePath(target.left(slash))).isDir();
}

/// The file a path names, as far as text and the folders on disk tell: "./a.csv", "a.csv" and
/// "x/../a.csv" are one file, and so are two paths through a linked folder.
QString fileIdentity(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(path));
    if (const QString canonical = info.canonicalFilePath(); !canonical.isEmpty())
        return canonical;
    const QString folder = info.dir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + QLatin1Char('/') + info.fileName();
}

/// The refusal of output options that name one file (each write would replace the one before),
/// or a null string.
QString sameOutputFile(const HeadlessOptions& options)
{
    const std::pair<const char*, const QString*> outputs[]
        = { { "--csv", &options.csvFile }, { "--html", &options.htmlFile }, { "--sitemap", &options.sitemapFile } };
    for (size_t i = 0; i < std::size(outputs); ++i) {
        for (size_t j = i + 1; j < std::size(outputs); ++j) {
            const QString& first = *outputs[i].second;
            const QString& second = *outputs[j].second;
            if (!first.isEmpty() && !second.isEmpty() && fileIdentity(first) == fileIdentity(second))
                return QStringLiteral("%1 and %2 name the same file (%3): each would replace the other")
                    .arg(QLatin1String(outputs[i].first), QLatin1String(outputs[j].first), second);
        }
    }
    return {};
}

/// The refusal of an output that would replace what the program reads: the scanned file itself
/// (a settings file, a URL list, a page) or any file of the program's own folders (the site
/// store, its lock, the archive); and of an archive export folder inside those folders, which
/// the next scan would clear. A null string when there is none.
QString outputOverOwnFile(const HeadlessOptions& options, const QString& workingFolder)
{
    const auto absolute = [&workingFolder](const QString& path) {
        return QDir(workingFolder).absoluteFilePath(platform::Paths::expandTilde(path));
    };
    const bool targetIsFile = options.targetKind != TargetKind::WebAddress;
    const std::pair<const char*, const QString*> outputs[]
        = { { "--csv", &options.csvFile }, { "--html", &options.htmlFile }, { "--sitemap", &options.sitemapFile } };
    for (const auto& [name, path] : outputs) {
        if (path->isEmpty())
            continue;
        const QString output = absolute(*path);
        if (targetIsFile && fileIdentity(output) == fileIdentity(absolute(options.target)))
            return QStringLiteral("%1 %2 names the target itself: the export would replace it")
                .arg(QLatin1String(name), *path);
        if (platform::Paths::holdsOwnData(output))
            return QStringLiteral("%1 %2 is a file of Crawlmere's own (its site list, archive or settings): "
                                  "the export would replace it")
                .arg(QLatin1String(name), *path);
    }
    const QString exportFolder = options.crawlSettings.value(crawlKey::archiveSaveLocation).toString();
    if (!exportFolder.isEmpty() && platform::Paths::holdsOwnData(absolute(exportFolder)))
        return QStringLiteral("archiveSaveLocation=%1 is inside Crawlmere's own folders: the next scan would "
                              "clear what is exported there")
            .arg(exportFolder);
    return {};
}

/// Tells what the target names and fills the starting URL; the refusal in `result` otherwise.
bool classifyTarget(HeadlessOptions& options, const QString& workingFolder, HeadlessParse& result)
{
    const QString target = options.target;
    const auto refuse = [&result](const QString& message) {
        result.error = message;
        result.targetUnusable = true;
        return false;
    };
    if (target.contains(QLatin1String("://"))) {
        options.targetKind = TargetKind::WebAddress;
        options.startingUrl = target;
        return true;
    }
    const QString path = QDir(workingFolder).absoluteFilePath(platform::Paths::expandTilde(target));
    const QFileInfo info(path);
    if (!info.exists()) {
        if (readsAsPath(target, info, workingFolder))
            return refuse(QStringLiteral("no such file: %1").arg(target));
        // A bare host name such as "example.com" is a web address; the hub adds the scheme.
        options.targetKind = TargetKind::WebAddress;
        options.startingUrl = target;
        return true;
    }
    using Own = settings::ConfigManager::OwnDocument;
    switch (settings::ConfigManager::ownDocumentOf(path)) {
    case Own::SiteSettings:
        options.targetKind = TargetKind::SettingsFile;
        options.target = info.absoluteFilePath();
        return true;
    case Own::SiteList:
        options.targetKind = TargetKind::SiteListFile;
        options.target = info.absoluteFilePath();
        if (!options.crawlSettings.isEmpty() || !options.csvFile.isEmpty() || !options.sitemapFile.isEmpty()
            || options.view != 0) {
            result.error = QStringLiteral("a .lcsbatch file is imported into the site list, not scanned: "
                                          "--set, --csv, --view and --sitemap cannot be used with it");
            return false;
        }
        return true;
    case Own::None:
        break;
    }
    if (settings::ConfigManager::hasOwnExtensionInOtherCase(path))
        return refuse(QStringLiteral("%1 is not opened: settings files end in \".lcsettings\" and site lists in "
                                     "\".lcsbatch\", written in lower case")
                          .arg(target));
    options.targetKind = TargetKind::LocalFile;
    const auto url = platform::Url::fromLocalFile(info.absoluteFilePath());
    if (!url) {
        result.error = QStringLiteral("cannot make a file URL of %1").arg(target);
        return false;
    }
    options.startingUrl = url->absoluteString();
    return true;
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
        "       crawlmere --help | --version | --columns help\n"
        "\n"
        "TARGET is an http(s) address, a local page, URL list or sitemap, or a .lcsettings file;\n"
        "the sites of a .lcsbatch file are added to the site list (nothing is scanned).\n"
        "  --headless          scan without windows (also the case when there is no display)\n"
        "  --set KEY=VALUE     a crawl setting for this scan (numberOfThreads=4, timeout=10, ...)\n"
        "  --default KEY=VALUE an application default for this run only; it is not saved\n"
        "  --csv FILE          after the scan, write every URL found to FILE\n"
        "  --columns KEYS      the columns of the CSV (default url,status,redir,onpageurl,linkpagetitle;\n"
        "                      --columns help lists every key)\n"
        "  --view N            export link view N as shown, filtered by the defaults (1: by link,\n"
        "                      2: by page, 3: by status, every row expanded; 4: flat)\n"
        "  --html FILE         with --view, write the view as an HTML page to FILE\n"
        "  --sitemap FILE      after the scan, write the XML sitemap of the good internal pages to FILE\n"
        "  --help              print this text\n"
        "  --version           print the version\n"
        "Started without any argument on a display, crawlmere opens its main window.\n");
}

QString columnKeysText()
{
    return urlRecordFieldNames().join(QLatin1Char('\n')) + QLatin1Char('\n');
}

HeadlessParse parseHeadlessArguments(const QStringList& arguments, const QVariantMap& crawlSettingModels,
    const QVariantMap& registeredDefaults, const QString& workingFolder)
{
    HeadlessParse result;
    ParseState state { crawlSettingModels, registeredDefaults, workingFolder, {} };
    const auto fail = [&result](const QString& message) {
        result.error = message;
        return result;
    };

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == u"--help" || argument == u"-h") {
            result.showHelp = true;
            return result;
        }
        if (argument == u"--version") {
            result.showVersion = true;
            return result;
        }
        if (argument == u"--headless") {
            state.options.headless = true;
        } else if (const OptionSpec* spec = valueOptionOf(argument)) {
            const QLatin1String name(spec->name);
            QString value;
            if (argument.size() > name.size())
                value = argument.mid(name.size() + 1);
            else if (i + 1 < arguments.size())
                value = arguments.at(++i);
            if (const QString problem = spec->apply(state, name, value); !problem.isNull())
                return fail(problem);
        } else if (argument.startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("unknown option: %1").arg(argument));
        } else {
            if (!state.options.target.isEmpty())
                return fail(QStringLiteral("only one target can be scanned at a time"));
            state.options.target = argument;
        }
    }

    if (state.showColumnKeys) {
        result.showColumnKeys = true;
        return result;
    }
    HeadlessOptions& options = state.options;
    if (options.view != 0 && state.columnsGiven)
        return fail(QStringLiteral("--columns cannot be used with --view (the view has its own columns)"));
    if (options.view == 0 && !options.htmlFile.isEmpty())
        return fail(QStringLiteral("--html needs --view"));
    if (const QString same = sameOutputFile(options); !same.isNull())
        return fail(same);
    if (options.target.isEmpty())
        return fail(QStringLiteral("no target given"));
    if (!classifyTarget(options, workingFolder, result))
        return result;
    if (const QString own = outputOverOwnFile(options, workingFolder); !own.isNull())
        return fail(own);
    result.options = std::move(options);
    return result;
}

} // namespace crawlmere::app
