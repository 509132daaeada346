// The message layer driven by Qt's loop: the same order guarantees as the engine's loop.
#include "platform/event_loop.h"
#include "platform/link.h"
#include "platform/window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace plat;

namespace {

std::vector<std::pair<UINT, WPARAM>> g_got;

LRESULT recordProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    g_got.emplace_back(msg, wParam);
    if (msg == WM_USER + 9) postQuitMessage(static_cast<int>(wParam));
    return 0;
}

class QtLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_got.clear();
        resetQuit();
        if (!isClassRegistered("QTLOOPTEST")) {
            ASSERT_TRUE(registerClass("QTLOOPTEST", recordProc));
        }
        hwnd = createWindow("QTLOOPTEST", "t", 0);
    }
    void TearDown() override {
        destroyWindow(hwnd);
        resetQuit();
    }
    HWND hwnd = 0;
};

TEST_F(QtLoopTest, PostedMessagesRunInOrderInsideQtsLoopUntilQuit) {
    for (WPARAM i = 1; i <= 3; ++i) postMessage(hwnd, WM_USER, i, 0);
    postMessage(hwnd, WM_USER + 9, 7, 0);
    postMessage(hwnd, WM_USER, 99, 0);  // after the quit: not dispatched by this loop
    EXPECT_EQ(runMessageLoop(), 7);
    ASSERT_EQ(g_got.size(), 4u);
    EXPECT_EQ(g_got[0].second, 1u);
    EXPECT_EQ(g_got[2].second, 3u);
    resetQuit();
    pumpMessages(0);
    ASSERT_EQ(g_got.size(), 5u);
    EXPECT_EQ(g_got[4].second, 99u);
}

TEST_F(QtLoopTest, AQuitPostedWithNoLoopRunningLeavesTheNextNestedLoopAlone) {
    postQuitMessage(3);
    EXPECT_TRUE(quitPosted());
    resetQuit();
    // A modal dialog's loop afterwards must run until it is ended, not return at once.
    QEventLoop nested;
    bool ranInside = false;
    QObject thisTest;
    QTimer::singleShot(0, &thisTest, [&] {
        ranInside = true;
        nested.exit(5);
    });
    EXPECT_EQ(nested.exec(), 5);
    EXPECT_TRUE(ranInside);
}

TEST_F(QtLoopTest, MessagesForADestroyedWindowAreDropped) {
    HWND other = createWindow("QTLOOPTEST", "other", 0);
    postMessage(other, WM_USER, 5, 0);
    destroyWindow(other);  // WM_DESTROY itself is sent, not queued
    g_got.clear();
    pumpMessages(0);
    EXPECT_TRUE(g_got.empty());
}

TEST_F(QtLoopTest, TimersRepeatUntilKilled) {
    ASSERT_TRUE(setTimer(hwnd, 3, 20));
    QElapsedTimer t;
    t.start();
    while (g_got.size() < 3 && t.elapsed() < 2000) pumpMessages(30);
    EXPECT_GE(g_got.size(), 3u);
    EXPECT_EQ(g_got[0], std::make_pair(WM_TIMER, WPARAM{3}));
    EXPECT_TRUE(killTimer(hwnd, 3));
    EXPECT_FALSE(killTimer(hwnd, 3));
    pumpMessages(0);
    g_got.clear();
    pumpMessages(80);
    EXPECT_TRUE(g_got.empty());
}

TEST_F(QtLoopTest, ALinkAnswerFromAnotherProgramArrivesThroughTheSocketNotifier) {
    // The peer's answer, WM_USER+8, is the one message other programs may post this window.
    ASSERT_EQ(publishWindow(hwnd, "QTLOOPTEST", "pub", WM_USER + 8), PublishResult::Published);
    std::string name = "qt" + std::to_string(::getpid());
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(LINK_PEER_PATH, LINK_PEER_PATH, name.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    HWND peer = 0;
    for (int i = 0; i < 200 && !peer; ++i) {
        peer = findWindow("TESTPEER", name.c_str());
        if (!peer) ::usleep(10000);
    }
    ASSERT_NE(peer, 0u);
    // The peer answers WM_USER+7 by posting WM_USER+8 with wParam + 1 to the window in lParam.
    ASSERT_TRUE(postMessage(peer, WM_USER + 7, 41, static_cast<LPARAM>(hwnd)));
    QElapsedTimer t;
    t.start();
    while (g_got.empty() && t.elapsed() < 3000) pumpMessages(50);
    ::kill(pid, SIGTERM);  // peers may not post it its end
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_EQ(g_got.size(), 1u);
    EXPECT_EQ(g_got[0], std::make_pair(WM_USER + 8, WPARAM{42}));
}

}  // namespace
