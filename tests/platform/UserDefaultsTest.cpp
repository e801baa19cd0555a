// The defaults store: coercions, layers, persistence, broken files, failed saves and threads.
#include "platform/UserDefaults.h"

#include "platform/Paths.h"
#include "platform/HeldFolder.h"
#include "platform/PropertyList.h"
#include "platform/StoreFile.h"
#include "support/FileSizeLimit.h"
#include "support/FifoWait.h"
#include "support/SharedFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSize>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using crawlmere::platform::PropertyList;
using crawlmere::platform::UserDefaults;

namespace {

struct Coercion {
    const char* name;
    QVariant value;
    bool asBool;
    qint64 asInteger;
    double asDouble;
    QString asString; // null when stringForKey gives null
};

void PrintTo(const Coercion& coercion, std::ostream* out) { *out << coercion.name; }

class UserDefaultsCoercion : public testing::TestWithParam<Coercion> { };

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace

TEST_P(UserDefaultsCoercion, TypedGettersCoerceLikeThePlatform)
{
    const Coercion& c = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    UserDefaults defaults(folder.filePath("defaults.plist"));
    defaults.setObject(c.value, "key");
    EXPECT_EQ(defaults.boolForKey("key"), c.asBool);
    EXPECT_EQ(defaults.integerForKey("key"), c.asInteger);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("key"), c.asDouble);
    EXPECT_EQ(defaults.stringForKey("key"), c.asString);
    EXPECT_EQ(defaults.stringForKey("key").isNull(), c.asString.isNull());
}

INSTANTIATE_TEST_SUITE_P(Values, UserDefaultsCoercion,
    testing::Values(
        // name, value, bool, integer, double, string
        Coercion { "absent", QVariant(), false, 0, 0.0, QString() }, Coercion { "boolTrue", true, true, 1, 1.0, "1" },
        Coercion { "boolFalse", false, false, 0, 0.0, "0" }, Coercion { "integer", 42, true, 42, 42.0, "42" },
        Coercion { "zero", 0, false, 0, 0.0, "0" }, Coercion { "negative", qint64(-5), true, -5, -5.0, "-5" },
        Coercion { "int64Min", std::numeric_limits<qint64>::min(), true, std::numeric_limits<qint64>::min(),
            -9223372036854775808.0, "-9223372036854775808" },
        Coercion { "uint64Max", std::numeric_limits<quint64>::max(), true, std::numeric_limits<qint64>::max(),
            18446744073709551615.0, "18446744073709551615" },
        Coercion { "real", 2.75, true, 2, 2.75, "2.75" }, Coercion { "negativeReal", -2.75, true, -2, -2.75, "-2.75" },
        Coercion { "smallReal", 0.25, true, 0, 0.25, "0.25" },
        Coercion { "hugeReal", 1e300, true, std::numeric_limits<qint64>::max(), 1e300, "1e+300" },
        Coercion { "YES", QString("YES"), true, 0, 0.0, "YES" },
        Coercion { "yes", QString("yes"), true, 0, 0.0, "yes" },
        Coercion { "Yes", QString("Yes"), true, 0, 0.0, "Yes" },
        Coercion { "true", QString("true"), true, 0, 0.0, "true" },
        Coercion { "TRUE", QString("TRUE"), true, 0, 0.0, "TRUE" },
        Coercion { "paddedYes", QString("  yes "), true, 0, 0.0, "  yes " },
        Coercion { "one", QString("1"), true, 1, 1.0, "1" }, Coercion { "Y", QString("Y"), true, 0, 0.0, "Y" },
        Coercion { "NO", QString("NO"), false, 0, 0.0, "NO" },
        Coercion { "false", QString("false"), false, 0, 0.0, "false" },
        Coercion { "zeroText", QString("0"), false, 0, 0.0, "0" },
        Coercion { "emptyText", QString(""), false, 0, 0.0, "" },
        Coercion { "leadingInteger", QString("  -12px"), true, -12, -12.0, "  -12px" },
        Coercion { "plusSign", QString("+7"), true, 7, 7.0, "+7" },
        Coercion { "decimalText", QString("3.9"), true, 3, 3.9, "3.9" },
        Coercion { "fractionOnly", QString("0.5"), false, 0, 0.5, "0.5" },
        Coercion { "leadingDot", QString(".5"), false, 0, 0.5, ".5" },
        Coercion { "exponent", QString("2.5e3x"), true, 2, 2500.0, "2.5e3x" },
        Coercion { "lonelyExponent", QString("4e"), true, 4, 4.0, "4e" },
        Coercion { "wordsFirst", QString("abc 12"), false, 0, 0.0, "abc 12" },
        Coercion { "overflowText", QString("99999999999999999999"), true, std::numeric_limits<qint64>::max(), 1e20,
            "99999999999999999999" },
        Coercion { "underflowText", QString("-99999999999999999999"), true, std::numeric_limits<qint64>::min(), -1e20,
            "-99999999999999999999" },
        Coercion { "array", QVariantList { 1 }, false, 0, 0.0, QString() },
        Coercion { "dictionary", QVariantMap { { "a", 1 } }, false, 0, 0.0, QString() },
        Coercion { "data", QByteArray("1"), false, 0, 0.0, QString() },
        Coercion { "date", QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc()), false, 0, 0.0, QString() }),
    [](const testing::TestParamInfo<Coercion>& param) { return std::string(param.param.name); });

TEST(UserDefaults, ContainerGetters)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    UserDefaults defaults(folder.filePath("defaults.plist"));
    defaults.setObject(QStringList { "a", "b" }, "strings");
    defaults.setObject(QVariantList { QString("a"), qint64(1) }, "mixed");
    defaults.setObject(QVariantList {}, "empty");
    defaults.setObject(QVariantMap { { "k", QString("v") } }, "map");
    defaults.setObject(QString("text"), "text");

    EXPECT_EQ(defaults.stringArrayForKey("strings"), (QStringList { "a", "b" }));
    EXPECT_EQ(defaults.arrayForKey("strings"), (QVariantList { QString("a"), QString("b") }));
    EXPECT_TRUE(defaults.stringArrayForKey("mixed").isEmpty());
    EXPECT_EQ(defaults.arrayForKey("mixed").size(), 2);
    EXPECT_TRUE(defaults.stringArrayForKey("empty").isEmpty());
    EXPECT_EQ(defaults.dictionaryForKey("map").value("k"), QVariant(QString("v")));
    EXPECT_TRUE(defaults.dictionaryForKey("strings").isEmpty());
    EXPECT_TRUE(defaults.arrayForKey("map").isEmpty());
    EXPECT_TRUE(defaults.arrayForKey("text").isEmpty());
    EXPECT_TRUE(defaults.stringArrayForKey("text").isEmpty());
    EXPECT_TRUE(defaults.arrayForKey("absent").isEmpty());
    // Stored in property-list form: an int comes back as a 64-bit integer.
    defaults.setObject(int(3), "int");
    EXPECT_EQ(defaults.objectForKey("int").typeId(), QMetaType::LongLong);
}

TEST(UserDefaults, LayersAndWhatIsSaved)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("defaults.plist");
    {
        UserDefaults defaults(path);
        defaults.registerDefaults({ { "shared", QString("registered") }, { "onlyRegistered", 1 } });
        defaults.registerDefaults({ { "second", true } }); // merged, not replaced
        EXPECT_EQ(defaults.registeredDefaults().size(), 3);
        EXPECT_EQ(defaults.stringForKey("shared"), "registered");

        defaults.setObject(QString("persistent"), "shared");
        EXPECT_EQ(defaults.stringForKey("shared"), "persistent");

        defaults.setArgumentValue("shared", QString("argument"));
        defaults.setArgumentValue("onlyArgument", QString("YES"));
        EXPECT_EQ(defaults.stringForKey("shared"), "argument");
        EXPECT_TRUE(defaults.boolForKey("onlyArgument"));
        EXPECT_EQ(defaults.integerForKey("onlyRegistered"), 1);
        EXPECT_TRUE(defaults.boolForKey("second"));

        // Removing the persistent value uncovers the registered one under the argument.
        defaults.setArgumentValue("shared", QVariant());
        EXPECT_EQ(defaults.stringForKey("shared"), "persistent");
        defaults.removeObjectForKey("shared");
        EXPECT_EQ(defaults.stringForKey("shared"), "registered");
        defaults.setObject(QString("persistent again"), "shared");
        defaults.setArgumentValue("shared", QString("argument again"));

        EXPECT_EQ(defaults.persistentDomain(), (QVariantMap { { "shared", QString("persistent again") } }));
        EXPECT_TRUE(defaults.synchronize());
    }
    // Only the persistent domain reached the file.
    const auto saved = PropertyList::readFile(path);
    ASSERT_TRUE(saved.ok()) << saved.error().toStdString();
    EXPECT_EQ(saved->toMap(), (QVariantMap { { "shared", QString("persistent again") } }));

    UserDefaults reopened(path);
    EXPECT_EQ(reopened.stringForKey("shared"), "persistent again");
    EXPECT_FALSE(reopened.objectForKey("onlyArgument").isValid());
    EXPECT_FALSE(reopened.objectForKey("onlyRegistered").isValid());
    EXPECT_TRUE(reopened.registeredDefaults().isEmpty());
}

TEST(UserDefaults, PersistsAcrossInstancesOnTheSameFile)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // The folder does not exist yet: the first save creates it.
    const QString path = folder.filePath("config/Crawlmere/defaults.plist");
    const QDateTime when(QDate(2022, 8, 9), QTime(10, 11, 12), QTimeZone::utc());
    {
        UserDefaults first(path);
        EXPECT_EQ(first.filePath(), path);
        first.setBool(true, "flag");
        first.setInteger(-9000000000LL, "count");
        first.setDouble(0.125, "ratio");
        first.setObject(QString::fromUtf8("naïve ☃"), "name");
        first.setObject(when, "when");
        first.setObject(QByteArray("\x00\x01", 2), "blob");
        first.setObject(QVariantMap { { "list", QStringList { "x" } } }, "nested");
        first.setObject(QString("gone"), "removed");
        first.setObject(QVariant(), "removed");
        EXPECT_TRUE(first.synchronize());
    }
    UserDefaults second(path);
    EXPECT_TRUE(second.boolForKey("flag"));
    EXPECT_EQ(second.integerForKey("count"), -9000000000LL);
    EXPECT_DOUBLE_EQ(second.doubleForKey("ratio"), 0.125);
    EXPECT_EQ(second.stringForKey("name"), QString::fromUtf8("naïve ☃"));
    EXPECT_EQ(second.objectForKey("when").toDateTime(), when);
    EXPECT_EQ(second.objectForKey("blob").toByteArray(), QByteArray("\x00\x01", 2));
    EXPECT_EQ(second.dictionaryForKey("nested").value("list").toList(), (QVariantList { QString("x") }));
    EXPECT_FALSE(second.objectForKey("removed").isValid());
    EXPECT_EQ(second.persistentDomain().size(), 7);
}

TEST(UserDefaults, ChangesAreSavedWithoutSynchronize)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("defaults.plist");
    UserDefaults defaults(path);
    defaults.setInteger(1, "a");
    defaults.setInteger(2, "b");
    // The save runs from the event loop.
    QCoreApplication::processEvents();
    const auto saved = PropertyList::readFile(path);
    ASSERT_TRUE(saved.ok()) << saved.error().toStdString();
    EXPECT_EQ(saved->toMap(), (QVariantMap { { "a", qint64(1) }, { "b", qint64(2) } }));

    // The destructor saves what the loop has not saved yet.
    {
        UserDefaults other(path);
        other.setInteger(3, "c");
    }
    QCoreApplication::processEvents(); // a save queued for a store that is gone does nothing
    EXPECT_EQ(UserDefaults(path).integerForKey("c"), 3);
}

TEST(UserDefaults, StandardStoreLivesInTheConfigFolder)
{
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(&defaults, &UserDefaults::standard());
    EXPECT_EQ(defaults.filePath(), crawlmere::platform::Paths::configFolder() + "/defaults.plist");
    EXPECT_TRUE(defaults.filePath().startsWith(crawlmere::platform::Paths::home()));
    defaults.setObject(QString("standard"), "StandardStoreTest");
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(PropertyList::readFile(defaults.filePath())->toMap().value("StandardStoreTest"), QVariant("standard"));
    defaults.removeObjectForKey("StandardStoreTest");
    EXPECT_TRUE(defaults.synchronize());
}

TEST(UserDefaults, ValuesWithoutAPropertyListFormAreRefused)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    UserDefaults defaults(folder.filePath("defaults.plist"));
    defaults.setObject(QString("kept"), "key");
    defaults.setObject(QVariantList { QVariant() }, "key");
    EXPECT_EQ(defaults.stringForKey("key"), "kept");
    defaults.registerDefaults({ { "bad", QVariant::fromValue(QSize(1, 1)) }, { "good", 1 } });
    EXPECT_EQ(defaults.registeredDefaults().keys(), QStringList { "good" });
    EXPECT_TRUE(defaults.synchronize());
}

TEST(UserDefaults, CorruptFileIsKeptAsideAndTheStoreStartsEmpty)
{
    const QList<QByteArray> broken {
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><integer>1</inte"),
        QByteArray("bplist00\xD1\x01\x02garbage", 18),
        QByteArray(),
        QByteArray("<plist version=\"1.0\"><array><string>not a dictionary</string></array></plist>"),
    };
    for (const QByteArray& bytes : broken) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString path = folder.filePath("defaults.plist");
        writeBytes(path, bytes);
        {
            UserDefaults defaults(path);
            EXPECT_TRUE(defaults.persistentDomain().isEmpty());
            const QStringList aside = QDir(folder.path()).entryList({ "defaults.plist.corrupt-*" }, QDir::Files);
            ASSERT_EQ(aside.size(), 1);
            EXPECT_EQ(fileBytes(folder.filePath(aside.first())), bytes);
            EXPECT_FALSE(QFileInfo::exists(path));

            defaults.setObject(QString("fresh"), "value");
            EXPECT_TRUE(defaults.synchronize());
        }
        EXPECT_EQ(UserDefaults(path).stringForKey("value"), "fresh");
    }
}

TEST(UserDefaults, AStoreThatIsNotARegularFileIsNeverWaitedOnMovedAsideOrWrittenOver)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("defaults.plist");
    const QByteArray encoded = QFile::encodeName(path);
    const struct {
        const char* kind;
        std::function<bool()> make;
    } cases[] = {
        { "a FIFO (named pipe)", [&] { return ::mkfifo(encoded.constData(), 0600) == 0; } },
        { "a folder", [&] { return QDir().mkdir(path); } },
        { "a character device", [&] { return QFile::link("/dev/zero", path); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_TRUE(c.make());
        std::unique_ptr<UserDefaults> defaults;
        EXPECT_TRUE(crawlmere::test::endsWithoutWaitingOn(path, [&] { defaults = std::make_unique<UserDefaults>(path); }));
        EXPECT_EQ(defaults->readFailure(), path + QStringLiteral(": it is %1, not a regular file").arg(QLatin1String(c.kind)));
        defaults->setObject(QString("new"), "value");
        EXPECT_FALSE(defaults->synchronize());
        defaults.reset();
        struct stat status { };
        ASSERT_EQ(::stat(encoded.constData(), &status), 0);
        EXPECT_EQ(crawlmere::platform::kindOfEntry(status), QLatin1String(c.kind));
        EXPECT_EQ(QDir(folder.path()).entryList({ "*.corrupt-*" }, QDir::AllEntries | QDir::System), QStringList());
        ASSERT_TRUE(QFile::remove(path) || QDir().rmdir(path));
    }
}

TEST(UserDefaults, FailedSaveKeepsTheOldFile)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("defaults.plist");
    UserDefaults defaults(path);
    defaults.setObject(QString("old"), "value");
    ASSERT_TRUE(defaults.synchronize());
    const QByteArray before = fileBytes(path);
    ASSERT_FALSE(before.isEmpty());

    // Simulate a full disk: the process may not write files larger than the old one, so the
    // temporary file fills up before it is complete.
    bool saved = true;
    ASSERT_TRUE(crawlmere::test::withFileSizeLimit(before.size(), [&] {
        defaults.setObject(QString(20000, QLatin1Char('x')), "value");
        saved = defaults.synchronize();
    }));

    EXPECT_FALSE(saved);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(UserDefaults(path).stringForKey("value"), "old");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList({ "defaults.plist", "defaults.plist.lock" }));
    // The change is still pending and the next save writes it.
    EXPECT_EQ(defaults.stringForKey("value").size(), 20000);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(path).stringForKey("value").size(), 20000);
}

TEST(UserDefaults, SaveFailsWhenTheDestinationIsAFolder)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // The parent "folder" is a regular file: the store cannot be saved.
    const QString blocker = folder.filePath("blocker");
    writeBytes(blocker, "x");
    UserDefaults defaults(blocker + "/defaults.plist");
    defaults.setBool(true, "flag");
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(fileBytes(blocker), QByteArray("x"));
    EXPECT_TRUE(defaults.boolForKey("flag"));
}

TEST(UserDefaults, ConcurrentReadersAndOneWriter)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("defaults.plist");
    UserDefaults defaults(path);
    defaults.registerDefaults({ { "counter", qint64(-1) }, { "name", QString("registered") } });

    constexpr int writes = 400;
    std::atomic<bool> done { false };
    std::atomic<int> badReads { 0 };
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            qint64 last = -1;
            while (!done.load()) {
                const qint64 counter = defaults.integerForKey("counter");
                // Values only grow, and a reader never sees a torn or foreign value.
                if (counter < last || counter >= writes)
                    ++badReads;
                last = counter;
                const QString name = defaults.stringForKey("name");
                if (name != "registered" && !name.startsWith("writer "))
                    ++badReads;
                (void)defaults.persistentDomain();
                (void)defaults.boolForKey("flag");
            }
        });
    }
    std::thread writer([&] {
        for (int i = 0; i < writes; ++i) {
            defaults.setInteger(i, "counter");
            defaults.setObject(QString("writer %1").arg(i), "name");
            defaults.setBool(i % 2 == 0, "flag");
            if (i % 50 == 0)
                defaults.synchronize();
        }
    });
    writer.join();
    done = true;
    for (auto& reader : readers)
        reader.join();

    EXPECT_EQ(badReads.load(), 0);
    EXPECT_EQ(defaults.integerForKey("counter"), writes - 1);
    EXPECT_EQ(defaults.stringForKey("name"), QString("writer %1").arg(writes - 1));
    EXPECT_FALSE(defaults.boolForKey("flag"));
    EXPECT_TRUE(defaults.synchronize());
    UserDefaults reopened(path);
    EXPECT_EQ(reopened.integerForKey("counter"), writes - 1);
    EXPECT_EQ(reopened.stringForKey("name"), QString("writer %1").arg(writes - 1));
}

namespace {

QVariantMap site(const QString& id, const QString& name = QString())
{
    return { { "id", id }, { "name", name.isNull() ? id : name } };
}

/// The ids of the stored site list, in order.
QStringList storedIds(const QString& path)
{
    QStringList ids;
    for (const QVariant& entry : PropertyList::readFile(path).value().toMap().value("websites").toList())
        ids << entry.toMap().value("id").toString() + ":" + entry.toMap().value("name").toString();
    return ids;
}

QVariantList without(QVariantList sites, const QString& id)
{
    sites.removeIf([&id](const QVariant& entry) { return entry.toMap().value("id") == id; });
    return sites;
}

QVariantList renamed(QVariantList sites, const QString& id, const QString& name)
{
    for (QVariant& entry : sites) {
        if (entry.toMap().value("id") == id)
            entry = site(id, name);
    }
    return sites;
}

} // namespace

TEST(UserDefaults, TwoProgramsSavingTheSameFileEachKeepTheOthersChanges)
{
    using Edit = std::function<void(UserDefaults&)>;
    const auto sites = [](UserDefaults& store) { return store.arrayForKey("websites"); };
    const struct {
        const char* name;
        Edit first, second; // each program's edits, saved in this order
        QStringList ids; // the stored list afterwards
        QVariantMap keys; // other keys afterwards (an invalid value: absent)
    } cases[] = {
        { "each adds a site", [&](UserDefaults& s) { s.setObject(sites(s) << site("x"), "websites"); },
            [&](UserDefaults& s) { s.setObject(sites(s) << site("y"), "websites"); }, { "a:a", "b:b", "x:x", "y:y" },
            {} },
        { "one removes and one renames", [&](UserDefaults& s) { s.setObject(without(sites(s), "a"), "websites"); },
            [&](UserDefaults& s) { s.setObject(renamed(sites(s), "b", "B"), "websites"); }, { "b:B" }, {} },
        { "a site renamed by one and removed by the other stays removed",
            [&](UserDefaults& s) { s.setObject(without(sites(s), "b"), "websites"); },
            [&](UserDefaults& s) { s.setObject(renamed(sites(s), "b", "B") << site("y"), "websites"); },
            { "a:a", "y:y" }, {} },
        { "a site added first goes first, one added later after its neighbour",
            [&](UserDefaults& s) { s.setObject(QVariantList { site("x") } + sites(s), "websites"); },
            [&](UserDefaults& s) {
                QVariantList list = sites(s);
                list.insert(1, site("y"));
                s.setObject(list, "websites");
            },
            { "x:x", "a:a", "y:y", "b:b" }, {} },
        { "a sort keeps the other's new site in its place",
            [&](UserDefaults& s) { s.setObject(sites(s) << site("y"), "websites"); },
            [&](UserDefaults& s) {
                QVariantList list = sites(s);
                std::reverse(list.begin(), list.end());
                s.setObject(list, "websites");
            },
            { "b:b", "a:a", "y:y" }, {} },
        { "keys: each program's own, the last one's for a key both set",
            [&](UserDefaults& s) {
                s.setObject(QString("first"), "one");
                s.setObject(QString("first"), "both");
                s.removeObjectForKey("gone");
            },
            [&](UserDefaults& s) {
                s.setObject(QString("second"), "two");
                s.setObject(QString("second"), "both");
            },
            { "a:a", "b:b" },
            { { "one", "first" }, { "two", "second" }, { "both", "second" }, { "kept", "yes" },
                { "gone", QVariant() } } },
    };
    for (const auto& c : cases) {
        QTemporaryDir folder;
        const QString path = folder.filePath("defaults.plist");
        ASSERT_TRUE(PropertyList::writeXmlFile(path,
            QVariantMap { { "websites", QVariantList { site("a"), site("b") } }, { "kept", "yes" }, { "gone", "no" } })
                        .ok());
        UserDefaults first(path);
        UserDefaults second(path);
        c.first(first);
        c.second(second);
        ASSERT_TRUE(first.synchronize());
        ASSERT_TRUE(second.synchronize());
        EXPECT_EQ(storedIds(path), c.ids) << c.name;
        const QVariantMap stored = PropertyList::readFile(path).value().toMap();
        for (auto it = c.keys.cbegin(); it != c.keys.cend(); ++it)
            EXPECT_EQ(stored.value(it.key()), it.value()) << c.name << ": " << qPrintable(it.key());
        // A later save of either, with nothing new, changes nothing.
        first.setObject(QString("again"), "late");
        ASSERT_TRUE(first.synchronize());
        EXPECT_EQ(storedIds(path), c.ids) << c.name;
    }
}

TEST(UserDefaults, AFileRemovedMeanwhileIsWrittenWhole)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("defaults.plist");
    UserDefaults store(path);
    store.setObject(QVariantList { site("a") }, "websites");
    store.setObject(QString("v"), "k");
    ASSERT_TRUE(store.synchronize());
    ASSERT_TRUE(QFile::remove(path));
    store.setObject(QVariantList { site("a"), site("b") }, "websites");
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(storedIds(path), QStringList({ "a:a", "b:b" }));
    EXPECT_EQ(UserDefaults(path).stringForKey("k"), "v");
}

TEST(UserDefaults, ASiteWithoutAnIdDoesNotStopTheMerging)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("defaults.plist");
    const QVariantMap anonymous { { "name", "anonymous" } };
    ASSERT_TRUE(
        PropertyList::writeXmlFile(path, QVariantMap { { "websites", QVariantList { site("a"), anonymous } } }).ok());
    UserDefaults first(path);
    UserDefaults second(path);
    first.setObject(first.arrayForKey("websites") << site("x"), "websites");
    second.setObject(without(second.arrayForKey("websites"), "a") << site("y"), "websites");
    ASSERT_TRUE(first.synchronize());
    ASSERT_TRUE(second.synchronize());
    EXPECT_EQ(storedIds(path), QStringList({ ":anonymous", "x:x", "y:y" }));
}

namespace {

/// Sets the lock wait of the stores for the life of the object.
class LockWait {
public:
    explicit LockWait(const char* milliseconds) { qputenv("CRAWLMERE_DEFAULTS_LOCK_WAIT_MS", milliseconds); }
    ~LockWait() { qunsetenv("CRAWLMERE_DEFAULTS_LOCK_WAIT_MS"); }
    LockWait(const LockWait&) = delete;
    LockWait& operator=(const LockWait&) = delete;
};

/// An exclusive flock held on `path` by its own open file, as another program holds it.
int holdLock(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? fd : -1;
}

} // namespace

TEST(UserDefaults, ALockHeldElsewhereIsWaitedForABoundedTimeSaidOnceAndTheSaveFails)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("defaults.plist");
    const LockWait wait("300");
    QStringList said;
    UserDefaults::setLockWaitObserver([&said](const QString& message) { said << message; });
    const int held = holdLock(path + ".lock");
    ASSERT_GE(held, 0);
    {
        UserDefaults store(path);
        store.setObject(QString("v"), "k");
        EXPECT_FALSE(store.synchronize());
        EXPECT_EQ(said.size(), 1);
        EXPECT_TRUE(said.value(0).startsWith("another Crawlmere is saving " + path)) << qPrintable(said.value(0));
        bool changed = false;
        const auto underLock = store.changeUnderLock([&](const QVariantMap&) { changed = true; });
        ASSERT_FALSE(underLock.ok());
        EXPECT_TRUE(underLock.error().contains("locked")) << qPrintable(underLock.error());
        EXPECT_FALSE(changed);
        EXPECT_EQ(said.size(), 2);
        EXPECT_FALSE(QFileInfo::exists(path));
        ::close(held);
        EXPECT_TRUE(store.synchronize());
    }
    UserDefaults::setLockWaitObserver(nullptr);
    EXPECT_EQ(UserDefaults(path).stringForKey("k"), "v");
    EXPECT_EQ(said.size(), 2);
}

TEST(UserDefaults, ALockFileThatIsALinkIsReplacedAndNeverFollowed)
{
    const struct {
        const char* name;
        bool targetExists;
    } cases[] = { { "a link to nowhere", false }, { "a link to another file", true } };
    for (const auto& c : cases) {
        QTemporaryDir folder;
        const QString path = folder.filePath("defaults.plist");
        const QString target = folder.filePath("elsewhere");
        if (c.targetExists)
            writeBytes(target, "not a lock");
        ASSERT_TRUE(QFile::link(target, path + ".lock"));
        UserDefaults store(path);
        store.setObject(QString("v"), "k");
        EXPECT_TRUE(store.synchronize()) << c.name;
        EXPECT_EQ(UserDefaults(path).stringForKey("k"), "v") << c.name;
        EXPECT_EQ(QFileInfo::exists(target), c.targetExists) << c.name;
        if (c.targetExists) {
            EXPECT_EQ(fileBytes(target), QByteArray("not a lock")) << c.name;
        }
        EXPECT_FALSE(QFileInfo(path + ".lock").isSymLink()) << c.name;
    }
}

TEST(UserDefaults, AChangeUnderTheLockSeesTheFileAndIsTakenBackWhenItsSaveFails)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("defaults.plist");
    UserDefaults first(path);
    UserDefaults second(path);
    second.setObject(QVariantList { site("a") }, "websites");
    ASSERT_TRUE(second.synchronize());
    // What another program saved after this store was read is what the change sees.
    QVariantMap seen;
    ASSERT_TRUE(first
                    .changeUnderLock([&](const QVariantMap& stored) {
                        seen = stored;
                        first.setObject(first.arrayForKey("websites") << site("b"), "websites");
                    })
                    .ok());
    EXPECT_EQ(storedIds(path), QStringList({ "a:a", "b:b" }));
    EXPECT_EQ(seen.value("websites").toList().size(), 1);

    // A save that fails (a full disk) takes the change back: nothing is left to save later.
    std::optional<bool> saved;
    ASSERT_TRUE(crawlmere::test::withFileSizeLimit(fileBytes(path).size(), [&] {
        saved = first
                    .changeUnderLock(
                        [&](const QVariantMap&) { first.setObject(QString(20000, QLatin1Char('x')), "large"); })
                    .ok();
    }));
    EXPECT_EQ(saved, false);
    EXPECT_FALSE(first.objectForKey("large").isValid());
    EXPECT_TRUE(first.synchronize());
    EXPECT_FALSE(UserDefaults(path).objectForKey("large").isValid());
}

TEST(UserDefaults, AChangeUnderTheLockWithAValueTheStoreCannotHoldIsRefusedWhole)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("defaults.plist");
    UserDefaults store(path);
    store.setObject(QVariantList { site("a") }, "websites");
    store.setObject("a", "id");
    ASSERT_TRUE(store.synchronize());
    const QByteArray before = fileBytes(path);
    // Deeper than a property list may be: the one value of the change that cannot be stored.
    QVariant deep = QStringLiteral("deep");
    for (int i = 0; i < crawlmere::platform::PropertyList::maximumDepth + 1; ++i)
        deep = QVariantList { deep };
    QVariantMap added = site("b");
    added.insert("extra", deep);
    const auto changed = store.changeUnderLock([&](const QVariantMap&) {
        store.setObject("b", "id");
        store.setObject(store.arrayForKey("websites") << added, "websites");
    });
    ASSERT_FALSE(changed.ok());
    EXPECT_TRUE(changed.error().contains("\"websites\"")) << qPrintable(changed.error());
    // Nothing of the change stays: not the selection made before the refused value either.
    EXPECT_EQ(store.stringForKey("id"), "a");
    EXPECT_EQ(store.arrayForKey("websites").size(), 1);
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(fileBytes(path), before);
}

TEST(UserDefaults, TheStoreLockIsMadeThroughItsFolderHeldNeverThroughAnotherUsersLink)
{
    using crawlmere::test::SharedFolder;
    if (const QString why = SharedFolder::whyNotRunnable(); !why.isNull())
        GTEST_SKIP() << qPrintable(why);
    const SharedFolder folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(folder.plantLink(folder.privateFolder(), QStringLiteral("config")));
    ASSERT_TRUE(QDir(folder.shared()).mkdir(QStringLiteral("mine")));
    const struct {
        const char* lock;
        bool held;
    } cases[] = {
        { "config/defaults.plist.lock", false },
        { "mine/defaults.plist.lock", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lock);
        const crawlmere::platform::StoreLock lock(folder.shared(QLatin1String(c.lock)), std::chrono::milliseconds(200), {});
        EXPECT_EQ(lock.held(), c.held) << qPrintable(lock.error());
        EXPECT_EQ(lock.error().contains(QLatin1String("a link another user made in the shared folder")), !c.held);
        EXPECT_EQ(QFileInfo(folder.shared(QLatin1String(c.lock))).isFile(), c.held);
    }
    // Nothing was made in the folder the second user's link leads to.
    EXPECT_TRUE(QDir(folder.privateFolder()).isEmpty());
}
