// Shutting down after a batch: a countdown the user can call off, and logind asked
// without holding up the window.
#include "mainwindow/cquenmardlg.h"
#include "shell/hostrig.h"
#include "shell/logindpowercontrol.h"
#include "shell/privatebus.h"
#include "shell/shutdowncountdown.h"
#include "shell/standinservices.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Outcome = PowerControl::Outcome;

namespace {

// Collects the outcomes a PowerControl reports.
struct Outcomes
{
    QList<Outcome> list;
    PowerControl::Done recorder()
    {
        return [this](Outcome outcome) { list << outcome; };
    }
};

QString dialogText(const ShutdownCountdown& countdown)
{
    return countdown.dialog() ? countdown.dialog()->text() : QString();
}

} // namespace

TEST(ShutdownCountdown, CancelEscapeAndClosingTheDialogCallItOff)
{
    QWidget window;
    window.show();
    FakePower power;
    ShutdownCountdown countdown(power, &window);
    Outcomes outcomes;

    // The full minute, as the user sees it first.
    countdown.powerOff(outcomes.recorder());
    ASSERT_NE(countdown.dialog(), nullptr);
    EXPECT_TRUE(countdown.dialog()->isVisible());
    EXPECT_FALSE(countdown.dialog()->isModal()) << "the window stays usable";
    EXPECT_EQ(dialogText(countdown), "The computer will shut down in 60 seconds.");
    countdown.dialog()->button(QMessageBox::Cancel)->click();
    EXPECT_EQ(outcomes.list, QList<Outcome>{Outcome::Cancelled});
    EXPECT_EQ(countdown.dialog(), nullptr);

    countdown.setDuration(300ms);
    const std::function<void(QMessageBox*)> ways[] = {
        [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); },
        [](QMessageBox* box) { box->close(); }, // its title bar's close button
    };
    for (const auto& callOff : ways) {
        countdown.powerOff(outcomes.recorder());
        ASSERT_NE(countdown.dialog(), nullptr);
        callOff(countdown.dialog());
        EXPECT_FALSE(countdown.counting());
    }
    EXPECT_EQ(outcomes.list, QList<Outcome>(3, Outcome::Cancelled));
    QTest::qWait(600); // past the time it had
    EXPECT_EQ(power.powerOffCalls, 0);
    EXPECT_EQ(outcomes.list.size(), 3);
}

TEST(ShutdownCountdown, CountsDownEachSecondThenAsksOnce)
{
    QWidget window;
    window.show();
    FakePower power;
    ShutdownCountdown countdown(power, &window);
    countdown.setDuration(2s);
    Outcomes outcomes;
    countdown.powerOff(outcomes.recorder());
    EXPECT_EQ(dialogText(countdown), "The computer will shut down in 2 seconds.");
    EXPECT_TRUE(waitUntil(
        [&] { return dialogText(countdown) == "The computer will shut down in 1 second."; }, 1900));
    EXPECT_EQ(power.powerOffCalls, 0);

    EXPECT_TRUE(waitUntil([&] { return !outcomes.list.isEmpty(); }, 3000));
    EXPECT_EQ(power.powerOffCalls, 1);
    EXPECT_EQ(outcomes.list, QList<Outcome>{Outcome::PoweringOff}); // the system's answer
    EXPECT_EQ(countdown.dialog(), nullptr);
    QTest::qWait(300);
    EXPECT_EQ(power.powerOffCalls, 1);
    countdown.cancel(); // nothing left to call off
    EXPECT_EQ(outcomes.list.size(), 1);
}

TEST(HostWindow, TheBatchsShutdownCountsDownAndClosingTheWindowCallsItOff)
{
    HostRig rig;
    rig.host->shutdownCountdown().setDuration(1500ms);
    rig.addSource("clip.avi");
    rig.tickShutdown();
    rig.runBatch();
    QMessageBox* dialog = rig.host->shutdownCountdown().dialog();
    ASSERT_NE(dialog, nullptr) << "the batch's end counts down";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->parentWidget(), rig.host.get());
    EXPECT_EQ(rig.power.powerOffCalls, 0);

    rig.host->close();
    QTest::qWait(2000); // past the time it had
    EXPECT_EQ(rig.power.powerOffCalls, 0);
    EXPECT_TRUE(rig.messages.isEmpty()) << rig.messages.join('\n').toStdString();
}

TEST(HostWindow, StartingAgainCallsTheLastBatchsShutdownOff)
{
    HostRig rig;
    rig.host->shutdownCountdown().setDuration(1500ms);
    rig.addSource("clip.avi");
    rig.tickShutdown();
    rig.runBatch();
    ASSERT_TRUE(rig.host->shutdownCountdown().counting());
    QTest::mouseClick(rig.main().findChild<QPushButton*>("1048"), Qt::LeftButton);
    EXPECT_TRUE(rig.main().converting());
    EXPECT_FALSE(rig.host->shutdownCountdown().counting());
    rig.main().findChild<QCheckBox*>("1059")->setChecked(false);
    EXPECT_TRUE(waitUntil([&] { return !rig.main().converting(); }));
    QTest::qWait(2000); // past the time the first countdown had
    EXPECT_EQ(rig.power.powerOffCalls, 0);
    EXPECT_EQ(rig.messages, QStringList{"Information|Converting Finished: 1 converted, 0 failed"});
}

TEST(HostWindow, ARefusalAfterTheCountdownIsSaid)
{
    HostRig rig;
    rig.power.answer = Outcome::Refused;
    rig.host->shutdownCountdown().setDuration(300ms);
    rig.addSource("clip.avi");
    rig.tickShutdown();
    rig.runBatch();
    EXPECT_TRUE(rig.messages.isEmpty()) << "no closing message before a shutdown";
    EXPECT_TRUE(waitUntil([&] { return !rig.messages.isEmpty(); }, 5000));
    EXPECT_EQ(rig.power.powerOffCalls, 1);
    EXPECT_EQ(rig.messages, QStringList{"Warning|Your computer cannot shutdown"});
    EXPECT_EQ(rig.icons, QList<BatchHost::MessageIcon>{BatchHost::MessageIcon::Stop});
}

// logind on a bus of the test's own: never the machine's.
class Logind : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning()) << bus.problem().toStdString();
        ASSERT_TRUE(logind.serveOn(bus.connect("logind")));
    }
    PrivateBus bus;
    StandInLogind logind;
    Outcomes outcomes;
};

TEST_F(Logind, AsksWithoutWaitingForTheAnswer)
{
    LogindPowerControl power(bus.connect("program"));
    logind.holdAnswers = true;
    power.powerOff(outcomes.recorder());
    // Returned at once, with logind's answer still to come.
    EXPECT_TRUE(waitUntil([&] { return logind.held() == 1; }, 5000));
    EXPECT_TRUE(outcomes.list.isEmpty());
    logind.release();
    EXPECT_TRUE(waitUntil([&] { return logind.held() == 1; }, 5000));
    EXPECT_TRUE(outcomes.list.isEmpty());
    logind.release();
    EXPECT_TRUE(waitUntil([&] { return !outcomes.list.isEmpty(); }, 5000));
    EXPECT_EQ(outcomes.list, QList<Outcome>{Outcome::PoweringOff});
    // Interactive, so that polkit may ask the user for permission.
    EXPECT_EQ(logind.calls, QStringList({"CanPowerOff", "PowerOff true"}));
}

TEST_F(Logind, RefusalsOfEveryKind)
{
    const struct
    {
        QString canPowerOff;
        bool refusePowerOff;
        Outcome outcome;
        QStringList calls;
        QString reason; // a part of the reason the user reads
    } cases[] = {
        {"challenge", false, Outcome::PoweringOff, {"CanPowerOff", "PowerOff true"}, ""},
        {"na", false, Outcome::Refused, {"CanPowerOff"}, "cannot be powered off by a program"},
        {"no", false, Outcome::Refused, {"CanPowerOff"}, "does not allow this user"},
        {"yes", true, Outcome::Refused, {"CanPowerOff", "PowerOff true"}, "the system refused"},
    };
    LogindPowerControl power(bus.connect("program"));
    for (const auto& c : cases) {
        logind.canPowerOff = c.canPowerOff;
        logind.refusePowerOff = c.refusePowerOff;
        logind.calls.clear();
        outcomes.list.clear();
        power.powerOff(outcomes.recorder());
        EXPECT_TRUE(waitUntil([&] { return !outcomes.list.isEmpty(); }, 5000));
        EXPECT_EQ(outcomes.list, QList<Outcome>{c.outcome}) << c.canPowerOff.toStdString();
        EXPECT_EQ(logind.calls, c.calls) << c.canPowerOff.toStdString();
        if (c.reason.isEmpty())
            EXPECT_TRUE(power.refusalReason().isEmpty());
        else
            EXPECT_TRUE(power.refusalReason().contains(c.reason))
                << power.refusalReason().toStdString();
    }
}

TEST_F(Logind, NoLogindOrNoBusIsARefusal)
{
    // A bus where no logind runs.
    QDBusConnection("logind").unregisterService("org.freedesktop.login1");
    LogindPowerControl elsewhere(bus.connect("nologind"));
    elsewhere.powerOff(outcomes.recorder());
    EXPECT_TRUE(waitUntil([&] { return !outcomes.list.isEmpty(); }, 5000));
    EXPECT_TRUE(elsewhere.refusalReason().contains("logind")) << "no logind";
    // No bus at all.
    LogindPowerControl nowhere(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "nobus"));
    nowhere.powerOff(outcomes.recorder());
    EXPECT_EQ(outcomes.list, QList<Outcome>({Outcome::Refused, Outcome::Refused}));
    EXPECT_TRUE(nowhere.refusalReason().contains("message bus"));
    QDBusConnection::disconnectFromBus("nobus");
}
