// Desktop notifications without a service: their texts, one notification per kind replaced
// rather than piled up, the actions reaching the main window's commands, the setting that
// turns them off, and the shell handing a cycle's arrivals and refusals to them.
#include "frontend/app/shell.h"
#include "frontend/desktop/desktop.h"
#include "frontend/desktop/notifications.h"
#include "frontend/dialogs/modal.h"
#include "platform/event_loop.h"
#include "platform/link.h"
#include "link/engine_link.h"
#include "config/settings.h"
#include "tests/support/temp_env.h"

#include <QDialog>

#include <gtest/gtest.h>

namespace {

using Kind = DesktopNotifications::Kind;

TEST(NotificationTexts, NewMailCountsAndNamesTheFirstArrivals) {
    using notify::newMailText;
    notify::Text one = newMailText({{"\"J\xC3\xBCrgen M\xC3\xBCller\" <j@example.org>",
                                     "Gr\xC3\xBC\xC3\x9F"
                                     "e"}});
    EXPECT_EQ(one.summary.toStdString(), "1 new message");
    EXPECT_EQ(one.body.toStdString(),
              "J\xC3\xBCrgen M\xC3\xBCller: Gr\xC3\xBC\xC3\x9F"
              "e");

    // Without dates: the last arrived first, as the new-mail dialog shows them.
    notify::Text three = newMailText({{"a@example.org", "first"}, {"<b@example.org>", ""}, {"Carol <c@x>", "third"}});
    EXPECT_EQ(three.summary.toStdString(), "3 new messages");
    EXPECT_EQ(three.body.toStdString(), "Carol: third\nb@example.org: -\na@example.org: first");

    notify::Text five = newMailText({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}});
    EXPECT_EQ(five.summary.toStdString(), "5 new messages");
    EXPECT_EQ(five.body.toStdString(), "e: 5\nd: 4\nc: 3\nand 2 more");
}

// The mail list's order: newest date first, an undated one last, the later arrival first
// among equal dates; the newest are the ones named.
TEST(NotificationTexts, NewMailIsNamedInTheListsOrder) {
    notify::Text t = notify::newMailText({{"Ann", "a", 1796644680},
                                          {"Jo", "j", 1796722200},
                                          {"Undated", "u", 0},
                                          {"Bob", "b", 1796544000},
                                          {"Twin", "t", 1796722200}});
    EXPECT_EQ(t.body.toStdString(), "Twin: t\nJo: j\nAnn: a\nand 2 more");
}

TEST(NotificationTexts, FailuresCarryTheReplyAndTheStep) {
    notify::Text refused = notify::deliveryFailureText("\"Smith, Bob\" <bob@example.org>, <c@x>, Dee <d@x>", "Hello",
                                                       "550 5.1.1 <bob@example.org>: no such user\r\n");
    EXPECT_EQ(refused.body.toStdString(),
              "To: Smith, Bob, c@x, Dee\nSubject: Hello\n"
              "The provider replied: 550 5.1.1 <bob@example.org>: no such user");
    notify::Text silent = notify::deliveryFailureText("", "", "");
    EXPECT_EQ(silent.body.toStdString(), "To: -\nSubject: -\nThe provider gave no reason.");
    notify::Text huge = notify::deliveryFailureText("x", "y", "554 " + std::string(5000, 'z'));
    EXPECT_LT(huge.body.size(), 700);

    notify::Text cycle = notify::cycleFailureText("sending mail", "/data/log-20261208.txt");
    EXPECT_EQ(cycle.summary.toStdString(), "The last mail cycle failed: sending mail");
    EXPECT_EQ(cycle.body.toStdString(), "The log /data/log-20261208.txt says why.");
    // A subject that looks like markup is shown as written by services that read markup.
    EXPECT_EQ(notify::markup(QStringLiteral("<b>x</b> & y")).toStdString(), "&lt;b&gt;x&lt;/b&gt; &amp; y");
    EXPECT_EQ(notify::plainSafe(QStringLiteral("<b@x> & y")).toStdString(), "\u2039b@x\u203A & y");
}

class NotificationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        notes = std::make_unique<DesktopNotifications>(
            [this](const DesktopNotifications::Request& r, std::function<void(quint32)> done) {
                sent.push_back(r);
                done(nextId++);
            });
        QObject::connect(notes.get(), &DesktopNotifications::openWindowRequested, [this] { ++opened; });
        QObject::connect(notes.get(), &DesktopNotifications::readMailRequested, [this] { ++readMail; });
    }
    std::unique_ptr<DesktopNotifications> notes;
    std::vector<DesktopNotifications::Request> sent;
    quint32 nextId = 40;
    int opened = 0;
    int readMail = 0;
};

TEST_F(NotificationsTest, EachKindReplacesItsOwnLastNotification) {
    notes->itemArrived("a@x", "one");
    notes->itemArrived("b@x", "two");
    notes->cycleFinished(false, "", "log");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].kind, Kind::NewMail);
    EXPECT_EQ(sent[0].replacesId, 0u);
    EXPECT_EQ(sent[0].text.summary.toStdString(), "2 new messages");
    EXPECT_TRUE(sent[0].actions.contains(QStringLiteral("read-mail")));

    // A cycle without mail shows nothing; the next one with mail replaces the first.
    notes->cycleFinished(false, "", "log");
    EXPECT_EQ(sent.size(), 1u);
    notes->itemArrived("c@x", "three");
    notes->cycleFinished(true, "checking mail", "log");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].kind, Kind::NewMail);
    EXPECT_EQ(sent[1].replacesId, 40u);
    EXPECT_EQ(sent[1].text.summary.toStdString(), "1 new message");  // only this cycle's
    EXPECT_EQ(sent[2].kind, Kind::CycleFailure);
    EXPECT_EQ(sent[2].replacesId, 0u);
    EXPECT_FALSE(sent[2].actions.contains(QStringLiteral("read-mail")));

    notes->deliveryFailure("x", "y", "550 no");
    notes->deliveryFailure("x", "z", "550 no");
    EXPECT_EQ(sent[3].replacesId, 0u);
    EXPECT_EQ(sent[4].replacesId, 43u);

    // Closed by the user: the next one is new. One-off notices never replace.
    notes->notificationClosed(41);
    notes->itemArrived("d@x", "four");
    notes->cycleFinished(false, "", "log");
    EXPECT_EQ(sent.back().replacesId, 0u);
    notes->showNotice(QStringLiteral("Sign-in expired"), QStringLiteral("Sign in again"));
    notes->showNotice(QStringLiteral("Sign-in expired"), QStringLiteral("Sign in again"));
    EXPECT_EQ(sent.back().kind, Kind::Notice);
    EXPECT_EQ(sent.back().replacesId, 0u);
}

TEST_F(NotificationsTest, ActionsOfOurNotificationsOnlyReachTheWindow) {
    notes->itemArrived("a@x", "one");
    notes->cycleFinished(false, "", "log");
    notes->actionInvoked(40, QStringLiteral("open"));
    notes->actionInvoked(40, QStringLiteral("default"));
    notes->actionInvoked(40, QStringLiteral("read-mail"));
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(readMail, 1);
    notes->actionInvoked(77, QStringLiteral("open"));  // another program's
    notes->actionInvoked(0, QStringLiteral("open"));
    notes->notificationClosed(40);
    notes->actionInvoked(40, QStringLiteral("open"));  // gone
    EXPECT_EQ(opened, 2);
}

TEST_F(NotificationsTest, TheSettingTurnsThemOffAndArrivalsDoNotPileUpMeanwhile) {
    config::writeSetting(config::kNotifyDesktop, 0);
    notes->itemArrived("a@x", "one");
    notes->cycleFinished(true, "sending mail", "log");
    notes->deliveryFailure("x", "y", "550");
    notes->showNotice(QStringLiteral("t"), QStringLiteral("b"));
    EXPECT_TRUE(sent.empty());
    config::writeSetting(config::kNotifyDesktop, 1);
    notes->itemArrived("b@x", "two");
    notes->cycleFinished(false, "", "log");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text.summary.toStdString(), "1 new message");
}

// Without a session bus (the tests' world has none) the real sender does nothing.
TEST(NotificationsWithoutAService, NothingHappens) {
    DesktopNotifications notes;
    notes.itemArrived("a@x", "one");
    notes.cycleFinished(true, "sending mail", "log");
    notes.deliveryFailure("x", "y", "550");
    plat::pumpMessages(0);
    EXPECT_EQ(notes.shownId(Kind::NewMail), 0u);
}

}  // namespace
