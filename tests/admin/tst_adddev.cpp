// The add and edit page on its own: entries that cannot be stored are
// refused with a reason and store nothing; the edit page keeps a type the
// picker lacks; a cloud user's device goes to the account service (a stub
// on loopback here), whose refusal is shown with its reason.

#include "../ui/WindowTestEnv.h"

#include "core/AccountSettings.h"
#include "core/UserService.h"
#include "admin/AddDev.h"
#include "admin/SearchDev.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include "TestMain.h"

namespace {

// Answers every HTTP request with one JSON body and keeps what was asked.
class ServiceStub : public QTcpServer
{
public:
    QByteArray reply;
    QByteArrayList requests; // request line and body

    ServiceStub()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] {
                m_buffer[s] += s->readAll();
                const QByteArray &in = m_buffer[s];
                const int end = in.indexOf("\r\n\r\n");
                const QRegularExpression length(QStringLiteral("Content-Length: *(\\d+)"),
                                                QRegularExpression::CaseInsensitiveOption);
                const auto m = length.match(QString::fromLatin1(in.left(end)));
                if (end < 0 || in.size() < end + 4 + (m.hasMatch() ? m.captured(1).toInt() : 0))
                    return;
                requests << in.left(in.indexOf("\r\n")) + ' ' + in.mid(end + 4);
                s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                         QByteArray::number(reply.size()) + "\r\nConnection: close\r\n\r\n" +
                         reply);
                s->disconnectFromHost();
            });
        });
    }

private:
    QHash<QTcpSocket *, QByteArray> m_buffer;
};

} // namespace

class tst_AddDev : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;
    std::unique_ptr<QWidget> host;

    AddDev *open(bool addMode)
    {
        host = std::make_unique<QWidget>();
        auto *page = new AddDev(addMode, host.get());
        host->resize(500, 400);
        page->resize(host->size());
        return WindowTestEnv::show(host.get()) ? page : nullptr;
    }
    static void fill(AddDev *page, int typeIndex, const QString &uid, const QString &channels,
                     const QString &name = QStringLiteral("cam"))
    {
        page->findChild<QComboBox *>("comboBox_devType")->setCurrentIndex(typeIndex);
        page->findChild<QLineEdit *>("textEdit_devUid")->setText(uid);
        page->findChild<QLineEdit *>("textEdit_channelNum")->setText(channels);
        page->findChild<QLineEdit *>("textEdit_devName")->setText(name);
    }
    static void save(AddDev *page)
    {
        QTest::mouseClick(page->findChild<QPushButton *>("saveBtn"), Qt::LeftButton);
    }

private slots:
    void init()
    {
        env = std::make_unique<WindowTestEnv>();
        UserService::instance()->user()->username = QStringLiteral("Admin");
        DeviceRecord stored;
        stored.uid = QStringLiteral("TAKEN1");
        stored.type = 1;
        stored.channel = 1;
        QVERIFY(Config::instance()->saveDevice(stored));
    }
    void cleanup()
    {
        host.reset();
        Dev::instance()->setSelectedDevice(nullptr);
        env.reset();
    }

    void entriesThatCannotBeStoredAreRefused_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString badUid =
            QStringLiteral("设备ID只能由字母、数字、\"-\"和\"_\"组成，最长64个字符");
        const QString badChannels = QStringLiteral("通道数必须是1到64之间的整数");
        const QString cam = QStringLiteral("cam");
        QTest::newRow("no type") << 0 << "NEW1"
                                 << "1" << cam << QStringLiteral("请选择设备类型");
        QTest::newRow("empty UID") << 1 << " "
                                   << "1" << cam << QStringLiteral("设备ID不能为空");
        QTest::newRow("UID with a space") << 1 << "AB CD"
                                          << "1" << cam << badUid;
        QTest::newRow("UID with a quote") << 1 << "AB'CD"
                                          << "1" << cam << badUid;
        QTest::newRow("UID of 65 characters") << 1 << QString(65, 'A') << "1" << cam << badUid;
        QTest::newRow("channel count 0") << 1 << "NEW1"
                                         << "0" << cam << badChannels;
        QTest::newRow("channel count 65") << 1 << "NEW1"
                                          << "65" << cam << badChannels;
        QTest::newRow("channel count not a number") << 1 << "NEW1"
                                                    << "4x" << cam << badChannels;
        QTest::newRow("name of 129 characters")
            << 1 << "NEW1"
            << "1" << QString(129, 'n') << QStringLiteral("设备名称、用户名和密码最长128个字符");
        QTest::newRow("UID already stored") << 1 << "TAKEN1"
                                            << "1" << cam << QStringLiteral("该设备ID已存在");
    }
    void entriesThatCannotBeStoredAreRefused()
    {
        QFETCH(int, type);
        QFETCH(QString, uid);
        QFETCH(QString, channels);
        QFETCH(QString, name);
        QFETCH(QString, message);
        AddDev *page = open(true);
        QVERIFY(page);
        QSignalSpy reload(Dev::instance(), &Dev::reloadDevMsg);
        fill(page, type, uid, channels, name);
        save(page);
        QCOMPARE(page->warningText(), message);
        QCOMPARE(Config().readDevices().size(), 1);
        QCOMPARE(reload.size(), 0);
    }

    // A plain IP camera is the picker's last type: the earlier ones keep
    // their places.
    void plainCameraCanBeAdded()
    {
        AddDev *page = open(true);
        QVERIFY(page);
        auto *types = page->findChild<QComboBox *>("comboBox_devType");
        QCOMPARE(types->itemText(1), QStringLiteral("DVR"));
        QCOMPARE(types->itemText(types->count() - 1), QStringLiteral("IPC"));
        fill(page, types->count() - 1, QStringLiteral("PLAINIPC1"), QStringLiteral("1"));
        save(page);
        QTRY_COMPARE(Config().readDevices().size(), 2);
        QCOMPARE(Config().readDevices().last().type, 7);
    }

    void searchResultNameGivesTheChannelCount_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("channels");
        QTest::newRow("IPC ending in 4") << "IPC-C4"
                                         << "4";
        QTest::newRow("DVR-8") << "DVR-8"
                               << "8";
        QTest::newRow("neither") << "camera"
                                 << "";
    }
    void searchResultNameGivesTheChannelCount()
    {
        QFETCH(QString, name);
        QFETCH(QString, channels);
        QCOMPARE(SearchDev::channelsFromName(name), channels);
    }

    void editPagePromptsForADeviceAndKeepsAnUnofferedType()
    {
        AddDev *page = open(false);
        QVERIFY(page);
        QCOMPARE(page->warningText(), QStringLiteral("请在主界面设备列表选择需要编辑的设备"));
        Device ipc;
        ipc.setUid(QStringLiteral("IPC6"));
        ipc.setType(6); // "IPC(BOL)": not one of the picker's types
        ipc.setChannelCount(2);
        Dev::instance()->setSelectedDevice(&ipc);
        QCOMPARE(page->warningText(), QString());
        const AddDev::Entry e = page->entry();
        QCOMPARE(e.type, 6);
        QCOMPARE(page->findChild<QComboBox *>("comboBox_devType")->currentText(),
                 QStringLiteral("IPC(BOL)"));
        QCOMPARE(e.uid, QStringLiteral("IPC6"));
        QCOMPARE(e.account, QStringLiteral("Admin")); // an empty account is the default one
        QCOMPARE(e.channels, QStringLiteral("2"));
        Dev::instance()->setSelectedDevice(nullptr);
    }

    void cloudAddGoesToTheServiceAndShowsItsAnswer_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("reloads");
        QTest::newRow("accepted") << QByteArray("{\"result_code\":0}") << "添加成功" << 1;
        QTest::newRow("refused with a reason")
            << QByteArray("{\"result_code\":5,\"reason\":\"UID in use\"}") << "添加失败: UID in use"
            << 0;
        QTest::newRow("not JSON") << QByteArray("<html>") << "添加失败" << 0;
    }
    void cloudAddGoesToTheServiceAndShowsItsAnswer()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        QFETCH(int, reloads);
        ServiceStub service;
        service.reply = reply;
        QVERIFY(service.listen(QHostAddress::LocalHost));
        AccountSettings::setBaseUrl(
            QStringLiteral("http://127.0.0.1:%1").arg(service.serverPort()));
        UserInfo *user = UserService::instance()->user();
        user->username = QStringLiteral("alice");
        user->access_token = QStringLiteral("tok");
        AddDev *page = open(true);
        QVERIFY(page);
        QSignalSpy reload(Dev::instance(), &Dev::reloadDevMsg);
        QSignalSpy started(page, &AddDev::startCircle);
        QSignalSpy stopped(page, &AddDev::stopCircle);
        fill(page, 2, QStringLiteral("CLOUD1"), QStringLiteral("8"), QStringLiteral("a&b"));
        save(page);
        QCOMPARE(started.size(), 1);
        QTRY_COMPARE(stopped.size(), 1);
        QCOMPARE(page->warningText(), message);
        QCOMPARE(reload.size(), reloads);
        QCOMPARE(service.requests.size(), 1);
        QCOMPARE(service.requests.first(),
                 QByteArray("POST /equipment/add?token=tok HTTP/1.1 token=tok&UID=CLOUD1"
                            "&NickName=a%26b&View_Account=admin&View_Password=&Type=2"
                            "&ChannelIndex=8"));
        QVERIFY(Config().readDevices().size() == 1); // nothing stored locally
        user->username = QStringLiteral("Admin");
        user->access_token.clear();
    }
};

ORVANE_TEST_MAIN(tst_AddDev)
#include "tst_adddev.moc"
