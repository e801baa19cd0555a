// The saved-data manager window.
#include "views/WebtallyDataManager.h"

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/PropertyList.h"
#include "platform/Strings.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QProgressBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace crawlmere::views {

using platform::logLine;

namespace {

const QString kDateStamp = QStringLiteral("dateStamp");
const QString kName = QStringLiteral("selectedSiteName");
const QString kID = QStringLiteral("selectedSiteID");
const QString kFullPath = QStringLiteral("fullPath");
const QString kSize = QStringLiteral("size");

/// Archived objects are followed this deep at most.
constexpr int kArchiveDepth = 16;

/// One object of a keyed archive: strings and numbers as they are, "$null" as nothing, archived
/// strings and dictionaries decoded. References are object numbers (UIDs read as integers).
QVariant unarchived(const QVariantList& objects, const QVariant& reference, int depth)
{
    bool isIndex = false;
    const qint64 index = reference.toLongLong(&isIndex);
    if (!isIndex || index < 0 || index >= objects.size() || depth > kArchiveDepth)
        return {};
    const QVariant object = objects.at(index);
    if (object.typeId() == QMetaType::QString)
        return object.toString() == u"$null" ? QVariant() : object;
    if (object.typeId() != QMetaType::QVariantMap)
        return object;
    const QVariantMap map = object.toMap();
    if (map.contains(QStringLiteral("NS.string")))
        return map.value(QStringLiteral("NS.string"));
    const QVariantList keys = map.value(QStringLiteral("NS.keys")).toList();
    const QVariantList values = map.value(QStringLiteral("NS.objects")).toList();
    if (keys.size() != values.size())
        return {};
    QVariantMap dictionary;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QVariant key = unarchived(objects, keys.at(i), depth + 1);
        if (key.typeId() == QMetaType::QString)
            dictionary.insert(key.toString(), unarchived(objects, values.at(i), depth + 1));
    }
    return dictionary;
}

} // namespace

WebtallyDataManager::WebtallyDataManager(
    platform::UserDefaults& defaults, std::function<QString()> createAutosaveFolder)
    : m_defaults(defaults)
    , m_createAutosaveFolder(std::move(createAutosaveFolder))
{
    if (!m_createAutosaveFolder)
        m_createAutosaveFolder
            = [] { return platform::Paths::applicationSupportSubfolder(QStringLiteral("autosave")); };
    m_window = std::make_unique<QWidget>();
    m_window->setObjectName(QStringLiteral("mainWindow"));
    m_window->setWindowTitle(tr("Saved data"));
    m_table = new QTableWidget(0, static_cast<int>(kColumns.size()), m_window.get());
    m_table->setObjectName(QStringLiteral("mainTableView"));
    m_table->setHorizontalHeaderLabels({ QString(), tr("Name"), tr("Date"), tr("Size") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->horizontalHeader()->setStretchLastSection(true);
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
        &WebtallyDataManager::sortDescriptorsDidChange);
    m_progIndicator = new QProgressBar(m_window.get());
    m_progIndicator->setObjectName(QStringLiteral("progIndicator"));
    m_progIndicator->setRange(0, 0);
    m_progIndicator->hide();
    auto* layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_table);
    layout->addWidget(m_progIndicator);
    m_window->resize(560, 360);
}

WebtallyDataManager::~WebtallyDataManager() = default;

QDateTime WebtallyDataManager::referenceDate() { return QDateTime::fromSecsSinceEpoch(0, Qt::UTC); }

void WebtallyDataManager::showManager()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_progIndicator->show();

    const QString folder = m_createAutosaveFolder();
    const QStringList entries = folder.isEmpty()
        ? QStringList()
        : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    m_matches.clear();
    if (entries.isEmpty())
        logLine(0, QStringLiteral("no contents found at directory %1").arg(folder));
    for (const QString& entry : entries) {
        if (platform::strings::pathExtension(entry) != u"plist")
            continue;
        const auto about = getDictionaryAboutFile(entry, folder);
        QVariantMap row;
        const auto date = about ? getDateStampForSiteID(about->value(kID).toString()) : std::nullopt;
        row.insert(kDateStamp, date.value_or(referenceDate()));
        if (about)
            row.insert(*about);
        m_matches.append(row);
    }
    m_progIndicator->hide();
    reloadTable();
}

std::optional<QVariantMap> WebtallyDataManager::getDictionaryAboutFile(const QString& fileName, const QString& folder)
{
    const QString path = platform::strings::appendingPathComponent(folder, fileName);
    auto read = platform::PropertyList::readFile(path);
    QVariantMap dictionary = read ? read->toMap() : QVariantMap();
    if (dictionary.contains(QStringLiteral("$archiver"))) {
        const QVariantList objects = dictionary.value(QStringLiteral("$objects")).toList();
        const QVariant root = dictionary.value(QStringLiteral("$top")).toMap().value(QStringLiteral("root"));
        dictionary = unarchived(objects, root, 0).toMap();
    }
    if (dictionary.isEmpty()) {
        logLine(0, QStringLiteral("couldn't make data from path %1").arg(path));
        return std::nullopt;
    }
    if (!dictionary.contains(kName) || !dictionary.contains(kID))
        return std::nullopt;
    return QVariantMap { { kName, dictionary.value(kName).toString() }, { kID, dictionary.value(kID).toString() },
        { kFullPath, path }, { kSize, QFileInfo(path).size() } };
}

std::optional<QDateTime> WebtallyDataManager::getDateStampForSiteID(const QString& siteID)
{
    if (!m_websites)
        m_websites = m_defaults.value(defaultsKey::websites);
    for (const QVariant& site : std::as_const(*m_websites)) {
        const QVariantMap map = site.toMap();
        if (map.value(QStringLiteral("id")).toString() == siteID) {
            const QDateTime date = map.value(kDateStamp).toDateTime();
            return date.isValid() ? std::optional<QDateTime>(date) : std::nullopt;
        }
    }
    return std::nullopt;
}

QString WebtallyDataManager::stringFromDate(const QDateTime& date)
{
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), QStringLiteral("d MMM yyyy")) + QLatin1Char(' ')
        + locale.toString(local.time(), QLocale::ShortFormat);
}

QString WebtallyDataManager::formatFileSize(double bytes)
{
    if (bytes > 1000000000.0)
        return QString::asprintf("%.1f Gb", bytes / 1000000000.0);
    if (bytes > 1000000.0)
        return QString::asprintf("%.1f Mb", bytes / 1000000.0);
    if (bytes > 1000.0)
        return QString::asprintf("%.1f kb", bytes / 1000.0);
    return QString::asprintf("%.0f bytes", bytes);
}

void WebtallyDataManager::sortDescriptorsDidChange(int column, Qt::SortOrder order)
{
    if (column < 1 || column >= kColumns.size())
        return;
    const QString key = column == 1 ? kName : kColumns.at(column);
    std::stable_sort(m_matches.begin(), m_matches.end(), [&key, order](const QVariantMap& a, const QVariantMap& b) {
        const QVariant left = a.value(key);
        const QVariant right = b.value(key);
        int compared = 0;
        if (key == kName)
            compared = QString::localeAwareCompare(left.toString(), right.toString());
        else if (key == kSize)
            compared = left.toLongLong() < right.toLongLong() ? -1 : left.toLongLong() > right.toLongLong() ? 1 : 0;
        else
            compared = left.toDateTime() < right.toDateTime() ? -1 : left.toDateTime() > right.toDateTime() ? 1 : 0;
        return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
    });
    reloadTable();
}

void WebtallyDataManager::tableViewNewDeleteMatchAction(int tag, Qt::KeyboardModifiers modifiers)
{
    if (tag < 0 || tag >= m_matches.size())
        return;
    m_lastSelectedRow = tag;
    if (modifiers & Qt::AltModifier)
        permanentlyDeleteMatch(tag);
    else
        deleteMatch(tag);
}

bool WebtallyDataManager::permanentlyDeleteMatch(int row) { return removeMatch(row, false); }
bool WebtallyDataManager::deleteMatch(int row) { return removeMatch(row, true); }

bool WebtallyDataManager::removeMatch(int row, bool toTrash)
{
    if (row < 0 || row >= m_matches.size())
        return false;
    const QString path = m_matches.at(row).value(kFullPath).toString();
    if (path.isEmpty()) {
        logLine(0, QStringLiteral("unable to trash file, no fullPath"));
        QApplication::beep();
        return false;
    }
    const bool removed = toTrash ? QFile::moveToTrash(path) : QFile::remove(path);
    if (!removed)
        return false;
    m_matches.removeAt(row);
    reloadTable();
    return true;
}

void WebtallyDataManager::reloadTable()
{
    m_table->clearContents();
    m_table->setRowCount(static_cast<int>(m_matches.size()));
    const QIcon trash = m_table->style()->standardIcon(QStyle::SP_TrashIcon);
    for (int row = 0; row < m_matches.size(); ++row) {
        const QVariantMap& match = m_matches.at(row);
        auto* button = new QToolButton(m_table);
        button->setObjectName(QStringLiteral("button"));
        button->setIcon(trash);
        button->setIconSize(QSize(15, 15));
        button->setAutoRaise(true);
        button->setProperty("tag", row);
        connect(button, &QToolButton::clicked, this, [this, button] {
            tableViewNewDeleteMatchAction(button->property("tag").toInt(), QGuiApplication::keyboardModifiers());
        });
        m_table->setCellWidget(row, 0, button);
        m_table->setItem(row, 1, new QTableWidgetItem(match.value(kName).toString()));
        const QDateTime date = match.value(kDateStamp).toDateTime();
        m_table->setItem(row, 2, new QTableWidgetItem(date.isValid() ? stringFromDate(date) : QString()));
        m_table->setItem(row, 3,
            new QTableWidgetItem(match.contains(kSize) ? formatFileSize(match.value(kSize).toDouble()) : QString()));
    }
}

} // namespace crawlmere::views
