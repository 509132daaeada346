// The message layer: queue order, windows that go away, timers, sends.
#include "platform/event_loop.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace plat;

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
};
std::vector<Seen> g_seen;

LRESULT recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({hwnd, msg, wParam});
    if (msg == WM_USER + 50) return static_cast<LRESULT>(wParam * 2 + lParam);
    if (msg == WM_USER + 51) postMessage(hwnd, WM_USER + 52, wParam, 0);  // posts from a handler
    return 0;
}

class EventLoop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!isClassRegistered("TESTCLASS")) {
            ASSERT_TRUE(registerClass("TESTCLASS", recordingProc));
        }
        g_seen.clear();
        resetQuit();
    }
    std::vector<UINT> messagesOf(HWND h) const {
        std::vector<UINT> out;
        for (const auto& s : g_seen) {
            if (s.hwnd == h) out.push_back(s.msg);
        }
        return out;
    }
};

TEST_F(EventLoop, PostedMessagesArriveInOrderAndSendsAtOnce) {
    HWND a = createWindow("TESTCLASS", "a", 0);
    HWND b = createWindow("TESTCLASS", "b", 0);
    ASSERT_NE(a, 0u);
    for (WPARAM i = 0; i < 5; ++i) {
        ASSERT_TRUE(postMessage(i % 2 ? a : b, WM_USER + 1, i, 0));
    }
    postMessage(a, WM_USER + 51, 7, 0);
    EXPECT_EQ(sendMessage(a, WM_USER + 50, 20, 2), 42);  // not queued: runs before the posts
    ASSERT_EQ(g_seen.size(), 1u);
    pumpMessages(0);
    std::vector<WPARAM> order;
    for (const auto& s : g_seen) {
        if (s.msg == WM_USER + 1) order.push_back(s.wParam);
    }
    EXPECT_EQ(order, (std::vector<WPARAM>{0, 1, 2, 3, 4}));
    EXPECT_EQ(g_seen.back().msg, static_cast<UINT>(WM_USER + 52));  // the handler's post came last
    destroyWindow(a);
    destroyWindow(b);
}

TEST_F(EventLoop, MessagesForDestroyedWindowsAreDroppedAndChildrenGoFirst) {
    HWND parent = createWindow("TESTCLASS", "p", 0);
    HWND child = createWindow("TESTCLASS", "c", parent);
    ASSERT_NE(child, 0u);
    EXPECT_EQ(parentOf(child), parent);
    postMessage(child, WM_USER + 1, 1, 0);
    postMessage(parent, WM_USER + 1, 2, 0);
    ASSERT_TRUE(destroyWindow(parent));
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].hwnd, child);
    EXPECT_EQ(g_seen[0].msg, WM_DESTROY);
    EXPECT_EQ(g_seen[1].hwnd, parent);
    EXPECT_FALSE(isWindow(child));
    pumpMessages(0);
    EXPECT_EQ(g_seen.size(), 2u);
    EXPECT_FALSE(postMessage(parent, WM_USER, 0, 0));
    EXPECT_EQ(sendMessage(parent, WM_USER + 50, 1, 1), 0);
    EXPECT_EQ(createWindow("TESTCLASS", "orphan", parent), 0u);
    HWND fresh = createWindow("TESTCLASS", "fresh", 0);
    EXPECT_NE(fresh, parent);  // handles are never reused
    EXPECT_NE(fresh, child);
    destroyWindow(fresh);
}

TEST_F(EventLoop, TimersRepeatUntilKilled) {
    HWND w = createWindow("TESTCLASS", "t", 0);
    ASSERT_TRUE(setTimer(w, 3, 20));
    pumpMessages(150);
    int ticks = 0;
    for (const auto& s : g_seen) {
        if (s.msg == WM_TIMER && s.wParam == 3) ++ticks;
    }
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(killTimer(w, 3));
    EXPECT_FALSE(killTimer(w, 3));  // answers whether the timer existed
    EXPECT_FALSE(killTimer(w, 4));
    pumpMessages(0);
    g_seen.clear();
    pumpMessages(80);
    EXPECT_TRUE(messagesOf(w).empty());
    // A destroyed window's timers die with it.
    ASSERT_TRUE(setTimer(w, 5, 10));
    destroyWindow(w);
    g_seen.clear();
    pumpMessages(50);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_FALSE(killTimer(w, 5));
}

TEST_F(EventLoop, QuitEndsTheLoopWithItsCode) {
    HWND w = createWindow("TESTCLASS", "q", 0);
    postMessage(w, WM_USER + 1, 1, 0);
    setTimer(w, 1, 5);
    // The timer handler cannot quit by itself, so quit from a send inside a post.
    struct Quitter {
        static LRESULT proc(HWND, UINT msg, WPARAM, LPARAM) {
            if (msg == WM_TIMER) postQuitMessage(7);
            return 0;
        }
    };
    ASSERT_TRUE(registerClass("QUITCLASS", Quitter::proc));
    HWND q = createWindow("QUITCLASS", "", 0);
    setTimer(q, 1, 10);
    EXPECT_EQ(runMessageLoop(), 7);
    destroyWindow(q);
    destroyWindow(w);
    EXPECT_TRUE(unregisterClass("QUITCLASS"));
    EXPECT_FALSE(unregisterClass("QUITCLASS"));
}

TEST_F(EventLoop, ClassesWithWindowsCannotBeUnregistered) {
    HWND w = createWindow("TESTCLASS", "u", 0);
    EXPECT_FALSE(unregisterClass("TESTCLASS"));
    EXPECT_FALSE(registerClass("TESTCLASS", recordingProc));
    destroyWindow(w);
    EXPECT_EQ(createWindow("NOSUCHCLASS", "", 0), 0u);
}

}  // namespace
