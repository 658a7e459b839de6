// The service on a private session bus, seen by a D-Bus client in the same
// process: the types on the wire and one PropertiesChanged per settled change;
// without a bus, one line and no service.
#include "mprisservice.h"
#include "sessionbus.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace vorel::app;

namespace {

QCoreApplication &app() {
    static int argc = 1;
    static char name[] = "mprisbus_test";
    static char *argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class TFakeTarget : public TMprisTarget {
public:
    TMprisState state;
    TMprisState MprisState() const override { return state; }
    void MprisPlay() override {}
    void MprisPause() override {}
    void MprisStop() override {}
    void MprisNext() override {}
    void MprisPrevious() override {}
    void MprisRaise() override {}
    void MprisQuit() override {}
};

// Collects the PropertiesChanged signals the client sees.
class TListener : public QObject {
    Q_OBJECT
public:
    std::vector<QVariantMap> changes;
public slots:
    void changed(const QString &interface, const QVariantMap &props, const QStringList &) {
        if (interface == QLatin1String(MprisPlayerInterface))
            changes.push_back(props);
    }
};

class MprisBus : public testing::Test {
protected:
    void SetUp() override {
        app();
        ASSERT_TRUE(bus.ok());
        const QString address = QString::fromStdString(bus.address());
        serviceSide = QDBusConnection::connectToBus(address, "service");
        client = QDBusConnection::connectToBus(address, "client");
        ASSERT_TRUE(serviceSide.isConnected() && client.isConnected());
        target.state.file = "/tmp/lesson.wav";
        target.state.durationMs = 3000;
        target.state.sentence = 0;
        target.state.sentenceCount = 3;
        service = TMprisService::Start(target, serviceSide);
        ASSERT_NE(service, nullptr);
        ASSERT_TRUE(client.connect(MprisServiceName, MprisObjectPath, "org.freedesktop.DBus.Properties",
                                   "PropertiesChanged", &listener,
                                   SLOT(changed(QString, QVariantMap, QStringList))));
    }
    void TearDown() override {
        service.reset();
        QDBusConnection::disconnectFromBus("service");
        QDBusConnection::disconnectFromBus("client");
    }

    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(MprisServiceName, MprisObjectPath, interface, method);
        m.setArguments(args);
        QDBusPendingCallWatcher w(client.asyncCall(m));
        EXPECT_TRUE(spinUntil([&] { return w.isFinished(); })) << method.toStdString();
        return w.reply();
    }
    QVariantMap all(const QString &interface) {
        const QDBusMessage r = call("org.freedesktop.DBus.Properties", "GetAll", {interface});
        EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
        return r.arguments().isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(r.arguments().at(0));
    }

    vorel::test::TempDir dir;
    vorel::test::TSessionBus bus{dir.path()};
    QDBusConnection serviceSide{QString()}, client{QString()};
    TFakeTarget target;
    TListener listener;
    std::unique_ptr<TMprisService> service;
};

} // namespace

TEST_F(MprisBus, PropertiesCarryTheirD_BusTypes) {
    const QVariantMap root = all("org.mpris.MediaPlayer2");
    EXPECT_EQ(root.value("Identity").toString(), QString::fromUtf8("Vorel语言复读机"));
    EXPECT_EQ(root.value("DesktopEntry").toString(), "vorel");
    EXPECT_TRUE(root.value("CanRaise").toBool() && root.value("CanQuit").toBool());
    EXPECT_TRUE(root.value("SupportedMimeTypes").toStringList().contains("audio/mpeg"));

    target.state.positionMs = 1234;
    const QVariantMap p = all(MprisPlayerInterface);
    EXPECT_EQ(p.value("PlaybackStatus").toString(), "Stopped");
    EXPECT_EQ(p.value("Position").typeId(), QMetaType::LongLong); // x, microseconds
    EXPECT_EQ(p.value("Position").toLongLong(), 1234000);
    for (const char *rate : {"Rate", "MinimumRate", "MaximumRate"})
        EXPECT_EQ(p.value(rate).toDouble(), 1.0) << rate;
    EXPECT_FALSE(p.value("CanSeek").toBool());
    EXPECT_TRUE(p.value("CanControl").toBool());
    const QDBusArgument metaArg = p.value("Metadata").value<QDBusArgument>();
    EXPECT_EQ(metaArg.currentSignature(), "a{sv}");
    const QVariantMap meta = qdbus_cast<QVariantMap>(metaArg);
    EXPECT_EQ(meta.value("mpris:trackid").value<QDBusObjectPath>().path(), "/org/vorel/sentence/1"); // o, not s
    EXPECT_EQ(meta.value("mpris:length").typeId(), QMetaType::LongLong);
    EXPECT_EQ(meta.value("xesam:artist").toStringList(), QStringList{QString::fromUtf8("第1/3句")});
}

TEST_F(MprisBus, OneAnnouncementOfWhatChangedOnceTheEventIsHandled) {
    target.state.canGoNext = true;
    service->StateChanged();
    ASSERT_TRUE(spinUntil([&] { return listener.changes.size() == 1; })) << listener.changes.size();
    EXPECT_EQ(listener.changes[0], (QVariantMap{{"CanGoNext", true}}));

    // Several reports while one event is handled: the state they settle on counts.
    target.state.canGoNext = false;
    service->StateChanged();
    target.state.playback = TPlayback::Playing;
    service->StateChanged();
    target.state.playback = TPlayback::Stopped;
    service->StateChanged();
    ASSERT_TRUE(spinUntil([&] { return listener.changes.size() == 2; }));
    EXPECT_EQ(listener.changes[1], (QVariantMap{{"CanGoNext", false}}));

    // Nothing changed: nothing is sent.
    service->StateChanged();
    spinUntil([] { return false; }, 300);
    EXPECT_EQ(listener.changes.size(), 2u);
}

// Every wrong call gets the D-Bus error its interface names; a value of the right
// type is taken.
TEST_F(MprisBus, WrongCallsGetTheirD_BusErrors) {
    const QString props = "org.freedesktop.DBus.Properties";
    const auto v = [](const QVariant &x) { return QVariant::fromValue(QDBusVariant(x)); };
    const struct {
        QString interface, method;
        QVariantList args;
        const char *error; // empty: a plain reply
    } cases[] = {
        {props, "Set", {MprisPlayerInterface, "Rate", v("fast")}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {props, "Set", {MprisPlayerInterface, "Rate", v(2)}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {props, "Set", {MprisPlayerInterface, "Volume", v(true)}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {props, "Set", {MprisPlayerInterface, "Volume", v(QStringList{"a"})}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {props, "Set", {"", "Rate", v("fast")}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {props, "Set", {MprisPlayerInterface, "Rate", v(1.5)}, ""},
        {props, "Set", {MprisPlayerInterface, "PlaybackStatus", v("Playing")}, "org.freedesktop.DBus.Error.PropertyReadOnly"},
        {props, "Set", {"org.mpris.MediaPlayer2", "Identity", v("x")}, "org.freedesktop.DBus.Error.PropertyReadOnly"},
        {props, "Set", {MprisPlayerInterface, "Loudness", v(1.0)}, "org.freedesktop.DBus.Error.UnknownProperty"},
        {props, "Set", {"org.example.Nothing", "Rate", v(1.0)}, "org.freedesktop.DBus.Error.UnknownInterface"},
        {props, "Set", {MprisPlayerInterface, "Rate"}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {props, "Get", {MprisPlayerInterface, "Loudness"}, "org.freedesktop.DBus.Error.UnknownProperty"},
        {MprisPlayerInterface, "Seek", {"far"}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {MprisPlayerInterface, "Seek", {qlonglong(5)}, ""},
        {MprisPlayerInterface, "Fly", {}, "org.freedesktop.DBus.Error.UnknownMethod"},
    };
    for (const auto &c : cases) {
        const QDBusMessage r = call(c.interface, c.method, c.args);
        SCOPED_TRACE(c.method.toStdString() + " " + c.args.value(1).toString().toStdString());
        if (*c.error) {
            EXPECT_EQ(r.type(), QDBusMessage::ErrorMessage);
            EXPECT_EQ(r.errorName().toStdString(), c.error) << r.errorMessage().toStdString();
        } else {
            EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
        }
    }
    EXPECT_EQ(all(MprisPlayerInterface).value("Rate").toDouble(), 1.0);
    const QDBusMessage xml = call("org.freedesktop.DBus.Introspectable", "Introspect");
    EXPECT_NE(xml.arguments().value(0).toString().indexOf(R"(<property name="Rate" type="d" access="readwrite"/>)"),
              -1);
}

// A session bus that dies is reported once; the service is back on the next bus
// at the same address.
TEST(MprisReconnect, TheServiceComesBackOnANewBus) {
    app();
    vorel::test::TempDir dir;
    auto bus = std::make_unique<vorel::test::TSessionBus>(dir.path());
    ASSERT_TRUE(bus->ok());
    const QString address = QString::fromStdString(bus->address());
    int opened = 0;
    const auto open = [&] { return QDBusConnection::connectToBus(address, QString("reopened-%1").arg(opened++)); };
    TFakeTarget target;
    auto service = TMprisService::Start(target, open(), open);
    ASSERT_NE(service, nullptr);
    int lost = 0, back = 0;
    QObject::connect(service.get(), &TMprisService::busLost, [&] { ++lost; });
    QObject::connect(service.get(), &TMprisService::busBack, [&] { ++back; });

    bus->Stop();
    ASSERT_TRUE(spinUntil([&] { return lost == 1; }, 5000));
    // Nothing to reach for a while: tried again and again, reported once.
    spinUntil([] { return false; }, 1500);
    EXPECT_GT(opened, 2);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(back, 0);

    bus = std::make_unique<vorel::test::TSessionBus>(dir.path());
    ASSERT_TRUE(bus->ok());
    ASSERT_TRUE(spinUntil([&] { return back == 1; }, 15000));
    EXPECT_TRUE(service->Connected());
    QDBusConnection client = QDBusConnection::connectToBus(address, "reconnect-client");
    EXPECT_TRUE(client.interface()->isServiceRegistered(MprisServiceName).value());
    QDBusMessage get = QDBusMessage::createMethodCall(MprisServiceName, MprisObjectPath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString("org.mpris.MediaPlayer2") << QString("Identity");
    QDBusPendingCallWatcher w(client.asyncCall(get));
    ASSERT_TRUE(spinUntil([&] { return w.isFinished(); }));
    EXPECT_EQ(w.reply().arguments().value(0).value<QDBusVariant>().variant().toString(),
              QString::fromUtf8("Vorel语言复读机"));
    EXPECT_EQ(lost, 1);
    service.reset();
    QDBusConnection::disconnectFromBus("reconnect-client");
}

TEST(MprisNoBus, OneLineAndNoService) {
    TFakeTarget target;
    const QDBusConnection bus = QDBusConnection::connectToBus(QStringLiteral("unix:path=/dev/null/no-bus"), "none");
    testing::internal::CaptureStderr();
    const auto service = TMprisService::Start(target, bus);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(service, nullptr);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("Vorelplay: "), std::string::npos) << err;
}

#include "mprisbus_test.moc"
