// The end of a batch reaches a user who is looking elsewhere: a desktop notification,
// served here by a stand-in on a bus of the test's own; and the task bar shows how far
// the batch has come.
#include "mainwindow/cquenmardlg.h"
#include "shell/batchnotifier.h"
#include "shell/hostrig.h"
#include "shell/launcherprogress.h"
#include "shell/privatebus.h"
#include "shell/standinservices.h"

#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Another window takes the focus, as when the user works elsewhere.
struct ElsewhereWindow
{
    QWidget window;
    ElsewhereWindow()
    {
        window.setWindowTitle("elsewhere");
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
};

// Everything written to the process's error output and every Qt message while alive.
class SaidAnything
{
public:
    SaidAnything()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(2);
        ::dup2(m_file.handle(), 2);
        s_messages.clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { s_messages << text; });
    }
    ~SaidAnything() { restore(); }
    QString text()
    {
        restore();
        QFile read(m_file.fileName());
        read.open(QIODevice::ReadOnly);
        return QString::fromUtf8(read.readAll()) + s_messages.join('\n');
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
        qInstallMessageHandler(m_previous);
    }
    QTemporaryFile m_file;
    int m_saved = -1;
    QtMessageHandler m_previous = nullptr;
    static inline QStringList s_messages;
};

class Notifications : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning()) << bus.problem().toStdString();
        ASSERT_TRUE(service.serveOn(bus.connect("notifications")));
    }
    PrivateBus bus;
    StandInNotifications service;
};

} // namespace

TEST_F(Notifications, ABatchThatEndsWhileTheUserIsElsewhereSaysWhatHappened)
{
    HostRig rig;
    rig.host->notifier().setBus(bus.connect("program"));
    rig.addSource("good.avi");
    const QString gone = rig.addSource("gone.avi");
    QFile::remove(gone);
    ElsewhereWindow elsewhere;
    ASSERT_FALSE(rig.host->isActiveWindow());

    rig.runBatch();
    ASSERT_TRUE(waitUntil([&] { return service.shown.size() == 1; }, 5000));
    const auto& first = service.shown.first();
    EXPECT_EQ(first.summary, "Converting Finished: 1 converted, 1 failed");
    EXPECT_EQ(first.appName, "Trelvo Converter");
    EXPECT_EQ(first.icon, "trelvo-converter");
    EXPECT_EQ(first.hints.value("desktop-entry").toString(), "trelvo-converter");
    EXPECT_EQ(first.replacesId, 0u);
    // The window's own closing message is there too, for when the user comes back.
    EXPECT_EQ(rig.messages, QStringList{"Warning|Converting Finished: 1 converted, 1 failed"});

    // The next batch's notification takes the place of the last one.
    rig.runBatch();
    ASSERT_TRUE(waitUntil([&] { return service.shown.size() == 2; }, 5000));
    EXPECT_EQ(service.shown.at(1).replacesId, 41u);
}

TEST_F(Notifications, NoneWhileTheUserWatchesTheWindow)
{
    HostRig rig;
    rig.host->notifier().setBus(bus.connect("program"));
    rig.host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.host.get()));
    rig.addSource("good.avi");
    bool answered = false;
    QObject::connect(&rig.host->notifier(), &BatchNotifier::answered, [&] { answered = true; });
    rig.runBatch();
    QTest::qWait(300);
    EXPECT_FALSE(answered);
    EXPECT_TRUE(service.shown.isEmpty());
}

TEST_F(Notifications, NoServiceAndNoBusAreQuiet)
{
    QWidget window; // never shown, so never active
    BatchNotifier notifier(&window);
    std::optional<bool> shown;
    QObject::connect(&notifier, &BatchNotifier::answered, [&](bool ok) { shown = ok; });
    BatchDriver::Summary summary;
    summary.total = summary.finished = 1;

    SaidAnything said;
    QDBusConnection::disconnectFromBus("notifications"); // the service goes away
    notifier.setBus(bus.connect("program"));
    notifier.batchEnded(summary);
    EXPECT_TRUE(waitUntil([&] { return shown.has_value(); }, 5000));
    EXPECT_EQ(shown, false);

    shown.reset();
    notifier.setBus(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nobus"));
    notifier.batchEnded(summary);
    QTest::qWait(200);
    EXPECT_FALSE(shown.has_value());
    QDBusConnection::disconnectFromBus("nobus");
    EXPECT_EQ(said.text(), "");
}

TEST(LauncherEntry, TheTaskBarShowsTheBatchsProgressAndHidesItAtTheEnd)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.problem().toStdString();
    StandInDock dock;
    ASSERT_TRUE(dock.watch(bus.connect("dock")));
    HostRig rig;
    rig.host->launcher().setBus(bus.connect("launcher"));
    rig.addSource("one.avi");
    rig.addSource("two.avi");

    rig.runBatch();
    ASSERT_TRUE(waitUntil(
        [&] {
            return !dock.updates.isEmpty() &&
                   !dock.updates.last().properties.value("progress-visible").toBool();
        },
        5000));
    QList<double> shown;
    for (const StandInDock::Update& update : dock.updates) {
        EXPECT_EQ(update.appUri, "application://trelvo-converter.desktop");
        if (update.properties.value("progress-visible").toBool())
            shown << update.properties.value("progress").toDouble();
    }
    // From empty through the first of the two files done, the bar only grows.
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.first(), 0.0);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_TRUE(
        std::any_of(shown.begin(), shown.end(), [](double p) { return p >= 0.5 && p < 1; }));
    EXPECT_LE(shown.last(), 1.0);
    EXPECT_EQ(dock.updates.size(), shown.size() + 1); // hidden once, at the end
}
