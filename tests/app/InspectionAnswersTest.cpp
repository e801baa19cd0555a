#include "app/InspectionAnswers.h"
#include "app/InspectionSocket.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using crawlmere::app::InspectionAnswers;
using crawlmere::app::InspectionSocket;
using crawlmere::test::waitUntil;

namespace {

QJsonObject ask(const char* request)
{
    const QByteArray line = InspectionAnswers::answer(request);
    EXPECT_TRUE(line.endsWith('\n')) << line.constData();
    return QJsonDocument::fromJson(line).object();
}

/// Two windows that both hold a line edit named "field"; the first also a disabled button, a
/// tab view and an outline with a hidden column and a child row.
class InspectionAnswersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        first.setObjectName("first");
        auto* layout = new QVBoxLayout(&first);
        auto* field = new QLineEdit("in first");
        field->setObjectName("field");
        auto* button = new QPushButton("Go");
        button->setObjectName("go");
        button->setEnabled(false);
        auto* tabs = new QTabWidget;
        tabs->setObjectName("tabs");
        tabs->addTab(new QWidget, "One");
        tabs->addTab(new QWidget, "Two");
        tabs->setCurrentIndex(1);
        model.setHorizontalHeaderLabels({ "URL", "Hidden", "Status" });
        QList<QStandardItem*> parent { new QStandardItem("/a"), new QStandardItem("x"), new QStandardItem("200") };
        parent.first()->appendRow({ new QStandardItem("/a/child"), new QStandardItem("y"), new QStandardItem("404") });
        model.appendRow(parent);
        model.appendRow({ new QStandardItem("/b"), new QStandardItem("z"), new QStandardItem("500") });
        auto* view = new QTreeView;
        view->setObjectName("view");
        view->setModel(&model);
        view->setColumnHidden(1, true);
        for (QWidget* widget : { static_cast<QWidget*>(field), static_cast<QWidget*>(button),
                 static_cast<QWidget*>(tabs), static_cast<QWidget*>(view) })
            layout->addWidget(widget);
        first.show();

        second.setObjectName("second");
        second.setWindowTitle("Second");
        auto* other = new QLineEdit("in second", &second);
        other->setObjectName("field");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    }

    QStandardItemModel model;
    QWidget first;
    QWidget second;
};

} // namespace

TEST_F(InspectionAnswersTest, WidgetsAreFoundByNameVisibleWindowsFirstOrInsideANamedAncestor)
{
    QJsonObject field = ask("widget field");
    EXPECT_TRUE(field["ok"].toBool());
    EXPECT_EQ(field["text"].toString(), "in first");
    EXPECT_TRUE(field["visible"].toBool());
    EXPECT_EQ(field["class"].toString(), "QLineEdit");

    field = ask("widget second>field");
    EXPECT_EQ(field["text"].toString(), "in second");
    EXPECT_FALSE(field["visible"].toBool());

    const QJsonObject go = ask("widget go");
    EXPECT_EQ(go["text"].toString(), "Go");
    EXPECT_FALSE(go["enabled"].toBool());
    const QWidget* button = first.findChild<QWidget*>("go");
    EXPECT_EQ(go["x"].toInt(), button->mapToGlobal(QPoint(0, 0)).x());
    EXPECT_EQ(go["h"].toInt(), button->height());

    const QJsonObject tabs = ask("widget tabs");
    EXPECT_EQ(tabs["current"].toInt(), 1);
    EXPECT_EQ(tabs["currentText"].toString(), "Two");
    EXPECT_EQ(ask("tabrect tabs 0")["text"].toString(), "One");
}

TEST_F(InspectionAnswersTest, RowsAreTheVisibleColumnsDepthFirstUpToTheLimit)
{
    const QJsonObject rows = ask("rows view");
    EXPECT_EQ(rows["rows"].toInt(), 2);
    EXPECT_EQ(rows["columns"].toArray(), QJsonArray({ "URL", "Status" }));
    const QJsonArray cells = rows["cells"].toArray();
    ASSERT_EQ(cells.size(), 3);
    EXPECT_EQ(cells[0].toObject()["c"].toArray(), QJsonArray({ "/a", "200" }));
    EXPECT_EQ(cells[1].toObject()["d"].toInt(), 1);
    EXPECT_EQ(cells[1].toObject()["c"].toArray(), QJsonArray({ "/a/child", "404" }));
    EXPECT_EQ(cells[2].toObject()["c"].toArray(), QJsonArray({ "/b", "500" }));
    EXPECT_FALSE(rows["cut"].toBool());

    const QJsonObject cut = ask("rows view 1");
    EXPECT_EQ(cut["cells"].toArray().size(), 1);
    EXPECT_TRUE(cut["cut"].toBool());
    EXPECT_GT(ask("rowrect view 1")["h"].toInt(), 0);
}

TEST_F(InspectionAnswersTest, MalformedRequestsAndMissingNamesAreRefusedWithAReason)
{
    for (const char* request :
        { "", "widget", "widget nothing", "widget >", "rows field", "rows view -1", "rows view many", "rowrect view 2",
            "rowrect view", "tabrect tabs 2", "tabrect field 0", "menu go", "action nothing", "frobnicate go" }) {
        const QJsonObject answer = ask(request);
        EXPECT_FALSE(answer["ok"].toBool()) << request;
        EXPECT_FALSE(answer["error"].toString().isEmpty()) << request;
    }
}

TEST(InspectionSocket, ListensOnlyWhenTheEnvironmentNamesAPathAndDropsOverlongLines)
{
    qunsetenv(InspectionSocket::kEnvironmentVariable);
    EXPECT_EQ(InspectionSocket::fromEnvironment(), nullptr);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("inspect.sock");
    qputenv(InspectionSocket::kEnvironmentVariable, path.toUtf8());
    const std::unique_ptr<InspectionSocket> inspection = InspectionSocket::fromEnvironment();
    qunsetenv(InspectionSocket::kEnvironmentVariable);
    ASSERT_NE(inspection, nullptr);

    QLocalSocket client;
    client.connectToServer(path);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write("ping\nping\n");
    QByteArray replies;
    waitUntil([&] {
        replies += client.readAll();
        return replies.count('\n') >= 2;
    });
    const QByteArray pong
        = "{\"busy\":false,\"ok\":true,\"pid\":" + QByteArray::number(QCoreApplication::applicationPid()) + "}\n";
    EXPECT_EQ(replies, pong + pong);

    client.write(QByteArray(InspectionSocket::kMaxLine + 10, 'x'));
    EXPECT_TRUE(waitUntil([&] { return client.state() != QLocalSocket::ConnectedState; }));
}

TEST(InspectionSocket, RemovesOnlyASocketLeftByAnEarlierRun)
{
    QTemporaryDir folder;
    const QString kept = folder.filePath("kept.txt");
    {
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    const auto leftoverSocket = [](const QString& path) {
        const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
        const bool bound = ::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(descriptor);
        return bound;
    };
    QLocalServer live;
    const struct {
        const char* name;
        std::function<bool(const QString&)> make; // what is at the path before
        bool listens;
    } cases[] = {
        { "nothing", [](const QString&) { return true; }, true },
        { "a leftover socket", leftoverSocket, true },
        { "a file", [&](const QString& path) { return QFile::copy(kept, path); }, false },
        { "a folder", [](const QString& path) { return QDir().mkdir(path); }, false },
        { "a link to a file", [&](const QString& path) { return QFile::link(kept, path); }, false },
        { "a FIFO", [](const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
            false },
        { "a live socket", [&](const QString& path) { return live.listen(path); }, false },
    };
    for (const auto& c : cases) {
        const QString path = folder.filePath(QString::fromLatin1(c.name).replace(' ', '-'));
        ASSERT_TRUE(c.make(path)) << c.name;
        const QFileInfo before(path);
        InspectionSocket inspection;
        EXPECT_EQ(inspection.listen(path), c.listens) << c.name;
        const QFileInfo after(path);
        if (!c.listens) {
            EXPECT_EQ(after.exists() || after.isSymLink(), true) << c.name;
            EXPECT_EQ(after.isDir(), before.isDir()) << c.name;
            EXPECT_EQ(after.isSymLink(), before.isSymLink()) << c.name;
            EXPECT_EQ(after.size(), before.size()) << c.name;
        }
    }
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("precious"));
    EXPECT_TRUE(live.isListening());
    QLocalSocket client;
    client.connectToServer(live.fullServerName());
    EXPECT_TRUE(client.waitForConnected(2000));
}
