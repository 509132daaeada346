// The front end's link window: messages become signals, a window destroyed on purpose says
// so and one destroyed with its owner does not.
#include "platform/event_loop.h"
#include "frontend/qt_platform/qt_link_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plat;

namespace {

constexpr UINT kMessage = WM_USER + 77;

TEST(LinkWindow, MessagesCopiedRecordsAndTheEndArriveAsSignals) {
    LinkWindow link("LINKWINDOWTEST", "one", kMessage);
    ASSERT_NE(link.hwnd(), 0u);
    std::vector<std::pair<WPARAM, LPARAM>> got;
    std::vector<std::pair<quintptr, std::string>> copied;
    int ends = 0;
    QObject::connect(&link, &LinkWindow::linkMessageArrived, [&](WPARAM w, LPARAM l) { got.emplace_back(w, l); });
    QObject::connect(&link, &LinkWindow::dataCopied,
                     [&](quintptr kind, const QByteArray& data) { copied.emplace_back(kind, data.toStdString()); });
    QObject::connect(&link, &LinkWindow::windowDestroyed, [&] { ++ends; });

    EXPECT_EQ(sendMessage(link.hwnd(), kMessage, 7, 9), 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], std::make_pair(WPARAM{7}, LPARAM{9}));

    const char path[] = "accounts/a/1.rfc822";
    COPYDATASTRUCT cds{3, sizeof path, path};
    EXPECT_EQ(sendMessage(link.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1);
    COPYDATASTRUCT empty{4, 0, nullptr};  // nothing to hand on, still answered
    EXPECT_EQ(sendMessage(link.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty)), 1);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0].first, 3u);
    EXPECT_EQ(copied[0].second, std::string(path, sizeof path));  // the bytes as sent, NUL included

    postMessage(link.hwnd(), kMessage, 8, 0);  // posted: arrives from the loop
    pumpMessages(0);
    EXPECT_EQ(got.size(), 2u);

    link.destroy();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(isWindow(link.hwnd()));
}

TEST(LinkWindow, AWindowDestroyedWithItsOwnerSendsNoSignal) {
    int ends = 0;
    HWND hwnd = 0;
    {
        LinkWindow link("LINKWINDOWTEST", "two", kMessage);
        hwnd = link.hwnd();
        QObject::connect(&link, &LinkWindow::windowDestroyed, [&] { ++ends; });
    }
    EXPECT_FALSE(isWindow(hwnd));
    EXPECT_EQ(ends, 0);
}

}  // namespace
