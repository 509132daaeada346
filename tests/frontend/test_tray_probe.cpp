// Whether a tray is there is asked without waiting: the answer comes from the loop, and the tray
// follows it only then, with one question open at a time.
#include "frontend/app/tray.h"
#include "frontend/desktop/tray_probe.h"

#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

void runLoopFor(int ms, const std::function<bool()>& done = {}) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && !(done && done())) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(TrayProbe, AnswersFromTheLoopNeverWhileAsking) {
    TrayProbe probe;
    int answers = 0;
    bool available = true;
    probe.ask([&](bool a) {
        ++answers;
        available = a;
    });
    EXPECT_EQ(answers, 0);  // not on the caller's stack: the bus is asked without waiting
    runLoopFor(3000, [&] { return answers > 0; });
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(available);  // no StatusNotifierItem watcher and no X11 tray here
}

TEST(TrayProbe, TheTrayFollowsOnlyAnsweredQuestionsOneAtATime) {
    Tray tray(false);
    tray.initialise(nullptr);
    std::vector<std::function<void(bool)>> open;  // questions asked and not yet answered
    std::vector<bool> changes;
    QObject::connect(&tray, &Tray::availabilityChanged, [&](bool a) { changes.push_back(a); });
    tray.watchAvailability([&](std::function<void(bool)> answer) { open.push_back(std::move(answer)); }, 20);
    runLoopFor(200);
    ASSERT_EQ(open.size(), 1u);  // the timer went on, the question stayed open
    EXPECT_FALSE(tray.available());
    open[0](true);
    EXPECT_TRUE(tray.available());
    EXPECT_EQ(changes, std::vector<bool>{true});
    runLoopFor(200, [&] { return open.size() > 1; });
    ASSERT_EQ(open.size(), 2u);  // answered: asked again
    open[1](true);
    EXPECT_EQ(changes, std::vector<bool>{true});  // no change, no signal
    tray.remove();
    runLoopFor(100);
    EXPECT_EQ(open.size(), 2u);  // removed at exit: not asked again
}

}  // namespace
